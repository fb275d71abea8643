// The status chain over the whole link: the main window's core, the serial driver on a
// pseudo-terminal and the simulated box, with the test host's clock for the re-check.

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>

#include "console/control_ids.h"
#include "sim/box_server.h"
#include "tests/support/console_fixture.h"
#include "tests/support/console_test_access.h"

namespace sc {
namespace {

using namespace std::chrono_literals;
using Codes = std::vector<uint16_t>;

constexpr DeviceAddress kBox{0x0A, 0x03};
const Codes kChain{0x8082, 0x8081, 0x8080, 0xF850, 0x8091, 0x8090};

class StatusChainTest : public ConsoleFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.StartOnPty());
    portMap[1] = server.path();
    StartConsole();
  }

  SimulatedBox& Box(BoxLine& line) { return line.box(0); }
  Codes BoxCodes() {
    return server.WithLine([](BoxLine& line) { return line.box(0).CommandCodes(); });
  }
  std::vector<ReceivedCommand> BoxCommands() {
    return server.WithLine([](BoxLine& line) {
      return std::vector<ReceivedCommand>(line.box(0).commands().begin(),
                                          line.box(0).commands().end());
    });
  }
  size_t Count(uint16_t code) { return std::count(dispatched.begin(), dispatched.end(), code); }
  // Waits until `code` has been handled `times` times, then lets stray traffic arrive.
  bool Handled(uint16_t code, size_t times = 1) {
    const bool done = host.PumpUntil([&] { return Count(code) >= times; });
    host.PumpFor(30ms);
    return done;
  }
  void ChangeBox(const std::function<void(SimulatedBox&)>& change) {
    server.WithLine([&](BoxLine& line) { change(line.box(0)); });
  }
  void Forget() {
    dispatched.clear();
    server.WithLine([](BoxLine& line) { line.box(0).ClearRecords(); });
  }
  std::string Text(int id) { return view.GetText(id); }
  TimingPage& page() { return dialog->timingPage; }

  BoxServer server{{kBox}};
};

TEST_F(StatusChainTest, EachRequestFollowsThePreviousReply) {
  // When the console handles the k-th reply the box must have seen exactly k requests:
  // the next one is sent only by that reply's handler.
  std::vector<size_t> seenAtDispatch;
  dialog->onDispatch = [&](uint16_t code) {
    dispatched.push_back(code);
    seenAtDispatch.push_back(BoxCodes().size());
  };
  dialog->ToggleLink();
  ASSERT_TRUE(Handled(0x8090));
  EXPECT_EQ(dispatched, kChain);
  EXPECT_EQ(BoxCodes(), kChain);
  EXPECT_EQ(seenAtDispatch, (std::vector<size_t>{1, 2, 3, 4, 5, 6}));
  // The hot-plug reply made the answering box the target of every later request.
  const std::vector<ReceivedCommand> commands = BoxCommands();
  for (size_t k = 0; k < commands.size(); ++k)
    EXPECT_EQ(commands[k].target, k < 2 ? (DeviceAddress{0, 0}) : kBox) << k;
  EXPECT_TRUE(host.messages.empty());

  // The box's front panel and signal, as the console now shows them.
  EXPECT_EQ(view.GetRadio(ids::kHpdOn), 0);
  EXPECT_EQ(view.GetInt(ids::kVolumeBox), 50);
  EXPECT_EQ(view.Icon(ids::kHdmiIcon), ids::kIconLampLit);
  EXPECT_EQ(Text(ids::kTimingText), "1920x1080(60)");
  EXPECT_EQ(Text(ids::kHdcpText), "OFF");
  EXPECT_EQ(Text(ids::kChannelsText), "2ch");
  EXPECT_EQ(page().view().GetFloat(timing_ids::kPixelClock), 148.5);
  EXPECT_EQ(page().view().GetInt(timing_ids::kVTotal), 1125);
}

