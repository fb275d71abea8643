#pragma once
// The recording as a timeline: which of the 2040 slots were recorded and triggered, and
// the clock time of any slot, from the start time and the slot length. The clock is the
// box's local clock as the recording was stamped with it (no time zone, no daylight
// saving changes).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sc {

// A start date and time as the monitor stamps it; year holds two digits.
struct StartTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  friend bool operator==(const StartTime&, const StartTime&) = default;
};

class MonitorTimeline {
 public:
  static constexpr int kSlots = 2040;

  MonitorTimeline() = default;
  // unitIndex 0 is seconds, anything else minutes; the record is the page's digits.
  MonitorTimeline(const StartTime& start, int unitIndex, unsigned slotLength,
                  std::string_view record);

  int recorded() const { return recorded_; }
  // The triggered slots, from 0, in order.
  const std::vector<int>& triggered() const { return triggered_; }
  bool IsTriggered(int slot) const;
  // Seconds a slot lasts; 0 when the slot length is unknown (0 or above 255).
  long slotSeconds() const { return slotSeconds_; }
  // Whether the start is a real date and time, so slots have clock times.
  bool hasClock() const { return hasClock_; }

  // The text shown for a slot: its number (from 1), its state and its time span, e.g.
  // "Slot 100 triggered: 7 Dec 09:13:45 to 09:13:50".
  std::string SlotText(int slot) const;

  struct Tick {
    int slot;  // 0..2040, the boundary before that slot
    std::string label;
  };
  // `intervals` + 1 ticks from the start to the end of the 2040th slot, evenly spaced.
  std::vector<Tick> Ticks(int intervals) const;

  // The triggered slot nearest to `slot` within `reach` slots either side.
  std::optional<int> TriggeredNear(int slot, int reach) const;

  // The slot at a fraction (0..1) of the strip's length.
  static int SlotAt(double fraction);

 private:
  // The time `seconds` after the start, as a clock text (with the date when asked).
  std::string ClockText(long seconds, bool withDate) const;
  std::string SpanText(long from, long to) const;

  StartTime start_;
  bool hasClock_ = false;
  long slotSeconds_ = 0;
  int recorded_ = 0;
  std::vector<int> triggered_;
};

}  // namespace sc
