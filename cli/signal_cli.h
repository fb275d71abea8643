#pragma once
// signal-cli as a function, so that the tests run it in-process against the simulated
// box: the arguments (without the program name) and where its output goes.

#include <ctime>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "addressing/address_book.h"
#include "cli/cli_host.h"
#include "link/port_directory.h"

namespace sc {

struct CliEnvironment {
  std::ostream* out = nullptr;
  std::ostream* err = nullptr;
  // A progress bar is drawn on `err` while a capture runs.
  bool errIsTerminal = false;
  // watch writes readable lines rather than JSON to a terminal.
  bool outIsTerminal = false;
  // The COM ports (COMn); nothing: SIGNAL_CONSOLE_PORTS and this machine's devices.
  std::function<PortDirectory()> systemPorts;
  // Where the console's settings are looked for (the address book the core loads).
  std::string executablePath;
  std::optional<SettingsEnvironment> settingsEnvironment;
  // The local time "monitor start" stamps the recording with; nothing: this machine's.
  std::function<std::tm()> localTime;
  // The loop to run on; nothing: one of the run's own. A test interrupts through it.
  CliHost* host = nullptr;
};

int RunSignalCli(const std::vector<std::string>& args, const CliEnvironment& environment);

// The port a --port argument names: a COM number of the console's list (none: COM1), or a
// device of its own as COM1.
struct CliPort {
  int number = 1;
  std::string name;  // "COM3", or the device's path
  std::function<PortDirectory()> ports;
  bool networkPortMap = true;  // false: a path given, not a COM number
};
CliPort ChooseCliPort(const std::string& text, const CliEnvironment& environment);

}  // namespace sc
