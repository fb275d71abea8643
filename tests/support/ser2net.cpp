#include "tests/support/ser2net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

namespace sc {
namespace {

constexpr const char* kSer2net = "/usr/sbin/ser2net";

// Whether something listens on 127.0.0.1:port, as /proc/net/tcp tells (a connection to
// find out would be one ser2net answers).
bool Listening(int port) {
  std::ifstream in("/proc/net/tcp");
  std::string line;
  char wanted[32];
  std::snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    if (local == wanted && state == "0A") return true;
  }
  return false;
}

}  // namespace

int FreeLocalPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
    port = ntohs(address.sin_port);
  ::close(fd);
  return port;
}

QuietListener::QuietListener(bool full) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(fd_, full ? 0 : 8);
  ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size);
  port_ = ntohs(address.sin_port);
  if (full) {
    // The one connection a queue of length 0 holds; later ones are neither taken nor
    // refused.
    filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ::connect(filler_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  }
}

QuietListener::~QuietListener() {
  if (filler_ >= 0) ::close(filler_);
  ::close(fd_);
}

bool Ser2net::Available() {
  return ::access(kSer2net, X_OK) == 0;
}

Ser2net::~Ser2net() {
  Kill();
}

bool Ser2net::Start(Kind kind, const std::string& device, std::string* error) {
  kind_ = kind;
  for (int attempt = 0; attempt < 5; ++attempt) {
    port_ = FreeLocalPort();
    const std::string config = dir_ / "ser2net.yaml";
    {
      std::ofstream out(config);
      out << "connection: &box\n"
          << "  accepter: " << (kind == Kind::Rfc2217 ? "telnet(rfc2217),tcp," : "tcp,")
          << "127.0.0.1," << port_ << "\n"
          << "  connector: serialdev," << device << ",115200n81,local\n";
    }
    const std::string log = dir_ / "ser2net.log";
    const std::string pidFile = dir_ / "ser2net.pid";
    pid_ = ::fork();
    if (pid_ < 0) {
      if (error) *error = "fork failed";
      return false;
    }
    if (pid_ == 0) {
      const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (out >= 0) {
        ::dup2(out, 1);
        ::dup2(out, 2);
      }
      ::execl(kSer2net, "ser2net", "-n", "-u", "-c", config.c_str(), "-P", pidFile.c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      if (Listening(port_)) return true;
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        break;  // it ended: the port may have been taken meanwhile; another one
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Kill();
  }
  if (error) *error = "ser2net did not start: " + Log();
  return false;
}

std::string Ser2net::url() const {
  return std::string(kind_ == Kind::Rfc2217 ? "rfc2217://" : "tcp://") +
         "127.0.0.1:" + std::to_string(port_);
}

void Ser2net::Kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
}

std::string Ser2net::Log() const {
  std::ifstream in(dir_ / "ser2net.log");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace sc
