// The EDID page over the whole link: the main window's core, the serial driver on a
// pseudo-terminal and the simulated box at the other end.

#include <gtest/gtest.h>

#include <algorithm>

#include "sim/box_server.h"
#include "tests/support/console_fixture.h"

namespace sc {
namespace {

using namespace std::chrono_literals;

constexpr DeviceAddress kBox{0x0A, 0x03};

class EdidEndToEndTest : public ConsoleFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.StartOnPty());
    portMap[1] = server.path();
    server.WithLine([](BoxLine& line) { line.box(0).panel().edidPreset = 12; });
    StartConsole();
    // The link comes up and the status chain runs through to the status request; the
    // hot-plug reply makes the box the target of what follows.
    dialog->ToggleLink();
    ASSERT_TRUE(host.PumpUntil([&] { return Dispatched(0x8090); }));
    host.StopTimer(kStatusRecheckTimer);
    host.PumpFor(50ms);
    ASSERT_EQ(dialog->TargetAddress(), kBox);
    server.WithLine([](BoxLine& line) { line.box(0).ClearRecords(); });
    dispatched.clear();
  }

  EdidPage& page() { return dialog->edidPage; }
  void Choose(int entry) { page().view().SetSelection(edid_ids::kSelectionList, entry); }
  int Chosen() { return page().view().GetSelection(edid_ids::kSelectionList); }
  bool Dispatched(uint16_t code) {
    return std::find(dispatched.begin(), dispatched.end(), code) != dispatched.end();
  }
  // What the box acted on since the link settled.
  std::vector<ReceivedCommand> BoxCommands() {
    return server.WithLine([](BoxLine& line) {
      return std::vector<ReceivedCommand>(line.box(0).commands().begin(),
                                          line.box(0).commands().end());
    });
  }
  bool BoxGot(uint16_t code) {
    return host.PumpUntil([&] {
      auto commands = BoxCommands();
      return std::any_of(commands.begin(), commands.end(),
                         [&](const ReceivedCommand& c) { return c.code == code; });
    });
  }
  // Reads preset `entry` through the page and waits for the reply.
  bool ReadThroughThePage(int entry) {
    dispatched.clear();
    Choose(entry);
    page().ReadEdidFromDevice();
    return host.PumpUntil([&] { return Dispatched(0xF851); });
  }
  bool WriteThroughThePage(int entry) {
    host.messages.clear();
    Choose(entry);
    page().WriteUserEdid();
    return host.PumpUntil([&] { return !host.messages.empty(); });
  }
  EdidImage BoxEdid(int preset) {
    return server.WithLine([&](BoxLine& line) { return line.box(0).edid(preset); });
  }

  BoxServer server{{kBox}};
};

TEST_F(EdidEndToEndTest, TheChainShowsTheBoxsPresetAndChoosingOneSelectsItOnTheBox) {
  EXPECT_EQ(Chosen(), 12);  // from the box's 0xF850 answer while the link came up

  Choose(7);  // "7-USER3"
  page().SelectEdidPreset();
  ASSERT_TRUE(BoxGot(0x7850));
  std::vector<ReceivedCommand> commands = BoxCommands();
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].payload, std::vector<uint8_t>{0x07});
  EXPECT_EQ(commands[0].target, kBox);

  // The box now reports preset 7, over another entry chosen meanwhile.
  Choose(2);
  dialog->SendCommand(0xF850);
  ASSERT_TRUE(host.PumpUntil([&] { return Dispatched(0xF850); }));
  EXPECT_EQ(Chosen(), 7);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(EdidEndToEndTest, ReadingABuiltInPresetFillsTheFiveTexts) {
  ASSERT_TRUE(ReadThroughThePage(1));
  const EdidImage expected = BoxEdid(1);
  EXPECT_EQ(page().image, expected);
  const EdidTexts texts = ShowEdid(expected);
  View& v = page().view();
  EXPECT_EQ(v.GetText(edid_ids::kStatusText), "HDMI EDID\rcheck sum Ok !");
  EXPECT_EQ(v.GetText(edid_ids::kHexText), texts.hex);
  EXPECT_EQ(v.GetText(edid_ids::kVideoText), texts.video);
  EXPECT_EQ(v.GetText(edid_ids::kAudioText), texts.audio);
  EXPECT_EQ(v.GetText(edid_ids::kGeneralText), texts.general);
  EXPECT_NE(texts.general.find("Y420VDB Descripter :"), std::string::npos);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(EdidEndToEndTest, AWrittenUserSlotReadsBackAsWritten) {
  // A built-in EDID read from the box goes into USER3, which held something else.
  ASSERT_TRUE(ReadThroughThePage(2));
  const EdidImage written = page().image;
  ASSERT_NE(BoxEdid(7), written);

  ASSERT_TRUE(WriteThroughThePage(7));
  EXPECT_EQ(host.messages.back().text, "EDID writting OK!");
  EXPECT_EQ(host.messages.back().caption, "TQ-KVAD");
  EXPECT_EQ(BoxEdid(7), written);

  Choose(0);
  ASSERT_TRUE(ReadThroughThePage(0));  // something else in between
  ASSERT_NE(page().image, written);
  ASSERT_TRUE(ReadThroughThePage(7));
  EXPECT_EQ(page().image, written);
  EXPECT_EQ(page().statusText, "HDMI EDID\rcheck sum Ok !");
  EXPECT_EQ(host.messages.size(), 1u);
}

TEST_F(EdidEndToEndTest, ARefusedWriteIsReportedAndTheSlotKeepsItsEdid) {
  server.WithLine([](BoxLine& line) { line.box(0).faults().failEdidWrites = true; });
  ASSERT_TRUE(ReadThroughThePage(0));
  const EdidImage before = BoxEdid(14);
  ASSERT_TRUE(WriteThroughThePage(14));
  EXPECT_EQ(host.messages.back().text, "EDID writting failed!");
  EXPECT_EQ(BoxEdid(14), before);
}

}  // namespace
}  // namespace sc
