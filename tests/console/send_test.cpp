// The two send operations, seen from the far end of a real pseudo-terminal.

#include <gtest/gtest.h>

#include "sim/pty.h"
#include "tests/support/console_fixture.h"
#include "tests/support/console_test_access.h"

namespace sc {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

class SendTest : public ConsoleFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(box.ok());
    portMap[1] = box.SlavePath();
    StartConsole();
  }

  // Brings the link up on COM1 and takes the input query it sends.
  void LinkUp() {
    dialog->ToggleLink();
    ASSERT_TRUE(dialog->linkUp());
    ASSERT_EQ(box.Read(10, 2s), Command({0, 0}, 0x8082));
  }

  // What reaches the far end, `want` bytes of it. The window keeps running meanwhile:
  // each frame's write waits for it to take the previous one's write-complete notice.
  Bytes Line(size_t want) {
    Bytes got;
    host.PumpUntil(
        [&] {
          const Bytes more = box.Read(want - got.size(), 10ms);
          got.insert(got.end(), more.begin(), more.end());
          return got.size() >= want;
        },
        5s);
    return got;
  }
  // Nothing reaches the far end while the window runs for a while.
  bool NothingOnTheLine() {
    Bytes got;
    host.PumpUntil(
        [&] {
          const Bytes more = box.Read(1, 10ms);
          got.insert(got.end(), more.begin(), more.end());
          return !got.empty();
        },
        100ms);
    return got.empty();
  }

  PtyMaster box;
};

TEST_F(SendTest, WorkedExamplesReachTheLine) {
  LinkUp();
  dialog->SelectTarget({0x0A, 0x03});
  dialog->SendCommand(0x8082);
  EXPECT_EQ(Line(10), (Bytes{0xAA, 0x01, 0x00, 0x05, 0x00, 0x0A, 0x03, 0x82, 0x80, 0x41}));

  dialog->SelectTarget({0x00, 0x00});
  const uint8_t off = 0x01;
  dialog->SendCommandWithData(0x0081, 1, &off);
  EXPECT_EQ(Line(11), (Bytes{0xAA, 0x01, 0x00, 0x06, 0x00, 0x00, 0x00, 0x81, 0x00, 0x01, 0xCD}));
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(SendTest, LongestPayloadGoesOutAsOneFrameAndOneMoreIsRefused) {
  LinkUp();
  Bytes payload(290);
  for (size_t i = 0; i < payload.size(); ++i)
    payload[i] = static_cast<uint8_t>(i);
  dialog->SendCommandWithData(0x7851, 290, payload.data());
  Bytes frame = Line(300);
  ASSERT_EQ(frame.size(), 300u);
  EXPECT_EQ(frame[3], 0x27);
  EXPECT_EQ(frame[4], 0x01);
  EXPECT_EQ(frame, Command({0, 0}, 0x7851, payload));

  payload.push_back(0);
  dialog->SendCommandWithData(0x7851, 291, payload.data());
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Too much parameter."});
  EXPECT_EQ(host.messages[0].caption, "TQ-KVAD");
  EXPECT_TRUE(NothingOnTheLine());
}

TEST_F(SendTest, LinkDownShowsTheMessageAndSendsNothing) {
  // The port is open (chosen, then chosen again would bring it up) but the link is down.
  dialog->SendCommand(0x8090);
  const uint8_t step = 3;
  dialog->SendCommandWithData(0x0080, 1, &step);
  EXPECT_EQ(MessageTexts(),
            (std::vector<std::string>{"Com port is not on yet.", "Com port is not on yet."}));
  LinkUp();
  dialog->ToggleLink();  // down again
  host.messages.clear();
  dialog->SendCommand(0x8090);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Com port is not on yet."});
  EXPECT_TRUE(NothingOnTheLine());
}

TEST_F(SendTest, DuringAnUploadSendCommandIsSilentButDataStillGoesOut) {
  ConsoleTestAccess::SetUploadActive(*dialog, true);
  dialog->SendCommand(0x8090);  // link down, yet no message
  EXPECT_TRUE(host.messages.empty());
  ConsoleTestAccess::SetUploadActive(*dialog, false);
  LinkUp();
  ConsoleTestAccess::SetUploadActive(*dialog, true);
  dialog->SendCommand(0x8090);
  EXPECT_TRUE(NothingOnTheLine());
  const uint8_t rate[3] = {0x00, 0xD0, 0x07};
  dialog->SendCommandWithData(0x7879, 3, rate);
  EXPECT_EQ(Line(13), Command({0, 0}, 0x7879, {0x00, 0xD0, 0x07}));
}

}  // namespace
}  // namespace sc
