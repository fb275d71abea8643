#include "timing/timing_decoder.h"

#include <algorithm>

namespace sc {

namespace {

uint16_t Word(const std::array<uint8_t, kTimingRecordSize>& b, size_t at) {
  return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

// n / d rounded half up, for n >= 0 and d > 0.
uint64_t RoundedQuotient(uint64_t n, uint64_t d) {
  return (2 * n + d) / (2 * d);
}

}  // namespace

TimingRecord TimingRecord::FromBytes(const std::array<uint8_t, kTimingRecordSize>& b) {
  TimingRecord r;
  r.pixelClock = Word(b, 1);
  r.flags = b[3];
  r.hActive = Word(b, 4);
  r.hBlank = Word(b, 6);
  r.hSyncOffset = Word(b, 8);
  r.hSyncWidth = Word(b, 10);
  r.vActive = Word(b, 12);
  r.vBlank = Word(b, 14);
  r.vSyncOffset = Word(b, 16);
  r.vSyncWidth = Word(b, 18);
  return r;
}

TimingFields DecodeTiming(const TimingRecord& r, const TimingCorrections& c) {
  TimingFields f;
  f.pixelClock = r.pixelClock * 0.01;

  f.hActive = r.hActive;
  f.hBlank = r.hBlank;
  f.hSyncOffset = r.hSyncOffset;
  f.hSyncWidth = r.hSyncWidth;
  f.hTotal = f.hActive + f.hBlank;
  f.vActive = r.vActive;
  f.vBlank = r.vBlank;
  f.vSyncOffset = r.vSyncOffset;
  f.vSyncWidth = r.vSyncWidth;
  f.vTotal = f.vActive + f.vBlank;

  // The line rate is clock / H total, the field rate clock / (H total x V total); both
  // are computed exactly from the clock code (MHz x 100) and rounded half up, the line
  // rate to 10 Hz and the field rate to 0.01 Hz. No total, no rate.
  const uint64_t clock = r.pixelClock;
  const uint64_t hTotal = static_cast<uint64_t>(f.hTotal);
  const uint64_t vTotal = static_cast<uint64_t>(f.vTotal);
  const uint64_t lineRate10Hz = hTotal ? RoundedQuotient(clock * 1000, hTotal) : 0;
  const uint64_t fieldRateCentiHz =
      hTotal && vTotal ? RoundedQuotient(clock * 1000000, hTotal * vTotal) : 0;
  f.hFreq = static_cast<double>(lineRate10Hz) * 0.01;
  f.vFreq = static_cast<double>(fieldRateCentiHz) * 0.01;

  if (c.inputIsSdi) {
    // The SDI receiver reports no sync polarity: slow clocks are standard definition,
    // negative, faster ones positive.
    const int polarity = r.pixelClock < 7000 ? kPolarityMinus : kPolarityPlus;
    f.hSyncPolarity = f.vSyncPolarity = polarity;
  } else {
    f.hSyncPolarity = (r.flags & 0x02) ? kPolarityPlus : kPolarityMinus;
    f.vSyncPolarity = (r.flags & 0x04) ? kPolarityPlus : kPolarityMinus;
  }

  const bool interlaced = r.flags & 0x01;
  f.scanType = interlaced ? kInterlaced : kProgressive;
  if (interlaced) {
    if (c.inputIsSdi) {
      const bool sixty =
          (fieldRateCentiHz > 3000 && fieldRateCentiHz < 4000) || fieldRateCentiHz > 5000;
      f.vFreq = sixty ? 60.0 : 50.0;
    } else {
      // Field values to frame values: 540 and 562 lines give 1080 and 1125, and the
      // blanking of the frame is what lies between them (2 x 22 + 1).
      f.vActive *= 2;
      f.vTotal = 2 * f.vTotal + 1;
      f.vBlank = f.vTotal - f.vActive;
    }
  }

  // The box measures the pixels on the wire: 4:2:0 carries two pixels in each clock, and a
  // repeated pixel is sent two, three or four times. Every horizontal count and the clock
  // are scaled to the picture's own pixels, so that active + blank = total and the clock is
  // the total times the line rate; the line and field rates stay as measured.
  int scaleUp = 1, scaleDown = 1;
  if (c.colorSpace == 3) scaleUp = 2;
  if (c.pixelRepetition >= 1 && c.pixelRepetition <= 3) scaleDown = c.pixelRepetition + 1;
  if (scaleUp != 1 || scaleDown != 1) {
    auto scale = [&](int value) { return value * scaleUp / scaleDown; };
    f.hActive = scale(f.hActive);
    f.hTotal = scale(f.hTotal);
    f.hBlank = f.hTotal - f.hActive;
    f.hSyncOffset = scale(f.hSyncOffset);
    f.hSyncWidth = scale(f.hSyncWidth);
    f.pixelClock = r.pixelClock * 0.01 * scaleUp / scaleDown;
  }

  if (c.structure3d == 1 && f.vTotal > 0) {
    // Frame packing: two pictures and the blanking between them in one frame of twice the
    // total. One picture is half the total less its blanking (1125 - 45 = 1080).
    f.vTotal /= 2;
    f.vBlank = std::min(f.vBlank, f.vTotal);
    f.vActive = f.vTotal - f.vBlank;
  }
  return f;
}

}  // namespace sc
