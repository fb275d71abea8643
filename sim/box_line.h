#pragma once
// Several simulated boxes on one serial line. Every byte the console sends reaches every
// box; the boxes' answers to one command go out one after the other, in the order the
// boxes were added (a real shared line would need the boxes to take turns the same way).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "sim/simulated_box.h"

namespace sc {

// Bytes one box puts on the line, how long it waits before doing so, and the rate it
// sends them at.
struct LineOutput {
  size_t box = 0;
  std::vector<uint8_t> bytes;
  std::chrono::milliseconds delay{0};
  int rate = kBoxLinkRate;
};

class BoxLine {
 public:
  BoxLine() = default;
  explicit BoxLine(const std::vector<DeviceAddress>& addresses);

  SimulatedBox& Add(DeviceAddress address);
  // Takes the first box with this address off the line (its half-read frame with it);
  // false when there is none. What it already put on the line stays there.
  bool Remove(DeviceAddress address);
  size_t size() const { return boxes_.size(); }
  SimulatedBox& box(size_t index) { return *boxes_.at(index); }
  const SimulatedBox& box(size_t index) const { return *boxes_.at(index); }
  // The first box with this address, or null.
  SimulatedBox* Find(DeviceAddress address);

  // Feeds command bytes to every box, byte by byte, so that the answers to each frame
  // come out frame by frame.
  std::vector<LineOutput> Receive(const uint8_t* bytes, size_t count);
  // What the boxes queued on their own (signal notices), after each box has done what
  // fell due.
  std::vector<LineOutput> TakeUnsolicited();
  // The next chunks of the frame transfers under way, about maxBytes in all.
  std::vector<LineOutput> TakeStreamed(size_t maxBytes);
  bool Streaming() const;
  // The line's rate: what a box switched it to, else the link rate.
  int LineRate() const;
  // How long until the first box has something due, if any has.
  std::optional<std::chrono::milliseconds> TimeToNextEvent() const;

 private:
  std::vector<std::unique_ptr<SimulatedBox>> boxes_;
};

}  // namespace sc
