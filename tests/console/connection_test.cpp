// Choosing a port, the link icon and the search over COM1..COM99, on pseudo-terminals
// with the simulated box, time driven by the test host's clock.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "console/control_ids.h"
#include "sim/box_server.h"
#include "sim/pty.h"
#include "tests/support/console_fixture.h"

namespace sc {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

const Bytes kProbe = {0xAA, 0x01, 0x00, 0x05, 0x00, 0x00, 0x00, 0x02, 0xF8, 0x56};

class ConnectionTest : public ConsoleFixture {
 protected:
  // A box on `number` that answers.
  BoxServer& AddBox(int number, DeviceAddress address = {0x01, 0x01}) {
    auto server = std::make_unique<BoxServer>(std::vector<DeviceAddress>{address});
    EXPECT_TRUE(server->StartOnPty());
    portMap[number] = server->path();
    boxes.push_back(std::move(server));
    return *boxes.back();
  }
  // A port where nothing answers.
  PtyMaster& AddSilent(int number) {
    silent.push_back(std::make_unique<PtyMaster>());
    portMap[number] = silent.back()->SlavePath();
    return *silent.back();
  }
  // The box's first commands were `codes` (later ones, such as the status chain, may
  // follow). The window thread keeps running meanwhile: the worker waits for it.
  bool BoxSaw(BoxServer& server, std::vector<uint16_t> codes) {
    return host.PumpUntil([&] {
      auto seen = server.WithLine([](BoxLine& line) { return line.box(0).CommandCodes(); });
      return seen.size() >= codes.size() && std::equal(codes.begin(), codes.end(), seen.begin());
    });
  }

