#include "edid/edid_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "tests/edid/edid_builder.h"

namespace sc {
namespace {

using test::DetailedTiming;
using test::EdidBuilder;
using test::Lines;
using test::Report;

constexpr DetailedTiming k1080i{7425, 1920, 280, 540, 22, true};
constexpr DetailedTiming k720p{7425, 1280, 370, 720, 30, false};

// The text of a report from the first line that starts with `from` to its end.
std::string From(const std::string& report, const std::string& from) {
  const size_t at = report.find(from);
  return at == std::string::npos ? std::string("<no ") + from + ">" : report.substr(at);
}

// ---- Status text, header test, hex text ----

struct StatusCase {
  const char* name;
  std::function<void(EdidImage&)> change;  // applied after the checksums are fixed
  bool cea;
  const char* status;
};

TEST(EdidStatus, ChecksumVerdicts) {
  const StatusCase cases[] = {
      {"one block, sum right", nullptr, false, "DVI EDID"},
      {"one block, sum wrong", [](EdidImage& e) { e[127] ^= 1; }, false,
       "DVI EDID\rCheck sum error !"},
      {"one block, bank 1 is not summed", [](EdidImage& e) { e[200] = 0x55; }, false, "DVI EDID"},
      {"two blocks, both right", nullptr, true, "HDMI EDID\rcheck sum Ok !"},
      {"bank 0 wrong", [](EdidImage& e) { e[127] ^= 1; }, true,
       "HDMI EDID\rBank0 check sum error !\rBank1 check sum Ok !"},
      {"bank 1 wrong", [](EdidImage& e) { e[255] ^= 1; }, true,
       "HDMI EDID\rBank1 check sum error !"},
      {"both wrong",
       [](EdidImage& e) {
         e[127] ^= 1;
         e[255] ^= 1;
       },
       true, "HDMI EDID\rBank0 check sum error !\rBank1 check sum error !"},
      {"extension tag not looked at",
       [](EdidImage& e) {
         e[128] = 0x40;
         e[255] = test::ChecksumFor(e, 128);
       },
       true, "HDMI EDID\rcheck sum Ok !"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EdidBuilder builder;
    if (c.cea) builder.Cea();
    EdidImage image = builder.Build();
    if (c.change) c.change(image);
    EXPECT_EQ(ShowEdid(image).status, c.status);
  }
}

TEST(EdidStatus, WrongHeaderGivesOnlyTheStatus) {
  for (const size_t offset : {0u, 3u, 7u}) {
    EdidImage image = EdidBuilder().Cea().Block(2, {0x90}).Build();
    image[offset] = 0xFE;
    const EdidTexts texts = ShowEdid(image);
    EXPECT_EQ(texts.status, "EDID data header error !");
    EXPECT_EQ(texts.hex, "");
    EXPECT_EQ(texts.video, "");
    EXPECT_EQ(texts.audio, "");
    EXPECT_EQ(texts.general, "");
  }
}

TEST(EdidStatus, HexTextIsAllBytesWithTrailingSpaces) {
  EdidImage image{};
  for (size_t i = 0; i < image.size(); ++i)
    image[i] = static_cast<uint8_t>(i);
  const std::string hex = FormatEdidHex(image);
  ASSERT_EQ(hex.size(), 768u);
  EXPECT_EQ(hex.substr(0, 12), "00 01 02 03 ");
  EXPECT_EQ(hex.substr(3 * 0xAB, 3), "AB ");
  EXPECT_EQ(hex.substr(765), "FF ");
  EXPECT_EQ(hex.find('\r'), std::string::npos);
  EXPECT_EQ(ShowEdid(EdidBuilder().Build()).hex.substr(0, 9), "00 FF FF ");
}

TEST(EdidStatus, DecodeAppendsToTheText) {
  std::string text = "kept";
  DecodeEdid(EdidBuilder().Build(), EdidSection::Audio, text);
  EXPECT_EQ(text, "kept\r\n");
}

// ---- Detailed timings ----

struct TimingCase {
  const char* name;
  DetailedTiming timing;
  const char* preferred;  // as the descriptor at 54
  const char* detailed;   // as the descriptor at 72
};

TEST(EdidTiming, DescriptorsAt54And72) {
  const TimingCase cases[] = {
      {"1080p60", {}, "Preferred Timing:1920x1080@60Hz\r\n", "Detailed Timing:1920x1080@60Hz\r\n"},
      // Field rate, frame height; the preferred line has a space before CR LF.
      {"1080i60", k1080i, "Preferred Timing:1920x1080i@60Hz \r\n",
       "Detailed Timing:1920x1080i@60Hz\r\n"},
      // 594 MHz: a clock above 32767 must not turn negative.
      {"594 MHz",
       {0xE808, 3840, 560, 2160, 90, false},
       "Preferred Timing:3840x2160@60Hz\r\n",
       "Detailed Timing:3840x2160@60Hz\r\n"},
      {"59.94 rounds up",
       {14835, 1920, 280, 1080, 45, false},
       "Preferred Timing:1920x1080@60Hz\r\n",
       "Detailed Timing:1920x1080@60Hz\r\n"},
      {"59.38 rounds down",
       {10000, 1000, 0, 1684, 0, false},
       "Preferred Timing:1000x1684@59Hz\r\n",
       "Detailed Timing:1000x1684@59Hz\r\n"},
      {"12-bit sizes",
       {10000, 4095, 1, 4095, 1, false},
       "Preferred Timing:4095x4095@6Hz\r\n",
       "Detailed Timing:4095x4095@6Hz\r\n"},
      {"largest refresh",
       {0xFFFF, 1, 0, 1, 0, false},
       "Preferred Timing:1x1@655350000Hz\r\n",
       "Detailed Timing:1x1@655350000Hz\r\n"},
      // Zero totals show 0 Hz instead of dividing by zero.
      {"zero horizontal total",
       {500, 0, 0, 100, 10, false},
       "Preferred Timing:0x100@0Hz\r\n",
       "Detailed Timing:0x100@0Hz\r\n"},
      {"zero vertical total",
       {500, 100, 10, 0, 0, true},
       "Preferred Timing:100x0i@0Hz \r\n",
       "Detailed Timing:100x0i@0Hz\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(
        Lines(Report(EdidBuilder().Timing(54, c.timing).Build(), EdidSection::Video))[0] + "\r\n",
        c.preferred);
    EXPECT_EQ(Report(EdidBuilder().Timing(72, c.timing).Build(), EdidSection::Video),
              std::string("Preferred Timing:1920x1080@60Hz\r\n") + c.detailed + "\r\n");
  }
}

TEST(EdidTiming, PreferredIsDecodedWhateverItHolds) {
  // A dummy descriptor: clock 0, horizontal blanking 0x10, vertical total 0.
  EdidImage image = EdidBuilder().Descriptor(54, 0x10, {}).Build();
  EXPECT_EQ(Lines(Report(image, EdidSection::Video))[0], "Preferred Timing:0x0@0Hz");
}

TEST(EdidTiming, OtherDescriptorsNeedBothClockBytes) {
  // A name, a clock with a zero low byte, a clock with a zero high byte: none decoded.
  const EdidImage image = EdidBuilder()
                              .Name(72, "X")
                              .Timing(90, {0x0500, 640, 160, 480, 45, false})
                              .Timing(108, {0x0005, 640, 160, 480, 45, false})
                              .Build();
  EXPECT_EQ(Report(image, EdidSection::Video), "Preferred Timing:1920x1080@60Hz\r\n\r\n");
  const EdidImage three =
      EdidBuilder().Timing(72, k720p).Timing(90, k1080i).Timing(108, k720p).Build();
  EXPECT_EQ(Report(three, EdidSection::Video),
            "Preferred Timing:1920x1080@60Hz\r\nDetailed Timing:1280x720@60Hz\r\n"
            "Detailed Timing:1920x1080i@60Hz\r\nDetailed Timing:1280x720@60Hz\r\n\r\n");
}

// ---- Extension detailed timings ----

struct SlotCase {
  const char* name;
  int d;                    // byte 130 after the layout (-1: as laid out)
  std::vector<bool> slots;  // timings laid out from extension offset 4, empty when false
  std::vector<int> lines;   // the slot numbers (from 0) that give lines, in order
};

TEST(EdidTiming, ExtensionSlots) {
  const SlotCase cases[] = {
      // Seven slots for d = 4, but the seventh (bytes 240..257) does not fit in the image.
      {"d = 4, all slots filled", -1, {1, 1, 1, 1, 1, 1, 1}, {0, 1, 2, 3, 4, 5}},
      {"empty slots are not counted", -1, {0, 1, 0, 1}, {1, 3}},
      {"d = 127 leaves no slot", 127, {1, 1, 1}, {}},
      {"d below 4", 3, {1, 1, 1}, {}},
      {"d = 0", 0, {1, 1, 1}, {}},
      {"d past the block", 200, {1, 1, 1}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EdidBuilder builder;
    builder.Cea();
    for (const bool filled : c.slots) {
      builder.ExtensionTiming(filled ? k720p : DetailedTiming{0, 0, 0, 0, 0, false});
    }
    if (c.d >= 0) builder.Set(130, static_cast<uint8_t>(c.d));
    const std::string video = Report(builder.Build(), EdidSection::Video);
    std::string expected;
    for (size_t k = 0; k < c.lines.size(); ++k) {
      expected += "Extension Detailed Timing" + std::to_string(k + 1) + ":1280x720@60Hz\r\n";
    }
    EXPECT_EQ(video.substr(0, video.find("\r\nShort")),
              "Preferred Timing:1920x1080@60Hz\r\n" + expected);
  }
}

TEST(EdidTiming, SlotThatEndsAtTheLastByte) {
  // d = 110: one slot, bytes 238..255.
  EdidImage image = EdidBuilder().Cea().Set(130, 110).KeepChecksums().Build();
  test::PutTiming(image, 238, k1080i);
  EXPECT_NE(
      Report(image, EdidSection::Video).find("Extension Detailed Timing1:1920x1080i@60Hz\r\n"),
      std::string::npos);
}

// ---- Short video descriptors ----

struct SvdCase {
  const char* name;
  std::vector<uint8_t> svds;
  std::vector<std::string> lines;
};

TEST(EdidVideo, ShortVideoDescriptors) {
  const SvdCase cases[] = {
      {"native flag", {0x90}, {"1920x1080p@60Hz  16:9  Native"}},
      {"codes without a name", {0x00, 0x6C, 0x80, 0xEC, 0xFF}, {}},
      {"names as the console spells them",
       {47, 55, 39},
       {"1280x720@120Hz  16:9", "720(1440)x576i@200Hz  16:3", "1920x1080i(1250 total)@50Hz  16:9"}},
      {"first and last named VIC",
       {0x01, 0xEB},
       {"640x480p@60Hz  4:3", "3840x2160p@60Hz  64:27  Native"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto lines =
        Lines(Report(EdidBuilder().Cea().Block(2, c.svds).Build(), EdidSection::Video));
    std::vector<std::string> expected = {"Preferred Timing:1920x1080@60Hz", "",
                                         "Short Video Descripter"};
    expected.insert(expected.end(), c.lines.begin(), c.lines.end());
    expected.push_back("");
    EXPECT_EQ(lines, expected);
  }
}

TEST(EdidVideo, FirstBlockIsListedWhateverItsTagAndD) {
  // An audio block first: its bytes are read as SVDs.
  const EdidImage audioFirst = EdidBuilder().Cea().Block(1, {0x10, 0x07}).Block(2, {0x04}).Build();
  EXPECT_EQ(From(Report(audioFirst, EdidSection::Video), "Short"),
            "Short Video Descripter\r\n1920x1080p@60Hz  16:9\r\n720(1440)x480i@60Hz  16:9\r\n\r\n");
  const EdidImage noCollection = EdidBuilder().Cea().Block(2, {0x04}).Set(130, 0).Build();
  EXPECT_EQ(From(Report(noCollection, EdidSection::Video), "Short"),
            "Short Video Descripter\r\n1280x720p@60Hz  16:9\r\n\r\n");
}

TEST(EdidVideo, NoCeaExtensionNoSvdList) {
  const EdidImage notCea = EdidBuilder().Cea().Block(2, {0x04}).Set(128, 0x40).Build();
  EXPECT_EQ(Report(notCea, EdidSection::Video), "Preferred Timing:1920x1080@60Hz\r\n\r\n");
  const EdidImage noCount = EdidBuilder().Cea().Block(2, {0x04}).Set(126, 0).Build();
  EXPECT_EQ(Report(noCount, EdidSection::Video), "Preferred Timing:1920x1080@60Hz\r\n\r\n");
}

// ---- Audio ----

constexpr char kLpcm2ch[] =
    "Audio Format:LPCM.\r\nAudio Channel(s):2\r\nSample Frequency:\r\n48KHz\r\n44.1KHz\r\n"
    "32KHz\r\n\r\nSample Bit:\r\n24Bit \r\n20Bit \r\n16Bit \r\n\r\n\r\n";

TEST(EdidAudio, Reports) {
  struct Case {
    const char* name;
    EdidImage image;
    std::string audio;
  };
  const Case cases[] = {
      {"one block", EdidBuilder().Build(), "\r\n"},
      {"no audio block", EdidBuilder().Cea().Block(2, {4}).Build(), "\r\n"},
      {"L = 1", EdidBuilder().Cea().Block(1, {0x09}).Build(), "\r\n"},
      {"LPCM", EdidBuilder().Cea().Block(1, {0x09, 0x07, 0x07}).Build(),
       std::string(kLpcm2ch) + "\r\n"},
      {"sizes listed for any format, none when b3 & 7 = 0",
       EdidBuilder().Cea().Block(1, {0x15, 0x04, 0x50, 0x15, 0x01, 0x02}).Build(),
       "Audio Format:AC-3.\r\nAudio Channel(s):6\r\nSample Frequency:\r\n48KHz\r\n\r\n\r\n"
       "Audio Format:AC-3.\r\nAudio Channel(s):6\r\nSample Frequency:\r\n32KHz\r\n\r\n"
       "Sample Bit:\r\n20Bit \r\n\r\n\r\n\r\n"},
      {"every rate, format code 15",
       EdidBuilder().Cea().Block(2, {4}).Block(1, {0xFF, 0xFF, 0x00}).Build(),
       "Audio Format:Reserved.\r\nAudio Channel(s):8\r\nSample Frequency:\r\n192KHz\r\n176KHz\r\n"
       "96KHz\r\n88KHz\r\n48KHz\r\n44.1KHz\r\n32KHz\r\n\r\n\r\n\r\n"},
      // L = 4: the descriptor at block offset 4 would start at L, so only one.
      {"L = 4", EdidBuilder().Cea().Block(1, {0x09, 0x07, 0x07, 0x15}).Build(),
       std::string(kLpcm2ch) + "\r\n"},
      // L = 5: the second descriptor reaches past L into the next block's header (0x63).
      {"last descriptor past L",
       EdidBuilder().Cea().Block(1, {0x09, 0x07, 0x07, 0x15, 0x01}).Block(3, {0, 0, 0}).Build(),
       std::string(kLpcm2ch) +
           "Audio Format:AC-3.\r\nAudio Channel(s):6\r\nSample Frequency:\r\n32KHz\r\n\r\n"
           "Sample Bit:\r\n20Bit \r\n16Bit \r\n\r\n\r\n\r\n"},
      {"block after d is not found",
       EdidBuilder().Cea().Block(2, {4}).Block(1, {0x09, 0x07, 0x07}).Set(130, 6).Build(), "\r\n"},
      {"no CEA extension", EdidBuilder().Cea().Block(1, {0x09, 0x07, 0x07}).Set(126, 0).Build(),
       "\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Report(c.image, EdidSection::Audio), c.audio);
  }
}

// Blocks chained up to extension offset `at`, with d = 127 so that the walk goes on.
EdidBuilder ChainTo(size_t at) {
  EdidBuilder builder;
  builder.Cea().Set(130, 127).KeepChecksums();
  size_t offset = 4;
  while (offset < at) {
    const size_t length = std::min<size_t>(31, at - offset - 1);
    builder.Set(128 + offset, static_cast<uint8_t>(4 << 5 | length));
    offset += length + 1;
  }
  return builder;
}

TEST(EdidAudio, DescriptorPastTheImageIsAbsent) {
  // Audio block at extension offset 126 (byte 254), L = 4: its first descriptor would be
  // bytes 255..257.
  const EdidImage image = ChainTo(126).Set(254, 1 << 5 | 4).Set(255, 0x09).Build();
  EXPECT_EQ(Report(image, EdidSection::Audio), "\r\n");
  // At extension offset 122 the descriptor (bytes 251..253) fits; the next does not.
  const EdidImage fits =
      ChainTo(122).Set(250, 1 << 5 | 6).Set(251, 0x09).Set(252, 7).Set(253, 7).Build();
  EXPECT_EQ(Report(fits, EdidSection::Audio), std::string(kLpcm2ch) + "\r\n");
}

// ---- General ----

TEST(EdidGeneral, IdentityLines) {
  struct Case {
    uint8_t b8, b9, b10, b11, b20;
    const char* lines;
  };
  const Case cases[] = {
      {0x4C, 0x2D, 0x01, 0x0C, 0x80,
       "Manufacture's Name:SAM\r\nProduct Code:3073\r\nVideo Signal Interface:Digtal\r\n"},
      {0x10, 0xAC, 0x80, 0x00, 0x7F,
       "Manufacture's Name:DEL\r\nProduct Code:128\r\nVideo Signal Interface:Analog\r\n"},
      // Bit 7 of byte 8 stays in the first letter's code.
      {0xCC, 0x2D, 0xFF, 0xFF, 0xFF,
       "Manufacture's Name:sAM\r\nProduct Code:65535\r\nVideo Signal Interface:Digtal\r\n"},
      {0x00, 0x00, 0x00, 0x01, 0x00,
       "Manufacture's Name:@@@\r\nProduct Code:256\r\nVideo Signal Interface:Analog\r\n"},
  };
  for (const auto& c : cases) {
    const EdidImage image = EdidBuilder()
                                .Set(8, c.b8)
                                .Set(9, c.b9)
                                .Set(10, c.b10)
                                .Set(11, c.b11)
                                .Set(20, c.b20)
                                .Build();
    EXPECT_EQ(Report(image, EdidSection::General),
              std::string("\r\n") + c.lines + "Color Bit Depth:Reserved\r\n\r\n");
  }
}

TEST(EdidGeneral, ProductName) {
  struct Case {
    const char* name;
    EdidImage image;
    const char* line;  // "" when no name line
  };
  const Case cases[] = {
      {"padded to 13", EdidBuilder().Name(72, "ABC").Build(), "Display Product Name:ABC          "},
      {"13 letters, no LF", EdidBuilder().Name(108, "ABCDEFGHIJKLM").Build(),
       "Display Product Name:ABCDEFGHIJKLM"},
      {"a later name overwrites without clearing",
       EdidBuilder().Name(72, "ABCDEFGHIJKLM").Name(90, "XY").Build(),
       "Display Product Name:XYCDEFGHIJKLM"},
      {"found at any offset",
       EdidBuilder()
           .Set(91, 0)
           .Set(92, 0)
           .Set(93, 0)
           .Set(94, 0xFC)
           .Set(96, 'Q')
           .Set(97, 0x0A)
           .Build(),
       "Display Product Name:Q            "},
      {"no name", EdidBuilder().Build(), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string found;
    for (const auto& line : Lines(Report(c.image, EdidSection::General))) {
      if (line.rfind("Display Product Name:", 0) == 0) found = line;
    }
    EXPECT_EQ(found, c.line);
  }
}

TEST(EdidGeneral, RangeLimits) {
  const EdidImage image = EdidBuilder()
                              .RangeLimits(72, 24, 75, 30, 160, 60)
                              .RangeLimits(108, 1, 255, 0, 255, 255)
                              .Build();
  EXPECT_EQ(From(Report(image, EdidSection::General), "Vertical"),
            "Vertical Rate:24Hz--75Hz\r\nHorizontal Rate:30KHz--160KHz\r\n"
            "Maximum Pixel Clock:600MHz\r\n"
            "Vertical Rate:1Hz--255Hz\r\nHorizontal Rate:0KHz--255KHz\r\n"
            "Maximum Pixel Clock:2550MHz\r\n\r\n");
}

TEST(EdidGeneral, DeviceSupportAndNativeTimings) {
  struct Case {
    const char* name;
    EdidImage image;
    const char* tail;  // from the first CEA line to the end
  };
  const char* kNoVendor = "YCbCr444 DeepColor:not support\r\n3D video:not support\r\n\r\n\r\n";
  const Case cases[] = {
      {"all three", EdidBuilder().Cea(0x70).Build(),
       "Extension Device Support:\r\nBase Audio\r\nYCbCr4:4:4\r\nYCbCr4:2:2\r\n\r\n"
       "Native Timings:0\r\n"},
      {"basic audio only, other bits ignored", EdidBuilder().Cea(0xCF).Build(),
       "Extension Device Support:\r\nBase Audio\r\n\r\nNative Timings:0\r\n"},
      {"none", EdidBuilder().Cea(0x8F).Build(), "Native Timings:0\r\n"},
      {"natives of the first video block, wherever it is",
       EdidBuilder()
           .Cea(0)
           .Block(1, {0x09, 7, 7})
           .Block(2, {0x90, 0x84, 0x05})
           .Block(2, {0x81})
           .Build(),
       "Native Timings:2\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string general = Report(c.image, EdidSection::General);
    const std::string first =
        general.find("Extension") != std::string::npos ? "Extension" : "Native";
    EXPECT_EQ(From(general, first), std::string(c.tail) + kNoVendor);
  }
}

TEST(EdidGeneral, VendorBlock) {
  struct Case {
    const char* name;
    EdidImage image;
    const char* tail;  // from "Native Timings" on
  };
  const Case cases[] = {
      {"L = 7: deep colour read, no 3D",
       EdidBuilder()
           .Cea(0)
           .Block(3, {0x03, 0x0C, 0, 0x10, 0, 0x70, 0x2D})
           .Block(3, {0, 0, 0})
           .Build(),
       "Native Timings:0\r\nDeep Color:\r\n48Bit 36Bit 30Bit \r\n"
       "YCbCr444 DeepColor:not support\r\n3D video:not support\r\n\r\n\r\n"},
      {"L = 5: no deep colour byte",
       EdidBuilder().Cea(0).Block(3, {0x03, 0x0C, 0, 0x10, 0}).Block(2, {0x78}).Build(),
       "Native Timings:0\r\nYCbCr444 DeepColor:not support\r\n3D video:not support\r\n\r\n\r\n"},
      {"no latency: 3D flag at block offset 9",
       EdidBuilder()
           .Cea(0)
           .Block(3, {3, 0x0C, 0, 0x10, 0, 0x08, 0x2D, 0x20, 0x80, 0x40, 1, 3})
           .Build(),
       "Native Timings:0\r\nYCbCr444 DeepColor:support\r\n3D video:support\r\n\r\n"
       "Extended Resolution(4Kx2K):\r\n4Kx2K@30Hz\r\n4Kx2K@24Hz\r\n\r\n"},
      {"latency: 3D flag at block offset 11",
       EdidBuilder()
           .Cea(0)
           .Block(3, {3, 0x0C, 0, 0x10, 0, 0, 0x2D, 0xA0, 0, 0, 0x80, 0x20, 2})
           .Build(),
       "Native Timings:0\r\nYCbCr444 DeepColor:not support\r\n3D video:support\r\n\r\n"
       "Extended Resolution(4Kx2K):\r\n4Kx2K@25Hz\r\n\r\n"},
      {"both latencies: 3D flag at block offset 13",
       EdidBuilder()
           .Cea(0)
           .Block(3, {3, 0x0C, 0, 0x10, 0, 0, 0x2D, 0xE0, 0, 0, 0, 0, 0x80, 0x60, 4, 5, 0})
           .Build(),
       "Native Timings:0\r\nYCbCr444 DeepColor:not support\r\n3D video:support\r\n\r\n"
       "Extended Resolution(4Kx2K):\r\n4Kx2K@24Hz(SMPTE)\r\n\r\n"},
      {"HDMI VICs listed without the 3D flag",
       EdidBuilder().Cea(0).Block(3, {3, 0x0C, 0, 0x10, 0, 0, 0x2D, 0x20, 0x00, 0x20, 3}).Build(),
       "Native Timings:0\r\nYCbCr444 DeepColor:not support\r\n3D video:not support\r\n\r\n"
       "Extended Resolution(4Kx2K):\r\n4Kx2K@24Hz\r\n\r\n"},
      {"no HDMI video present bit",
       EdidBuilder()
           .Cea(0)
           .Block(3, {3, 0x0C, 0, 0x10, 0, 0, 0x2D, 0xC0, 0x80, 0x80, 0x80, 0x80, 0x80, 0x20, 1})
           .Build(),
       "Native Timings:0\r\nYCbCr444 DeepColor:not support\r\n3D video:not support\r\n\r\n\r\n"},
      // Fields after block offset 8 are read past L (here from the bytes after the block).
      {"HDMI fields past L",
       EdidBuilder()
           .Cea(0)
           .Block(3, {3, 0x0C, 0, 0x10, 0, 0, 0x2D, 0x20})
           .Set(141, 0x80)
           .Set(142, 0x20)
           .Set(143, 1)
           .Build(),
       "Native Timings:0\r\nYCbCr444 DeepColor:not support\r\n3D video:support\r\n\r\n"
       "Extended Resolution(4Kx2K):\r\n4Kx2K@30Hz\r\n\r\n"},
      {"only the first vendor block counts",
       EdidBuilder()
           .Cea(0)
           .Block(3, {3, 0x0C, 0, 0x10, 0})
           .Block(3, {3, 0x0C, 0, 0x10, 0, 0x78, 0x2D, 0x20, 0x80})
           .Build(),
       "Native Timings:0\r\nYCbCr444 DeepColor:not support\r\n3D video:not support\r\n\r\n\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(From(Report(c.image, EdidSection::General), "Native Timings"), c.tail);
  }
}

TEST(EdidGeneral, VendorFieldsPastTheImageAreAbsent) {
  // Vendor block at byte 247, L = 8: deep colour at 253, HDMI flags at 255 say both
  // latencies are present, which puts the 3D flag past the end.
  const EdidImage image = ChainTo(119).Set(247, 3 << 5 | 8).Set(253, 0x38).Set(255, 0xE0).Build();
  EXPECT_EQ(From(Report(image, EdidSection::General), "Native Timings"),
            "Native Timings:0\r\nDeep Color:\r\n36Bit 30Bit \r\nYCbCr444 DeepColor:support\r\n"
            "3D video:not support\r\n\r\n\r\n");
}

TEST(EdidGeneral, Ycbcr420Blocks) {
  const std::vector<uint8_t> svds = {16, 4, 3, 2, 1, 5, 19, 20, 31};
  struct Case {
    const char* name;
    EdidImage image;
    const char* lines;  // after the 3D lines, before the final CR LF
  };
  const Case cases[] = {
      {"Y420VDB", EdidBuilder().Cea(0).ExtendedBlock(14, {97, 0, 108, 1}).Build(),
       "\r\nY420VDB Descripter :\r\n3840x2160p@60Hz  16:9\r\n640x480p@60Hz  4:3\r\n"},
      {"empty Y420VDB", EdidBuilder().Cea(0).ExtendedBlock(14, {}).Build(),
       "\r\nY420VDB Descripter :\r\n"},
      {"capability map of length 1",
       EdidBuilder().Cea(0).Block(2, svds).ExtendedBlock(15, {}).Build(),
       "\r\nY420CMDB Descripter :\r\nAll SVDs do support YUV420\r\n"},
      {"bit 0 names the first SVD, without its native flag",
       EdidBuilder().Cea(0).Block(2, {0x90, 4}).ExtendedBlock(15, {0x01}).Build(),
       "\r\nY420CMDB Descripter :\r\n1920x1080p@60Hz  16:9\r\n"},
      {"bits in order over two bytes",
       EdidBuilder().Cea(0).Block(2, svds).ExtendedBlock(15, {0x02, 0x01}).Build(),
       "\r\nY420CMDB Descripter :\r\n1280x720p@60Hz  16:9\r\n1920x1080p@50Hz  16:9\r\n"},
      {"extended tag 0x2F is taken as a capability map",
       EdidBuilder().Cea(0).ExtendedBlock(0x2F, {}).Build(),
       "\r\nY420CMDB Descripter :\r\nAll SVDs do support YUV420\r\n"},
      {"first tag-7 block is something else",
       EdidBuilder().Cea(0).ExtendedBlock(5, {0x80, 0}).ExtendedBlock(14, {97}).Build(), ""},
      {"tag-7 block of length 0", EdidBuilder().Cea(0).Block(7, {}).ExtendedBlock(14, {97}).Build(),
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(From(Report(c.image, EdidSection::General), "3D video"),
              std::string("3D video:not support\r\n\r\n") + c.lines + "\r\n");
  }
}

TEST(EdidGeneral, CapabilityMapBitsPastTheImageAreAbsent) {
  // Every bit set in 30 map bytes: SVD numbers run to 239, bytes 133..372; only the
  // bytes up to 255 may be read, and every one of them here is VIC 1.
  std::vector<uint8_t> map(30, 0xFF);
  EdidImage image = EdidBuilder().Cea(0).ExtendedBlock(15, map).Build();
  for (size_t i = 165; i < 256; ++i)
    image[i] = 1;
  const auto lines = Lines(From(Report(image, EdidSection::General), "\r\nY420CMDB"));
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "640x480p@60Hz  4:3"), 91);
}

TEST(EdidGeneral, OneBlockEdidStillSearchesBank1For420) {
  EdidImage image = EdidBuilder().Cea().ExtendedBlock(14, {97}).Set(126, 0).Build();
  const EdidTexts texts = ShowEdid(image);
  EXPECT_EQ(texts.status, "DVI EDID");
  EXPECT_EQ(texts.audio, "\r\n");
  EXPECT_EQ(texts.video, "Preferred Timing:1920x1080@60Hz\r\n\r\n");
  EXPECT_EQ(
      texts.general,
      "\r\nManufacture's Name:SAM\r\nProduct Code:3073\r\nVideo Signal Interface:Digtal\r\n"
      "Color Bit Depth:Reserved\r\n\r\nY420VDB Descripter :\r\n3840x2160p@60Hz  16:9\r\n\r\n");
}

// ---- A whole image ----

TEST(EdidReports, CompleteImage) {
  const EdidImage image =
      EdidBuilder()
          .Name(72, "ABC")
          .RangeLimits(90, 24, 75, 30, 160, 60)
          .Timing(108, k720p)
          .Cea(0x70)
          .Block(2, {0x90, 0x04, 0x6C})
          .Block(1, {0x09, 0x07, 0x07, 0x15, 0x07, 0x50})
          .Block(3, {0x03, 0x0C, 0x00, 0x10, 0x00, 0x38, 0x2D, 0x20, 0x80, 0x40, 0x01, 0x03})
          .ExtendedBlock(14, {97, 108})
          .ExtensionTiming(k1080i)
          .Build();
  const EdidTexts texts = ShowEdid(image);
  EXPECT_EQ(texts.status, "HDMI EDID\rcheck sum Ok !");
  EXPECT_EQ(texts.hex, FormatEdidHex(image));
  EXPECT_EQ(texts.video,
            "Preferred Timing:1920x1080@60Hz\r\n"
            "Detailed Timing:1280x720@60Hz\r\n"
            "Extension Detailed Timing1:1920x1080i@60Hz\r\n"
            "\r\n"
            "Short Video Descripter\r\n"
            "1920x1080p@60Hz  16:9  Native\r\n"
            "1280x720p@60Hz  16:9\r\n"
            "\r\n");
  EXPECT_EQ(texts.audio, std::string(kLpcm2ch) +
                             "Audio Format:AC-3.\r\nAudio Channel(s):6\r\nSample Frequency:\r\n"
                             "48KHz\r\n44.1KHz\r\n32KHz\r\n\r\n\r\n\r\n");
  EXPECT_EQ(texts.general,
            "\r\n"
            "Manufacture's Name:SAM\r\n"
            "Product Code:3073\r\n"
            "Video Signal Interface:Digtal\r\n"
            "Color Bit Depth:Reserved\r\n"
            "Display Product Name:ABC          \r\n"
            "Vertical Rate:24Hz--75Hz\r\n"
            "Horizontal Rate:30KHz--160KHz\r\n"
            "Maximum Pixel Clock:600MHz\r\n"
            "Extension Device Support:\r\nBase Audio\r\nYCbCr4:4:4\r\nYCbCr4:2:2\r\n\r\n"
            "Native Timings:1\r\n"
            "Deep Color:\r\n36Bit 30Bit \r\n"
            "YCbCr444 DeepColor:support\r\n"
            "3D video:support\r\n"
            "\r\n"
            "Extended Resolution(4Kx2K):\r\n4Kx2K@30Hz\r\n4Kx2K@24Hz\r\n"
            "\r\nY420VDB Descripter :\r\n3840x2160p@60Hz  16:9\r\n"
            "\r\n");
}

}  // namespace
}  // namespace sc
