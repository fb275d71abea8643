#pragma once
// How a watcher's events are written: one JSON object a line for scripts and logs, or a
// readable line for a person at a terminal. Both start with the time, the port and the
// box.

#include <string>

#include <nlohmann/json.hpp>

#include "watch/box_tracker.h"

namespace sc {

// The line as the event's JSON names it: "COM1", or the path of a device given by path.
struct EventSource {
  std::string port;
  std::string device;   // the device behind the port
  std::string address;  // the box, "0101"
};

// Local time with milliseconds and the zone's offset: "2026-12-08T14:03:22.512+01:00".
std::string FormatEventTime(WallClock::time_point time);

// {"time": ..., "port": ..., "box": ..., "event": ..., ...} and no line break. `answering`
// adds the keys of `state`, the object `signal-cli status --json` writes for the box's
// state (the caller makes it); the changes add "from" and "to"; `signal_back` adds
// "format", the panel's timing text.
std::string FormatEventJson(const WatchEvent& event, const EventSource& source,
                            const nlohmann::ordered_json* state = nullptr);

// "2026-12-08 14:03:22 COM1 0101 format_changed: 1920x1080(60) -> 1280x720(60)", made
// safe for a terminal, no line break.
std::string FormatEventText(const WatchEvent& event, const EventSource& source);

}  // namespace sc
