#include "sim/box_faults.h"

namespace sc {

void SendWithFaults(std::vector<uint8_t> frame, BoxFaults& faults, BoxCounters& counters,
                    std::vector<uint8_t>& out, std::vector<DelayedFrame>* delayed) {
  if (faults.silent) {
    ++counters.dropped;
    return;
  }
  // The chaos draws for every frame, so that its sequence depends on the traffic alone.
  std::optional<ChaosFault> chaos;
  if (faults.chaos) {
    chaos = faults.chaos->Draw(frame.size());
    if (chaos) {
      ChaosEvent event;
      event.time = std::chrono::system_clock::now();
      event.box =
          frame.size() >= kFrameOverhead ? DeviceAddress{frame[5], frame[6]} : DeviceAddress{};
      event.code =
          frame.size() >= kFrameOverhead ? static_cast<uint16_t>(frame[7] | frame[8] << 8) : 0;
      event.size = frame.size();
      event.fault = *chaos;
      faults.chaos->Record(event);
    }
  }
  auto is = [&](ChaosKind kind) { return chaos && chaos->kind == kind; };

  if (faults.dropFrames > 0 || is(ChaosKind::Drop)) {
    if (!is(ChaosKind::Drop)) --faults.dropFrames;
    ++counters.dropped;
    return;
  }
  if ((faults.strangerFrames > 0 || is(ChaosKind::Stranger)) && frame.size() >= kFrameOverhead) {
    const DeviceAddress stranger = is(ChaosKind::Stranger) ? chaos->stranger : faults.stranger;
    if (!is(ChaosKind::Stranger)) --faults.strangerFrames;
    ++counters.strangers;
    frame[5] = stranger.group;
    frame[6] = stranger.device;
    frame.back() = 0;
    frame.back() = FrameChecksum(frame.data(), frame.size() - 1);
  }
  if (faults.corruptFrames > 0 || is(ChaosKind::Corrupt)) {
    if (!is(ChaosKind::Corrupt)) --faults.corruptFrames;
    ++counters.corrupted;
    frame.back() = static_cast<uint8_t>(frame.back() + 1);
  }
  std::vector<uint8_t> noise;
  if (faults.garbleFrames > 0 || is(ChaosKind::Garble)) {
    if (!is(ChaosKind::Garble)) --faults.garbleFrames;
    ++counters.garbled;
    noise.assign(std::begin(kLineNoise), std::end(kLineNoise));
  }
  if (is(ChaosKind::Cut)) {
    ++counters.cut;
    frame.resize(chaos->keep);
  }
  int copies = 1;
  if (faults.duplicateFrames > 0 || is(ChaosKind::Duplicate)) {
    if (!is(ChaosKind::Duplicate)) --faults.duplicateFrames;
    ++counters.duplicated;
    copies = 2;
  }
  std::vector<uint8_t>* to = &out;
  if (is(ChaosKind::Delay) && delayed) {
    ++counters.delayed;
    delayed->push_back({chaos->delay, {}});
    to = &delayed->back().bytes;
  }
  to->insert(to->end(), noise.begin(), noise.end());
  for (int i = 0; i < copies; ++i) {
    ++counters.sent;
    to->insert(to->end(), frame.begin(), frame.end());
  }
}

}  // namespace sc
