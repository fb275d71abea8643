// Two EDIDs compared: a rich EDID against itself changed in one decoded area at a time,
// each change named on its line with the bytes of the item in A and in B.

#include "edid/edid_diff.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/edid/edid_builder.h"

namespace sc {
namespace {

using Bytes = std::vector<uint8_t>;

// The parts of the rich EDID, each a change away from its B.
struct Parts {
  std::string name = "TV A";
  Bytes video = {0x90, 0x04, 0x61};
  Bytes audio = {0x09, 0x07, 0x07, 0x15, 0x07, 0x50};
  Bytes speakers = {0x03, 0x00, 0x00};
  Bytes hdmi = {0x03, 0x0C, 0x00, 0x10, 0x00, 0x38, 0x3C, 0x20, 0x00, 0x20, 0x01};
  Bytes forum = {0xD8, 0x5D, 0xC4, 0x01, 0x78, 0x80};
  Bytes capability = {0x40};
  Bytes colorimetry = {0x80, 0x00};
  Bytes hdr = {0x05, 0x01};
  Bytes y420 = {0x60};
  Bytes map = {0x04};
  Bytes hdr10plus = {0x8B, 0x84, 0x90, 0x01};
  uint8_t flags = 0x70;
  std::vector<std::pair<size_t, uint8_t>> set;    // raw bytes, before the checksums are fixed
  std::vector<std::pair<size_t, uint8_t>> after;  // raw bytes, after

