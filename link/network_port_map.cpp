#include "link/network_port_map.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "link/network_address.h"
#include "link/port_directory.h"
#include "storage/safe_file.h"

namespace sc {
namespace {

std::string Trim(const std::string& text) {
  const size_t begin = text.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return {};
  const size_t end = text.find_last_not_of(" \t\r");
  return text.substr(begin, end - begin + 1);
}

// A text from a file shown in a message: printable characters only, and not too long.
std::string Shown(const std::string& text, size_t limit = 60) {
  std::string out;
  for (char c : text) {
    if (out.size() >= limit) {
      out += "...";
      break;
    }
    out += (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  return out;
}

}  // namespace

std::string NetworkPortMap::Set(int port, const std::string& address) {
  if (port < kFirstPort || port > kLastPort)
    return "COM" + std::to_string(port) + " is not one of COM1..COM99.";
  std::string problem;
  const auto parsed = ParseNetworkAddress(address, &problem);
  if (!parsed) return problem;
  entries_[port] = FormatNetworkAddress(*parsed);
  return {};
}

std::string NetworkPortMap::Format() const {
  std::string text =
      "# COM numbers of the Signal Console mapped to network ports (Link > Network port...).\n"
      "# One N=ADDRESS a line, ADDRESS rfc2217://HOST:PORT or tcp://HOST:PORT.\n";
  for (const auto& [port, address] : entries_)
    text += std::to_string(port) + "=" + address + "\n";
  return text;
}

NetworkPortMap NetworkPortMap::Parse(const std::string& text, std::vector<std::string>* problems) {
  NetworkPortMap map;
  auto problem = [problems](size_t line, const std::string& why) {
    if (problems) problems->push_back("line " + std::to_string(line) + ": " + why);
  };
  size_t begin = 0;
  size_t number = 0;
  while (begin < text.size()) {
    size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    ++number;
    const std::string raw = text.substr(begin, end - begin);
    begin = end + 1;
    if (raw.size() > kMaxLineBytes) {
      problem(number, "longer than " + std::to_string(kMaxLineBytes) + " characters");
      continue;
    }
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == '#') continue;
    const size_t equals = line.find('=');
    if (equals == std::string::npos) {
      problem(number, "\"" + Shown(line) + "\" is not N=ADDRESS");
      continue;
    }
    const std::string portText = Trim(line.substr(0, equals));
    int port = 0;
    bool digits = !portText.empty() && portText.size() <= 2;
    for (char c : portText)
      digits = digits && c >= '0' && c <= '9';
    if (digits) port = std::stoi(portText);
    if (port < kFirstPort || port > kLastPort) {
      problem(number, "\"" + Shown(portText) + "\" is not a COM number 1..99");
      continue;
    }
    if (const std::string why = map.Set(port, Trim(line.substr(equals + 1))); !why.empty())
      problem(number, Shown(why, 200));
  }
  return map;
}

std::string NetworkPortMap::PathBeside(const std::string& settingsPath) {
  const size_t slash = settingsPath.rfind('/');
  if (slash == std::string::npos) return kFileName;
  return settingsPath.substr(0, slash + 1) + kFileName;
}

NetworkPortMap NetworkPortMap::Load(const std::string& path, std::vector<std::string>* problems) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) {
    if (errno != ENOENT && problems) problems->push_back(path + ": " + std::strerror(errno));
    return {};
  }
  std::string text;
  char buffer[4096];
  bool tooLong = false;
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
    if (text.size() > kMaxFileBytes) {
      tooLong = true;
      break;
    }
  }
  ::close(fd);
  if (tooLong) {
    if (problems)
      problems->push_back(path + ": longer than " + std::to_string(kMaxFileBytes / 1024) +
                          " KiB, not read");
    return {};
  }
  std::vector<std::string> lines;
  NetworkPortMap map = Parse(text, &lines);
  if (problems)
    for (const auto& line : lines)
      problems->push_back(path + ", " + line);
  return map;
}

std::string NetworkPortMap::Save(const std::string& path) const {
  const SafeWriteResult result = ReplaceFileSafely(path, Format());
  if (result.ok()) return {};
  return "Cannot write " + path + ": " + std::strerror(result.error);
}

}  // namespace sc