  std::vector<std::unique_ptr<BoxServer>> boxes;
  std::vector<std::unique_ptr<PtyMaster>> silent;
};

TEST_F(ConnectionTest, ChoosingAPortWithTheLinkUpTakesItDownThenUp) {
  BoxServer& first = AddBox(1);
  BoxServer& third = AddBox(3);
  StartConsole();
  dialog->ToggleLink();
  ASSERT_TRUE(dialog->linkUp);
  EXPECT_EQ(view.Icon(ids::kLinkIcon), ids::kIconLinkUp);
  ASSERT_TRUE(BoxSaw(first, {0x8082}));

  view.SetSelection(ids::kCommList, 2);
  dialog->SelectComPort();
  EXPECT_FALSE(dialog->linkUp);
  EXPECT_EQ(dialog->port, 3);
  EXPECT_EQ(view.Icon(ids::kLinkIcon), ids::kIconLinkDown);
  EXPECT_TRUE(dialog->serialPort().IsOpen());  // open, but without a worker
  EXPECT_FALSE(dialog->serialPort().WorkerRunning());

  dialog->SelectComPort();  // the same port again
  EXPECT_TRUE(dialog->linkUp);
  EXPECT_EQ(view.Icon(ids::kLinkIcon), ids::kIconLinkUp);
  EXPECT_TRUE(BoxSaw(third, {0x8082}));
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(ConnectionTest, LinkIconTogglesAndReleasesThePort) {
  AddBox(1);
  StartConsole();
  dialog->ToggleLink();
  EXPECT_TRUE(dialog->linkUp);
  dialog->ToggleLink();
  EXPECT_FALSE(dialog->linkUp);
  EXPECT_EQ(view.Icon(ids::kLinkIcon), ids::kIconLinkDown);
  ASSERT_TRUE(host.PumpUntil([&] { return !dialog->serialPort().IsOpen(); }));
  dialog->ToggleLink();
  EXPECT_TRUE(dialog->linkUp);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(ConnectionTest, PortThatCannotOpenShowsTheMessage) {
  portMap[1] = dir / "no-such-device";
  StartConsole();
  dialog->ToggleLink();
  EXPECT_FALSE(dialog->linkUp);
  EXPECT_EQ(view.Icon(ids::kLinkIcon), ids::kIconLinkDown);
  EXPECT_EQ(MessageTexts(),
            std::vector<std::string>{"Can not find this port or used by other application"});
  host.messages.clear();
  view.SetSelection(ids::kCommList, 41);  // COM42: nothing there either
  dialog->SelectComPort();
  EXPECT_EQ(MessageTexts(),
            std::vector<std::string>{"Can not find this port or used by other application"});
}

TEST_F(ConnectionTest, FailedChoiceWhileUpLeavesTheLinkDown) {
  AddBox(1);
  StartConsole();
  dialog->ToggleLink();
  ASSERT_TRUE(dialog->linkUp);
  view.SetSelection(ids::kCommList, 5);  // COM6, unmapped
  dialog->SelectComPort();
  // The old port is closed; a link still flagged up would swallow commands silently.
  EXPECT_FALSE(dialog->linkUp);
  host.messages.clear();
  dialog->SendCommand(0x8090);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Com port is not on yet."});
}

TEST_F(ConnectionTest, PortHeldElsewhereGetsTheMessageAlone) {
  BoxServer& box = AddBox(1);
  StartConsole();
  PortDirectory directory = PortDirectory::Build("1=" + box.path(), {});
  SerialPort other(host, directory);
  ASSERT_EQ(other.OpenPort(nullptr, 1, 115200, 'N', 8, 1, 3, 512), 1);
  dialog->ToggleLink();
  EXPECT_EQ(MessageTexts(),
            std::vector<std::string>{"Can not find this port or used by other application"});
}

TEST_F(ConnectionTest, NoPermissionNamesTheDeviceAndTheDialoutGroup) {
  // A pseudo-terminal belongs to its creator (mode 0620): another user cannot open it for
  // writing. Root can open anything, so the console runs as nobody in a child process.
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  PtyMaster& held = AddSilent(1);
  ASSERT_TRUE(held.ok());
  // The settings file must stay writable for the other user.
  std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    StartConsole();
    dialog->ToggleLink();
    const std::string expected =
        "Can not find this port or used by other application\nNo permission to open " +
        held.SlavePath() +
        ": add your user to the dialout group (sudo usermod -aG dialout $USER), then log in "
        "again.";
    bool ok = !dialog->linkUp && host.messages.size() == 1 && host.messages[0].text == expected;
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(ConnectionTest, SearchFindsTheBoxOnCom5AfterTheSilentPorts) {
  std::vector<PtyMaster*> quiet;
  for (int n = 1; n <= 4; ++n)
    quiet.push_back(&AddSilent(n));
  BoxServer& box = AddBox(5, {0x12, 0x34});
  StartConsole();
  dialog->SearchDevice();
  EXPECT_TRUE(dialog->searchActive);
  EXPECT_EQ(view.GetText(ids::kSearchStatus), "Please wait.....");
  EXPECT_EQ(view.Icon(ids::kLinkIcon), ids::kIconLinkDown);

  // COM1 gets 300 ms, COM2..COM4 400 ms each; each is probed in its turn.
  const int waits[] = {300, 400, 400, 400};
  for (int i = 0; i < 4; ++i) {
    host.PumpFor(20ms);
    EXPECT_EQ(quiet[i]->Read(kProbe.size(), 2s), kProbe) << "COM" << i + 1;
    host.Advance(waits[i] - 1);
    EXPECT_EQ(dialog->port, i + 1);
    host.Advance(1);
  }
  EXPECT_EQ(dialog->port, 5);
  EXPECT_EQ(host.Now(), 1500ms);
  ASSERT_TRUE(host.PumpUntil([&] { return dialog->deviceFound; }));
  EXPECT_FALSE(dialog->linkUp);
  host.Advance(kReplyByteWait);
  EXPECT_FALSE(dialog->searchActive);
  EXPECT_TRUE(dialog->linkUp);
  EXPECT_FALSE(host.TimerRunning(kSearchTimer));
  EXPECT_EQ(view.Icon(ids::kLinkIcon), ids::kIconLinkUp);
  EXPECT_EQ(view.Items(ids::kCommList)[view.GetSelection(ids::kCommList)], "COM5");
  EXPECT_EQ(view.GetText(ids::kSearchStatus), " ");
  EXPECT_TRUE(BoxSaw(box, {0xF802, 0x8082}));
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(ConnectionTest, PortsThatCannotOpenAreSkippedAtOnce) {
  AddSilent(1);
  portMap[2] = dir / "gone";
  BoxServer& box = AddBox(3);
  StartConsole();
  dialog->SearchDevice();
  host.Advance(300);
  // COM2 failed to open and COM3 was tried in the same step.
  EXPECT_EQ(dialog->port, 3);
  ASSERT_TRUE(host.PumpUntil([&] { return dialog->deviceFound; }));
  host.Advance(200);
  EXPECT_TRUE(dialog->linkUp);
  EXPECT_TRUE(BoxSaw(box, {0xF802, 0x8082}));
}

TEST_F(ConnectionTest, SearchWithoutAnyPortGivesUpAtOnce) {
  StartConsole();
  dialog->port = 7;
  dialog->SearchDevice();
  EXPECT_FALSE(dialog->searchActive);
  EXPECT_EQ(dialog->port, 1);
  EXPECT_EQ(view.GetText(ids::kSearchStatus), " ");
  EXPECT_EQ(MessageTexts(),
            std::vector<std::string>{"Can not find available device for this console!"});
  EXPECT_FALSE(host.TimerRunning(kSearchTimer));
}

TEST_F(ConnectionTest, SearchWhereNobodyAnswersReturnsToThePortUsedBefore) {
  AddSilent(1);
  AddSilent(2);
  StartConsole();
  dialog->port = 9;
  dialog->SearchDevice();
  host.Advance(300 + 400);
  EXPECT_FALSE(dialog->searchActive);
  EXPECT_FALSE(dialog->linkUp);
  EXPECT_EQ(dialog->port, 9);
  EXPECT_EQ(view.GetText(ids::kSearchStatus), " ");
  EXPECT_EQ(MessageTexts(),
            std::vector<std::string>{"Can not find available device for this console!"});
  EXPECT_FALSE(host.TimerRunning(kSearchTimer));
  ASSERT_TRUE(host.PumpUntil([&] { return !dialog->serialPort().IsOpen(); }));
}

TEST_F(ConnectionTest, SearchStartsFromAnIdleParser) {
  AddBox(1);
  StartConsole();
  // A reply cut off half way leaves the parser mid-frame.
  Feed({0xAB, 0x01, 0x00, 0x20, 0x00, 0x01, 0x01, 0x80, 0x80, 0x00, 0x00, 0x00});
  ASSERT_GE(dialog->rx.state, 10);
  dialog->SearchDevice();
  ASSERT_TRUE(host.PumpUntil([&] { return dialog->deviceFound; }));
}

TEST_F(ConnectionTest, UploadBlocksTheLinkIconAndTheSearch) {
  AddBox(1);
  StartConsole();
  dialog->uploadActive = true;
  dialog->ToggleLink();
  dialog->SearchDevice();
  EXPECT_FALSE(dialog->linkUp);
  EXPECT_FALSE(dialog->searchActive);
  EXPECT_FALSE(dialog->serialPort().IsOpen());
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(ConnectionTest, BoxThatHangsUpTakesTheLinkDownWithOneMessage) {
  BoxServer& box = AddBox(1);
  StartConsole();
  dialog->ToggleLink();
  ASSERT_TRUE(dialog->linkUp);
  box.HangUp();
  ASSERT_TRUE(host.PumpUntil([&] { return !dialog->linkUp; }));
  host.PumpFor(100ms);
  EXPECT_EQ(view.Icon(ids::kLinkIcon), ids::kIconLinkDown);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].caption, "TQ-KVAD");
  EXPECT_NE(host.messages[0].text.find("COM1"), std::string::npos);
  EXPECT_FALSE(dialog->serialPort().WorkerRunning());
}

}  // namespace
}  // namespace sc
