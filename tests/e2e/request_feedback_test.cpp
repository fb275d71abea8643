// What the status bar says about the link and about requests, over the whole link (the
// serial driver on a pseudo-terminal, the simulated box at the other end), time driven by
// the test host's clock: a request the box leaves unanswered, the link's states, and the
// progress of a preview or an upload.

#include <gtest/gtest.h>

#include <algorithm>

#include "sim/box_server.h"
#include "tests/support/console_fixture.h"
#include "tests/support/console_test_access.h"

namespace sc {
namespace {

using namespace std::chrono_literals;

class RequestFeedbackTest : public ConsoleFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.StartOnPty());
    portMap[1] = server.path();
    StartConsole();
    dialog->statusBar.wallClock = [] { return StatusBarModel::WallClock::from_time_t(1700000000); };
    dialog->ToggleLink();
    ASSERT_TRUE(host.PumpUntil([&] { return Dispatched(0x8090); }));
    host.StopTimer(kStatusRecheckTimer);
    dispatched.clear();
  }

  bool Dispatched(uint16_t code) {
    return std::find(dispatched.begin(), dispatched.end(), code) != dispatched.end();
  }
  template <class F>
  void OnBox(F&& f) {
    server.WithLine([&](BoxLine& line) { f(line.box(0)); });
  }
  const std::string& Activity() const { return dialog->statusBar.activity(); }

  BoxServer server;
};

