// The panel's decoders for the byte values their tables do not list, the SDI texts, and the
// timing text's cuts.

#include "console/status_panel.h"

#include <gtest/gtest.h>

#include <array>

namespace sc {
namespace {

using Payload = std::array<uint8_t, kSignalStatusSize>;
// HDCP, signal, colour space, colour depth, 2D/3D, sample rate, audio bit, audio type,
// channels.
using Texts = std::array<std::string, 9>;

Texts Read(const StatusPanel& p) {
  return {p.hdcp,       p.signal,   p.colorSpace, p.colorDepth, p.structure,
          p.sampleRate, p.audioBit, p.audioType,  p.channels};
}

TEST(StatusPanel, DecodesUnlistedValuesAndTheSdiInput) {
  struct Case {
    const char* what;
    Payload status;
    bool sdi;
    Texts shown;
  };
  // Every text starts as "was", so a text left alone shows.
  const Case cases[] = {
      {"values just past each table",
       {4, 4, 3, 2, 8, 4, 8, 15, 4, 0},
       false,
       {"OFF", " ", "was", "was", "was", "invalid", "invalid", "invalid", "invalid"}},
      {"zeros",
       {0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       false,
       {"OFF", "DVI", "RGB4:4:4", "24bit", "2D", "invalid", "invalid", "invalid", "invalid"}},
      {"bytes are signed: 0xFF is -1, 0x81 is -127",
       {0xFF, 0x81, 0xFF, 0xFF, 0x81, 0xFF, 0x81, 0xFF, 0xFF, 0},
       false,
       {"OFF", " ", "was", "was", "was", "invalid", "invalid", "invalid", "invalid"}},
      {"top of each table",
       {3, 3, 2, 1, 7, 3, 7, 14, 3, 0},
       false,
       {"HDCP2.2", "HDMI", "YUV4:2:0", "48bit", "3D Side-by-Side", "192K", "24bit", "WMAPRO",
        "8ch"}},
      {"middle rows",
       {1, 2, 1, 0, 4, 1, 2, 10, 2, 0},
       false,
       {"HDCP1.4", "DVI", "YUV4:2:2", "36bit", "3D Top-Bottom", "88K", "16bit", "DOLBYDIGTIAL",
        "3ch"}},
      {"SDI: fixed texts whatever the bytes",
       {0xFF, 7, 1, 1, 0, 0, 0, 0, 1, 3},
       true,
       {"  ", "SDI", "YUV4:2:2", "30bit", " ", "48K", "24bit", "PCM", "8ch"}},
  };
  for (const Case& c : cases) {
    StatusPanel panel;
    for (std::string* text :
         {&panel.hdcp, &panel.signal, &panel.colorSpace, &panel.colorDepth, &panel.structure,
          &panel.sampleRate, &panel.audioBit, &panel.audioType, &panel.channels})
      *text = "was";
    panel.timing = "1920x1080(60)";
    panel.Decode(c.status.data(), c.sdi);
    EXPECT_EQ(Read(panel), c.shown) << c.what;
    EXPECT_EQ(panel.timing, "1920x1080(60)") << c.what;  // not the status reply's to set
  }
}

TEST(StatusPanel, TimingTextCutsItsNumbers) {
  struct Case {
    int width, height;
    bool interlaced;
    double vFreq;
    const char* text;
  };
  const Case cases[] = {
      {720, 480, false, 59.94, "720x480(60)"},       {1920, 1080, true, 50.0, "1920x1080i(50)"},
      {1280, 720, false, 100.0, "1280x720(100)"},    {12345, 10000, false, 60.0, "1234x1000(60)"},
      {1920, 1080, false, 1000.4, "1920x1080(100)"}, {1920, 1080, false, 59.49, "1920x1080(59)"},
      {65537, 1080, false, 60.0, "1x1080(60)"},      {0, 0, false, 0.0, "0x0(0)"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FormatTimingText(c.width, c.height, c.interlaced, c.vFreq), c.text) << c.text;
}

}  // namespace
}  // namespace sc
