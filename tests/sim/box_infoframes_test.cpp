// The InfoFrames a simulated box captures: derived from its signal, with check sums that
// add up, and no packet for what the signal does not carry.

#include "sim/box_infoframes.h"

#include <gtest/gtest.h>

#include "sim/simulated_box.h"

namespace sc {
namespace {

using Bytes = std::vector<uint8_t>;

BoxSignal Preset(const char* name) {
  auto signal = FindBoxSignal(name);
  EXPECT_TRUE(signal) << name;
  return signal ? *signal : BoxSignal{};
}

// A signal from the presets with its timing or status changed.
BoxSignal With(BoxSignal s, BoxTiming timing) {
  s.timing = timing;
  return s;
}

bool SumsToZero(const Bytes& p) {
  unsigned sum = 0;
  for (uint8_t b : p)
    sum += b;
  return p.size() >= 4 && (sum & 0xFF) == 0;
}

TEST(BoxInfoFrames, AviCarriesTheFormatOfTheSignal) {
  const BoxTiming k2160p30{29700, 0x06, 3840, 560, 176, 88, 2160, 90, 8, 10};
  const BoxTiming k1080p24FramePacked{14850, 0x06, 1920, 830, 638, 44, 2205, 45, 4, 5};
  const BoxTiming k480i{2700, 0x01, 1440, 276, 38, 124, 240, 22, 4, 3};
  BoxSignal yuv420 = Preset("2160p60");
  yuv420.status.colourSpace = 3;
  BoxSignal framePacked = With(Preset("1080p60"), k1080p24FramePacked);
  framePacked.status.structure3d = 1;
  BoxSignal unknown = With(Preset("1080p60"), {10000, 0x06, 1000, 200, 10, 10, 700, 20, 2, 2});
  struct Case {
    const char* what;
    BoxSignal signal;
    uint8_t byte1, byte2, vic, repetition;
  };
  const Case cases[] = {
      {"1080p60", Preset("1080p60"), 0x10, 0x28, 16, 0},
      {"720p60", Preset("720p60"), 0x10, 0x28, 4, 0},
      {"1080i60", Preset("1080i60"), 0x10, 0x28, 5, 0},
      {"480p at 59.94 Hz, 4:3", Preset("480p60"), 0x10, 0x18, 2, 0},
      {"1080p50", Preset("1080p50"), 0x10, 0x28, 31, 0},
      {"2160p60", Preset("2160p60"), 0x10, 0x28, 97, 0},
      {"2160p60 YCbCr 4:2:0, BT.709", yuv420, 0x70, 0xA8, 97, 0},
      {"2160p30: its code goes in the vendor InfoFrame", With(Preset("2160p60"), k2160p30), 0x10,
       0x28, 0, 0},
      {"frame-packed 1080p24: the 2D code", framePacked, 0x10, 0x28, 32, 0},
      {"480i, each pixel twice", With(Preset("480p60"), k480i), 0x10, 0x18, 6, 1},
      {"a format without a code", unknown, 0x10, 0x08, 0, 0},
  };
  for (const Case& c : cases) {
    const Bytes p = CapturedInfoFrame(c.signal, packet_type::kAvi);
    ASSERT_EQ(p.size(), 17u) << c.what;
    EXPECT_EQ(Bytes(p.begin(), p.begin() + 3), (Bytes{0x82, 0x02, 0x0D})) << c.what;
    EXPECT_TRUE(SumsToZero(p)) << c.what;
    EXPECT_EQ(p[4], c.byte1) << c.what;
    EXPECT_EQ(p[5], c.byte2) << c.what;
    EXPECT_EQ(p[7], c.vic) << c.what;
    EXPECT_EQ(p[8], c.repetition) << c.what;
  }
}

TEST(BoxInfoFrames, VendorAudioAndProductFollowTheSignal) {
  BoxSignal topBottom = Preset("1080p60");
  topBottom.status.structure3d = 2;
  BoxSignal sideBySide = Preset("1080p60");
  sideBySide.status.structure3d = 3;
  BoxSignal surround = Preset("1080p60");
  surround.status.channels = 7;
  surround.status.sampleRate = 7;
  BoxSignal silent = Preset("1080p60");
  silent.status.sampleRate = 0;
  BoxSignal dvi = Preset("1080p60");
  dvi.status.signalType = 0;
  const BoxSignal k2160p30 =
      With(Preset("2160p60"), {29700, 0x06, 3840, 560, 176, 88, 2160, 90, 8, 10});
  const Bytes none(4, 0);
  struct Case {
    const char* what;
    BoxSignal signal;
    uint8_t type;
    Bytes expected;  // without the check sum byte
  };
  const Case cases[] = {
      {"HDMI_VIC 1 for 2160p30", k2160p30, 0x81, {0x81, 1, 5, 0, 0x03, 0x0C, 0x00, 0x20, 0x01}},
      {"HDMI Forum for 2160p60", Preset("2160p60"), 0x81, {0x81, 1, 5, 0, 0xD8, 0x5D, 0xC4, 1, 0}},
      {"3D top-and-bottom", topBottom, 0x81, {0x81, 1, 5, 0, 0x03, 0x0C, 0x00, 0x40, 0x60}},
      {"3D side-by-side", sideBySide, 0x81, {0x81, 1, 6, 0, 0x03, 0x0C, 0x00, 0x40, 0x80, 0}},
      {"a plain 2D format has none", Preset("1080p60"), 0x81, none},
      {"2ch 48 kHz 24 bit PCM",
       Preset("1080p60"),
       0x84,
       {0x84, 1, 10, 0, 0x11, 0x0F, 0, 0x00, 0, 0, 0, 0, 0, 0}},
      {"8ch 192 kHz", surround, 0x84, {0x84, 1, 10, 0, 0x17, 0x1F, 0, 0x13, 0, 0, 0, 0, 0, 0}},
      {"no audio", silent, 0x84, none},
      {"DVI carries no packets", dvi, 0x82, none},
      {"no signal", Preset("none"), 0x82, none},
      {"ACP not captured", Preset("1080p60"), 0x04, none},
      {"MPEG not captured", Preset("1080p60"), 0x85, none},
  };
  for (const Case& c : cases) {
    Bytes p = CapturedInfoFrame(c.signal, c.type);
    if (c.expected != none) {
      EXPECT_TRUE(SumsToZero(p)) << c.what;
    }
    if (p.size() > 3) p[3] = 0;
    EXPECT_EQ(p, c.expected) << c.what;
  }
  const Bytes spd = CapturedInfoFrame(Preset("720p60"), 0x83);
  ASSERT_EQ(spd.size(), 29u);
  EXPECT_TRUE(SumsToZero(spd));
  EXPECT_EQ(std::string(spd.begin() + 4, spd.begin() + 10), "SIGBOX");
  EXPECT_EQ(std::string(spd.begin() + 12, spd.begin() + 18), "720p60");
}

}  // namespace
}  // namespace sc
