#pragma once
// What `signal-cli status` prints: the front panel, the ten texts of the "Received Signal
// info" panel and the sixteen fields of the Timing page, as the console's core holds them
// (the values the console shows). As text under the console's captions, or as one JSON
// object.

#include <optional>
#include <string>
#include <vector>

#include "cli/text_output.h"
#include "console/status_panel.h"
#include "timing/timing_decoder.h"

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

// What a report is made of: the front panel as the console holds it (nothing or -1 where it
// shows no value), the panel's ten texts and the Timing page's sixteen fields (polarities
// and scan type -1 when no choice is shown).
struct StatusRecords {
  std::optional<bool> inputIsSdi;
  int hpdChoice = -1;  // 0 "ON", 1 "OFF"
  std::optional<int> volumePercent;
  int edidPreset = -1;  // 0..14
  StatusPanel panel;
  TimingFields timing;
};

// The report of the records, without port, device and address. signal-cli status and the
// watcher's "answering" event both make theirs here.
StatusReport MakeStatusReport(const StatusRecords& records);

// The main window's state after a status chain.
StatusReport ReadStatusReport(const ConsoleDialog& dialog);

std::string FormatStatusText(const StatusReport& report);
// The object status --json writes: port, device, address, front_panel, panel, timing.
Json StatusJson(const StatusReport& report);
std::string FormatStatusJson(const StatusReport& report);

}  // namespace sc
