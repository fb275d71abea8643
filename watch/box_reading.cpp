#include "watch/box_reading.h"

namespace sc {

BoxState DecodeBoxReading(const BoxReading& reading, const StatusPanel& previous) {
  BoxState s;
  s.sdi = reading.input == 1;
  TimingCorrections corrections;
  corrections.colorSpace = reading.status[0];
  corrections.structure3d = reading.status[8];
  corrections.pixelRepetition = reading.status[9];
  corrections.inputIsSdi = s.sdi;
  s.timing = DecodeTiming(TimingRecord::FromBytes(reading.timing), corrections);
  s.signalPresent = s.timing.hActive != 0;
  s.panel = previous;
  if (!s.signalPresent) {
    s.panel.Clear();
    return s;
  }
  s.panel.Decode(reading.status.data(), s.sdi);
  s.panel.timing = FormatTimingText(s.timing.hActive, s.timing.vActive,
                                    s.timing.scanType == kInterlaced, s.timing.vFreq);
  // The status byte is signed, as the panel reads it; the SDI input carries no HDCP.
  const int hdcp = static_cast<int8_t>(reading.status[2]);
  if (!s.sdi) s.hdcpVersion = hdcp == 1 ? 1.4 : hdcp == 2 ? 2.2 : 0.0;
  return s;
}

}  // namespace sc