TEST_F(StatusChainTest, ALostReplyEndsTheChainWithoutRetry) {
  for (size_t lost = 0; lost < kChain.size(); ++lost) {
    SCOPED_TRACE(lost);
    ConsoleTestAccess::SetLinkUp(*dialog, false);
    dialog->serialPort().StopWorker();
    dialog->SelectTarget({0, 0});
    Forget();
    // The reply to request `lost` never comes back.
    if (lost == 0) ChangeBox([](SimulatedBox& b) { b.faults().dropFrames = 1; });
    dialog->onDispatch = [&](uint16_t code) {
      dispatched.push_back(code);
      if (dispatched.size() == lost) ChangeBox([](SimulatedBox& b) { b.faults().dropFrames = 1; });
    };
    dialog->ToggleLink();
    ASSERT_TRUE(host.PumpUntil([&] { return BoxCodes().size() > lost; }));
    host.PumpFor(150ms);
    host.Advance(5000);  // no timer asks again
    host.PumpFor(50ms);
    EXPECT_EQ(dispatched, Codes(kChain.begin(), kChain.begin() + lost));
    EXPECT_EQ(BoxCodes(), Codes(kChain.begin(), kChain.begin() + lost + 1));
    EXPECT_TRUE(host.messages.empty());
  }
}

TEST_F(StatusChainTest, AnHdcpOffStatusIsAskedForOnceMore) {
  dialog->ToggleLink();
  ASSERT_TRUE(Handled(0x8090));
  EXPECT_EQ(host.TimerPeriod(kStatusRecheckTimer), 2000);
  Forget();
  host.Advance(1999);
  host.PumpFor(30ms);
  EXPECT_TRUE(BoxCodes().empty());
  host.Advance(1);
  ASSERT_TRUE(Handled(0x8090));
  EXPECT_EQ(BoxCodes(), Codes{0x8090});
  // The reply to the repeat asks for nothing more.
  EXPECT_FALSE(host.TimerRunning(kStatusRecheckTimer));
  host.Advance(10000);
  host.PumpFor(30ms);
  EXPECT_EQ(BoxCodes(), Codes{0x8090});

  // With HDCP on nothing is repeated at all.
  ChangeBox([](SimulatedBox& b) { b.SetHdcp(kHdmiInput, 2, false); });
  page().UpdateStatus();
  ASSERT_TRUE(Handled(0x8090, 2));
  EXPECT_EQ(Text(ids::kHdcpText), "HDCP2.2");
  EXPECT_FALSE(host.TimerRunning(kStatusRecheckTimer));
}

TEST_F(StatusChainTest, TheConsoleFollowsTheBoxsSignal) {
  dialog->ToggleLink();
  ASSERT_TRUE(Handled(0x8090));

  // A new format: the box's notice brings its timing, then its status.
  Forget();
  ChangeBox([](SimulatedBox& b) { b.SetSignal(*FindBoxSignal("1080i50"), true); });
  ASSERT_TRUE(Handled(0x8090));
  EXPECT_EQ(dispatched, (Codes{0x809F, 0x8091, 0x8090}));
  EXPECT_EQ(Text(ids::kTimingText), "1920x1080i(50)");
  EXPECT_EQ(Text(ids::kAudioTypeText), "AC3");
  EXPECT_EQ(page().view().GetRadio(timing_ids::kScanType), kInterlaced);
  EXPECT_EQ(page().view().GetFloat(timing_ids::kVFreq), 50.04);

  EXPECT_EQ(page().view().GetText(timing_ids::kSignalNote), "");

  // The source's cable pulled: the panel empties, the page shows zeros and says "No
  // signal", with no polarity or scan type checked.
  Forget();
  ChangeBox([](SimulatedBox& b) { b.SetSourceConnected(kHdmiInput, false, true); });
  ASSERT_TRUE(Handled(0x809F));
  for (int id : ids::kStatusTexts)
    EXPECT_EQ(Text(id), "") << id;
  for (int id :
       {timing_ids::kHActive, timing_ids::kVActive, timing_ids::kHTotal, timing_ids::kVSyncOffset})
    EXPECT_EQ(page().view().GetInt(id), 0) << id;
  EXPECT_EQ(page().view().GetFloat(timing_ids::kPixelClock), 0.0);
  for (int id : {timing_ids::kHSyncPlus, timing_ids::kVSyncPlus, timing_ids::kScanType})
    EXPECT_EQ(page().view().GetRadio(id), -1) << id;
  EXPECT_EQ(page().view().GetText(timing_ids::kSignalNote), kNoSignalText);
  EXPECT_TRUE(BoxCodes().empty());  // nothing to ask about

  // "Update Status" without a signal: the whole chain, whose timing reply finds no active
  // width and asks no status; the page still says "No signal".
  page().UpdateStatus();
  ASSERT_TRUE(Handled(0x8091));
  EXPECT_EQ(BoxCodes(), (Codes{0x8082, 0x8081, 0x8080, 0xF850, 0x8091}));
  EXPECT_EQ(Text(ids::kTimingText), "");
  EXPECT_EQ(page().view().GetRadio(timing_ids::kScanType), -1);
  EXPECT_EQ(page().view().GetText(timing_ids::kSignalNote), kNoSignalText);

  // Plugged back: everything returns.
  ChangeBox([](SimulatedBox& b) { b.SetSourceConnected(kHdmiInput, true, true); });
  ASSERT_TRUE(Handled(0x8090));
  EXPECT_EQ(Text(ids::kTimingText), "1920x1080i(50)");
  EXPECT_EQ(view.GetRadio(ids::kHpdOn), 0);
  EXPECT_EQ(page().view().GetRadio(timing_ids::kScanType), kInterlaced);
  EXPECT_EQ(page().view().GetText(timing_ids::kSignalNote), "");
}

