#include "console/measured_signal.h"

namespace sc {

MeasuredSignal MeasuredSignalOf(const TimingPage& timing, const std::optional<SignalStatus>& status,
                                bool inputIsSdi) {
  MeasuredSignal m;
  if (timing.hActive <= 0 || timing.vActive <= 0) return m;
  m.width = timing.hActive;
  m.height = timing.vActive;
  m.interlaced = timing.scanType == kInterlaced;
  m.fieldRateHz = timing.vFreq;
  m.pixelRepetition = timing.pixelRepetition <= 3 ? timing.pixelRepetition : 0;
  if (status && !inputIsSdi) {
    // The bytes are signed; the values the panel's tables do not list state nothing.
    if (status->colorSpace <= 3) m.colourSpace = status->colorSpace;
    if (status->sampleRate >= 1 && status->sampleRate <= 7) m.sampleRateCode = status->sampleRate;
    if (status->channels >= 1 && status->channels <= 7) m.channelCount = status->channels + 1;
  }
  return m;
}

}  // namespace sc
