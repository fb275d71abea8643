#pragma once
// The box's signal monitor. "New Start" (0x0096) starts a recording of 2040 slots of 1 to
// 255 seconds or minutes; 0x8096 reads it back. The recorder keeps no ticking clock: it
// notes when the signal was lost or changed, as it happens, and works out which slots
// are complete and which were triggered when it is asked. A recording stops by itself
// after its 2040th slot.
//
// Trigger mode 0 (picture difference and loss of signal) marks every slot in which the
// signal was missing and every slot in which the picture changed: the signal went,
// came back or changed its format. Mode 1 (loss of signal only) marks only the slots in
// which the signal was missing.

#include <array>
#include <bitset>
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace sc {

class BoxRecorder {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr int kSlots = 2040;
  static constexpr size_t kRecordSize = 10 + 255;

  // Settings as 0x0096 carries them: unit (0 seconds, else minutes), slot length 1..255,
  // trigger mode, then the four bytes of the start time, which the recording keeps.
  // Settings of another size or a slot length of 0 change nothing (false).
  bool Start(const std::vector<uint8_t>& settings, Clock::time_point now, bool signalPresent);

  // The signal was lost (present -> absent), came back, or changed its format at `now`.
  void OnSignalLost(Clock::time_point now);
  void OnSignalBack(Clock::time_point now);
  void OnFormatChange(Clock::time_point now);

  // Slots completed by `now`, at most 2040 (0 before the first start).
  int RecordedSlots(Clock::time_point now) const;
  // The payload of the answer to 0x8096 at `now`: N, M, 0 while recording (1 once
  // stopped or never started), unit, slot length, trigger mode, the start time, and 255
  // bytes of flags (a clear bit is a triggered slot; slots not yet recorded read as set).
  std::vector<uint8_t> Record(Clock::time_point now) const;

 private:
  // The slot `t` falls in, counted from the start (negative before it).
  int64_t SlotOf(Clock::time_point t) const;
  // Marks the slots that share any moment with [from, to].
  static void MarkSpan(std::bitset<kSlots>& marks, int64_t first, int64_t last);
  void MarkLoss(std::bitset<kSlots>& marks, Clock::time_point until) const;

  bool started_ = false;
  Clock::time_point start_{};
  Clock::duration slot_{};
  uint8_t unit_ = 0, length_ = 0, trigger_ = 0;
  std::array<uint8_t, 4> startTime_{};
  std::bitset<kSlots> triggered_;
  std::optional<Clock::time_point> lostSince_;
};

}  // namespace sc
