#pragma once
// Faults a simulated box can put into what it sends (replies and notices alike), and
// the counts of what it received and sent.

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "link/frame.h"
#include "sim/box_chaos.h"

namespace sc {

struct BoxFaults {
  bool silent = false;                      // no frame is sent (the box still acts on commands)
  int dropFrames = 0;                       // the next N frames are never sent
  int corruptFrames = 0;                    // the next N frames go out with a wrong checksum
  int duplicateFrames = 0;                  // the next N frames go out twice
  int garbleFrames = 0;                     // the next N frames have line noise before them
  int strangerFrames = 0;                   // the next N frames carry `stranger` as address
  DeviceAddress stranger{0x0B, 0x01};       // (a reply from another box)
  std::chrono::milliseconds replyDelay{0};  // applied by whoever writes to the line
  bool failEdidWrites = false;              // user-slot writes fail, the slot unchanged
  // The next frame transfer stops after this many chunks, as if the box had hung in the
  // middle of it (-1: it does not).
  int stallFrameAfter = -1;
  // A noisy line: each frame may meet a fault of its own (after the counted ones above).
  std::optional<BoxChaos> chaos;
};

struct BoxCounters {
  uint64_t frames = 0;       // complete command frames with a good checksum
  uint64_t badChecksum = 0;  // complete frames dropped for their checksum
  uint64_t notForMe = 0;     // good frames for another address or an invalid one
  uint64_t sent = 0;         // frames handed to the line (corrupted ones included)
  uint64_t dropped = 0;
  uint64_t corrupted = 0;
  uint64_t duplicated = 0;
  uint64_t garbled = 0;
  uint64_t strangers = 0;
  uint64_t delayed = 0;
  uint64_t cut = 0;
};

// A frame that goes out later than the others (the chaos's delay).
struct DelayedFrame {
  std::chrono::milliseconds delay{0};
  std::vector<uint8_t> bytes;
};

// Bytes of line noise: none of them starts a frame.
inline constexpr uint8_t kLineNoise[] = {0x13, 0x00, 0xFF, 0x55, 0xAA, 0x01, 0x7F};

// Puts one whole frame on `out` the way the faults say, counting what they did. A frame
// the chaos delays goes to `delayed` (or out at once without it).
void SendWithFaults(std::vector<uint8_t> frame, BoxFaults& faults, BoxCounters& counters,
                    std::vector<uint8_t>& out, std::vector<DelayedFrame>* delayed = nullptr);

}  // namespace sc
