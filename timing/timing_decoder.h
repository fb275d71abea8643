#pragma once
// The timing of the received signal. The box measures it and sends the raw values in
// reply 0x8091 as a twenty-byte TimingRecord; DecodeTiming turns them into the sixteen
// fields of the Timing page, corrected by three bytes of the latest status reply (colour
// space, pixel repetition, 3D structure) and by the input (HDMI or SDI).

#include <array>
#include <cstddef>
#include <cstdint>

namespace sc {

inline constexpr size_t kTimingRecordSize = 20;

// Reply 0x8091's payload: byte 0 unused, then 16-bit values, low byte first. Interlaced
// HDMI signals are measured per field.
struct TimingRecord {
  uint16_t pixelClock = 0;  // units of 10 kHz
  uint8_t flags = 0;        // bit 0 interlaced, bit 1 H sync positive, bit 2 V sync positive
  uint16_t hActive = 0;
  uint16_t hBlank = 0;
  uint16_t hSyncOffset = 0;  // front porch
  uint16_t hSyncWidth = 0;
  uint16_t vActive = 0;
  uint16_t vBlank = 0;
  uint16_t vSyncOffset = 0;
  uint16_t vSyncWidth = 0;

  static TimingRecord FromBytes(const std::array<uint8_t, kTimingRecordSize>& bytes);
};

// What besides the record the decoder reads.
struct TimingCorrections {
  uint8_t colorSpace = 0;       // status byte 0; 3 is YCbCr 4:2:0
  uint8_t pixelRepetition = 0;  // status byte 9; 1, 2, 3: each pixel sent 2, 3, 4 times
  uint8_t structure3d = 0;      // status byte 8; 1 is frame packing
  bool inputIsSdi = false;
};

// Radio indexes of the polarity and scan-type pairs.
inline constexpr int kPolarityPlus = 0;
inline constexpr int kPolarityMinus = 1;
inline constexpr int kProgressive = 0;
inline constexpr int kInterlaced = 1;

// The sixteen fields the Timing page shows.
struct TimingFields {
  double pixelClock = 0;  // MHz
  double hFreq = 0;       // kHz
  double vFreq = 0;       // Hz
  int hActive = 0, vActive = 0, hTotal = 0, vTotal = 0, hBlank = 0, vBlank = 0;
  int vSyncWidth = 0, hSyncWidth = 0, hSyncOffset = 0, vSyncOffset = 0;
  int hSyncPolarity = kPolarityPlus;
  int vSyncPolarity = kPolarityPlus;
  int scanType = kProgressive;
};

// Frequencies come from the raw totals, rounded to 10 Hz (line rate) and 0.01 Hz (field
// rate); a total of 0 gives a frequency of 0. Interlaced HDMI field values become frame
// values, 4:2:0 and pixel repetition give back the picture's own pixels (every horizontal
// count and the clock scaled alike), and a frame-packed 3D signal shows the size of one of
// its two pictures. The fields agree with each other: active + blank = total both ways, and
// the clock is the horizontal total times the line rate, within rounding.
TimingFields DecodeTiming(const TimingRecord& record, const TimingCorrections& corrections);

}  // namespace sc
