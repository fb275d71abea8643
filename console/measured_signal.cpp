#include "console/measured_signal.h"

namespace sc {

MeasuredSignal MeasuredSignalOf(const TimingPage& timing, const StatusPanel& panel) {
  MeasuredSignal m;
  if (timing.hActive > 0 && timing.vActive > 0) {
    m.width = timing.hActive;
    m.height = timing.vActive;
    m.interlaced = timing.scanType == kInterlaced;
    m.fieldRateHz = timing.vFreq;
    m.pixelRepetition = timing.pixelRepetition <= 3 ? timing.pixelRepetition : 0;
  }
  if (panel.statusBytes) {
    // The status bytes are signed; the values the panel's tables do not list state nothing.
    const auto& s = *panel.statusBytes;
    if (s[0] <= 3) m.colourSpace = s[0];
    if (s[4] >= 1 && s[4] <= 7) m.sampleRateCode = s[4];
    if (s[6] >= 1 && s[6] <= 7) m.channelCount = s[6] + 1;
  }
  return m;
}

}  // namespace sc
