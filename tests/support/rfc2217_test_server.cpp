#include "tests/support/rfc2217_test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sc {
namespace {

constexpr uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250,
                  kSe = 240;
constexpr uint8_t kBinary = 0, kSuppressGoAhead = 3, kComPort = 44;
constexpr uint8_t kSetBaudRate = 1;
constexpr uint8_t kServerOffset = 100;

void SendAll(int fd, const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

}  // namespace

Rfc2217TestServer::Rfc2217TestServer(Mode mode) : mode_(mode) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int one = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(listenFd_, 4);
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &size);
  port_ = ntohs(address.sin_port);
  stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  thread_ = std::thread([this] { Serve(); });
}

Rfc2217TestServer::~Rfc2217TestServer() {
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(stopFd_, &one, sizeof one);
  thread_.join();
  ::close(listenFd_);
  ::close(stopFd_);
}

void Rfc2217TestServer::SetRateAnswer(std::function<uint32_t(uint32_t)> answer) {
  std::lock_guard<std::mutex> guard(mutex_);
  rateAnswer_ = std::move(answer);
}

std::vector<uint8_t> Rfc2217TestServer::Received() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return received_;
}

std::vector<uint32_t> Rfc2217TestServer::RatesAsked() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return ratesAsked_;
}

void Rfc2217TestServer::Serve() {
  for (;;) {
    pollfd fds[2] = {{stopFd_, POLLIN, 0}, {listenFd_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[0].revents) return;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    Handle(fd);
    ::close(fd);
  }
}

void Rfc2217TestServer::Handle(int fd) {
  enum State { kData, kCommand, kOption, kSub, kSubIac } state = kData;
  uint8_t command = 0;
  std::vector<uint8_t> sub;
  auto answerSub = [&] {
    if (sub.size() < 2 || sub[0] != kComPort) return;
    const uint8_t code = sub[1];
    std::vector<uint8_t> value(sub.begin() + 2, sub.end());
    if (code == kSetBaudRate && value.size() == 4) {
      const uint32_t asked =
          uint32_t{value[0]} << 24 | uint32_t{value[1]} << 16 | uint32_t{value[2]} << 8 | value[3];
      uint32_t answered = asked;
      {
        std::lock_guard<std::mutex> guard(mutex_);
        ratesAsked_.push_back(asked);
        if (rateAnswer_) answered = rateAnswer_(asked);
      }
      value = {static_cast<uint8_t>(answered >> 24), static_cast<uint8_t>(answered >> 16),
               static_cast<uint8_t>(answered >> 8), static_cast<uint8_t>(answered)};
    }
    std::vector<uint8_t> reply = {kIac, kSb, kComPort, static_cast<uint8_t>(code + kServerOffset)};
    for (uint8_t b : value) {
      reply.push_back(b);
      if (b == kIac) reply.push_back(kIac);
    }
    reply.insert(reply.end(), {kIac, kSe});
    SendAll(fd, reply);
  };
  for (;;) {
    pollfd fds[2] = {{stopFd_, POLLIN, 0}, {fd, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[0].revents) return;
    uint8_t buffer[4096];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return;
    if (mode_ == Mode::Silent) continue;
    for (ssize_t i = 0; i < n; ++i) {
      const uint8_t b = buffer[i];
      switch (state) {
        case kData:
          if (b == kIac) {
            state = kCommand;
          } else {
            std::lock_guard<std::mutex> guard(mutex_);
            received_.push_back(b);
          }
          break;
        case kCommand:
          if (b == kIac) {
            std::lock_guard<std::mutex> guard(mutex_);
            received_.push_back(b);
            state = kData;
          } else if (b == kWill || b == kWont || b == kDo || b == kDont) {
            command = b;
            state = kOption;
          } else if (b == kSb) {
            sub.clear();
            state = kSub;
          } else {
            state = kData;
          }
          break;
        case kOption: {
          const bool known = b == kBinary || b == kSuppressGoAhead || b == kComPort;
          if (command == kWill) SendAll(fd, {kIac, known ? kDo : kDont, b});
          if (command == kDo) SendAll(fd, {kIac, known && b != kComPort ? kWill : kWont, b});
          state = kData;
          break;
        }
        case kSub:
          if (b == kIac)
            state = kSubIac;
          else
            sub.push_back(b);
          break;
        case kSubIac:
          if (b == kSe) {
            answerSub();
            state = kData;
          } else {
            sub.push_back(b);  // IAC IAC: one 0xFF
            state = kSub;
          }
          break;
      }
    }
  }
}

}  // namespace sc
