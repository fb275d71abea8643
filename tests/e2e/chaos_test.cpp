// The console on a noisy line, end to end: the main window's core on a pseudo-terminal
// against a simulated box that damages a quarter of what it sends, while the signal keeps
// changing and the pages ask for EDIDs, InfoFrames and previews. The console must come
// through it with the link up, no message box, the damage in its traffic log, and, once
// the line is quiet, the box's state on the panel.

#include <gtest/gtest.h>

#include <map>

#include "console/control_ids.h"
#include "sim/box_server.h"
#include "tests/support/console_fixture.h"

namespace sc {
namespace {

using namespace std::chrono_literals;

constexpr DeviceAddress kBox{0x0A, 0x03};

class ChaosTest : public ConsoleFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.StartOnPty());
    portMap[1] = server.path();
    StartConsole();
  }
  void SetSignal(const char* name) {
    server.WithLine([&](BoxLine& line) { line.box(0).SetSignal(*FindBoxSignal(name), true); });
  }
  std::map<TrafficMark, int> Marks() const {
    std::map<TrafficMark, int> marks;
    const TrafficLog& log = dialog->trafficLog;
    for (uint64_t s = log.oldest(); s < log.next(); ++s)
      if (const TrafficEntry* e = log.Entry(s); e && e->mark != TrafficMark::None) ++marks[e->mark];
    return marks;
  }

  BoxServer server{{kBox}};
};

TEST_F(ChaosTest, TheConsoleComesThroughANoisyLine) {
  server.WithLine([](BoxLine& line) { line.box(0).faults().chaos.emplace(2024, 0.25, kBox); });
  dialog->SetTrafficLogOpen(true);
  dialog->SelectTarget(kBox);
  dialog->ToggleLink();
  ASSERT_TRUE(dialog->linkUp());
  const char* formats[] = {"1080p60", "720p60", "1080i50", "none", "576i50", "2160p30"};
  for (int i = 0; i < 36; ++i) {
    SetSignal(formats[i % std::size(formats)]);
    if (i % 6 == 2) {
      dialog->edidPage.ReadEdidFromDevice();
      dialog->utilityPage.ReadInfoFrame();
    }
    if (i % 12 == 5) dialog->capture.UpdateImage();
    host.PumpFor(40ms);
    host.Advance(100);  // the console's timers: the status re-check, previews, no-answer
  }
  const BoxCounters counters = server.WithLine([](BoxLine& l) { return l.box(0).counters(); });
  ASSERT_GT(counters.sent, 100u);

  // The line goes quiet: what the box still holds back comes out, and nothing is lost.
  server.WithLine([](BoxLine& line) { line.box(0).faults().chaos.reset(); });
  host.PumpFor(kChaosMaxDelay + 100ms);
  host.Advance(kNoAnswerWait + 100);
  host.PumpFor(50ms);
  SetSignal("720p60");
  ASSERT_TRUE(host.PumpUntil([&] { return view.GetText(ids::kTimingText) == "1280x720(60)"; }))
      << view.GetText(ids::kTimingText);
  host.PumpFor(100ms);
  EXPECT_EQ(view.GetText(ids::kHdcpText), "OFF");
  EXPECT_EQ(dialog->timingPage.view().GetInt(timing_ids::kHActive), 1280);
  EXPECT_TRUE(dialog->linkUp());
  EXPECT_FALSE(dialog->previewBusy());
  EXPECT_TRUE(host.messages.empty()) << host.messages.front().text;
  // The status re-check of a signal without HDCP is answered too.
  host.Advance(kStatusRecheckWait);
  host.PumpFor(100ms);
  EXPECT_FALSE(dialog->statusBar.requests.Waiting()) << dialog->statusBar.requests.Text();

  // The damage the console received is in its log, each kind under its own mark.
  const std::map<TrafficMark, int> marks = Marks();
  int damaged = 0;
  for (TrafficMark m : {TrafficMark::BadSum, TrafficMark::OtherAddress, TrafficMark::NoFrame,
                        TrafficMark::BadLength, TrafficMark::TooShort})
    damaged += marks.count(m) ? marks.at(m) : 0;
  EXPECT_GT(damaged, 0);
  EXPECT_EQ(marks.count(TrafficMark::UnknownCode), 0u);
}

}  // namespace
}  // namespace sc
