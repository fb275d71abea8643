#include "sim/box_chaos.h"

#include <charconv>
#include <cstdio>

namespace sc {

const char* ChaosKindName(ChaosKind kind) {
  switch (kind) {
    case ChaosKind::Drop:
      return "drop";
    case ChaosKind::Corrupt:
      return "corrupt";
    case ChaosKind::Duplicate:
      return "duplicate";
    case ChaosKind::Delay:
      return "delay";
    case ChaosKind::Garble:
      return "garble";
    case ChaosKind::Cut:
      return "cut";
    case ChaosKind::Stranger:
      return "stranger";
  }
  return "?";
}

std::string FormatChaosEvent(const ChaosEvent& e) {
  const long long ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(e.time.time_since_epoch()).count();
  char text[128];
  int n = std::snprintf(text, sizeof text, "chaos-event %lld %02X%02X %s %04X %zu", ms, e.box.group,
                        e.box.device, ChaosKindName(e.fault.kind), e.code, e.size);
  std::string line(text, static_cast<size_t>(n));
  switch (e.fault.kind) {
    case ChaosKind::Delay:
      n = std::snprintf(text, sizeof text, " %lldms",
                        static_cast<long long>(e.fault.delay.count()));
      break;
    case ChaosKind::Cut:
      n = std::snprintf(text, sizeof text, " keep %zu", e.fault.keep);
      break;
    case ChaosKind::Stranger:
      n = std::snprintf(text, sizeof text, " as %02X%02X", e.fault.stranger.group,
                        e.fault.stranger.device);
      break;
    default:
      n = 0;
      break;
  }
  line.append(text, static_cast<size_t>(n));
  return line;
}

std::optional<double> ParseChaosRate(std::string_view text) {
  bool percent = false;
  if (!text.empty() && text.back() == '%') {
    percent = true;
    text.remove_suffix(1);
  }
  if (text.empty() || text.size() > 32) return std::nullopt;
  // from_chars for double is in GCC 11's library; digits and one point are all we take.
  double value = 0;
  double scale = 0;
  for (char c : text) {
    if (c == '.' && scale == 0) {
      scale = 1;
      continue;
    }
    if (c < '0' || c > '9') return std::nullopt;
    if (scale == 0) {
      value = value * 10 + (c - '0');
    } else {
      scale /= 10;
      value += (c - '0') * scale;
    }
  }
  if (text == ".") return std::nullopt;
  if (percent) value /= 100;
  if (!(value >= 0 && value <= 1)) return std::nullopt;
  return value;
}

std::optional<ChaosSetting> ParseChaosSetting(std::string_view text) {
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  ChaosSetting setting;
  const std::string_view seed = text.substr(0, colon);
  auto [ptr, ec] = std::from_chars(seed.data(), seed.data() + seed.size(), setting.seed);
  if (ec != std::errc() || ptr != seed.data() + seed.size()) return std::nullopt;
  const std::optional<double> rate = ParseChaosRate(text.substr(colon + 1));
  if (!rate) return std::nullopt;
  setting.rate = *rate;
  return setting;
}

BoxChaos::BoxChaos(uint64_t seed, double rate, DeviceAddress box)
    : seed_(seed), rate_(rate), box_(box), state_(seed ^ (uint64_t{box.Word()} << 48)) {}

// splitmix64: small, fast and the same everywhere.
uint64_t BoxChaos::Next() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

std::optional<ChaosFault> BoxChaos::Draw(size_t size) {
  // 53 random bits as a fraction in [0, 1).
  const double u = static_cast<double>(Next() >> 11) * 0x1.0p-53;
  if (!(u < rate_)) return std::nullopt;
  ChaosFault fault;
  fault.kind = static_cast<ChaosKind>(Next() % kChaosKindCount);
  if (fault.kind == ChaosKind::Cut && size < 2) fault.kind = ChaosKind::Drop;
  switch (fault.kind) {
    case ChaosKind::Delay:
      fault.delay = std::chrono::milliseconds(1 + Next() % kChaosMaxDelay.count());
      break;
    case ChaosKind::Cut:
      fault.keep = 1 + Next() % (size - 1);
      break;
    case ChaosKind::Stranger:
      // The box next to this one on a line of boxes numbered in a row.
      fault.stranger = {box_.group, static_cast<uint8_t>(box_.device % 0xFE + 1)};
      break;
    default:
      break;
  }
  return fault;
}

void BoxChaos::Record(ChaosEvent event) {
  if (events.size() == kEventLimit) {
    events.pop_front();
    ++lostEvents;
  }
  events.push_back(event);
}

}  // namespace sc
