// The simulated box's EDIDs: the five built-in ones as the console decodes them, and the
// commands that select, read and write them.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include "sim/simulated_box.h"
#include "tests/sim/sim_test_util.h"
#include "tests/support/temp_dir.h"

namespace sc {
namespace {

using test::Bytes;
using test::Command;
using test::Reply;
using test::SplitReplies;

constexpr DeviceAddress kBox{0x0A, 0x03};

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(BoxEdids, EachBuiltInPresetDecodesCleanlyAndHoldsWhatItsNameSays) {
  struct Case {
    const char* name;
    const char* preferred;  // the Video report's first line
    bool threeD;
    bool deepColour48;
    bool yuv420At4K60;
  };
  const Case cases[kBuiltInEdidCount] = {
      {"0-4K60HZ-3D-2CH(PCM)", "Preferred Timing:3840x2160@60Hz", true, false, false},
      {"1-4K60HZ(YUV420)-3D-48BIT-2CH(PCM)", "Preferred Timing:3840x2160@30Hz", true, true, true},
      {"2-4K30HZ_3D_48BIT_2CH(PCM)", "Preferred Timing:3840x2160@30Hz", true, true, false},
      {"3-1080P-3D-24BIT-2CH(PCM)", "Preferred Timing:1920x1080@60Hz", true, false, false},
      {"4-1080P-24BIT-2CH(PCM)", "Preferred Timing:1920x1080@60Hz", false, false, false},
  };
  for (int preset = 0; preset < kBuiltInEdidCount; ++preset) {
    const Case& c = cases[preset];
    SCOPED_TRACE(c.name);
    const EdidTexts t = ShowEdid(BuiltInEdid(preset));
    EXPECT_EQ(t.status, "HDMI EDID\rcheck sum Ok !");
    EXPECT_EQ(t.video.substr(0, t.video.find("\r\n")), c.preferred);
    // 4K60 itself is offered only by the 4K60 presets; by preset 1 only as YCbCr 4:2:0.
    const bool offers4K60 = Has(t.video, "3840x2160p@60Hz  16:9\r\n");
    EXPECT_EQ(offers4K60, preset == 0);
    EXPECT_EQ(Has(t.general, "Y420VDB Descripter :\r\n3840x2160p@60Hz  16:9\r\n"), c.yuv420At4K60);
    EXPECT_EQ(Has(t.general, "3D video:support\r\n"), c.threeD);
    EXPECT_EQ(Has(t.general, "3D video:not support\r\n"), !c.threeD);
    EXPECT_EQ(Has(t.general, "Deep Color:\r\n48Bit 36Bit 30Bit \r\n"), c.deepColour48);
    EXPECT_EQ(Has(t.general, "Deep Color:"), c.deepColour48);  // 24 bit: no deep colour at all
    EXPECT_TRUE(Has(t.general, "Manufacture's Name:TQK\r\n"));
    EXPECT_TRUE(Has(t.general,
                    "Display Product Name:" +
                        std::string(BuiltInEdidProductName(preset)).append(13, ' ').substr(0, 13)));
    EXPECT_EQ(t.audio.rfind("Audio Format:LPCM.\r\nAudio Channel(s):2\r\n", 0), 0u);
    EXPECT_EQ(t.audio.find("Audio Format:", 1), std::string::npos);  // the only format
  }
}

// edid-decode, where it is installed, judges them against the standards themselves.
TEST(BoxEdids, BuiltInPresetsPassEdidDecodesConformityCheck) {
  const char* tool = "/usr/bin/edid-decode";
  if (::access(tool, X_OK) != 0) GTEST_SKIP() << "edid-decode is not installed";
  TempDir dir;
  for (int preset = 0; preset < kBuiltInEdidCount; ++preset) {
    const std::string path = dir / ("preset" + std::to_string(preset) + ".bin");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(BuiltInEdid(preset).data()), kEdidSize);
    std::string output;
    FILE* pipe = ::popen((std::string(tool) + " --check " + path + " 2>&1").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
      output.append(buffer, n);
    ::pclose(pipe);
    EXPECT_TRUE(Has(output, "EDID conformity: PASS")) << "preset " << preset << "\n" << output;
    EXPECT_FALSE(Has(output, "Warnings:")) << "preset " << preset << "\n" << output;
  }
}

// The replies of `box` to one command.
std::vector<Reply> Ask(SimulatedBox& box, uint16_t code, Bytes payload = {},
                       DeviceAddress to = kBox) {
  return SplitReplies(box.Receive(Command(to, code, std::move(payload))));
}

// The bytes the box answers for one preset, or nothing.
Bytes Read(SimulatedBox& box, uint8_t preset) {
  std::vector<Reply> replies = Ask(box, box_code::kReadEdid, {preset});
  if (replies.size() != 1 || replies[0].code != 0xF851) return {};
  return replies[0].payload;
}

Bytes AsBytes(const EdidImage& image) {
  return Bytes(image.begin(), image.end());
}

Bytes WriteRequest(uint8_t slot, const EdidImage& image) {
  Bytes payload(1 + kEdidSize);
  payload[0] = slot;
  std::copy(image.begin(), image.end(), payload.begin() + 1);
  return payload;
}

TEST(BoxEdidCommands, ReadAnswersWithThePresetsBytesAndUnknownPresetsGoUnanswered) {
  SimulatedBox box{kBox};
  for (int preset = 0; preset < kBuiltInEdidCount; ++preset)
    EXPECT_EQ(Read(box, static_cast<uint8_t>(preset)), AsBytes(BuiltInEdid(preset))) << preset;
  // A new box's user slots hold something valid.
  EXPECT_EQ(Read(box, 5), AsBytes(InitialUserEdid()));
  EXPECT_EQ(Read(box, 14), AsBytes(InitialUserEdid()));
  EXPECT_TRUE(Ask(box, box_code::kReadEdid, {15}).empty());
  EXPECT_TRUE(Ask(box, box_code::kReadEdid, {}).empty());
  EXPECT_EQ(box.CommandCodes().size(), 9u);  // all acted on, none refused for its address
}

TEST(BoxEdidCommands, SelectChangesThePresetTheBoxReportsAndAnswersNothing) {
  SimulatedBox box{kBox};
  struct Case {
    Bytes payload;
    uint8_t reported;
  };
  const Case cases[] = {{{7}, 7}, {{14}, 14}, {{15}, 14}, {{0xFF}, 14}, {{}, 14}, {{0}, 0}};
  for (const Case& c : cases) {
    EXPECT_TRUE(Ask(box, box_code::kSelectEdid, c.payload).empty());
    std::vector<Reply> replies = Ask(box, box_code::kEdidPreset);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].payload, Bytes{c.reported});
  }
}

