#include "sim/box_faults.h"

namespace sc {

void SendWithFaults(std::vector<uint8_t> frame, BoxFaults& faults, BoxCounters& counters,
                    std::vector<uint8_t>& out) {
  if (faults.silent) {
    ++counters.dropped;
    return;
  }
  if (faults.dropFrames > 0) {
    --faults.dropFrames;
    ++counters.dropped;
    return;
  }
  if (faults.strangerFrames > 0 && frame.size() >= kFrameOverhead) {
    --faults.strangerFrames;
    ++counters.strangers;
    frame[5] = faults.stranger.group;
    frame[6] = faults.stranger.device;
    frame.back() = 0;
    frame.back() = FrameChecksum(frame.data(), frame.size() - 1);
  }
  if (faults.corruptFrames > 0) {
    --faults.corruptFrames;
    ++counters.corrupted;
    frame.back() = static_cast<uint8_t>(frame.back() + 1);
  }
  if (faults.garbleFrames > 0) {
    --faults.garbleFrames;
    ++counters.garbled;
    out.insert(out.end(), std::begin(kLineNoise), std::end(kLineNoise));
  }
  int copies = 1;
  if (faults.duplicateFrames > 0) {
    --faults.duplicateFrames;
    ++counters.duplicated;
    copies = 2;
  }
  for (int i = 0; i < copies; ++i) {
    ++counters.sent;
    out.insert(out.end(), frame.begin(), frame.end());
  }
}

}  // namespace sc