TEST_F(RequestFeedbackTest, AnUnansweredRequestIsNamedAfterItsWaitAndClearedByTheNextAnswer) {
  struct Case {
    const char* what;
    std::function<void()> fault;
    std::function<void()> request;
    const char* waiting;
    const char* unanswered;
  };
  auto readEdid = [&] { dialog->edidPage.ReadEdidFromDevice(); };
  auto updateStatus = [&] { dialog->timingPage.UpdateStatus(); };
  const Case cases[] = {
      {"reply dropped", [&] { OnBox([](SimulatedBox& b) { b.faults().dropFrames = 1; }); },
       readEdid, "Read EDID: waiting for the box...", "No answer from the box: Read EDID"},
      {"reply corrupted", [&] { OnBox([](SimulatedBox& b) { b.faults().corruptFrames = 1; }); },
       updateStatus, "Update status: waiting for the box...",
       "No answer from the box: Update status (Input query 0x8082; a reply was dropped: bad "
       "sum)"},
      // The chain's second reply is lost: the whole chain carries the name of the click.
      {"chain cut short",
       [&] {
         dialog->onDispatch = [&](uint16_t code) {
           if (code == 0x8081) OnBox([](SimulatedBox& b) { b.faults().dropFrames = 1; });
         };
       },
       updateStatus, "Update status: waiting for the box...",
       "No answer from the box: Update status (Volume query 0x8080)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.fault();
    c.request();
    EXPECT_EQ(Activity(), c.waiting);
    // Whatever the box sends has arrived by now.
    host.PumpFor(150ms);
    EXPECT_EQ(Activity(), c.waiting);
    host.Advance(kNoAnswerWait - 1);
    EXPECT_EQ(Activity(), c.waiting);
    host.Advance(1);
    EXPECT_EQ(Activity(), c.unanswered);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_FALSE(host.TimerRunning(kRequestWatchTimer));

    // Asked again, the box answers, and the note goes.
    dialog->onDispatch = [&](uint16_t code) { dispatched.push_back(code); };
    c.request();
    EXPECT_TRUE(host.PumpUntil([&] { return Activity().empty(); }));
    host.StopTimer(kStatusRecheckTimer);
  }
}

TEST_F(RequestFeedbackTest, EveryUnansweredRequestIsNotedInTheLogWhileOthersAreAwaited) {
  dialog->SetTrafficLogOpen(true);
  const uint64_t from = dialog->trafficLog.next();
  auto notes = [&] {
    std::vector<std::string> notes;
    const TrafficLog& log = dialog->trafficLog;
    for (uint64_t s = std::max(from, log.oldest()); s < log.next(); ++s)
      if (const TrafficEntry* e = log.Entry(s); e && e->direction == TrafficDirection::Note)
        notes.push_back(e->note);
    return notes;
  };
  // The EDID's reply is lost; before its wait runs out the console asks for the status,
  // which the box is slow to answer: the bar shows the request still awaited, and the log
  // still says that the EDID went unanswered.
  OnBox([](SimulatedBox& b) { b.faults().dropFrames = 1; });
  dialog->edidPage.ReadEdidFromDevice();
  host.PumpFor(150ms);
  host.Advance(kNoAnswerWait - 1000);
  OnBox([](SimulatedBox& b) { b.faults().replyDelay = 60s; });
  dialog->timingPage.UpdateStatus();
  host.Advance(1000);
  EXPECT_EQ(Activity(), "Update status: waiting for the box...");
  EXPECT_EQ(notes(), std::vector<std::string>{"No answer from the box: Read EDID"});
  host.Advance(kNoAnswerWait);
  const std::string statusUnanswered = "No answer from the box: Update status (Input query 0x8082)";
  EXPECT_EQ(Activity(), statusUnanswered);
  EXPECT_EQ(notes(),
            (std::vector<std::string>{"No answer from the box: Read EDID", statusUnanswered}));
}

TEST_F(RequestFeedbackTest, AReplyCutShortDoesNotSwallowTheAnswerToTheNextRequest) {
  dialog->SetTrafficLogOpen(true);
  // The start of a Volume reply, whose rest the driver discards when the next request is
  // written: the answer to that request is taken whole, and the log keeps the fragment.
  Feed({0xAB, 0x01, 0x00, 0x0A, 0x00, 0x01, 0x01, 0x80, 0x80});
  ASSERT_NE(dialog->rx.state, FrameAssembler::kIdle);
  dialog->edidPage.ReadEdidFromDevice();
  ASSERT_TRUE(host.PumpUntil([&] { return Dispatched(0xF851); }));
  EXPECT_EQ(Activity(), "");
  bool fragment = false;
  const TrafficLog& log = dialog->trafficLog;
  for (uint64_t s = log.oldest(); s < log.next(); ++s) {
    const TrafficEntry* e = log.Entry(s);
    if (!e || e->direction != TrafficDirection::Received) continue;
    if (e->mark == TrafficMark::NoFrame && e->bytes.size() == 9u) fragment = true;
    EXPECT_NE(e->mark, TrafficMark::BadSum);
  }
  EXPECT_TRUE(fragment);
}

TEST_F(RequestFeedbackTest, TheLinkLineFollowsPortChoicesSearchAndRate) {
  StatusBarModel& status = dialog->statusBar;
  EXPECT_EQ(status.port(), "COM1  " + server.path());
  EXPECT_EQ(status.link(), "Link up");
  EXPECT_EQ(status.rate(), "115200 baud");
  EXPECT_EQ(status.lastAnswer().rfind("Last answer: box 0101 at ", 0), 0u) << status.lastAnswer();

  dialog->ReopenAtBaud(kUploadRate);
  EXPECT_EQ(status.rate(), "512000 baud");
  dialog->ReopenAtBaud(kLinkRate);
  EXPECT_EQ(status.rate(), "115200 baud");

  // Choosing the port with the link up leaves it open and down; choosing it again connects.
  dialog->SelectComPort();
  EXPECT_EQ(status.link(), "Link down (port open: choose it again to connect)");
  dialog->SelectComPort();
  EXPECT_EQ(status.link(), "Link up");
  ASSERT_TRUE(host.PumpUntil([&] { return Dispatched(0x8090); }));
  host.StopTimer(kStatusRecheckTimer);

  dialog->SearchDevice();
  EXPECT_EQ(status.link(), "Searching COM1...");
  ASSERT_TRUE(host.PumpUntil([&] { return dialog->deviceFound(); }));
  host.Advance(kReplyByteWait);
  EXPECT_EQ(status.link(), "Link up");

  // A request awaited when the link goes down is given up, not reported.
  OnBox([](SimulatedBox& b) { b.faults().dropFrames = 100; });
  dialog->edidPage.ReadEdidFromDevice();
  EXPECT_TRUE(status.requests.Waiting());
  dialog->ToggleLink();
  EXPECT_EQ(status.link(), "Link down");
  EXPECT_EQ(status.activity(), "");
  EXPECT_FALSE(host.TimerRunning(kRequestWatchTimer));
}

TEST_F(RequestFeedbackTest, APreviewOrAnUploadShowsItsProgress) {
  struct Case {
    bool previewBusy, uploadActive, lineMode;
    double progress;
    const char* shown;
  };
  const Case cases[] = {
      {true, false, false, 0, "Update image: waiting for the preview..."},
      {false, true, false, 0, "Upload image: starting..."},
      {false, true, false, 0.01, "Upload image: 0 %"},
      {false, true, false, 45.67, "Upload image: 45 %"},
      {false, true, false, 100, "Upload image: 100 %"},
      {false, true, true, 12.01, "Line analysis: 12 %"},
      {false, false, true, 0, "Line analysis: writing the chart..."},
      {false, false, false, 0, ""},
  };
  for (const Case& c : cases) {
    ConsoleTestAccess::SetPreviewBusy(*dialog, c.previewBusy);
    ConsoleTestAccess::SetUploadActive(*dialog, c.uploadActive);
    ConsoleTestAccess::SetLineMode(*dialog, c.lineMode);
    dialog->timingPage.uploadProgress = c.progress;
    ConsoleTestAccess::SyncStatus(*dialog);
    EXPECT_EQ(Activity(), c.shown) << c.progress;
  }
}

}  // namespace
}  // namespace sc