TEST(BoxEdidCommands, WritesAUserSlotAndAcknowledgesEveryAttemptFromItsOwnAddress) {
  EdidImage written = BuiltInEdid(0);
  written[10] = 0x77;  // one changed byte (the checksums are not the box's business)
  struct Case {
    const char* what;
    Bytes payload;
    bool fault;
    uint8_t status;
    int changedPreset;  // -1: nothing changes
  };
  Bytes shortRequest = WriteRequest(2, written);
  shortRequest.pop_back();
  Bytes longRequest = WriteRequest(2, written);
  longRequest.push_back(0x00);
  const Case cases[] = {
      {"USER3", WriteRequest(2, written), false, kEdidWriteOk, 7},
      {"USER10", WriteRequest(9, written), false, kEdidWriteOk, 14},
      {"slot 10 does not exist", WriteRequest(10, written), false, kEdidWriteBadRequest, -1},
      {"one byte short", shortRequest, false, kEdidWriteBadRequest, -1},
      {"one byte long", longRequest, false, kEdidWriteBadRequest, -1},
      {"nothing", {}, false, kEdidWriteBadRequest, -1},
      {"write fault on", WriteRequest(0, written), true, kEdidWriteRefused, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const SimulatedBox fresh{kBox};
    SimulatedBox box{kBox};
    box.faults().failEdidWrites = c.fault;
    std::vector<Reply> replies = Ask(box, box_code::kWriteEdid, c.payload);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].code, 0xFFFF);
    EXPECT_EQ(replies[0].address, kBox);  // never FF as device: the console reads it as 0xFFFF
    EXPECT_TRUE(replies[0].sumOk);
    EXPECT_EQ(replies[0].payload, (Bytes{0x51, 0x78, c.status}));
    for (int preset = 0; preset < kBoxEdidCount; ++preset) {
      const EdidImage& expected = preset == c.changedPreset ? written : fresh.edid(preset);
      EXPECT_EQ(Read(box, static_cast<uint8_t>(preset)), AsBytes(expected)) << preset;
    }
  }
}

}  // namespace
}  // namespace sc