  EdidImage Build() const {
    test::EdidBuilder builder;
    builder.Name(72, name)
        .RangeLimits(90, 24, 75, 15, 135, 60)
        .Cea(flags)
        .Block(2, video)
        .Block(1, audio)
        .Block(4, speakers)
        .Block(3, hdmi)
        .Block(3, forum)
        .ExtendedBlock(0, capability)
        .ExtendedBlock(5, colorimetry)
        .ExtendedBlock(6, hdr)
        .ExtendedBlock(14, y420)
        .ExtendedBlock(15, map)
        .ExtendedBlock(1, hdr10plus)
        .ExtensionTiming({7425, 1280, 370, 720, 30});
    for (const auto& [offset, value] : set)
      builder.Set(offset, value);
    EdidImage image = builder.Build();
    for (const auto& [offset, value] : after)
      image[offset] = value;
    return image;
  }
};

EdidModel Model(const Bytes& bytes) {
  return DecodeEdidModel(bytes);
}
EdidModel Model(const EdidImage& image) {
  return DecodeEdidModel(std::span<const uint8_t>(image.data(), image.size()));
}

struct Case {
  const char* area;
  std::function<void(Parts&)> change;
  std::string line;
  std::string bytesA = "";  // the lines of bytes under it, "" for none
  std::string bytesB = "";
};

const Case kCases[] = {
    {"identity",
     [](Parts& p) {
       p.set = {{8, 0x10}, {9, 0xAC}};
     },
     "Manufacturer SAM in A, DEL in B", "    A: block 0 offset 0x08: 4C 2D",
     "    B: block 0 offset 0x08: 10 AC"},
    {"identity",
     [](Parts& p) {
       p.set = {{10, 0x02}};
     },
     "Product code 3073 in A, 3074 in B"},
    {"identity",
     [](Parts& p) {
       p.set = {{12, 5}};
     },
     "Serial number 0 in A, 5 in B"},
    {"identity",
     [](Parts& p) {
       p.set = {{16, 10}, {17, 30}};
     },
     "Made 1990 in A, week 10 of 2020 in B"},
    {"display",
     [](Parts& p) {
       p.set = {{23, 0x8C}};
     },
     "Gamma 1.00 in A, 2.40 in B"},
    {"display",
     [](Parts& p) {
       p.set = {{24, 0x80}};
     },
     "Feature: standby only in B"},
    {"display",
     [](Parts& p) {
       p.set = {{28, 0x40}};
     },
     "Chromaticity red 0.0000, 0.0000 in A, 0.0000, 0.2500 in B"},
    {"timings",
     [](Parts& p) {
       p.set = {{35, 0x01}};
     },
     "Established timing 800x600 60 Hz only in B"},
    {"timings",
     [](Parts& p) {
       p.set = {{38, 0xD1}, {39, 0xC0}};
     },
     "Standard timing 1920x1080 60 Hz 16:9 only in B", "", "    B: block 0 offset 0x26: D1 C0"},
    {"timings",
     [](Parts& p) {
       p.set = {{54, 0x01}, {55, 0x1D}};
     },
     "Detailed timing 1: 1920x1080 60 Hz, 148.5 MHz in A, 1920x1080 30 Hz, 74.25 MHz in B"},
    {"descriptors", [](Parts& p) { p.name = "TV B"; }, "Monitor name \"TV A\" in A, \"TV B\" in B"},
    {"descriptors",
     [](Parts& p) {
       p.set = {{96, 60}};
     },
     "Range limits vertical 24-75 Hz in A, 24-60 Hz in B"},
    {"CTA", [](Parts& p) { p.flags = 0x60; }, "CTA: YCbCr 4:2:2 only in A"},
    {"video", [](Parts& p) { p.video.push_back(0x1F); },
     "VIC 31 (1920x1080p 50 Hz 16:9) only in B"},
    {"video", [](Parts& p) { p.video[0] = 0x10; }, "VIC 16 native in A, not native in B",
     "    A: block 1 offset 0x05: 90", "    B: block 1 offset 0x05: 10"},
    {"video",
     [](Parts& p) {
       p.video = {0x04, 0x90, 0x61};
     },
     "Video: VIC order 16* 4 97 in A, 4 16* 97 in B"},
    {"audio", [](Parts& p) { p.audio.resize(3); }, "Audio: AC-3 6 channels only in A",
     "    A: block 1 offset 0x0C: 15 07 50"},
    {"audio", [](Parts& p) { p.audio[0] = 0x0F; }, "Audio: LPCM channels 2 in A, 8 in B"},
    {"audio", [](Parts& p) { p.audio[1] = 0x7F; },
     "Audio: LPCM rates 32 44.1 48 kHz in A, 32 44.1 48 88.2 96 176.4 192 kHz in B"},
    {"audio", [](Parts& p) { p.audio[2] = 0x01; },
     "Audio: LPCM sizes 16 20 24 bits in A, 16 bits in B"},
    {"audio", [](Parts& p) { p.audio[5] = 0x38; },
     "Audio: AC-3 max bit rate 640 kb/s in A, 448 kb/s in B"},
    {"speakers", [](Parts& p) { p.speakers[0] = 0x07; }, "Speakers: FC only in B"},
    {"HDMI", [](Parts& p) { p.hdmi[3] = 0x20; },
     "HDMI: physical address 1.0.0.0 in A, 2.0.0.0 in B", "    A: block 1 offset 0x17: 10 00",
     "    B: block 1 offset 0x17: 20 00"},
    {"HDMI", [](Parts& p) { p.hdmi[5] = 0x18; }, "HDMI: DC_36bit only in A"},
    {"HDMI", [](Parts& p) { p.hdmi[6] = 0x44; }, "HDMI: max TMDS clock 300 MHz in A, 340 MHz in B"},
    {"HDMI", [](Parts& p) { p.hdmi[10] = 0x03; },
     "HDMI: HDMI VIC 1 (3840x2160p 30 Hz 16:9) only in A"},
    {"HDMI Forum", [](Parts& p) { p.forum[4] = 0x00; },
     "HDMI Forum: max TMDS character rate 600 MHz in A, 340 MHz or less in B"},
    {"HDMI Forum", [](Parts& p) { p.forum[5] = 0x00; }, "HDMI Forum: SCDC present only in A"},
    {"video capability", [](Parts& p) { p.capability[0] = 0x00; },
     "Video capability: RGB quantization selectable in A, not selectable in B"},
    {"colorimetry", [](Parts& p) { p.colorimetry[0] = 0xC0; }, "Colorimetry: BT2020YCC only in B"},
    {"HDR", [](Parts& p) { p.hdr[0] = 0x01; }, "HDR: EOTF PQ only in A"},
    {"4:2:0", [](Parts& p) { p.y420 = {0x61}; }, "4:2:0: VIC 96 (3840x2160p 50 Hz 16:9) only in A"},
    {"4:2:0", [](Parts& p) { p.map = {0x01}; },
     "4:2:0 capability: VIC 97 (3840x2160p 60 Hz 16:9) only in A"},
    {"other blocks", [](Parts& p) { p.hdr10plus[3] = 0x02; },
     "Blocks: Vendor-Specific Video Data Block (HDR10+): bytes differ"},
    {"checksums",
     [](Parts& p) {
       p.after = {{255, 0x00}};
     },
     "Block 1 checksum: correct in A, wrong in B"},
    // Bits no field shows: a digital EDID 1.3 keeps only bit 0 of byte 20 beside bit 7.
    {"bytes",
     [](Parts& p) {
       p.set = {{20, 0x82}};
     },
     "Block 0 byte 0x14 differs", "    A: block 0 offset 0x14: 80",
     "    B: block 0 offset 0x14: 82"},
};

TEST(EdidDiff, EachDecodedAreaThatDiffersIsNamedWithItsBytes) {
  const Parts base;
  const EdidModel a = Model(base.Build());
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.area) + ": " + c.line);
    Parts changed;
    c.change(changed);
    const EdidModel b = Model(changed.Build());
    const EdidComparison comparison = CompareEdids(a, b);
    ASSERT_FALSE(comparison.equal());
    std::vector<std::string> all;
    const EdidDifference* found = nullptr;
    for (const EdidDifference& d : comparison.differences) {
      all.push_back(d.text);
      if (d.text == c.line) found = &d;
    }
    ASSERT_NE(found, nullptr) << ::testing::PrintToString(all);
    const std::vector<std::string> lines = DifferenceLines(a, b, *found);
    auto has = [&](const std::string& bytes) {
      return bytes.empty() || std::find(lines.begin(), lines.end(), bytes) != lines.end();
    };
    EXPECT_TRUE(has(c.bytesA)) << ::testing::PrintToString(lines);
    EXPECT_TRUE(has(c.bytesB)) << ::testing::PrintToString(lines);
    // The one change gives one line, or a few that follow from it: not a flood.
    EXPECT_LE(comparison.differences.size(), 4u) << ::testing::PrintToString(all);
  }
}

