#pragma once
// COM port numbers 1..99 mapped to device paths. Explicit entries come from
// SIGNAL_CONSOLE_PORTS ("N=PATH" pairs, comma separated, e.g. "1=/dev/pts/4,7=/dev/ttyUSB0");
// the serial devices found on the system then fill the remaining numbers from 1 upward:
// /dev/ttyUSB*, then /dev/ttyACM*, then the /dev/ttyS* ports that have a real UART, each
// group in natural order (ttyUSB2 before ttyUSB10). A device already named explicitly
// (by its own path or through a link to it) is not listed twice.
//
// A ttyS port counts as a real UART when /sys/class/tty/ttySN/device exists and the
// port's type is not PORT_UNKNOWN. The kernel registers placeholder 8250 ports with a
// device link but type 0, so the link alone is not enough. The type is read from the
// port's sysfs "type" attribute, which reports what TIOCGSERIAL would without opening the
// port (an open raises DTR and RTS on whatever is attached); only when that attribute is
// missing is the port opened, non-blocking, for TIOCGSERIAL. A port with the device link
// whose type neither can tell is listed: a placeholder in the list costs a failed open, a
// hidden port cannot be used at all. Without any sysfs entry only TIOCGSERIAL can admit it.
//
// In SIGNAL_CONSOLE_PORTS, white space around items, numbers and paths is ignored; a
// number given twice keeps its last path.

#include <map>
#include <set>
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
  // `entries` and the serial devices under the given /dev and /sys roots.
  static PortDirectory Discover(const std::string& entries, const std::string& devRoot,
                                const std::string& sysRoot);
  // The serial devices of this machine in the order above, as paths under devRoot.
  static std::vector<std::string> SystemDevices(const std::string& devRoot = "/dev",
                                                const std::string& sysRoot = "/sys");

  // This directory with `mapped` numbers (COM number to a network port's address) added:
  // an explicit entry stands, a mapped number takes its address, and a found device that
  // sat on a mapped number moves to the first free one.
  PortDirectory WithMapped(const std::map<int, std::string>& mapped) const;

  // The device path of COM port n, or "" when none is mapped.
  std::string PathFor(int port) const;
  const std::map<int, std::string>& Entries() const { return entries_; }

  // This directory with the numbers `previous` gave (a port scan made while the program
  // runs, `previous` the one before it): the explicit entries stand as given; a found
  // device that `previous` had keeps its number; a device that has gone leaves its number
  // empty (and gets it back should it return); a new device takes the first number no
  // device has had, or, when none is left, the number of one that has gone. A COM number
  // the person chose so never comes to mean another device.
  PortDirectory KeepingNumbersOf(const PortDirectory& previous) const;

 private:
  std::map<int, std::string> entries_;
  std::set<int> explicit_;               // numbers SIGNAL_CONSOLE_PORTS gave
  std::map<int, std::string> vanished_;  // numbers of found devices that have gone
};

// Orders names so that embedded numbers compare by value: ttyUSB2 < ttyUSB10.
bool NaturalLess(const std::string& a, const std::string& b);

}  // namespace sc
