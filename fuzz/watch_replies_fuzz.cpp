// The boxes' answers as a watcher takes them: the round scheduler fed answers of any length
// and content between time-outs, each box's tracker with the readings it assembles, the
// event lines (JSON and readable) and the metrics with their exposition.
//
// Input: a sequence of steps; a byte with the high bit set lets time pass ((b & 0x7F) x
// 10 ms), any other byte b answers the awaited request with the next b bytes.

#include <cstddef>
#include <cstdint>
#include <vector>

#include <nlohmann/json.hpp>

#include "fuzz/fuzz_host.h"
#include "watch/event_output.h"
#include "watch/round_scheduler.h"
#include "watch/watch_metrics.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using Clock = sc::RoundScheduler::Clock;
  const std::vector<sc::DeviceAddress> boxes = {{0x01, 0x01}, {0x01, 0x02}};
  sc::RoundScheduler scheduler(boxes.size(), std::chrono::milliseconds(500),
                               std::chrono::milliseconds(100));
  std::vector<sc::BoxTracker> trackers(boxes.size());
  sc::WatchMetrics metrics("COM1", boxes);
  std::vector<sc::WatchEvent> events;
  scheduler.onPoll = [&](size_t box, const sc::BoxPoll& poll, Clock::time_point, bool again) {
    if (box >= trackers.size()) sc::fuzz::Fail("a poll of no box");
    events.clear();
    if (trackers[box].Take(poll, again, box, sc::WallClock::time_point{}, events)) {
      if (again) sc::fuzz::Fail("a third reading asked for");
      if (!events.empty()) sc::fuzz::Fail("events from a reading to be read again");
      return true;
    }
    metrics.Update(box, trackers[box]);
    for (const sc::WatchEvent& e : events) {
      const sc::EventSource source{"COM1", "/dev/ttyUSB0", "0101"};
      const std::string json = sc::FormatEventJson(e, source);
      const std::string text = sc::FormatEventText(e, source);
      if (json.find('\n') != std::string::npos || text.find('\n') != std::string::npos)
        sc::fuzz::Fail("an event across lines");
      if (nlohmann::json::parse(json, nullptr, false).is_discarded())
        sc::fuzz::Fail("an event that is no JSON");
    }
    return false;
  };
  Clock::time_point now{};
  scheduler.Start(now);
  size_t i = 0;
  while (i < size) {
    const uint8_t step = data[i++];
    if (step & 0x80) {
      now += std::chrono::milliseconds(10 * (step & 0x7F));
      scheduler.Tick(now);
      continue;
    }
    const size_t count = std::min<size_t>(step, size - i);
    scheduler.Answer(data + i, count, now);
    i += count;
  }
  if (metrics.Exposition().find("signal_box_polls_total") == std::string::npos)
    sc::fuzz::Fail("no counters in the exposition");
  return 0;
}
