#include "monitor/monitor_timeline.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace sc {

namespace {

constexpr const char* kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr long kDay = 86400;

// The box keeps five bits of the year: 2000 + year has the right leap years for this
// century, which is all a clock time needs.
std::chrono::year_month_day StartDate(const StartTime& start) {
  using namespace std::chrono;
  return year{2000 + start.year} / month{static_cast<unsigned>(start.month)} /
         day{static_cast<unsigned>(start.day)};
}

bool ValidStart(const StartTime& s) {
  if (s.year < 0 || s.month < 1 || s.month > 12 || s.day < 1 || s.day > 31) return false;
  if (s.hour < 0 || s.hour > 23 || s.minute < 0 || s.minute > 59 || s.second < 0 || s.second > 59)
    return false;
  return StartDate(s).ok();
}

}  // namespace

MonitorTimeline::MonitorTimeline(const StartTime& start, int unitIndex, unsigned slotLength,
                                 std::string_view record)
    : start_(start) {
  if (slotLength >= 1 && slotLength <= 255)
    slotSeconds_ = static_cast<long>(slotLength) * (unitIndex != 0 ? 60 : 1);
  hasClock_ = slotSeconds_ != 0 && ValidStart(start);
  recorded_ = static_cast<int>(std::min<size_t>(record.size(), kSlots));
  for (int slot = 0; slot < recorded_; ++slot)
    if (record[static_cast<size_t>(slot)] == '1') triggered_.push_back(slot);
}

bool MonitorTimeline::IsTriggered(int slot) const {
  return std::binary_search(triggered_.begin(), triggered_.end(), slot);
}

std::string MonitorTimeline::ClockText(long seconds, bool withDate) const {
  using namespace std::chrono;
  char text[48];
  if (!hasClock_) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    return text;
  }
  const long sinceMidnight = start_.hour * 3600L + start_.minute * 60L + start_.second + seconds;
  const sys_days date = sys_days(StartDate(start_)) + days(sinceMidnight / kDay);
  const year_month_day ymd(date);
  const long clock = sinceMidnight % kDay;
  if (withDate)
    std::snprintf(text, sizeof text, "%u %s %02ld:%02ld:%02ld", unsigned(ymd.day()),
                  kMonthNames[unsigned(ymd.month()) - 1], clock / 3600, clock / 60 % 60,
                  clock % 60);
  else
    std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", clock / 3600, clock / 60 % 60,
                  clock % 60);
  return text;
}

std::string MonitorTimeline::SpanText(long from, long to) const {
  if (!hasClock_)
    return ClockText(from, false) + " to " + ClockText(to, false) + " after the start";
  // The end's date only when it falls on another day.
  const long startOfDay = start_.hour * 3600L + start_.minute * 60L + start_.second;
  const bool sameDay = (startOfDay + from) / kDay == (startOfDay + to) / kDay;
  return ClockText(from, true) + " to " + ClockText(to, !sameDay);
}

std::string MonitorTimeline::SlotText(int slot) const {
  std::string text = "Slot " + std::to_string(slot + 1);
  if (slot < 0 || slot >= kSlots) return text;
  text += slot >= recorded_ ? " not recorded" : IsTriggered(slot) ? " triggered" : " normal";
  if (slotSeconds_ == 0) return text;
  return text + ": " + SpanText(slot * slotSeconds_, (slot + 1) * slotSeconds_);
}

std::vector<MonitorTimeline::Tick> MonitorTimeline::Ticks(int intervals) const {
  std::vector<Tick> ticks;
  if (intervals < 1) return ticks;
  // With more than a day in view, each label carries its date.
  const bool withDate = slotSeconds_ * kSlots >= kDay;
  for (int i = 0; i <= intervals; ++i) {
    const int slot = static_cast<int>(static_cast<long>(kSlots) * i / intervals);
    std::string label;
    if (slotSeconds_ == 0)
      label = std::to_string(std::min(slot + 1, kSlots));
    else
      label = ClockText(slot * slotSeconds_, withDate);
    ticks.push_back({slot, std::move(label)});
  }
  return ticks;
}

std::optional<int> MonitorTimeline::TriggeredNear(int slot, int reach) const {
  std::optional<int> best;
  auto it = std::lower_bound(triggered_.begin(), triggered_.end(), slot);
  for (auto candidate : {it, it == triggered_.begin() ? triggered_.end() : std::prev(it)}) {
    if (candidate == triggered_.end()) continue;
    const int distance = std::abs(*candidate - slot);
    if (distance <= reach && (!best || distance < std::abs(*best - slot))) best = *candidate;
  }
  return best;
}

int MonitorTimeline::SlotAt(double fraction) {
  if (!(fraction > 0)) return 0;
  return std::min(kSlots - 1, static_cast<int>(std::floor(fraction * kSlots)));
}

}  // namespace sc