TEST(EdidDiff, SameBytesCompareEqual) {
  const EdidImage image = Parts().Build();
  const EdidComparison comparison = CompareEdids(Model(image), Model(image));
  EXPECT_TRUE(comparison.equal());
  EXPECT_EQ(FormatEdidComparison("a.bin", "b.txt", Model(image), Model(image), comparison),
            "A: a.bin (2 blocks)\nB: b.txt (2 blocks)\nThe two EDIDs are the same.\n");
}

TEST(EdidDiff, BlocksPresentOnOneSideAndBytesAfterTheLast) {
  const EdidImage image = Parts().Build();
  const Bytes two(image.begin(), image.end());
  Bytes three = two;
  three.resize(384, 0);
  three[256] = 0x70;
  three[383] = static_cast<uint8_t>(0x100 - 0x70);
  three[126] = 2;
  three[127] = static_cast<uint8_t>(three[127] - 1);
  const EdidComparison comparison = CompareEdids(Model(two), Model(three));
  std::vector<std::string> lines;
  for (const EdidDifference& d : comparison.differences)
    lines.push_back(d.text);
  EXPECT_EQ(lines, (std::vector<std::string>{"Extension count (byte 126) 1 in A, 2 in B",
                                             "Blocks 2 in A, 3 in B",
                                             "Block 2 (DisplayID extension) only in B"}));

  // Only the length differs: bytes after the last block.
  Bytes longer = two;
  longer.push_back(0xAB);
  const EdidComparison tail = CompareEdids(Model(two), Model(longer));
  ASSERT_EQ(tail.differences.size(), 1u);
  EXPECT_EQ(tail.differences[0].text, "Bytes after the last block: 0 in A, 1 in B");
}

}  // namespace
}  // namespace sc
