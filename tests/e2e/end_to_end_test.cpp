// The whole link: the main window's core, the serial driver on a pseudo-terminal, and the
// simulated box at the other end.

#include <gtest/gtest.h>

#include <algorithm>

#include "console/control_ids.h"
#include "sim/box_server.h"
#include "tests/support/console_fixture.h"
#include "tests/support/console_test_access.h"

namespace sc {
namespace {

using namespace std::chrono_literals;

class EndToEndTest : public ConsoleFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.StartOnPty());
    portMap[1] = server.path();
    StartConsole();
  }
  std::vector<uint16_t> BoxCodes() {
    return server.WithLine([](BoxLine& line) { return line.box(0).CommandCodes(); });
  }
  bool Dispatched(uint16_t code) {
    return std::find(dispatched.begin(), dispatched.end(), code) != dispatched.end();
  }

  BoxServer server{{{0x0A, 0x03}}};
};

TEST_F(EndToEndTest, ProbeIsAnsweredAndTheAnswerFindsTheBox) {
  dialog->SearchDevice();
  ASSERT_TRUE(dialog->searchActive());
  ASSERT_TRUE(host.PumpUntil([&] { return dialog->deviceFound(); }));
  EXPECT_EQ(BoxCodes(), std::vector<uint16_t>{0xF802});
  // The answer is not a reply for the handler table.
  EXPECT_TRUE(dispatched.empty());
}

TEST_F(EndToEndTest, InputQueryIsAnsweredAndReachesItsEntry) {
  dialog->ToggleLink();
  ASSERT_TRUE(host.PumpUntil([&] { return Dispatched(0x8082); }));
  EXPECT_EQ(dispatched.front(), 0x8082);
  EXPECT_EQ(view.Icon(ids::kHdmiIcon), ids::kIconLampLit);
  EXPECT_EQ(view.Icon(ids::kSdiIcon), ids::kIconLampUnlit);
}

TEST_F(EndToEndTest, CorruptedOrLostReplyEndsTheChainQuietly) {
  for (auto fault : {&BoxFaults::corruptFrames, &BoxFaults::dropFrames}) {
    ConsoleTestAccess::SetLinkUp(*dialog, false);
    dialog->serialPort().StopWorker();
    dispatched.clear();
    server.WithLine([&](BoxLine& line) {
      line.box(0).ClearRecords();
      line.box(0).faults().*fault = 1;
    });
    dialog->ToggleLink();
    ASSERT_TRUE(
        server.WaitUntil([](BoxLine& line) { return line.box(0).CommandCodes().size() == 1; }, 5s));
    host.PumpFor(200ms);
    EXPECT_TRUE(dispatched.empty());
    EXPECT_EQ(BoxCodes(), std::vector<uint16_t>{0x8082});
    EXPECT_TRUE(host.messages.empty());
  }
}

TEST_F(EndToEndTest, RepliesFromAnotherBoxAreNotTaken) {
  dialog->SelectTarget({0x0A, 0x05});
  dialog->ToggleLink();
  // The box at 0A03 does not act on a command for 0A05: nothing comes back.
  host.PumpFor(200ms);
  EXPECT_TRUE(dispatched.empty());
  dialog->SelectTarget({0x0A, 0x00});  // its group: it answers
  dialog->SendCommand(0x8082);
  ASSERT_TRUE(host.PumpUntil([&] { return Dispatched(0x8082); }));
}

}  // namespace
}  // namespace sc
