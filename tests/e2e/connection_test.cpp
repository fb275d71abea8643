// Choosing a port, the link icon and the search over COM1..COM99, on pseudo-terminals
// with the simulated box, time driven by the test host's clock.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "console/control_ids.h"
#include "sim/box_server.h"
#include "sim/pty.h"
#include "tests/support/console_fixture.h"
#include "tests/support/console_test_access.h"

namespace sc {
namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;
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
  ASSERT_TRUE(dialog->linkUp());
  EXPECT_EQ(view.Icon(ids::kLinkIcon), ids::kIconLinkUp);
  ASSERT_TRUE(BoxSaw(first, {0x8082}));

  view.SetSelection(ids::kCommList, 2);
  dialog->SelectComPort();
  EXPECT_FALSE(dialog->linkUp());
  EXPECT_EQ(dialog->port(), 3);
  EXPECT_EQ(view.Icon(ids::kLinkIcon), ids::kIconLinkDown);
  EXPECT_TRUE(dialog->serialPort().IsOpen());  // open, but without a worker
  EXPECT_FALSE(dialog->serialPort().WorkerRunning());

  dialog->SelectComPort();  // the same port again
  EXPECT_TRUE(dialog->linkUp());
  EXPECT_EQ(view.Icon(ids::kLinkIcon), ids::kIconLinkUp);
  EXPECT_TRUE(BoxSaw(third, {0x8082}));
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(ConnectionTest, LinkIconTogglesAndReleasesThePort) {
  AddBox(1);
  StartConsole();
  dialog->ToggleLink();
  EXPECT_TRUE(dialog->linkUp());
  dialog->ToggleLink();
  EXPECT_FALSE(dialog->linkUp());
  EXPECT_EQ(view.Icon(ids::kLinkIcon), ids::kIconLinkDown);
  ASSERT_TRUE(host.PumpUntil([&] { return !dialog->serialPort().IsOpen(); }));
  dialog->ToggleLink();
  EXPECT_TRUE(dialog->linkUp());
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(ConnectionTest, PortThatCannotOpenShowsTheMessage) {
  portMap[1] = dir / "no-such-device";
  StartConsole();
  dialog->ToggleLink();
  EXPECT_FALSE(dialog->linkUp());
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
  ASSERT_TRUE(dialog->linkUp());
  view.SetSelection(ids::kCommList, 5);  // COM6, unmapped
  dialog->SelectComPort();
  // The old port is closed; a link still flagged up would swallow commands silently.
  EXPECT_FALSE(dialog->linkUp());
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
    bool ok = !dialog->linkUp() && host.messages.size() == 1 && host.messages[0].text == expected;
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
  EXPECT_TRUE(dialog->searchActive());
  EXPECT_EQ(view.GetText(ids::kSearchStatus), "Please wait.....");
  EXPECT_EQ(view.Icon(ids::kLinkIcon), ids::kIconLinkDown);

  // COM1 gets 300 ms, COM2..COM4 400 ms each; each is probed in its turn.
  const int waits[] = {300, 400, 400, 400};
  for (int i = 0; i < 4; ++i) {
    host.PumpFor(20ms);
    EXPECT_EQ(quiet[i]->Read(kProbe.size(), 2s), kProbe) << "COM" << i + 1;
    host.Advance(waits[i] - 1);
    EXPECT_EQ(dialog->port(), i + 1);
    host.Advance(1);
  }
  EXPECT_EQ(dialog->port(), 5);
  EXPECT_EQ(host.Now(), 1500ms);
  ASSERT_TRUE(host.PumpUntil([&] { return dialog->deviceFound(); }));
  EXPECT_FALSE(dialog->linkUp());
  host.Advance(kReplyByteWait);
  EXPECT_FALSE(dialog->searchActive());
  EXPECT_TRUE(dialog->linkUp());
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
  EXPECT_EQ(dialog->port(), 3);
  ASSERT_TRUE(host.PumpUntil([&] { return dialog->deviceFound(); }));
  host.Advance(200);
  EXPECT_TRUE(dialog->linkUp());
  EXPECT_TRUE(BoxSaw(box, {0xF802, 0x8082}));
}

TEST_F(ConnectionTest, SearchWithoutAnyPortGivesUpAtOnce) {
  StartConsole();
  dialog->ChoosePort(7);
  dialog->SearchDevice();
  EXPECT_FALSE(dialog->searchActive());
  EXPECT_EQ(dialog->port(), 1);
  EXPECT_EQ(view.GetText(ids::kSearchStatus), " ");
  EXPECT_EQ(MessageTexts(),
            std::vector<std::string>{"Can not find available device for this console!"});
  EXPECT_FALSE(host.TimerRunning(kSearchTimer));
}

TEST_F(ConnectionTest, SearchWhereNobodyAnswersReturnsToThePortUsedBefore) {
  AddSilent(1);
  AddSilent(2);
  StartConsole();
  dialog->ChoosePort(9);
  dialog->SearchDevice();
  host.Advance(300 + 400);
  EXPECT_FALSE(dialog->searchActive());
  EXPECT_FALSE(dialog->linkUp());
  EXPECT_EQ(dialog->port(), 9);
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
  ASSERT_TRUE(host.PumpUntil([&] { return dialog->deviceFound(); }));
}

TEST_F(ConnectionTest, StrayBytesOnOnePortDoNotHideTheAnswerOnTheNext) {
  PtyMaster& chatty = AddSilent(1);
  BoxServer& box = AddBox(2);
  StartConsole();
  dialog->SearchDevice();
  host.PumpFor(20ms);
  ASSERT_EQ(chatty.Read(kProbe.size(), 2s), kProbe);
  // The start of an answer, and then nothing.
  ASSERT_TRUE(chatty.Write({0xAB, 0x01, 0x00}));
  ASSERT_TRUE(host.PumpUntil([&] { return dialog->rx.state == 2; }));
  host.Advance(kFirstProbeWait + kReplyByteWait);
  ASSERT_EQ(dialog->port(), 2);
  ASSERT_TRUE(BoxSaw(box, {0xF802}));
  ASSERT_TRUE(host.PumpUntil([&] { return dialog->deviceFound(); }));
  host.Advance(kReplyByteWait);
  EXPECT_TRUE(dialog->linkUp());
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(ConnectionTest, ATimerTickUnderAPortsMessageDoesNotStepTheSearchTwice) {
  AddSilent(1);
  // Opens, but cannot be configured: its message box is shown from inside the step.
  portMap[2] = dir / "not-a-terminal";
  std::ofstream(portMap[2]).put('\n');
  BoxServer& box = AddBox(3);
  StartConsole();
  // While the message is open its loop keeps the timers ticking.
  host.onMessage = [&](const TestHost::Message&) { host.Advance(kProbeWait + 10); };
  dialog->SearchDevice();
  host.Advance(kFirstProbeWait);
  host.onMessage = nullptr;
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].caption, "Application Error");
  EXPECT_NE(host.messages[0].text.find("GetCommState()"), std::string::npos);
  EXPECT_EQ(dialog->port(), 2);
  host.Advance(kProbeWait);
  EXPECT_EQ(dialog->port(), 3);
  ASSERT_TRUE(host.PumpUntil([&] { return dialog->deviceFound(); }));
  host.Advance(kReplyByteWait);
  EXPECT_TRUE(dialog->linkUp());
  EXPECT_TRUE(BoxSaw(box, {0xF802, 0x8082}));
  // The box was probed once, not once for each step.
  auto codes = box.WithLine([](BoxLine& line) { return line.box(0).CommandCodes(); });
  EXPECT_EQ(std::count(codes.begin(), codes.end(), 0xF802), 1);
}

TEST_F(ConnectionTest, APortAProgramOpenedFirstIsRefusedUntilItLetsGo) {
  BoxServer& box = AddBox(1);
  // A terminal program that opened the adapter before us, without lock or flock.
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t terminal = ::fork();
  ASSERT_GE(terminal, 0);
  if (terminal == 0) {
    // Nothing of ours (the box's end of the terminal) comes along into the other program.
    ::close_range(3, static_cast<unsigned>(ready[1]) - 1, 0);
    ::close_range(static_cast<unsigned>(ready[1]) + 1, ~0U, 0);
    const int fd = ::open(box.path().c_str(), O_RDWR | O_NOCTTY);
    [[maybe_unused]] ssize_t n = ::write(ready[1], fd >= 0 ? "y" : "n", 1);
    ::pause();
    ::_exit(0);
  }
  char opened = 0;
  ASSERT_EQ(::read(ready[0], &opened, 1), 1);
  ::close(ready[0]);
  ::close(ready[1]);
  ASSERT_EQ(opened, 'y');
  StartConsole();
  dialog->ToggleLink();
  const bool refused = !dialog->linkUp();
  ::kill(terminal, SIGKILL);
  ::waitpid(terminal, nullptr, 0);
  EXPECT_TRUE(refused);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text.rfind(kPortUnavailableMessage, 0), 0u) << host.messages[0].text;
  EXPECT_NE(host.messages[0].text.find(box.path() + " is open in"), std::string::npos);

