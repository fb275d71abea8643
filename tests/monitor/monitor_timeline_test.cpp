// The record as a timeline: slot times from the start and the slot length, across days,
// months and leap days, and what a pointer near a marked slot names.

#include "monitor/monitor_timeline.h"

#include <gtest/gtest.h>

namespace sc {
namespace {

// 2040 digits with the given slots (from 1) triggered.
std::string Record(std::initializer_list<int> triggered, size_t count = 2040) {
  std::string digits(count, '0');
  for (int slot : triggered)
    digits[static_cast<size_t>(slot - 1)] = '1';
  return digits;
}

TEST(MonitorTimeline, GivesEachSlotItsClockTimes) {
  struct Case {
    StartTime start;
    int unit;
    unsigned length;
    int slot;  // from 1
    const char* text;
  };
  const Case cases[] = {
      {{26, 12, 7, 9, 5, 30}, 0, 5, 100, "Slot 100 triggered: 7 Dec 09:13:45 to 09:13:50"},
      {{26, 12, 7, 9, 5, 30}, 0, 5, 1, "Slot 1 triggered: 7 Dec 09:05:30 to 09:05:35"},
      {{26, 12, 7, 9, 5, 30}, 0, 5, 2, "Slot 2 normal: 7 Dec 09:05:35 to 09:05:40"},
      {{26, 12, 31, 23, 59, 30}, 1, 1, 1, "Slot 1 triggered: 31 Dec 23:59:30 to 1 Jan 00:00:30"},
      {{28, 2, 28, 23, 0, 0}, 1, 60, 2, "Slot 2 normal: 29 Feb 00:00:00 to 01:00:00"},
      {{26, 2, 28, 23, 0, 0}, 1, 60, 2, "Slot 2 normal: 1 Mar 00:00:00 to 01:00:00"},
      {{26, 12, 7, 9, 5, 30},
       1,
       255,
       2040,
       "Slot 2040 not recorded: 3 Dec 10:50:30 to 15:05:30"},  // 361 days on
      // Without a real start date the times count from the start.
      {{26, 0, 7, 9, 5, 30}, 0, 5, 100, "Slot 100 triggered: 0:08:15 to 0:08:20 after the start"},
      {{26, 2, 30, 9, 5, 30}, 0, 5, 1, "Slot 1 triggered: 0:00:00 to 0:00:05 after the start"},
      {{26, 12, 7, 9, 5, 30}, 0, 0, 100, "Slot 100 triggered"},
  };
  for (const Case& c : cases) {
    const MonitorTimeline timeline(c.start, c.unit, c.length, Record({1, 100}, 1000));
    EXPECT_EQ(timeline.SlotText(c.slot - 1), c.text);
  }
}

TEST(MonitorTimeline, TicksRunFromTheStartToTheEndOfTheLastSlot) {
  const MonitorTimeline seconds({26, 12, 7, 9, 5, 30}, 0, 1, "");
  std::vector<std::string> labels;
  for (const auto& tick : seconds.Ticks(6))
    labels.push_back(std::to_string(tick.slot) + " " + tick.label);
  EXPECT_EQ(labels,
            (std::vector<std::string>{"0 09:05:30", "340 09:11:10", "680 09:16:50", "1020 09:22:30",
                                      "1360 09:28:10", "1700 09:33:50", "2040 09:39:30"}));
  // More than a day in view: each label carries its date.
  const MonitorTimeline minutes({26, 12, 7, 9, 5, 30}, 1, 1, "");
  EXPECT_EQ(minutes.Ticks(2).back().label, "8 Dec 19:05:30");
}

TEST(MonitorTimeline, APointerNearAMarkedSlotNamesIt) {
  const MonitorTimeline timeline({26, 12, 7, 9, 5, 30}, 0, 5, Record({1, 100, 2040}));
  EXPECT_EQ(timeline.triggered(), (std::vector<int>{0, 99, 2039}));
  EXPECT_EQ(timeline.recorded(), 2040);
  EXPECT_EQ(timeline.TriggeredNear(97, 3), 99);
  EXPECT_EQ(timeline.TriggeredNear(103, 3), std::nullopt);
  EXPECT_EQ(timeline.TriggeredNear(2039, 0), 2039);
  EXPECT_EQ(timeline.TriggeredNear(3, 3), 0);
  EXPECT_EQ(MonitorTimeline::SlotAt(0.0), 0);
  EXPECT_EQ(MonitorTimeline::SlotAt(1.0), 2039);
  EXPECT_EQ(MonitorTimeline::SlotAt(0.5), 1020);
}

}  // namespace
}  // namespace sc
