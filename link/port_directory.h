#pragma once
// COM port numbers 1..99 mapped to device paths. Explicit entries come from
// SIGNAL_CONSOLE_PORTS ("N=PATH" pairs, comma separated, e.g. "1=/dev/pts/4,7=/dev/ttyUSB0");
// the serial devices found on the system then fill the remaining numbers from 1 upward:
// /dev/ttyUSB*, then /dev/ttyACM*, then the /dev/ttyS* ports that have a real UART, each
// group in natural order (ttyUSB2 before ttyUSB10).

#include <map>
#include <string>
#include <vector>

namespace sc {

inline constexpr int kFirstPort = 1;
inline constexpr int kLastPort = 99;

class PortDirectory {
 public:
  PortDirectory() = default;

  // The explicit entries of `entries` (the SIGNAL_CONSOLE_PORTS syntax; malformed pairs,
  // numbers outside 1..99 and empty paths are skipped), then `devices` in the order given.
  static PortDirectory Build(const std::string& entries, const std::vector<std::string>& devices);
  // SIGNAL_CONSOLE_PORTS and the serial devices of this machine.
  static PortDirectory FromSystem();
  // The serial devices of this machine in the order above.
  static std::vector<std::string> SystemDevices();

  // The device path of COM port n, or "" when none is mapped.
  std::string PathFor(int port) const;
  const std::map<int, std::string>& Entries() const { return entries_; }

 private:
  std::map<int, std::string> entries_;
};

// Orders names so that embedded numbers compare by value: ttyUSB2 < ttyUSB10.
bool NaturalLess(const std::string& a, const std::string& b);

}  // namespace sc