  host.messages.clear();
  dialog->ToggleLink();
  EXPECT_TRUE(dialog->linkUp());
  EXPECT_TRUE(BoxSaw(box, {0x8082}));
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(ConnectionTest, LockFilesOfOtherProgramsAreHonouredAndOursIsTakenWhileOpen) {
  BoxServer& box = AddBox(1);
  const std::string locks = dir / "lock";
  fs::create_directory(locks);
  ConsoleDialog::Options options = TestConsoleOptions(dir, &portMap);
  options.lockDirectories = std::vector<std::string>{dir / "missing", locks};
  dialog = std::make_unique<ConsoleDialog>(host, options);
  dialog->AttachView(&view);
  ASSERT_TRUE(dialog->Startup());
  const std::string lock = locks + "/" + UucpLockName(box.path());
  ASSERT_EQ(UucpLockName(box.path()), "LCK.." + box.path().substr(5).replace(3, 1, "_"));

  const pid_t dead = ::fork();
  ASSERT_GE(dead, 0);
  if (dead == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(dead, nullptr, 0), dead);
  char live[16], stale[16];
  std::snprintf(live, sizeof live, "%10d\n", 1);  // init: alive as long as we are
  std::snprintf(stale, sizeof stale, "%10d\n", static_cast<int>(dead));
  const struct {
    const char* name;
    std::string content;
    bool refused;
  } cases[] = {
      {"a live program's lock", live, true},
      {"a lock that names no process", "garbage\n", true},
      {"a stale lock", stale, false},
      {"no lock", "", false},
  };
  for (const auto& c : cases) {
    fs::remove(lock);
    if (!c.content.empty()) std::ofstream(lock) << c.content;
    host.messages.clear();
    dialog->ToggleLink();
    EXPECT_EQ(dialog->linkUp(), !c.refused) << c.name;
    if (c.refused) {
      ASSERT_EQ(host.messages.size(), 1u) << c.name;
      EXPECT_EQ(host.messages[0].text.rfind(kPortUnavailableMessage, 0), 0u) << c.name;
      EXPECT_NE(host.messages[0].text.find(" is locked by "), std::string::npos) << c.name;
      EXPECT_NE(host.messages[0].text.find(lock), std::string::npos) << c.name;
      EXPECT_EQ(std::ifstream(lock).rdbuf() ? c.content : "", c.content) << c.name;
      continue;
    }
    EXPECT_TRUE(host.messages.empty()) << c.name;
    // Ours while the port is open, in the usual form; gone once it is closed.
    std::ostringstream ours;
    ours << std::ifstream(lock).rdbuf();
    char expected[16];
    std::snprintf(expected, sizeof expected, "%10d\n", static_cast<int>(::getpid()));
    EXPECT_EQ(ours.str(), expected) << c.name;
    dialog->ToggleLink();
    ASSERT_TRUE(host.PumpUntil([&] { return !dialog->serialPort().IsOpen(); }));
    EXPECT_FALSE(fs::exists(lock)) << c.name;
  }
}

TEST_F(ConnectionTest, AComNumberKeepsItsDeviceWhileAdaptersComeAndGo) {
  BoxServer& a = AddBox(90, {0x0A, 0x01});
  BoxServer& b = AddBox(91, {0x0B, 0x01});
  BoxServer& c = AddBox(92, {0x0C, 0x01});
  // The ports as a scan of the machine finds them: no explicit numbers.
  std::vector<std::string> found = {a.path(), b.path()};
  ConsoleDialog::Options options = TestConsoleOptions(dir, &portMap);
  options.ports = [&] { return PortDirectory::Build("", found); };
  dialog = std::make_unique<ConsoleDialog>(host, options);
  dialog->AttachView(&view);
  ASSERT_TRUE(dialog->Startup());
  auto tips = [&] {
    std::vector<std::string> t;
    for (int i = 0; i < 4; ++i)
      t.push_back(view.ItemTip(ids::kCommList, i));
    return t;
  };
  EXPECT_EQ(tips(), (std::vector<std::string>{a.path(), b.path(), "", ""}));

  view.SetSelection(ids::kCommList, 1);  // COM2: box b
  dialog->SelectComPort();
  ASSERT_TRUE(dialog->linkUp());
  ASSERT_TRUE(BoxSaw(b, {0x8082}));
  dialog->ToggleLink();

  found = {b.path()};  // a's adapter pulled out
  dialog->ToggleLink();
  EXPECT_TRUE(dialog->linkUp());
  EXPECT_EQ(dialog->port(), 2);
  EXPECT_EQ(tips(), (std::vector<std::string>{"", b.path(), "", ""}));
  EXPECT_TRUE(BoxSaw(b, {0x8082, 0x8082}));
  EXPECT_TRUE(host.messages.empty());
  dialog->ToggleLink();

  found = {c.path(), b.path()};  // a new adapter, listed first by the scan
  dialog->ToggleLink();
  EXPECT_EQ(tips(), (std::vector<std::string>{"", b.path(), c.path(), ""}));
  dialog->ToggleLink();
  found = {a.path(), b.path(), c.path()};  // a is back, on its own number
  dialog->ToggleLink();
  EXPECT_EQ(tips(), (std::vector<std::string>{a.path(), b.path(), c.path(), ""}));
  auto codes = [](BoxServer& box) {
    return box.WithLine([](BoxLine& line) { return line.box(0).CommandCodes(); });
  };
  EXPECT_TRUE(codes(a).empty());
  EXPECT_TRUE(codes(c).empty());
}

TEST_F(ConnectionTest, UploadBlocksTheLinkIconAndTheSearch) {
  AddBox(1);
  StartConsole();
  ConsoleTestAccess::SetUploadActive(*dialog, true);
  dialog->ToggleLink();
  dialog->SearchDevice();
  EXPECT_FALSE(dialog->linkUp());
  EXPECT_FALSE(dialog->searchActive());
  EXPECT_FALSE(dialog->serialPort().IsOpen());
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(ConnectionTest, BoxThatHangsUpTakesTheLinkDownWithOneMessage) {
  BoxServer& box = AddBox(1);
  StartConsole();
  dialog->ToggleLink();
  ASSERT_TRUE(dialog->linkUp());
  box.HangUp();
  ASSERT_TRUE(host.PumpUntil([&] { return !dialog->linkUp(); }));
  host.PumpFor(100ms);
  EXPECT_EQ(view.Icon(ids::kLinkIcon), ids::kIconLinkDown);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].caption, "TQ-KVAD");
  EXPECT_NE(host.messages[0].text.find("COM1"), std::string::npos);
  EXPECT_FALSE(dialog->serialPort().WorkerRunning());
}

}  // namespace
}  // namespace sc
