// The console's probe (the soak's way in) on the real window against the simulated box:
// controls pressed and set by their captions as a person would, the panel and the log read
// back as shown, message boxes noted and answered, and the socket: one JSON line per
// request, private to the user, gone with the probe, closed on a client that floods it.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCheckBox>
#include <QLabel>
#include <QSpinBox>
#include <QTabBar>
#include <QTest>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/console_probe_qt.h"
#include "console/control_ids.h"
#include "sim/box_server.h"
#include "tests/gui/console_window_fixture.h"
#include "tests/gui/gui_testing.h"
#include "timing/timing_page.h"

namespace sc {
namespace {

using nlohmann::json;

class ConsoleProbeTest : public testing::ConsoleWindowTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.StartOnPty());
    ASSERT_NO_FATAL_FAILURE(OpenWindow(server.path()));
    socketPath = (dir.path() / "probe.sock").string();
    probe = std::make_unique<ProbeServer>(*window, *dialog, socketPath);
    ASSERT_TRUE(probe->listening()) << probe->error();
  }
  void TearDown() override {
    probe.reset();
    ConsoleWindowTest::TearDown();
  }
  json Ask(const std::string& line) { return json::parse(probe->Answer(line)); }
  // Asks, then lets the window do what the request queued.
  json Do(const std::string& line) {
    json answer = Ask(line);
    QTest::qWait(20);
    return answer;
  }

  BoxServer server{{{0x01, 0x01}}};
  std::string socketPath;
  std::unique_ptr<ProbeServer> probe;
};

TEST_F(ConsoleProbeTest, PressesAndSetsControlsByCaptionAndReadsThePanelBack) {
  EXPECT_EQ(Do("click Traffic Log"), json({{"ok", true}}));
  EXPECT_TRUE(dialog->trafficLogOpen());
  EXPECT_EQ(Do("click Link"), json({{"ok", true}}));
  QTRY_VERIFY_WITH_TIMEOUT(Ask("state")["panel"]["Channels:"] == "2ch", 5000);
  const json state = Ask("state");
  EXPECT_TRUE(state["link"]);
  // The panel as the window shows it, by the captions beside the values.
  const auto* timing = qobject_cast<QLabel*>(window->view().widget(ids::kTimingText));
  EXPECT_EQ(state["panel"]["Timing:"], timing->text().toStdString());
  EXPECT_EQ(state["panel"]["Timing:"], "1920x1080(60)");
  EXPECT_EQ(state["status_bar"]["link"], "Link up");
  EXPECT_EQ(state["log"]["open"], true);

  // A corrupted reply shows in the log's marked entries; plain frames are left out.
  server.WithLine([](BoxLine& line) { line.box(0).faults().corruptFrames = 1; });
  EXPECT_EQ(Do("click Update Status")["ok"], true);
  QTRY_VERIFY_WITH_TIMEOUT(
      !Ask("log 0")["entries"].empty() && Ask("log 0")["entries"].back()["mark"] == "bad sum",
      5000);
  const json log = Ask("log 0");
  EXPECT_EQ(log["entries"][0]["dir"], "note");
  EXPECT_EQ(log["entries"].back()["code"], 0x8082);
  EXPECT_EQ(log["entries"].back()["address"], "0101");
  EXPECT_EQ(Ask("log " + std::to_string(log["next"].get<uint64_t>()))["entries"], json::array());
  // With "all", the plain frames too: the request before the corrupted reply.
  const json all = Ask("log 0 all");
  ASSERT_GT(all["entries"].size(), log["entries"].size());
  const json& request = all["entries"][all["entries"].size() - 2];
  EXPECT_EQ(request["dir"], "sent");
  EXPECT_EQ(request["code"], 0x8082);
  EXPECT_EQ(request["mark"], "");

  // Values set as a person sets them: the check box shows the capture controls.
  EXPECT_EQ(Do("set Frame capture=on")["ok"], true);
  EXPECT_TRUE(dialog->timingPage.captureControlsShown);
  EXPECT_EQ(Do("set Line No.:=7")["ok"], true);
  EXPECT_EQ(PageControl<QSpinBox>(ids::kTimingPage, timing_ids::kLineNumber)->value(), 7);
  EXPECT_EQ(Do("tab EDID")["ok"], true);
  EXPECT_EQ(window->tabBar()->tabText(window->tabBar()->currentIndex()), "EDID");

  for (const char* bad :
       {"click Nothing Here", "set Line No.:=500", "set Nothing=1", "set Line No.:", "tab Nowhere",
        "log x", "log", "log 0 some", "frobnicate"}) {
    const json answer = Ask(bad);
    EXPECT_EQ(answer["ok"], false) << bad;
    EXPECT_FALSE(answer["error"].get<std::string>().empty()) << bad;
  }
}