// The panel and the Timing page never mix two signals: a timing waits for the status asked
// after it (576i50 repeats its pixels; read with that, 1080p60 would show as "960x1080"),
// and a re-check that finds another signal reads the timing again.
TEST_F(StatusChainTest, ThePanelNeverMixesTwoSignals) {
  dialog->ToggleLink();
  ASSERT_TRUE(Handled(0x8090));
  ChangeBox([](SimulatedBox& b) { b.SetSignal(*FindBoxSignal("576i50"), true); });
  ASSERT_TRUE(Handled(0x8090, 2));
  host.StopTimer(kStatusRecheckTimer);
  EXPECT_EQ(Text(ids::kTimingText), "720x576i(50)");
  const int width576 = page().view().GetInt(timing_ids::kHActive);

  // 1080p60, whose status reply is lost: the old values stay whole until the time-out
  // marks them, and Update Status brings the new ones.
  Forget();
  dialog->onDispatch = [&](uint16_t code) {
    dispatched.push_back(code);
    if (code == 0x8091) ChangeBox([](SimulatedBox& b) { b.faults().dropFrames = 1; });
  };
  ChangeBox([](SimulatedBox& b) { b.SetSignal(*FindBoxSignal("1080p60"), true); });
  ASSERT_TRUE(Handled(0x8091));
  host.PumpFor(150ms);
  EXPECT_EQ(Text(ids::kTimingText), "720x576i(50)");
  EXPECT_EQ(page().view().GetInt(timing_ids::kHActive), width576);
  host.Advance(kNoAnswerWait);
  EXPECT_TRUE(view.Dimmed(ids::kSignalPanel));
  dialog->onDispatch = [&](uint16_t code) { dispatched.push_back(code); };
  page().UpdateStatus();
  ASSERT_TRUE(Handled(0x8090));
  EXPECT_EQ(Text(ids::kTimingText), "1920x1080(60)");
  EXPECT_EQ(page().view().GetInt(timing_ids::kHActive), 1920);
  EXPECT_FALSE(view.Dimmed(ids::kSignalPanel));

  // HDCP off arms the re-check; the source goes, and the box's notice of it is lost. The
  // re-check's status (no signal: DVI without audio) is not shown with 1080p60's timing.
  ASSERT_TRUE(host.TimerRunning(kStatusRecheckTimer));
  Forget();
  ChangeBox([](SimulatedBox& b) { b.SetSourceConnected(kHdmiInput, false, false); });
  host.Advance(kStatusRecheckWait);
  ASSERT_TRUE(Handled(0x8091));
  EXPECT_EQ(BoxCodes(), (Codes{0x8090, 0x8091}));
  for (int id : ids::kStatusTexts)
    EXPECT_EQ(Text(id), "") << id;
  EXPECT_EQ(page().view().GetText(timing_ids::kSignalNote), kNoSignalText);

  // A re-check that finds the same signal with HDCP on just shows it.
  ChangeBox([](SimulatedBox& b) { b.SetSourceConnected(kHdmiInput, true, true); });
  ASSERT_TRUE(Handled(0x8090));
  Forget();
  ChangeBox([](SimulatedBox& b) { b.SetHdcp(kHdmiInput, 1, false); });
  host.Advance(kStatusRecheckWait);
  ASSERT_TRUE(Handled(0x8090));
  EXPECT_EQ(BoxCodes(), Codes{0x8090});
  EXPECT_EQ(Text(ids::kHdcpText), "HDCP1.4");
  EXPECT_EQ(Text(ids::kTimingText), "1920x1080(60)");
  EXPECT_TRUE(host.messages.empty());
}

