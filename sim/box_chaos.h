#pragma once
// A noisy line in the simulated box: with a given probability, each frame the box sends
// is dropped, corrupted, duplicated, delayed, preceded by line noise, cut short or sent
// with another box's address. A seeded generator of our own makes the choices, one draw
// sequence per box, so that the same seed and the same traffic give the same faults on
// any machine (the standard library's distributions may differ between libraries).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "link/frame.h"

namespace sc {

enum class ChaosKind : uint8_t { Drop, Corrupt, Duplicate, Delay, Garble, Cut, Stranger };
inline constexpr int kChaosKindCount = 7;
// "drop", "corrupt", "duplicate", "delay", "garble", "cut", "stranger".
const char* ChaosKindName(ChaosKind kind);

// The longest a delayed frame waits.
inline constexpr std::chrono::milliseconds kChaosMaxDelay{2000};

// One fault drawn for a frame.
struct ChaosFault {
  ChaosKind kind = ChaosKind::Drop;
  std::chrono::milliseconds delay{0};  // Delay: 1..2000 ms
  size_t keep = 0;                     // Cut: the bytes that go out, 1..size-1
  DeviceAddress stranger;              // Stranger: the address the frame carries
};

// What the box did to a frame, for whoever compares the far end's view with it.
struct ChaosEvent {
  std::chrono::system_clock::time_point time;
  DeviceAddress box;
  uint16_t code = 0;  // the frame's code
  size_t size = 0;    // the frame's size
  ChaosFault fault;
};
// "chaos-event 1733923402123 0101 corrupt 8090 16" (milliseconds since the epoch, the
// box, the kind, the code, the frame's size), then " 740ms" for a delay, " keep 7" for
// a cut, " as 0102" for a stranger.
std::string FormatChaosEvent(const ChaosEvent& event);

// Parses "0.01", "1%" or "0": a probability 0..1.
std::optional<double> ParseChaosRate(std::string_view text);
// Parses "SEED:RATE" (--chaos).
struct ChaosSetting {
  uint64_t seed = 0;
  double rate = 0;
};
std::optional<ChaosSetting> ParseChaosSetting(std::string_view text);

class BoxChaos {
 public:
  // The draws of one box: the same seed and address give the same sequence.
  BoxChaos(uint64_t seed, double rate, DeviceAddress box);

  uint64_t seed() const { return seed_; }
  double rate() const { return rate_; }
  // Draws for the next frame of `size` bytes: a fault with the probability of the rate,
  // else nothing. A frame too short to cut or re-address gets another kind instead.
  std::optional<ChaosFault> Draw(size_t size);

  // The events of the faults applied, oldest first, until taken; at most kEventLimit
  // (older ones are counted in lostEvents).
  std::deque<ChaosEvent> events;
  uint64_t lostEvents = 0;
  static constexpr size_t kEventLimit = 100000;
  void Record(ChaosEvent event);

 private:
  uint64_t Next();

  uint64_t seed_;
  double rate_;
  DeviceAddress box_;
  uint64_t state_;
};

}  // namespace sc