TEST_F(ConsoleProbeTest, NotesMessageBoxesAndAnswersThem) {
  // The link is down: a request says so in a message box, whose loop the probe keeps
  // answering in.
  json state, messages, again, dismissed;
  bool closed = false;
  testing::OnNextModal([&](QWidget* box) {
    state = Ask("state");
    messages = Ask("messages");
    again = Ask("messages");
    dismissed = Ask("dismiss");
    QTest::qWait(50);
    closed = !box->isVisible();
  });
  EXPECT_EQ(Do("click Read infoframe data")["ok"], true);
  QTRY_VERIFY_WITH_TIMEOUT(!dismissed.is_null(), 5000);
  EXPECT_EQ(state["messages_open"], 1);
  ASSERT_EQ(messages["shown"].size(), 1u);
  EXPECT_EQ(messages["shown"][0]["caption"], "TQ-KVAD");
  EXPECT_EQ(messages["shown"][0]["text"], "Com port is not on yet.");
  EXPECT_EQ(messages["open"], 1);
  EXPECT_EQ(again["shown"], json::array());  // told once
  EXPECT_EQ(dismissed["dismissed"], 1);
  EXPECT_TRUE(closed);
  EXPECT_EQ(Ask("state")["messages_open"], 0);
}

TEST_F(ConsoleProbeTest, ServesOneJsonLineARequestOnAPrivateSocket) {
  struct stat st {};
  ASSERT_EQ(::stat(socketPath.c_str(), &st), 0);
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  auto connectClient = [&] {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    timeval wait{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    return fd;
  };
  // Reads until `lines` line ends have come, while the window runs.
  auto readLines = [](int fd, int lines) {
    std::string got;
    for (int i = 0; i < 200 && std::count(got.begin(), got.end(), '\n') < lines; ++i) {
      QTest::qWait(10);
      char buffer[65536];
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n > 0) got.append(buffer, static_cast<size_t>(n));
      if (n == 0) break;
    }
    return got;
  };
  const int fd = connectClient();
  const std::string requests = "ping\nblock\nst";
  ASSERT_EQ(::send(fd, requests.data(), requests.size(), 0), ssize_t(requests.size()));
  QTest::qWait(30);
  ASSERT_EQ(::send(fd, "ate\n", 4, 0), 4);  // a request split across writes
  const std::string answers = readLines(fd, 3);
  std::istringstream lines(answers);
  std::string line;
  std::vector<json> parsed;
  while (std::getline(lines, line))
    parsed.push_back(json::parse(line));
  ASSERT_EQ(parsed.size(), 3u) << answers;
  EXPECT_EQ(parsed[0], json({{"ok", true}}));
  EXPECT_EQ(parsed[1]["interval_ms"], 10);
  EXPECT_TRUE(parsed[1].contains("longest_ms"));
  EXPECT_FALSE(parsed[2]["link"]);

  // A client that sends a line no one types is closed; the probe serves the next one.
  const std::string flood(8192, 'x');
  ::send(fd, flood.data(), flood.size(), MSG_NOSIGNAL);
  QTest::qWait(50);
  char byte;
  EXPECT_EQ(::recv(fd, &byte, 1, 0), 0);
  ::close(fd);
  const int again = connectClient();
  ASSERT_EQ(::send(again, "ping\n", 5, 0), 5);
  EXPECT_EQ(readLines(again, 1), "{\"ok\":true}\n");
  ::close(again);

  // The meter runs on the window thread.
  EXPECT_GT(Ask("block")["ticks"].get<int>(), 0);

  probe.reset();
  EXPECT_NE(::access(socketPath.c_str(), F_OK), 0);
}

TEST(BlockMeter, MeasuresHowLateItsTicksCome) {
  using namespace std::chrono_literals;
  BlockMeter meter(10ms);
  BlockMeter::Clock::time_point t{};
  for (int i = 0; i < 5; ++i)
    meter.Tick(t += 10ms);
  EXPECT_EQ(meter.TakeLongest(), 0us);
  meter.Tick(t += 130ms);  // the thread was held for about 120 ms
  meter.Tick(t += 40ms);
  EXPECT_EQ(meter.TakeLongest(), 120ms);
  EXPECT_EQ(meter.TakeLongest(), 0us);  // since it was last asked
  meter.Tick(t += 15ms);
  EXPECT_EQ(meter.TakeLongest(), 5ms);
  EXPECT_EQ(meter.longest(), 120ms);
  EXPECT_EQ(meter.ticks(), 8u);
}

}  // namespace
}  // namespace sc
