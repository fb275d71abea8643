#include "watch/event_output.h"

#include <cstdio>
#include <ctime>

namespace sc {

namespace {

struct LocalTime {
  std::tm tm{};
  int milliseconds = 0;
};

LocalTime Split(WallClock::time_point time) {
  using namespace std::chrono;
  const auto since = time.time_since_epoch();
  auto seconds = floor<std::chrono::seconds>(since);
  LocalTime t;
  t.milliseconds = static_cast<int>(duration_cast<milliseconds>(since - seconds).count());
  const std::time_t whole = static_cast<std::time_t>(seconds.count());
  localtime_r(&whole, &t.tm);
  return t;
}

// Control bytes and bytes above 0x7E as \xNN: a device path cannot reach the terminal raw.
std::string Printable(const std::string& text) {
  std::string out;
  for (const unsigned char c : text) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

}  // namespace

std::string FormatEventTime(WallClock::time_point time) {
  const LocalTime t = Split(time);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &t.tm);
  const long offset = t.tm.tm_gmtoff;
  const long minutes = (offset < 0 ? -offset : offset) / 60;
  char text[64];
  std::snprintf(text, sizeof text, "%s.%03d%c%02ld:%02ld", stamp, t.milliseconds,
                offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
  return text;
}

std::string FormatEventJson(const WatchEvent& e, const EventSource& source,
                            const nlohmann::ordered_json* state) {
  nlohmann::ordered_json j;
  j["time"] = FormatEventTime(e.time);
  j["port"] = source.port;
  j["box"] = source.address;
  j["event"] = WatchEventName(e.kind);
  switch (e.kind) {
    case WatchEventKind::Answering:
      if (state && state->is_object())
        for (const auto& [key, value] : state->items())
          j[key] = value;
      break;
    case WatchEventKind::SignalBack:
      if (e.state) j["format"] = e.state->Format();
      break;
    case WatchEventKind::FormatChanged:
    case WatchEventKind::HdcpChanged:
    case WatchEventKind::InputChanged:
      j["from"] = e.from;
      j["to"] = e.to;
      break;
    case WatchEventKind::NoAnswer:
    case WatchEventKind::SignalLost:
      break;
  }
  // ASCII only, and a device path that is not UTF-8 cannot break the line.
  return j.dump(-1, ' ', true, nlohmann::ordered_json::error_handler_t::replace);
}

std::string FormatEventText(const WatchEvent& e, const EventSource& source) {
  const LocalTime t = Split(e.time);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &t.tm);
  std::string line =
      std::string(stamp) + " " + source.port + " " + source.address + " " + WatchEventName(e.kind);
  switch (e.kind) {
    case WatchEventKind::Answering:
      if (e.state) {
        line += ": " + std::string(e.state->InputName());
        if (e.state->signalPresent) {
          line += ", " + e.state->Format();
          // The SDI input has no HDCP (its text is blank).
          if (!e.state->sdi) line += ", " + e.state->Hdcp();
        } else {
          line += ", no signal";
        }
      }
      break;
    case WatchEventKind::SignalBack:
      if (e.state) line += ": " + e.state->Format();
      break;
    case WatchEventKind::FormatChanged:
    case WatchEventKind::HdcpChanged:
    case WatchEventKind::InputChanged:
      line += ": " + e.from + " -> " + e.to;
      break;
    case WatchEventKind::NoAnswer:
    case WatchEventKind::SignalLost:
      break;
  }
  return Printable(line);
}

}  // namespace sc