// The box switched to its SDI input at the box itself ("signal sdi-1080i50", "input sdi"
// on the simulator): its notice brings the timing alone, which the console still reads
// with the HDMI rules; "Update Status" (F5) asks the input first, so the lamps and the
// decoding follow the box.
TEST_F(StatusChainTest, UpdateStatusFollowsAnInputSwitchedAtTheBox) {
  dialog->ToggleLink();
  ASSERT_TRUE(Handled(0x8090));
  EXPECT_EQ(view.Icon(ids::kHdmiIcon), ids::kIconLampLit);

  Forget();
  ChangeBox([](SimulatedBox& b) {
    b.SetSignal(*FindBoxSignal("sdi-1080i50"), false);
    b.SetInput(kSdiInput, true);  // one notice
  });
  ASSERT_TRUE(Handled(0x8090));
  // The notice keeps its timing-first chain.
  EXPECT_EQ(dispatched, (Codes{0x809F, 0x8091, 0x8090}));
  EXPECT_EQ(BoxCodes(), (Codes{0x8091, 0x8090}));

  Forget();
  page().UpdateStatus();
  ASSERT_TRUE(Handled(0x8090));
  EXPECT_EQ(BoxCodes(), kChain);
  EXPECT_EQ(view.Icon(ids::kSdiIcon), ids::kIconLampLit);
  EXPECT_EQ(view.Icon(ids::kHdmiIcon), ids::kIconLampUnlit);
  EXPECT_FALSE(view.Enabled(ids::kHpdOn));
  EXPECT_TRUE(dialog->inputIsSdi());
  EXPECT_EQ(Text(ids::kSignalText), "SDI");
  EXPECT_EQ(Text(ids::kTimingText), "1920x1080i(50)");
  EXPECT_EQ(page().view().GetInt(timing_ids::kVActive), 1080);
  EXPECT_EQ(page().view().GetInt(timing_ids::kVTotal), 1125);
  EXPECT_EQ(page().view().GetFloat(timing_ids::kVFreq), 50.0);
  EXPECT_TRUE(host.messages.empty());
}

