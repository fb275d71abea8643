#include "sim/box_recorder.h"

#include <algorithm>

namespace sc {

bool BoxRecorder::Start(const std::vector<uint8_t>& settings, Clock::time_point now,
                        bool signalPresent) {
  if (settings.size() != 7 || settings[1] == 0) return false;
  started_ = true;
  start_ = now;
  unit_ = settings[0] != 0 ? 1 : 0;
  length_ = settings[1];
  trigger_ = settings[2] != 0 ? 1 : 0;
  std::copy(settings.begin() + 3, settings.end(), startTime_.begin());
  slot_ = std::chrono::seconds(length_) * (unit_ != 0 ? 60 : 1);
  triggered_.reset();
  lostSince_.reset();
  if (!signalPresent) lostSince_ = now;
  return true;
}

int64_t BoxRecorder::SlotOf(Clock::time_point t) const {
  const Clock::duration since = t - start_;
  if (since < Clock::duration::zero()) return -1;
  return since / slot_;
}

void BoxRecorder::MarkSpan(std::bitset<kSlots>& marks, int64_t first, int64_t last) {
  first = std::max<int64_t>(first, 0);
  last = std::min<int64_t>(last, kSlots - 1);
  for (int64_t slot = first; slot <= last; ++slot)
    marks.set(static_cast<size_t>(slot));
}

void BoxRecorder::MarkLoss(std::bitset<kSlots>& marks, Clock::time_point until) const {
  if (!lostSince_) return;
  // A loss that ends on a slot's first moment does not reach into that slot.
  const int64_t last =
      until > *lostSince_ ? SlotOf(until - Clock::duration(1)) : SlotOf(*lostSince_);
  MarkSpan(marks, SlotOf(*lostSince_), last);
}

void BoxRecorder::OnSignalLost(Clock::time_point now) {
  if (started_ && !lostSince_) lostSince_ = now;
}

void BoxRecorder::OnSignalBack(Clock::time_point now) {
  if (!started_) return;
  MarkLoss(triggered_, now);
  lostSince_.reset();
  if (trigger_ == 0) MarkSpan(triggered_, SlotOf(now), SlotOf(now));
}

void BoxRecorder::OnFormatChange(Clock::time_point now) {
  if (started_ && trigger_ == 0) MarkSpan(triggered_, SlotOf(now), SlotOf(now));
}

int BoxRecorder::RecordedSlots(Clock::time_point now) const {
  if (!started_) return 0;
  return static_cast<int>(std::clamp<int64_t>(SlotOf(now), 0, kSlots));
}

std::vector<uint8_t> BoxRecorder::Record(Clock::time_point now) const {
  std::vector<uint8_t> p(kRecordSize, 0);
  const int recorded = RecordedSlots(now);
  std::bitset<kSlots> marks = triggered_;
  MarkLoss(marks, now);
  p[0] = static_cast<uint8_t>(recorded / 8);
  p[1] = static_cast<uint8_t>(recorded % 8);
  p[2] = !started_ || recorded == kSlots ? 1 : 0;
  p[3] = unit_;
  p[4] = length_;
  p[5] = trigger_;
  std::copy(startTime_.begin(), startTime_.end(), p.begin() + 6);
  for (int slot = 0; slot < kSlots; ++slot) {
    const bool triggered = slot < recorded && marks.test(static_cast<size_t>(slot));
    if (!triggered) p[10 + slot / 8] |= static_cast<uint8_t>(1u << (slot % 8));
  }
  return p;
}

}  // namespace sc
