// Reply assembly, the address filter, dispatch by code and the search matcher.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "console/control_ids.h"
#include "link/codes.h"
#include "sim/simulated_box.h"
#include "tests/support/console_fixture.h"
#include "tests/support/console_test_access.h"

namespace sc {
namespace {

using Bytes = std::vector<uint8_t>;

class ParserTest : public ConsoleFixture {
 protected:
  void SetUp() override { StartConsole(); }
};

const Bytes kVolumeFrom0A03 = {0xAB, 0x01, 0x00, 0x06, 0x00, 0x0A, 0x03, 0x80, 0x80, 0x04, 0x3D};

TEST_F(ParserTest, VolumeReplyPassesOrNotByTargetAddress) {
  struct Case {
    DeviceAddress target;
    bool handled;
  };
  const Case cases[] = {
      {{0x0A, 0x03}, true},  {{0x0A, 0x05}, false}, {{0x0A, 0x00}, true},  {{0x00, 0x00}, true},
      {{0xFF, 0xFF}, true},  {{0x0A, 0xFF}, true},  {{0x0B, 0x03}, false}, {{0x00, 0x03}, false},
      {{0xFF, 0x03}, false}, {{0x00, 0xFF}, false}, {{0xFF, 0x00}, false},
  };
  for (const auto& c : cases) {
    dispatched.clear();
    dialog->volumePercent = 0;
    dialog->SelectTarget(c.target);
    Feed(kVolumeFrom0A03);
    const std::string where =
        "target " + std::to_string(c.target.group) + "/" + std::to_string(c.target.device);
    EXPECT_EQ(!dispatched.empty(), c.handled) << where;
    EXPECT_EQ(dialog->volumePercent, c.handled ? 50 : 0) << where;
    EXPECT_EQ(dialog->rx.state, FrameAssembler::kIdle) << where;
  }
}

TEST_F(ParserTest, AddressReadBackPassesFromAnyAddress) {
  dialog->SelectTarget({0x0A, 0x05});
  Feed(Reply({0x12, 0x34}, 0xF801, {0x12, 0x34}));
  EXPECT_EQ(dispatched, std::vector<uint16_t>{0xF801});
}

TEST_F(ParserTest, CodeComesFromThePayloadWhenDeviceAndCodeLowAreFF) {
  // Looked up as 0x7801, a code without action: dispatched and ignored.
  Feed(Reply({0x00, 0xFF}, 0x00FF, {0x01, 0x78}));
  EXPECT_EQ(dispatched, std::vector<uint16_t>{0x7801});
  // 0x7851 is not a reply the console takes.
  dispatched.clear();
  Feed(Reply({0x00, 0xFF}, 0x00FF, {0x51, 0x78}));
  EXPECT_TRUE(dispatched.empty());
  // Too short to name a code: dropped rather than read from an earlier frame.
  Feed(Reply({0x00, 0xFF}, 0x00FF, {0x01}));
  EXPECT_TRUE(dispatched.empty());
}

TEST_F(ParserTest, MalformedFramesAreDroppedSilently) {
  Bytes badSum = kVolumeFrom0A03;
  badSum.back() ^= 0x01;
  Bytes notInTable = Reply({0, 0}, 0x1234, {0x00});
  Bytes length501 = {0xAB, 0x01, 0x00, 0xF5, 0x01};
  Bytes highByte2 = {0xAB, 0x01, 0x00, 0x05, 0x02};
  Bytes length4 = {0xAB, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00, 0x80, 0x80};
  for (const Bytes* bad : {&badSum, &notInTable, &length501, &highByte2, &length4}) {
    Feed(*bad);
    EXPECT_EQ(dialog->rx.state, FrameAssembler::kIdle);
  }
  EXPECT_TRUE(dispatched.empty());
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(dialog->volumePercent, 0);
  // The line recovers at the next frame.
  Feed(kVolumeFrom0A03);
  EXPECT_EQ(dispatched, std::vector<uint16_t>{0x8080});
}

TEST_F(ParserTest, LengthLimitIs500) {
  Bytes payload(495, 0);
  Bytes longest = Reply({0, 0}, 0x8096, payload);
  ASSERT_EQ(longest[3] | longest[4] << 8, 500);
  Feed(longest);
  EXPECT_EQ(dispatched, std::vector<uint16_t>{0x8096});
  payload.push_back(0);
  Bytes tooLong = Reply({0, 0}, 0x8096, payload);
  Feed(tooLong);
  EXPECT_EQ(dispatched.size(), 1u);
}

TEST_F(ParserTest, GarbageAndDoubledLeadByteResynchronise) {
  Bytes stream = {0x00, 0x13, 0x37, 0xFF};
  stream.insert(stream.end(), kVolumeFrom0A03.begin(), kVolumeFrom0A03.end());
  // AB AB 01 00 ...: the second AB is not 0x01, so the frame is lost and the parser waits
  // for the next AB, which here never comes within the frame.
  Bytes doubled = {0xAB};
  doubled.insert(doubled.end(), kVolumeFrom0A03.begin(), kVolumeFrom0A03.end());
  stream.insert(stream.end(), doubled.begin(), doubled.end());
  Feed(stream);
  EXPECT_EQ(dispatched, std::vector<uint16_t>{0x8080});
}

TEST_F(ParserTest, ShortReplyNeverReadsAnEarlierFrame) {
  // A long frame leaves its bytes in the buffer; a short acknowledgement after it must
  // not find a status byte there.
  Feed(Reply({0, 0}, 0x8096, Bytes(100, 0x00)));
  dialog->view().SetSelection(1117, 7);
  Feed(Reply({0, 0}, 0xFFFF, {0x51, 0x78}));
  EXPECT_TRUE(host.messages.empty());
  Feed(Reply({0, 0}, 0xFFFF, {0x51, 0x78, 0x00}));
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"EDID writting OK!"});
}