// What the panel and the Timing page show is marked as not live when the link goes down or
// the chain goes unanswered, and is live again with the next timing and status.
TEST_F(StatusChainTest, OldValuesAreMarkedUntilFreshAnswersCome) {
  dialog->freshness.wallClock = [] {
    std::tm noon{};
    noon.tm_year = 126;
    noon.tm_mon = 2;
    noon.tm_mday = 14;
    noon.tm_hour = 14;
    noon.tm_min = 3;
    noon.tm_sec = 22;
    noon.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&noon));
  };
  MemoryView pageView;
  page().AttachView(&pageView);
  auto notice = [&] { return pageView.GetText(timing_ids::kFreshnessNote); };
  auto dimmed = [&] {
    const bool panel = view.Dimmed(ids::kSignalPanel);
    EXPECT_EQ(pageView.Dimmed(timing_ids::kTimingFields), panel);
    EXPECT_EQ(view.GetText(ids::kFreshnessNote), notice());
    return panel;
  };
  // Nothing received yet: nothing to mark.
  EXPECT_EQ(notice(), "");
  dialog->ToggleLink();
  ASSERT_TRUE(Handled(0x8090));
  EXPECT_FALSE(dimmed());
  host.StopTimer(kStatusRecheckTimer);

  dialog->ToggleLink();  // down
  EXPECT_EQ(notice(), "Last received 14:03:22 \u2014 link down");
  EXPECT_TRUE(dimmed());
  EXPECT_EQ(Text(ids::kTimingText), "1920x1080(60)");  // still shown, greyed

  Forget();
  dialog->ToggleLink();  // up again: old until the chain's answers come
  EXPECT_EQ(notice(), "Last received 14:03:22 \u2014 waiting for the box");
  ASSERT_TRUE(Handled(0x8091));
  EXPECT_EQ(notice(), "");
  EXPECT_FALSE(dimmed());
  ASSERT_TRUE(Handled(0x8090));
  host.StopTimer(kStatusRecheckTimer);

  // A request of the chain goes unanswered: the values are as old as the last answer.
  Forget();
  ChangeBox([](SimulatedBox& b) { b.faults().dropFrames = 1; });
  page().UpdateStatus();
  host.PumpFor(150ms);
  host.Advance(kNoAnswerWait);
  EXPECT_EQ(notice(), "Last received 14:03:22 \u2014 no answer from the box");
  EXPECT_TRUE(dimmed());
  // An answer to something else does not make them live.
  dialog->monitorPage.ReadStatusRecord();
  ASSERT_TRUE(Handled(0x8096));
  EXPECT_TRUE(dimmed());
  page().UpdateStatus();
  ASSERT_TRUE(Handled(0x8090));
  EXPECT_FALSE(dimmed());
  EXPECT_EQ(notice(), "");
  page().AttachView(nullptr);
}

TEST_F(StatusChainTest, FrontPanelControlsSetTheBox) {
  dialog->ToggleLink();
  ASSERT_TRUE(Handled(0x8090));
  Forget();

  // Volume: from the box's 50 %, down to 0 and one more, then up to 100 and one more.
  std::vector<uint8_t> steps;
  for (int i = 0; i < 5; ++i)
    dialog->VolumeDown();
  for (int i = 0; i < 9; ++i)
    dialog->VolumeUp();
  ASSERT_TRUE(host.PumpUntil([&] { return BoxCodes().size() == 14; }));
  for (const ReceivedCommand& c : BoxCommands()) {
    EXPECT_EQ(c.code, 0x0080);
    EXPECT_EQ(c.target, kBox);
    steps.push_back(c.payload.at(0));
  }
  EXPECT_EQ(steps, (std::vector<uint8_t>{3, 2, 1, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 8}));
  EXPECT_EQ(view.GetInt(ids::kVolumeBox), 100);
  server.WithLine([](BoxLine& line) { EXPECT_EQ(line.box(0).panel().volumeStep, 8); });

  // Hot-plug off: the source stops, the box says so, and the console empties its panel.
  Forget();
  view.SetRadio(ids::kHpdOn, 1);  // as the click on "OFF" leaves it
  dialog->HpdOff();
  ASSERT_TRUE(Handled(0x809F));
  EXPECT_EQ(Text(ids::kTimingText), "");
  EXPECT_EQ(view.GetRadio(ids::kHpdOn), 1);
  // "Update Status" reads hot-plug off back from the box, and no timing.
  page().UpdateStatus();
  ASSERT_TRUE(Handled(0x8091));
  EXPECT_EQ(view.GetRadio(ids::kHpdOn), 1);
  EXPECT_EQ(page().view().GetInt(timing_ids::kHActive), 0);
  dialog->HpdOn();
  ASSERT_TRUE(Handled(0x8090));
  EXPECT_EQ(Text(ids::kTimingText), "1920x1080(60)");

  // SDI: the box switches, its SDI signal arrives and reads with the SDI rules.
  Forget();
  dialog->SelectSdiInput();
  EXPECT_FALSE(view.Enabled(ids::kHpdOn));
  EXPECT_EQ(view.Icon(ids::kSdiIcon), ids::kIconLampLit);
  ASSERT_TRUE(Handled(0x8090));
  EXPECT_EQ(BoxCodes(), (Codes{0x0082, 0x8091, 0x8090}));
  EXPECT_EQ(Text(ids::kSignalText), "SDI");
  EXPECT_EQ(Text(ids::kTimingText), "1920x1080i(50)");
  EXPECT_EQ(page().view().GetFloat(timing_ids::kVFreq), 50.0);
  // Back to HDMI through the chain: the box's input reply re-enables hot-plug.
  dialog->SelectHdmiInput();
  dialog->SendCommand(0x8082);
  ASSERT_TRUE(Handled(0x8082));
  EXPECT_TRUE(view.Enabled(ids::kHpdOn));
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(StatusChainTest, ChoosingABoxInTheAddressListAsksItsState) {
  dialog->addressBook[4].address = kBox;
  dialog->RefreshAddressList();
  dialog->ToggleLink();
  ASSERT_TRUE(Handled(0x8090));
  Forget();

  view.SetSelection(ids::kAddressList, 1);  // "All: FFFF(no ACT)": no question
  dialog->SelectAddress();
  EXPECT_EQ(dialog->TargetAddress(), (DeviceAddress{0xFF, 0xFF}));
  view.SetSelection(ids::kAddressList, 6);  // "No. 5:"
  dialog->SelectAddress();
  ASSERT_TRUE(Handled(0x8090));
  const std::vector<ReceivedCommand> commands = BoxCommands();
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.front().code, 0x8082);
  EXPECT_EQ(commands.front().target, kBox);
  EXPECT_EQ(BoxCodes(), kChain);
}

