#pragma once
// What `signal-cli status` prints: the front panel, the ten texts of the "Received Signal
// info" panel and the sixteen fields of the Timing page, as the console's core holds them
// (the values the console shows). As text under the console's captions, or as one JSON
// object.

#include <optional>
#include <string>
#include <vector>

namespace sc {

struct StatusField {
  std::string key;                   // the JSON name
  std::string caption;               // the console's caption
  std::optional<std::string> value;  // as shown; nothing when the console shows no choice
  bool number = false;               // written as a JSON number
  std::string unit;                  // shown after the value in the text form
};

struct StatusReport {
  std::string port;     // "COM1"
  std::string device;   // its device path
  std::string address;  // the box's address, "0A03"
  std::vector<StatusField> frontPanel, panel, timing;
};

class ConsoleDialog;

// The main window's state after a status chain.
StatusReport ReadStatusReport(const ConsoleDialog& dialog);

std::string FormatStatusText(const StatusReport& report);
std::string FormatStatusJson(const StatusReport& report);

}  // namespace sc
