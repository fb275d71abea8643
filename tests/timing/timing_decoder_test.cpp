// DecodeTiming, the panel's timing text and the status decoders over worked examples and
// over every format the simulated box sends, read as the console shows them.

#include "timing/timing_decoder.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "console/status_panel.h"
#include "sim/box_signal.h"
#include "window/view.h"

namespace sc {
namespace {

// A record from its fields, in the record's order.
TimingRecord Record(uint16_t clock, uint8_t flags, uint16_t hActive, uint16_t hBlank,
                    uint16_t hOffset, uint16_t hWidth, uint16_t vActive, uint16_t vBlank,
                    uint16_t vOffset, uint16_t vWidth) {
  return {clock, flags, hActive, hBlank, hOffset, hWidth, vActive, vBlank, vOffset, vWidth};
}

constexpr int P = kPolarityPlus, M = kPolarityMinus;
constexpr int Prog = kProgressive, Int = kInterlaced;

// The page's fields as a person reads them, and the panel's timing text.
struct Shown {
  const char *clock, *hFreq, *vFreq;
  int hActive, vActive, hTotal, vTotal, hBlank, vBlank;
  int hSyncWidth, hSyncOffset, vSyncWidth, vSyncOffset;
  int hPolarity, vPolarity, scan;
  const char* timingText;
};

// The nine byte texts of the panel: HDCP, signal, colour space, colour depth, 2D/3D,
// sample rate, audio bit, audio type, channels.
using StatusTexts = std::array<const char*, 9>;

// A worked example (its record and corrections), or a format of the simulated box (the
// record and status bytes the box sends for it, and the panel's texts).
struct Case {
  const char* what;
  TimingRecord record;
  TimingCorrections corrections;
  Shown shown;
  const char* format = nullptr;
  std::optional<StatusTexts> panel = std::nullopt;
};

constexpr StatusTexts kPlainPanel{"OFF", "HDMI",  "RGB4:4:4", "24bit", "2D",
                                  "48K", "24bit", "PCM",      "2ch"};

const Case kCases[] = {
    {"1080p60, status bytes 0",
     Record(14850, 0x06, 1920, 280, 88, 44, 1080, 45, 4, 5),
     {},
     {"148.5", "67.5", "60", 1920, 1080, 2200, 1125, 280, 45, 44, 88, 5, 4, P, P, Prog,
      "1920x1080(60)"}},
    {"interlaced HDMI: field values become frame values, rates from the field",
     Record(7425, 0x07, 1920, 280, 88, 44, 540, 22, 2, 5),
     {},
     {"74.25", "33.75", "60.05", 1920, 1080, 2200, 1125, 280, 45, 44, 88, 5, 2, P, P, Int,
      "1920x1080i(60)"}},
    {"4:2:0 doubles every horizontal count and the clock, not the rates",
     Record(14850, 0x06, 960, 140, 44, 22, 1080, 45, 4, 5),
     {3, 0, 0, false},
     {"297", "135", "120", 1920, 1080, 2200, 1125, 280, 45, 44, 88, 5, 4, P, P, Prog,
      "1920x1080(120)"}},
    {"pixel repetition 1 halves the horizontal counts and the clock, after the interlace "
     "doubling",
     Record(2700, 0x01, 1440, 276, 38, 124, 240, 22, 4, 3),
     {0, 1, 0, false},
     {"13.5", "15.73", "60.05", 720, 480, 858, 525, 138, 45, 62, 19, 3, 4, M, M, Int,
      "720x480i(60)"}},
    {"pixel repetition 2 divides by 3, H sync + only",
     Record(2700, 0x02, 2160, 672, 0, 0, 480, 45, 0, 0),
     {0, 2, 0, false},
     {"9", "9.53", "18.16", 720, 480, 944, 525, 224, 45, 0, 0, 0, 0, P, M, Prog, "720x480(18)"}},
    {"pixel repetition 3 divides by 4, V sync + only",
     Record(2700, 0x04, 2880, 552, 0, 0, 480, 45, 0, 0),
     {0, 3, 0, false},
     {"6.75", "7.87", "14.99", 720, 480, 858, 525, 138, 45, 0, 0, 0, 0, M, P, Prog, "720x480(15)"}},
    {"frame packing at 1920 wide: one picture's height, half the total",
     Record(14850, 0x06, 1920, 280, 88, 44, 2205, 45, 4, 5),
     {0, 0, 1, false},
     {"148.5", "67.5", "30", 1920, 1080, 2200, 1125, 280, 45, 44, 88, 5, 4, P, P, Prog,
      "1920x1080(30)"}},
    {"frame packing at 1280 wide",
     Record(14850, 0x06, 1280, 370, 110, 40, 1470, 30, 5, 5),
     {0, 0, 1, false},
     {"148.5", "90", "60", 1280, 720, 1650, 750, 370, 30, 40, 110, 5, 5, P, P, Prog,
      "1280x720(60)"}},
    {"frame packing at another width: one picture is half the total less the blanking",
     Record(5400, 0x00, 720, 144, 12, 64, 1201, 49, 5, 5),
     {0, 0, 1, false},
     {"54", "62.5", "50", 720, 576, 864, 625, 144, 49, 64, 12, 5, 5, M, M, Prog, "720x576(50)"}},
    {"SDI, fast clock: both +, flags ignored; interlaced 25.00 reads 50",
     Record(7425, 0x01, 1920, 720, 528, 44, 1080, 45, 4, 10),
     {0, 0, 0, true},
     {"74.25", "28.13", "50", 1920, 1080, 2640, 1125, 720, 45, 44, 528, 10, 4, P, P, Int,
      "1920x1080i(50)"}},
    {"SDI interlaced at exactly 30.00 reads 50",
     Record(7425, 0x01, 1920, 280, 0, 0, 1080, 45, 0, 0),
     {0, 0, 0, true},
     {"74.25", "33.75", "50", 1920, 1080, 2200, 1125, 280, 45, 0, 0, 0, 0, P, P, Int,
      "1920x1080i(50)"}},
    {"SDI interlaced at 35.01 reads 60",
     Record(7425, 0x01, 1920, 280, 0, 0, 900, 64, 0, 0),
     {0, 0, 0, true},
     {"74.25", "33.75", "60", 1920, 900, 2200, 964, 280, 64, 0, 0, 0, 0, P, P, Int,
      "1920x900i(60)"}},
    {"SDI interlaced at exactly 40.00 reads 50",
     Record(7200, 0x01, 1800, 200, 0, 0, 800, 100, 0, 0),
     {0, 0, 0, true},
     {"72", "36", "50", 1800, 800, 2000, 900, 200, 100, 0, 0, 0, 0, P, P, Int, "1800x800i(50)"}},
    {"SDI interlaced at exactly 50.00 reads 50, flags ignored",
     Record(7425, 0x07, 1920, 280, 0, 0, 630, 45, 0, 0),
     {0, 0, 0, true},
     {"74.25", "33.75", "50", 1920, 630, 2200, 675, 280, 45, 0, 0, 0, 0, P, P, Int,
      "1920x630i(50)"}},
    {"SDI interlaced at 50.07 reads 60",
     Record(7425, 0x01, 1920, 280, 0, 0, 630, 44, 0, 0),
     {0, 0, 0, true},
     {"74.25", "33.75", "60", 1920, 630, 2200, 674, 280, 44, 0, 0, 0, 0, P, P, Int,
      "1920x630i(60)"}},
    {"SDI at 27 MHz: both -, progressive keeps its rate",
     Record(2700, 0x06, 720, 144, 12, 64, 576, 49, 5, 5),
     {0, 0, 0, true},
     {"27", "31.25", "50", 720, 576, 864, 625, 144, 49, 64, 12, 5, 5, M, M, Prog, "720x576(50)"}},
    {"SDI just below 70 MHz is -",
     Record(6999, 0x00, 1920, 280, 0, 0, 1080, 45, 0, 0),
     {0, 0, 0, true},
     {"69.99", "31.81", "28.28", 1920, 1080, 2200, 1125, 280, 45, 0, 0, 0, 0, M, M, Prog,
      "1920x1080(28)"}},
    {"SDI at 70 MHz is +",
     Record(7000, 0x00, 1920, 280, 0, 0, 1080, 45, 0, 0),
     {0, 0, 0, true},
     {"70", "31.82", "28.28", 1920, 1080, 2200, 1125, 280, 45, 0, 0, 0, 0, P, P, Prog,
      "1920x1080(28)"}},
    {"no totals: no rates",
     Record(14850, 0x00, 0, 0, 0, 0, 0, 0, 0, 0),
     {},
     {"148.5", "0", "0", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, M, M, Prog, "0x0(0)"}},
    {"no vertical total: a line rate but no field rate",
     Record(14850, 0x06, 1920, 280, 88, 44, 0, 0, 0, 0),
     {},
     {"148.5", "67.5", "0", 1920, 0, 2200, 0, 280, 0, 44, 88, 0, 0, P, P, Prog, "1920x0(0)"}},

    // The simulated box's formats.
    {"none",
     {},
     {},
     {"0", "0", "0", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, M, M, Prog, "0x0(0)"},
     "none",
     std::nullopt},
    {"640x480p60",
     {},
     {},
     {"25.18", "31.48", "59.95", 640, 480, 800, 525, 160, 45, 96, 16, 2, 10, M, M, Prog,
      "640x480(60)"},
     "640x480p60",
     StatusTexts{"OFF", "DVI", "RGB4:4:4", "24bit", "2D", "invalid", "invalid", "invalid",
                 "invalid"}},
    {"480p59.94",
     {},
     {},
     {"27", "31.47", "59.94", 720, 480, 858, 525, 138, 45, 62, 16, 6, 9, M, M, Prog, "720x480(60)"},
     "480p59.94",
     StatusTexts{"OFF", "HDMI", "YUV4:4:4", "24bit", "2D", "48K", "16bit", "PCM", "2ch"}},
    {"576i50",
     {},
     {},
     {"13.5", "15.63", "50.08", 720, 576, 864, 625, 144, 49, 63, 12, 3, 2, M, M, Int,
      "720x576i(50)"},
     "576i50",
     StatusTexts{"OFF", "HDMI", "YUV4:2:2", "24bit", "2D", "48K", "16bit", "PCM", "2ch"}},
    {"720p50",
     {},
     {},
     {"74.25", "37.5", "50", 1280, 720, 1980, 750, 700, 30, 40, 440, 5, 5, P, P, Prog,
      "1280x720(50)"},
     "720p50",
     StatusTexts{"HDCP1.4", "HDMI", "RGB4:4:4", "24bit", "2D", "44K", "20bit", "PCM", "2ch"}},
    {"720p60",
     {},
     {},
     {"74.25", "45", "60", 1280, 720, 1650, 750, 370, 30, 40, 110, 5, 5, P, P, Prog,
      "1280x720(60)"},
     "720p60",
     kPlainPanel},
    {"1080i50",
     {},
     {},
     {"74.25", "28.13", "50.04", 1920, 1080, 2640, 1125, 720, 45, 44, 528, 5, 2, P, P, Int,
      "1920x1080i(50)"},
     "1080i50",
     StatusTexts{"HDCP1.4", "HDMI", "YUV4:4:4", "30bit", "2D", "48K", "24bit", "AC3", "6ch"}},
    {"1080i60",
     {},
     {},
     {"74.25", "33.75", "60.05", 1920, 1080, 2200, 1125, 280, 45, 44, 88, 5, 2, P, P, Int,
      "1920x1080i(60)"},
     "1080i60",
     kPlainPanel},
    {"1080p24",
     {},
     {},
     {"74.25", "27", "24", 1920, 1080, 2750, 1125, 830, 45, 44, 638, 5, 4, P, P, Prog,
      "1920x1080(24)"},
     "1080p24",
     StatusTexts{"OFF", "HDMI", "RGB4:4:4", "24bit", "2D", "96K", "24bit", "PCM", "8ch"}},
    {"1080p50",
     {},
     {},
     {"148.5", "56.25", "50", 1920, 1080, 2640, 1125, 720, 45, 44, 528, 5, 4, P, P, Prog,
      "1920x1080(50)"},
     "1080p50",
     kPlainPanel},
    {"1080p60",
     {},
     {},
     {"148.5", "67.5", "60", 1920, 1080, 2200, 1125, 280, 45, 44, 88, 5, 4, P, P, Prog,
      "1920x1080(60)"},
     "1080p60",
     kPlainPanel},
    {"2160p30",
     {},
     {},
     {"297", "67.5", "30", 3840, 2160, 4400, 2250, 560, 90, 88, 176, 10, 8, P, P, Prog,
      "3840x2160(30)"},
     "2160p30",
     StatusTexts{"HDCP2.2", "HDMI", "RGB4:4:4", "36bit", "2D", "192K", "24bit", "PCM", "2ch"}},
    {"2160p60",
     {},
     {},
     {"594", "135", "60", 3840, 2160, 4400, 2250, 560, 90, 88, 176, 10, 8, P, P, Prog,
      "3840x2160(60)"},
     "2160p60",
     StatusTexts{"HDCP2.2", "HDMI", "YUV4:2:0", "24bit", "2D", "48K", "24bit", "DTSHD", "8ch"}},
    {"1080p24-3d",
     {},
     {},
     {"148.5", "54", "24", 1920, 1080, 2750, 1125, 830, 45, 44, 638, 5, 4, P, P, Prog,
      "1920x1080(24)"},
     "1080p24-3d",
     StatusTexts{"HDCP1.4", "HDMI", "RGB4:4:4", "24bit", "3D FramePacking", "48K", "24bit", "AC3",
                 "6ch"}},
    {"sdi-1080i50",
     {},
     {},
     {"74.25", "28.13", "50", 1920, 1080, 2640, 1125, 720, 45, 44, 528, 10, 4, P, P, Int,
      "1920x1080i(50)"},
     "sdi-1080i50",
     StatusTexts{"  ", "SDI", "YUV4:2:2", "30bit", " ", "48K", "24bit", "PCM", "8ch"}},
};

void ExpectShown(const TimingFields& f, const Shown& s) {
  EXPECT_EQ(FormatFloat(f.pixelClock), s.clock);
  EXPECT_EQ(FormatFloat(f.hFreq), s.hFreq);
  EXPECT_EQ(FormatFloat(f.vFreq), s.vFreq);
  EXPECT_EQ(f.hActive, s.hActive);
  EXPECT_EQ(f.vActive, s.vActive);
  EXPECT_EQ(f.hTotal, s.hTotal);
  EXPECT_EQ(f.vTotal, s.vTotal);
  EXPECT_EQ(f.hBlank, s.hBlank);
  EXPECT_EQ(f.vBlank, s.vBlank);
  EXPECT_EQ(f.hSyncWidth, s.hSyncWidth);
  EXPECT_EQ(f.hSyncOffset, s.hSyncOffset);
  EXPECT_EQ(f.vSyncWidth, s.vSyncWidth);
  EXPECT_EQ(f.vSyncOffset, s.vSyncOffset);
  EXPECT_EQ(f.hSyncPolarity, s.hPolarity);
  EXPECT_EQ(f.vSyncPolarity, s.vPolarity);
  EXPECT_EQ(f.scanType, s.scan);
  EXPECT_EQ(FormatTimingText(f.hActive, f.vActive, f.scanType == kInterlaced, f.vFreq),
            s.timingText);
  // Whatever the format, the fields agree with each other: active and blank make the
  // total, and the clock is the total times the line rate (rounded to 10 Hz).
  EXPECT_EQ(f.hActive + f.hBlank, f.hTotal);
  EXPECT_EQ(f.vActive + f.vBlank, f.vTotal);
  if (f.hTotal > 0 && f.hFreq > 0) {
    EXPECT_NEAR(f.pixelClock, f.hTotal * f.hFreq / 1000, f.hTotal * 0.005 / 1000 + 0.005);
  }
}

// A format goes through the box's own encoding of its replies and the console's decoding
// of them.
TEST(DecodeTiming, WorkedExamplesAndEveryFormatOfTheSimulatedBox) {
  std::set<std::string> covered;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    if (!c.format) {
      ExpectShown(DecodeTiming(c.record, c.corrections), c.shown);
      continue;
    }
    const std::optional<BoxSignal> signal = FindBoxSignal(c.format);
    ASSERT_TRUE(signal);
    covered.insert(c.format);
    const auto status = signal->status.Bytes();
    const bool sdi = signal->input == kSdiInput;
    const TimingFields f = DecodeTiming(TimingRecord::FromBytes(signal->timing.Bytes()),
                                        {status[0], status[9], status[8], sdi});
    ExpectShown(f, c.shown);
    // Sync pulses lie inside the blanking.
    if (signal->Present()) {
      EXPECT_LT(signal->timing.hSyncOffset + signal->timing.hSyncWidth, signal->timing.hBlank);
      EXPECT_LT(signal->timing.vSyncOffset + signal->timing.vSyncWidth, signal->timing.vBlank);
    }
    if (!c.panel) continue;
    StatusPanel panel;
    panel.Decode(status.data(), sdi);
    const StatusTexts& p = *c.panel;
    EXPECT_EQ(panel.hdcp, p[0]);
    EXPECT_EQ(panel.signal, p[1]);
    EXPECT_EQ(panel.colorSpace, p[2]);
    EXPECT_EQ(panel.colorDepth, p[3]);
    EXPECT_EQ(panel.structure, p[4]);
    EXPECT_EQ(panel.sampleRate, p[5]);
    EXPECT_EQ(panel.audioBit, p[6]);
    EXPECT_EQ(panel.audioType, p[7]);
    EXPECT_EQ(panel.channels, p[8]);
  }
  for (const BoxSignal& s : BoxSignalPresets())
    EXPECT_EQ(covered.count(s.name), 1u) << s.name << " has no row";
}

}  // namespace
}  // namespace sc
