#include "link/port_directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <set>

namespace sc {
namespace {

bool IsSpace(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string Trim(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsSpace(text[begin]))
    ++begin;
  while (end > begin && IsSpace(text[end - 1]))
    --end;
  return text.substr(begin, end - begin);
}

// A port number 1..99 written in decimal digits only, or 0.
int ParsePortNumber(const std::string& text) {
  if (text.empty()) return 0;
  int value = 0;
  for (char c : text) {
    if (!IsDigit(c)) return 0;
    value = std::min(value * 10 + (c - '0'), kLastPort + 1);
  }
  return value >= kFirstPort && value <= kLastPort ? value : 0;
}

bool PathExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

std::string Canonical(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

// The names under devRoot that are prefix + decimal digits, in natural order.
std::vector<std::string> NumberedNames(const std::string& devRoot, const std::string& prefix) {
  std::vector<std::string> names;
  DIR* dir = opendir(devRoot.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    if (std::all_of(name.begin() + static_cast<long>(prefix.size()), name.end(), IsDigit))
      names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end(), NaturalLess);
  return names;
}

// The port type in the sysfs "type" attribute, if it can be read.
bool ReadSysfsType(const std::string& path, long& type) {
  std::ifstream in(path);
  std::string text;
  if (!in || !std::getline(in, text)) return false;
  text = Trim(text);
  if (text.empty() || !std::all_of(text.begin(), text.end(), IsDigit)) return false;
  type = std::strtol(text.c_str(), nullptr, 10);
  return true;
}

// The port type TIOCGSERIAL reports, if the device can be opened and asked.
bool ReadSerialType(const std::string& device, long& type) {
  int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  serial_struct info{};
  bool ok = ioctl(fd, TIOCGSERIAL, &info) == 0;
  close(fd);
  if (ok) type = info.type;
  return ok;
}

bool HasRealUart(const std::string& devRoot, const std::string& sysRoot, const std::string& name) {
  const std::string sysDir = sysRoot + "/class/tty/" + name;
  const std::string device = devRoot + "/" + name;
  long type = 0;
  if (!PathExists(sysDir)) return ReadSerialType(device, type) && type != PORT_UNKNOWN;
  if (!PathExists(sysDir + "/device")) return false;
  if (ReadSysfsType(sysDir + "/type", type)) return type != PORT_UNKNOWN;
  if (ReadSerialType(device, type)) return type != PORT_UNKNOWN;
  return true;
}

}  // namespace

PortDirectory PortDirectory::Build(const std::string& entries,
                                   const std::vector<std::string>& devices) {
  PortDirectory directory;
  size_t begin = 0;
  while (begin <= entries.size()) {
    size_t end = entries.find(',', begin);
    if (end == std::string::npos) end = entries.size();
    const std::string item = entries.substr(begin, end - begin);
    begin = end + 1;
    const size_t equals = item.find('=');
    if (equals == std::string::npos) continue;
    const int port = ParsePortNumber(Trim(item.substr(0, equals)));
    const std::string path = Trim(item.substr(equals + 1));
    if (port == 0 || path.empty()) continue;
    directory.entries_[port] = path;
    directory.explicit_.insert(port);
  }

  std::set<std::string> listed;
  for (const auto& [port, path] : directory.entries_)
    listed.insert(path);
  int next = kFirstPort;
  for (const auto& device : devices) {
    if (device.empty() || listed.count(device) != 0) continue;
    while (next <= kLastPort && directory.entries_.count(next) != 0)
      ++next;
    if (next > kLastPort) break;
    directory.entries_[next] = device;
    listed.insert(device);
  }
  return directory;
}

PortDirectory PortDirectory::Discover(const std::string& entries, const std::string& devRoot,
                                      const std::string& sysRoot) {
  // An explicit entry may name a found device through a link (/dev/serial/by-id/...).
  std::set<std::string> named;
  for (const auto& [port, path] : Build(entries, {}).entries_) {
    named.insert(path);
    named.insert(Canonical(path));
  }
  std::vector<std::string> devices;
  for (const auto& device : SystemDevices(devRoot, sysRoot)) {
    if (named.count(device) == 0 && named.count(Canonical(device)) == 0) devices.push_back(device);
  }
  return Build(entries, devices);
}

PortDirectory PortDirectory::FromSystem() {
  const char* entries = std::getenv("SIGNAL_CONSOLE_PORTS");
  return Discover(entries ? entries : "", "/dev", "/sys");
}

std::vector<std::string> PortDirectory::SystemDevices(const std::string& devRoot,
                                                      const std::string& sysRoot) {
  std::vector<std::string> devices;
  for (const char* prefix : {"ttyUSB", "ttyACM"}) {
    for (const auto& name : NumberedNames(devRoot, prefix))
      devices.push_back(devRoot + "/" + name);
  }
  for (const auto& name : NumberedNames(devRoot, "ttyS")) {
    if (HasRealUart(devRoot, sysRoot, name)) devices.push_back(devRoot + "/" + name);
  }
  return devices;
}

PortDirectory PortDirectory::KeepingNumbersOf(const PortDirectory& previous) const {
  PortDirectory result;
  result.explicit_ = explicit_;
  std::vector<std::string> found;  // in the order of this scan
  for (const auto& [number, path] : entries_) {
    if (explicit_.count(number) != 0)
      result.entries_[number] = path;
    else
      found.push_back(path);
  }
  // Every found device `previous` knew, present or gone, by path.
  std::map<std::string, int> known;
  for (const auto& [number, path] : previous.vanished_)
    known[path] = number;
  for (const auto& [number, path] : previous.entries_)
    if (previous.explicit_.count(number) == 0) known[path] = number;
  std::set<int> everUsed;
  for (const auto& [path, number] : known)
    everUsed.insert(number);

  std::vector<std::string> fresh;
  for (const auto& path : found) {
    auto it = known.find(path);
    if (it != known.end() && result.entries_.count(it->second) == 0)
      result.entries_[it->second] = path;
    else
      fresh.push_back(path);
  }
  auto firstNumber = [&](bool skipUsed) {
    for (int n = kFirstPort; n <= kLastPort; ++n)
      if (result.entries_.count(n) == 0 && (!skipUsed || everUsed.count(n) == 0)) return n;
    return 0;
  };
  for (const auto& path : fresh) {
    int number = firstNumber(true);
    if (number == 0) number = firstNumber(false);
    if (number == 0) break;
    result.entries_[number] = path;
  }
  for (const auto& [path, number] : known) {
    if (result.entries_.count(number) != 0) continue;
    bool present = false;
    for (const auto& [n, p] : result.entries_)
      present = present || p == path;
    if (!present) result.vanished_[number] = path;
  }
  return result;
}

PortDirectory PortDirectory::WithMapped(const std::map<int, std::string>& mapped) const {
  if (mapped.empty()) return *this;
  PortDirectory result;
  result.explicit_ = explicit_;
  result.vanished_ = vanished_;
  for (const auto& [number, path] : entries_)
    if (explicit_.count(number) != 0) result.entries_[number] = path;
  for (const auto& [number, address] : mapped) {
    if (number < kFirstPort || number > kLastPort || address.empty()) continue;
    if (result.entries_.count(number) != 0) continue;
    result.entries_[number] = address;
    result.explicit_.insert(number);
  }
  std::vector<std::string> displaced;
  for (const auto& [number, path] : entries_) {
    if (explicit_.count(number) != 0) continue;
    if (result.entries_.count(number) == 0)
      result.entries_[number] = path;
    else
      displaced.push_back(path);
  }
  int next = kFirstPort;
  for (const auto& path : displaced) {
    while (next <= kLastPort && result.entries_.count(next) != 0)
      ++next;
    if (next > kLastPort) break;
    result.entries_[next] = path;
  }
  return result;
}

std::string PortDirectory::PathFor(int port) const {
  auto it = entries_.find(port);
  return it == entries_.end() ? std::string() : it->second;
}

bool NaturalLess(const std::string& a, const std::string& b) {
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      // Compare digit runs by value, whatever their length: drop leading zeros, then the
      // longer run is the larger number, and equal lengths compare digit by digit.
      size_t ai = i;
      size_t bj = j;
      while (ai < a.size() && a[ai] == '0')
        ++ai;
      while (bj < b.size() && b[bj] == '0')
        ++bj;
      size_t ae = ai;
      size_t be = bj;
      while (ae < a.size() && IsDigit(a[ae]))
        ++ae;
      while (be < b.size() && IsDigit(b[be]))
        ++be;
      if (ae - ai != be - bj) return ae - ai < be - bj;
      int order = a.compare(ai, ae - ai, b, bj, be - bj);
      if (order != 0) return order < 0;
      i = ae;
      j = be;
      continue;
    }
    if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
    ++i;
    ++j;
  }
  // One ran out first: the shorter is the smaller.
  if (i == a.size() && j < b.size()) return true;
  if (i < a.size()) return false;
  // Equal by value ("ttyS01" and "ttyS1"): fall back on the plain text so the order is
  // still strict.
  return a < b;
}

}  // namespace sc
