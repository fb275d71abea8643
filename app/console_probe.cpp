#include "app/console_probe.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <utility>

#include "console/console_dialog.h"
#include "console/control_ids.h"

namespace sc {

namespace {

using Json = nlohmann::ordered_json;

// The panel's values by the captions beside them.
struct PanelRow {
  int id;
  const char* caption;
};
constexpr PanelRow kPanelRows[] = {{ids::kHdcpText, "HDCP:"},
                                   {ids::kSignalText, "Signal:"},
                                   {ids::kTimingText, "Timing:"},
                                   {ids::kColorSpaceText, "Color Space:"},
                                   {ids::kColorDepthText, "Color Depth:"},
                                   {ids::kStructureText, "2D/3D:"},
                                   {ids::kSampleRateText, "Sample rate:"},
                                   {ids::kAudioBitText, "Audio bit:"},
                                   {ids::kAudioTypeText, "Audio Type:"},
                                   {ids::kChannelsText, "Channels:"}};

std::string Dump(const Json& json) {
  // The console's texts are bytes: anything that is not UTF-8 is replaced, never thrown.
  return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string Done(const std::string& problem) {
  Json answer;
  answer["ok"] = problem.empty();
  if (!problem.empty()) answer["error"] = problem;
  return Dump(answer);
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

const char* DirectionName(TrafficDirection d) {
  switch (d) {
    case TrafficDirection::Sent:
      return "sent";
    case TrafficDirection::Received:
      return "received";
    case TrafficDirection::Note:
      return "note";
  }
  return "";
}

long long Milliseconds(std::chrono::microseconds us) {
  return static_cast<long long>(us.count() / 1000);
}

}  // namespace

void BlockMeter::Tick(Clock::time_point now) {
  ++ticks_;
  if (started_) {
    const auto late =
        std::chrono::duration_cast<std::chrono::microseconds>(now - last_ - interval_);
    sinceAsked_ = std::max(sinceAsked_, late);
    overall_ = std::max(overall_, late);
  }
  started_ = true;
  last_ = now;
}

std::chrono::microseconds BlockMeter::TakeLongest() {
  return std::exchange(sinceAsked_, std::chrono::microseconds{0});
}

std::string ConsoleProbe::Answer(std::string_view line) {
  line = Trim(line);
  const size_t space = line.find(' ');
  const std::string_view verb = line.substr(0, space);
  const std::string_view rest =
      space == std::string_view::npos ? std::string_view() : Trim(line.substr(space + 1));

  if (verb == "ping") return Done("");
  if (verb == "state") return State();
  if (verb == "log") {
    const size_t gap = rest.find(' ');
    const std::string_view number = rest.substr(0, gap);
    const std::string_view which =
        gap == std::string_view::npos ? std::string_view() : Trim(rest.substr(gap + 1));
    uint64_t from = 0;
    auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), from);
    if (number.empty() || ec != std::errc() || ptr != number.data() + number.size() ||
        !(which.empty() || which == "all"))
      return Done("usage: log SERIAL [all]");
    return Log(from, which == "all");
  }
  if (verb == "block") {
    Json answer;
    answer["longest_ms"] = Milliseconds(meter_.TakeLongest());
    answer["overall_ms"] = Milliseconds(meter_.longest());
    answer["interval_ms"] = meter_.interval().count();
    answer["ticks"] = meter_.ticks();
    return Dump(answer);
  }
  if (verb == "messages") {
    Json shown = Json::array();
    for (const ProbeControls::Message& m : controls_.TakeShownMessages())
      shown.push_back({{"caption", m.caption}, {"text", m.text}});
    Json answer;
    answer["shown"] = std::move(shown);
    answer["open"] = controls_.OpenMessages();
    return Dump(answer);
  }
  if (verb == "dismiss") {
    Json answer;
    answer["dismissed"] = controls_.DismissMessages();
    return Dump(answer);
  }
  if (verb == "click" || verb == "tab") {
    if (rest.empty()) return Done("usage: " + std::string(verb) + " NAME");
    const std::string name(rest);
    return Done(verb == "click" ? controls_.Click(name) : controls_.ShowTab(name));
  }
  if (verb == "set") {
    const size_t eq = rest.rfind('=');
    if (eq == std::string_view::npos || eq == 0) return Done("usage: set NAME=VALUE");
    return Done(controls_.Set(std::string(Trim(rest.substr(0, eq))),
                              std::string(Trim(rest.substr(eq + 1)))));
  }
  return Done("unknown request '" + std::string(verb) + "'");
}

std::string ConsoleProbe::State() {
  Json answer;
  answer["link"] = dialog_.linkUp();
  answer["searching"] = dialog_.searchActive();
  answer["preview"] = dialog_.previewBusy();
  answer["upload"] = dialog_.uploadActive();
  answer["line_mode"] = dialog_.lineMode();
  Json panel = Json::object();
  for (const PanelRow& row : kPanelRows)
    panel[row.caption] = dialog_.view().GetText(row.id);
  answer["panel"] = std::move(panel);
  const StatusBarModel& bar = dialog_.statusBar;
  answer["status_bar"] = {{"port", bar.port()},         {"rate", bar.rate()},
                          {"link", bar.link()},         {"last_answer", bar.lastAnswer()},
                          {"activity", bar.activity()}, {"files", bar.files()}};
  answer["log"] = {{"open", dialog_.trafficLogOpen()},
                   {"oldest", dialog_.trafficLog.oldest()},
                   {"next", dialog_.trafficLog.next()}};
  answer["messages_open"] = controls_.OpenMessages();
  return Dump(answer);
}

std::string ConsoleProbe::Log(uint64_t from, bool all) {
  const TrafficLog& log = dialog_.trafficLog;
  Json entries = Json::array();
  uint64_t serial = std::max(from, log.oldest());
  size_t taken = 0;
  for (; serial < log.next() && taken < kLogBatch; ++serial) {
    const TrafficEntry* e = log.Entry(serial);
    if (!e || (!all && e->mark == TrafficMark::None && e->direction != TrafficDirection::Note))
      continue;
    ++taken;
    char address[8] = "";
    if (e->bytes.size() >= kFrameOverhead && e->IsFrame())
      std::snprintf(address, sizeof address, "%02X%02X", e->bytes[5], e->bytes[6]);
    entries.push_back({{"serial", e->serial},
                       {"time_ms", std::chrono::duration_cast<std::chrono::milliseconds>(
                                       e->time.time_since_epoch())
                                       .count()},
                       {"dir", DirectionName(e->direction)},
                       {"code", e->code},
                       {"address", address},
                       {"mark", TrafficMarkText(e->mark)},
                       {"size", e->bytes.size()},
                       {"note", e->note}});
  }
  Json answer;
  answer["from"] = from;
  // Entries between `from` and the oldest held were overwritten before anyone read them.
  answer["lost"] = log.oldest() > from ? log.oldest() - from : 0;
  answer["next"] = serial;
  answer["more"] = serial < log.next();
  answer["entries"] = std::move(entries);
  return Dump(answer);
}

}  // namespace sc
