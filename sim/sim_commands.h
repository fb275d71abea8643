#pragma once
// The signal-box-sim program's options and its command interface on standard input,
// apart from the program so that both can be exercised without a process.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/box_server.h"

namespace sc {

struct SimOptions {
  std::vector<DeviceAddress> addresses;  // one box per address, at least one
  std::string signal{kDefaultSignal};
  bool hdr10 = false;                 // the source sends HDR10
  uint8_t input = 0;                  // 0 HDMI, 1 SDI
  std::string device;                 // empty: serve on a new pseudo-terminal
  int baud = 115200;                  // for a device
  bool pace = true;                   // send no faster than the line's rate
  std::optional<ChaosSetting> chaos;  // a noisy line from the start
  bool help = false;
};

// Parses the arguments after the program name. Returns nullopt with a message in *error
// when they make no sense.
std::optional<SimOptions> ParseSimOptions(const std::vector<std::string>& args, std::string* error);
std::string SimUsage();

// "GGDD", four hexadecimal digits, group 01..FE and device 01..FE.
std::optional<DeviceAddress> ParseBoxAddress(std::string_view text);

// Runs one line of the command interface against a running server.
class SimCommandInterpreter {
 public:
  struct Result {
    bool ok = true;
    bool quit = false;
    std::string text;  // the answer, one or more lines, each ending in '\n'
  };

  explicit SimCommandInterpreter(BoxServer& server) : server_(server) {}
  Result Execute(std::string_view line);
  static std::string Help();

 private:
  // Applies f to the selected box, or to every box.
  template <class F>
  void ForSelected(BoxLine& line, F&& f);

  BoxServer& server_;
  std::optional<DeviceAddress> selected_;  // nullopt: every box
};

}  // namespace sc