// Timers 8 and 6 as an upload start leaves them: the frame request goes out at the upload
// rate, and with no answer the port is back at the link rate 5500 ms after the start.
TEST_F(StatusChainTest, UploadTimersSwitchTheRateAndBack) {
  dialog->ToggleLink();
  ASSERT_TRUE(Handled(0x8090));
  host.StopTimer(kStatusRecheckTimer);
  Forget();
  // The box takes the frame request but never sends a chunk.
  ChangeBox([](SimulatedBox& b) { b.faults().stallFrameAfter = 0; });
  ConsoleTestAccess::SetUploadActive(*dialog, true);
  host.StartTimer(kUploadStartTimer, 10);
  host.StartTimer(kUploadEndTimer, 5500);
  host.Advance(10);
  EXPECT_EQ(dialog->serialPort().CurrentRates(), std::make_pair(512000, 512000));
  EXPECT_TRUE(BoxCodes().empty());
  host.Advance(50);
  ASSERT_TRUE(host.PumpUntil([&] { return BoxCodes() == Codes{0x8094}; }));
  EXPECT_TRUE(dialog->uploadActive());
  EXPECT_FALSE(host.TimerRunning(kUploadStartTimer));
  EXPECT_EQ(dialog->capture.uploadStep(), 0);

  host.Advance(5439);
  EXPECT_TRUE(dialog->uploadActive());
  host.Advance(1);
  EXPECT_FALSE(dialog->uploadActive());
  EXPECT_EQ(page().view().GetText(timing_ids::kUploadLabel), " ");
  // The box is told to stop at the upload rate; the port comes back after it.
  ASSERT_TRUE(host.PumpUntil([&] { return BoxCodes() == (Codes{0x8094, kStopUploadCommand}); }));
  EXPECT_EQ(dialog->serialPort().CurrentRates(), std::make_pair(512000, 512000));
  host.Advance(kAfterFrameWait);
  EXPECT_EQ(dialog->serialPort().CurrentRates(), std::make_pair(115200, 115200));
  EXPECT_FALSE(host.TimerRunning(kUploadEndTimer));
  // The link works at its own rate again.
  dialog->SendCommand(0x8082);
  ASSERT_TRUE(Handled(0x8082));
}

}  // namespace
}  // namespace sc
