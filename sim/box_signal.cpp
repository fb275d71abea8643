#include "sim/box_signal.h"

namespace sc {

namespace {

void PutWord(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value & 0xFF);
  at[1] = static_cast<uint8_t>(value >> 8);
}

// Flags of the timing record.
constexpr uint8_t kInterlaced = 0x01;
constexpr uint8_t kBothPositive = 0x06;

// Status bytes: colour space, depth, HDCP, signal type, audio rate, size, channels - 1,
// coding type, 3D structure, pixel repetition.
constexpr BoxSignalStatus kHdmiPcm2{0, 0, 0, 1, 3, 3, 1, 1, 0, 0};  // RGB, 48 kHz 24-bit stereo
constexpr BoxSignalStatus kDviNoAudio{0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr BoxSignalStatus kHdmi480p{2, 0, 0, 1, 3, 1, 1, 1, 0, 0};     // YUV 4:4:4, 48 kHz 16-bit
constexpr BoxSignalStatus kHdmi576i{1, 0, 0, 1, 3, 1, 1, 1, 0, 1};     // YUV 4:2:2, pixels twice
constexpr BoxSignalStatus kHdmi720p50{0, 0, 1, 1, 2, 2, 1, 1, 0, 0};   // HDCP 1.4, 44.1 kHz 20-bit
constexpr BoxSignalStatus kHdmiAc3{2, 1, 1, 1, 3, 3, 5, 2, 0, 0};      // 30-bit, AC-3 5.1
constexpr BoxSignalStatus kHdmi1080p24{0, 0, 0, 1, 5, 3, 7, 1, 0, 0};  // 96 kHz 8-channel PCM
constexpr BoxSignalStatus kHdmi2160p30{0, 2, 2, 1, 7, 3, 1, 1, 0, 0};  // 36-bit, HDCP 2.2, 192 kHz
constexpr BoxSignalStatus kHdmi2160p60{3, 0, 2,  1, 3,
                                       3, 7, 11, 0, 0};           // 4:2:0, HDCP 2.2, DTS-HD 7.1
constexpr BoxSignalStatus kHdmi3d{0, 0, 1, 1, 3, 3, 5, 2, 1, 0};  // frame packing, AC-3 5.1
constexpr BoxSignalStatus kSdi{1, 1, 0, 2, 3, 3, 7, 1, 0, 0};     // 4:2:2 10-bit, 8 channels

// CEA-861 timings as the box measures them (see BoxTiming).
std::vector<BoxSignal> MakePresets() {
  return {
      {"none", "no signal", kHdmiInput, {}, {}, {}},
      {"640x480p60",
       "640x480 progressive 59.94 Hz, DVI without audio (VIC 1)",
       kHdmiInput,
       {2518, 0x00, 640, 160, 16, 96, 480, 45, 10, 2},
       kDviNoAudio,
       {640, 480}},
      {"480p59.94",
       "720x480 progressive 59.94 Hz (VIC 2)",
       kHdmiInput,
       {2700, 0x00, 720, 138, 16, 62, 480, 45, 9, 6},
       kHdmi480p,
       {720, 480}},
      // 720 pixels sent twice each: 1440 on the wire; 288 lines a field.
      {"576i50",
       "720x576 interlaced 50 Hz, each pixel sent twice (VIC 21)",
       kHdmiInput,
       {2700, kInterlaced, 1440, 288, 24, 126, 288, 24, 2, 3},
       kHdmi576i,
       {720, 576}},
      {"720p50",
       "1280x720 progressive 50 Hz (VIC 19)",
       kHdmiInput,
       {7425, kBothPositive, 1280, 700, 440, 40, 720, 30, 5, 5},
       kHdmi720p50,
       {1280, 720}},
      {"720p60",
       "1280x720 progressive 60 Hz (VIC 4)",
       kHdmiInput,
       {7425, kBothPositive, 1280, 370, 110, 40, 720, 30, 5, 5},
       kHdmiPcm2,
       {1280, 720}},
      // 540 lines a field, 562 the shorter field's total.
      {"1080i50",
       "1920x1080 interlaced 50 Hz (VIC 20)",
       kHdmiInput,
       {7425, kBothPositive | kInterlaced, 1920, 720, 528, 44, 540, 22, 2, 5},
       kHdmiAc3,
       {1920, 1080}},
      {"1080i60",
       "1920x1080 interlaced 60 Hz (VIC 5)",
       kHdmiInput,
       {7425, kBothPositive | kInterlaced, 1920, 280, 88, 44, 540, 22, 2, 5},
       kHdmiPcm2,
       {1920, 1080}},
      {"1080p24",
       "1920x1080 progressive 24 Hz (VIC 32)",
       kHdmiInput,
       {7425, kBothPositive, 1920, 830, 638, 44, 1080, 45, 4, 5},
       kHdmi1080p24,
       {1920, 1080}},
      {"1080p50",
       "1920x1080 progressive 50 Hz (VIC 31)",
       kHdmiInput,
       {14850, kBothPositive, 1920, 720, 528, 44, 1080, 45, 4, 5},
       kHdmiPcm2,
       {1920, 1080}},
      {"1080p60",
       "1920x1080 progressive 60 Hz (VIC 16)",
       kHdmiInput,
       {14850, kBothPositive, 1920, 280, 88, 44, 1080, 45, 4, 5},
       kHdmiPcm2,
       {1920, 1080}},
      {"2160p30",
       "3840x2160 progressive 30 Hz (VIC 95)",
       kHdmiInput,
       {29700, kBothPositive, 3840, 560, 176, 88, 2160, 90, 8, 10},
       kHdmi2160p30,
       {3840, 2160}},
      // Two pixels a clock: half the width and half the clock on the wire.
      {"2160p60",
       "3840x2160 progressive 60 Hz in YCbCr 4:2:0 (VIC 97)",
       kHdmiInput,
       {29700, kBothPositive, 1920, 280, 88, 44, 2160, 90, 8, 10},
       kHdmi2160p60,
       {3840, 2160}},
      // Both pictures and the 45 lines between them: 2205 active lines of 2250.
      {"1080p24-3d",
       "1920x1080 progressive 24 Hz, 3D frame packing (VIC 32)",
       kHdmiInput,
       {14850, kBothPositive, 1920, 830, 638, 44, 2205, 45, 4, 5},
       kHdmi3d,
       {1920, 1080}},
      // The SDI receiver counts whole frames and reports no sync polarity.
      {"sdi-1080i50",
       "1920x1080 interlaced 50 Hz on SDI (SMPTE 274M)",
       kSdiInput,
       {7425, kInterlaced, 1920, 720, 528, 44, 1080, 45, 4, 10},
       kSdi,
       {1920, 1080}},
  };
}

}  // namespace

std::array<uint8_t, 20> BoxTiming::Bytes() const {
  std::array<uint8_t, 20> b{};
  PutWord(&b[1], pixelClock);
  b[3] = flags;
  PutWord(&b[4], hActive);
  PutWord(&b[6], hBlank);
  PutWord(&b[8], hSyncOffset);
  PutWord(&b[10], hSyncWidth);
  PutWord(&b[12], vActive);
  PutWord(&b[14], vBlank);
  PutWord(&b[16], vSyncOffset);
  PutWord(&b[18], vSyncWidth);
  return b;
}

std::array<uint8_t, 10> BoxSignalStatus::Bytes() const {
  return {colourSpace, colourDepth, hdcp,      signalType,  sampleRate,
          sampleSize,  channels,    audioType, structure3d, pixelRepetition};
}

bool BoxSignal::SameAs(const BoxSignal& other) const {
  return timing.Bytes() == other.timing.Bytes() && status.Bytes() == other.status.Bytes();
}

const std::vector<BoxSignal>& BoxSignalPresets() {
  static const std::vector<BoxSignal> presets = MakePresets();
  return presets;
}

std::optional<BoxSignal> FindBoxSignal(std::string_view name) {
  for (const BoxSignal& s : BoxSignalPresets())
    if (s.name == name) return s;
  return std::nullopt;
}

BoxSources::BoxSources() {
  sources_[0].signal = *FindBoxSignal(kDefaultSignal);
  sources_[1].signal = *FindBoxSignal(kDefaultSdiSignal);
}

BoxSignal BoxSources::Received(uint8_t input, bool hotPlugOn) const {
  const Connector& source = sources_[Index(input)];
  const bool sending = source.connected && (input == kSdiInput || hotPlugOn);
  return sending ? source.signal : *FindBoxSignal("none");
}

}  // namespace sc
