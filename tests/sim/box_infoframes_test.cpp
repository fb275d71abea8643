// The InfoFrames a simulated box captures: derived from its signal, with check sums that
// add up, and no packet for what the signal does not carry.

#include "sim/box_infoframes.h"

#include <gtest/gtest.h>

#include <string>

#include "sim/simulated_box.h"

namespace sc {
namespace {

using Bytes = std::vector<uint8_t>;

BoxSignal Preset(const char* name) {
  auto signal = FindBoxSignal(name);
  EXPECT_TRUE(signal) << name;
  return signal ? *signal : BoxSignal{};
}

bool SumsToZero(const Bytes& p) {
  unsigned sum = 0;
  for (uint8_t b : p)
    sum += b;
  return p.size() >= 4 && (sum & 0xFF) == 0;
}

TEST(BoxInfoFrames, EveryFormatGetsTheVideoCodeItsDescriptionNames) {
  for (const BoxSignal& s : BoxSignalPresets()) {
    const size_t at = s.description.find("(VIC ");
    if (at == std::string::npos) continue;
    EXPECT_EQ(FindVideoCodes(s).vic, std::stoi(s.description.substr(at + 5))) << s.name;
  }
}

TEST(BoxInfoFrames, AviCarriesTheFormatOfTheSignal) {
  BoxSignal unknown = Preset("1080p60");
  unknown.timing = {10000, 0x06, 1000, 200, 10, 10, 700, 20, 2, 2};
  struct Case {
    const char* what;
    BoxSignal signal;
    uint8_t byte1, byte2, vic, repetition;
  };
  const Case cases[] = {
      {"480p, YCbCr 4:4:4, BT.601, 4:3", Preset("480p59.94"), 0x50, 0x58, 2, 0},
      {"576i, 4:2:2, each pixel twice", Preset("576i50"), 0x30, 0x58, 21, 1},
      {"720p50", Preset("720p50"), 0x10, 0x28, 19, 0},
      {"720p60", Preset("720p60"), 0x10, 0x28, 4, 0},
      {"1080i50, YCbCr 4:4:4, BT.709", Preset("1080i50"), 0x50, 0xA8, 20, 0},
      {"1080i60", Preset("1080i60"), 0x10, 0x28, 5, 0},
      {"1080p24", Preset("1080p24"), 0x10, 0x28, 32, 0},
      {"1080p50", Preset("1080p50"), 0x10, 0x28, 31, 0},
      {"1080p60", Preset("1080p60"), 0x10, 0x28, 16, 0},
      {"2160p30: its code goes in the vendor InfoFrame", Preset("2160p30"), 0x10, 0x28, 0, 0},
      {"2160p60 4:2:0 at half width", Preset("2160p60"), 0x70, 0xA8, 97, 0},
      {"frame-packed 1080p24: the code of one view", Preset("1080p24-3d"), 0x10, 0x28, 32, 0},
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
  BoxSignal silent = Preset("1080p60");
  silent.status.sampleRate = 0;
  const Bytes none(4, 0);
  struct Case {
    const char* what;
    BoxSignal signal;
    uint8_t type;
    Bytes expected;  // with the check sum byte as 0
  };
  const Case cases[] = {
      {"HDMI_VIC 1 for 2160p30",
       Preset("2160p30"),
       0x81,
       {0x81, 1, 5, 0, 0x03, 0x0C, 0x00, 0x20, 0x01}},
      {"HDMI Forum for 2160p60", Preset("2160p60"), 0x81, {0x81, 1, 5, 0, 0xD8, 0x5D, 0xC4, 1, 0}},
      {"3D frame packing",
       Preset("1080p24-3d"),
       0x81,
       {0x81, 1, 5, 0, 0x03, 0x0C, 0x00, 0x40, 0x00}},
      {"3D top-and-bottom", topBottom, 0x81, {0x81, 1, 5, 0, 0x03, 0x0C, 0x00, 0x40, 0x60}},
      {"3D side-by-side", sideBySide, 0x81, {0x81, 1, 6, 0, 0x03, 0x0C, 0x00, 0x40, 0x80, 0}},
      {"a plain 2D format has none", Preset("1080p60"), 0x81, none},
      {"2ch 48 kHz 24 bit PCM",
       Preset("1080p60"),
       0x84,
       {0x84, 1, 10, 0, 0x11, 0x0F, 0, 0x00, 0, 0, 0, 0, 0, 0}},
      {"7.1 of coding type 11",
       Preset("2160p60"),
       0x84,
       {0x84, 1, 10, 0, 0xB7, 0x0F, 0, 0x13, 0, 0, 0, 0, 0, 0}},
      {"no audio", silent, 0x84, none},
      {"DVI carries no packets", Preset("640x480p60"), 0x82, none},
      {"nor does SDI", Preset("sdi-1080i50"), 0x82, none},
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
