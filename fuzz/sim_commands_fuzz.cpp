// The simulated box's command interface (its standard input), line by line, against a
// line of two boxes that is not served.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/fuzz_host.h"
#include "sim/sim_commands.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sc::BoxServer server({{0x01, 0x01}, {0x0A, 0x03}});
  sc::SimCommandInterpreter interpreter(server);
  std::string_view text(reinterpret_cast<const char*>(data), size);
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    const auto result = interpreter.Execute(line);
    if (result.text.empty() && !line.empty() &&
        line.find_first_not_of(" \t\r") != std::string_view::npos &&
        line[line.find_first_not_of(" \t\r")] != '#')
      sc::fuzz::Fail("a command without an answer");
    if (result.quit || end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return 0;
}