TEST_F(ParserTest, ReplyWithoutThePayloadItsHandlerReadsIsDropped) {
  // A volume reply with no payload would otherwise take its own checksum for the step.
  Feed(Reply({0, 0}, 0x8080));
  EXPECT_TRUE(dispatched.empty());
  EXPECT_EQ(dialog->volumePercent, 0);
  Feed(Reply({0, 0}, 0xF850));
  EXPECT_TRUE(dispatched.empty());
  // A monitor record needs its ten header bytes (its flags may fall short).
  Feed(Reply({0, 0}, 0x8096, Bytes(9, 0x01)));
  EXPECT_TRUE(dispatched.empty());
  EXPECT_EQ(dialog->monitorPage.workingStatus, -1);
  // Codes without action need no payload.
  Feed(Reply({0, 0}, 0x8063));
  EXPECT_EQ(dispatched, std::vector<uint16_t>{0x8063});
}

TEST_F(ParserTest, TheDispatcherFollowsTheCodeTable) {
  const auto& table = dialog->ReplyHandlerTable();
  const std::span<const ReplyCode> codes = ReplyCodes();
  ASSERT_EQ(table.size(), codes.size());
  for (size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(table[i].code, codes[i].code) << i;
    EXPECT_EQ(table[i].minPayload, codes[i].minPayload) << i;
  }
}

// Every request the console can send, answered by the simulated box (which keeps codes of
// its own): the answer is the reply the code table expects, and the console takes it.
TEST_F(ParserTest, TheBoxsAnswerToEachRequestIsTaken) {
  SimulatedBox box;
  Bytes edidWrite(1 + 256, 0xFF);
  edidWrite[0] = 2;
  const std::map<uint16_t, Bytes> payloads = {
      {code::kInfoFrame, {0x82}}, {code::kEdidData, {0x01}}, {code::kWriteEdid, edidWrite}};
  int asked = 0;
  for (const CommandCode& command : CommandCodes()) {
    // The chunks of a picture are the capture's business, and the probe's answer the search's.
    if (!command.reply || command.reply == code::kFrameChunk ||
        command.reply == code::kPreviewChunk)
      continue;
    SCOPED_TRACE(command.name);
    dispatched.clear();
    const auto payload = payloads.find(command.code);
    const Bytes answer = box.Receive(
        Command({0, 0}, command.code, payload == payloads.end() ? Bytes{} : payload->second));
    ASSERT_GE(answer.size(), kFrameOverhead);
    Feed(answer);
    EXPECT_NE(std::find(dispatched.begin(), dispatched.end(), *command.reply), dispatched.end());
    ++asked;
  }
  EXPECT_EQ(asked, 11);
  // The search probe's answer is the search's.
  ConsoleTestAccess::SetSearchActive(*dialog, true);
  Feed(box.Receive(Command({0, 0}, code::kSearchProbe)));
  EXPECT_TRUE(dialog->deviceFound());
}

TEST_F(ParserTest, SearchMatcherTakesOnlyTheProbeAnswer) {
  struct Case {
    const char* name;
    Bytes bytes;
    bool found;
  };
  const Case cases[] = {
      {"answer from 12/34",
       {0xAB, 0x01, 0x00, 0x07, 0x00, 0x12, 0x34, 0x02, 0xF8, 0x01, 0x00},
       true},
      {"last byte 05", {0xAB, 0x01, 0x00, 0x07, 0x00, 0x12, 0x34, 0x02, 0xF8, 0x01, 0x05}, false},
      {"another reply", kVolumeFrom0A03, false},
      {"garbage first",
       {0x55, 0xAB, 0x01, 0x00, 0x07, 0x00, 0x00, 0x00, 0x02, 0xF8, 0x01, 0x00},
       true},
      {"checksum ignored",
       {0xAB, 0x01, 0x00, 0x07, 0x00, 0xFF, 0xFF, 0x02, 0xF8, 0x01, 0x00, 0x99},
       true},
  };
  for (const auto& c : cases) {
    ConsoleTestAccess::SetSearchActive(*dialog, true);
    ConsoleTestAccess::SetDeviceFound(*dialog, false);
    dialog->rx.state = FrameAssembler::kIdle;
    Feed(c.bytes);
    EXPECT_EQ(dialog->deviceFound(), c.found) << c.name;
    EXPECT_TRUE(dispatched.empty()) << c.name;
  }
  // Each byte of a reply in progress gives the search step 200 ms more.
  EXPECT_EQ(host.TimerPeriod(kSearchTimer), kReplyByteWait);
}

}  // namespace
}  // namespace sc
