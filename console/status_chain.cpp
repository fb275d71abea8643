// The status chain of ConsoleDialog: the requests that read the box's state (input,
// hot-plug, volume, EDID preset, timing, status; each sent by the previous reply's
// handler), the handlers of its replies and of the box's signal notice, the re-check of the
// status, and whether what the panel and the Timing page show is still live.

#include "console/console_dialog.h"

#include <utility>

#include "console/control_ids.h"
#include "link/codes.h"

namespace sc {

void ConsoleDialog::SendInputQuery() {
  timingPage.uploadProgress = 0;
  SendCommand(code::kInput);
}

void ConsoleDialog::SendHpdQuery() {
  timingPage.uploadProgress = 0;
  SendCommand(code::kHotPlug);
}

// The status chain's one timer, the re-check of the status (timer 7). (Frame capture runs
// timers 6 and 8.)
void ConsoleDialog::StatusRecheck() {
  // Cleared first, so that the reply to this request cannot ask again.
  statusRecheckArmed_ = false;
  statusRecheckAsked_ = true;
  SendCommand(code::kStatus);
  host_.StopTimer(kStatusRecheckTimer);
}

// ---------------------------------------------------------------------------------------
// Replies of the status chain

void ConsoleDialog::OnInputReply() {
  ShowInput(rx.frame[9] == 1);
  SendHpdQuery();
}

void ConsoleDialog::OnHpdReply() {
  // Later commands go to the box that answered, even when the list shows a broadcast.
  targetAddress_ = rx.Address();
  if (rx.frame[9] == 1) {
    hpdChoice = 1;
    ClearStatusPanel();
    Push();
    timingPage.ZeroTimingFields();
    timingPage.Push();
    SendCommand(code::kVolume);
  } else {
    SendCommand(code::kVolume);
    hpdChoice = 0;
  }
}

void ConsoleDialog::OnVolumeReply() {
  volumePercent = VolumePercentOfStep(static_cast<int8_t>(rx.frame[9]));
  SendCommand(code::kEdidPreset);
  Push();
}

void ConsoleDialog::OnEdidPresetReply() {
  edidPage.OnPresetReport(static_cast<int8_t>(rx.frame[9]));
  SendCommand(code::kTiming);
}

void ConsoleDialog::OnTimingReply() {
  if (timingPage.HoldTimingRecord(rx.Payload(), inputIsSdi_)) {
    // A signal: its record is shown with the status asked now, never with the status of
    // the signal before (lost, that reply leaves the old values, which go stale).
    SendCommand(code::kStatus);
    // The status reply may ask once more, 2000 ms later, if it finds HDCP off.
    statusRecheckArmed_ = true;
    host_.StopTimer(kStatusRecheckTimer);
    return;
  }
  // No active width: no signal.
  timingPage.TakeTimingRecord(rx.Payload(), inputIsSdi_);
  ShowTimingText();
  ClearStatusPanel();
  Push();
}

namespace {

// Whether a status describes another signal than `shown`: anything but its HDCP, which a
// source may switch on after the picture.
bool AnotherSignal(const SignalStatus& shown, const uint8_t* status) {
  const std::array<uint8_t, kSignalStatusSize> bytes = shown.Bytes();
  for (size_t i = 0; i < bytes.size(); ++i)
    if (i != 2 && bytes[i] != status[i]) return true;
  return false;
}

}  // namespace

void ConsoleDialog::OnStatusReply() {
  const bool recheck = std::exchange(statusRecheckAsked_, false);
  const bool followsTiming = timingPage.TakeHeldRecord();
  if (!followsTiming && timingPage.hActive == 0) {
    ClearStatusPanel();
    host_.StopTimer(kStatusRecheckTimer);
    Push();
    return;
  }
  const uint8_t* status = rx.Payload();
  if (recheck && !followsTiming && signalStatus && AnotherSignal(*signalStatus, status)) {
    // The re-check finds another signal than the one shown: the box's notice of the change
    // was lost. Shown with the old timing it would mix two signals; the timing is read
    // again, and its status after it.
    SendCommand(code::kTiming);
    return;
  }
  signalStatus = SignalStatus::FromBytes(status);
  timingPage.TakeStatusBytes(status, inputIsSdi_);
  ShowTimingText();
  statusPanel.Decode(status, inputIsSdi_);
  if (statusRecheckArmed_ && status[2] == 0)
    host_.StartTimer(kStatusRecheckTimer, kStatusRecheckWait);
  Push();
}

void ConsoleDialog::OnSignalNotice() {
  if (rx.frame[9] == 0) {
    // The signal is gone.
    ClearStatusPanel();
    timingPage.ZeroTimingFields();
    timingPage.Push();
    Push();
    return;
  }
  SendCommand(code::kTiming);
  hpdChoice = 0;
  Push();
}

void ConsoleDialog::ShowTimingText() {
  statusPanel.timing = FormatTimingText(timingPage.hActive, timingPage.vActive,
                                        timingPage.scanType == kInterlaced, timingPage.vFreq);
}

// ---------------------------------------------------------------------------------------
// Whether the values shown are live

void ConsoleDialog::ShowFreshness() {
  const std::optional<uint16_t> unanswered = statusBar.requests.Unanswered();
  if (!freshness.Update(linkUp(), unanswered)) return;
  view().SetText(ids::kFreshnessNote, freshness.notice());
  view().SetDimmed(ids::kSignalPanel, freshness.stale());
  timingPage.ShowFreshness(freshness.notice(), freshness.stale());
}

}  // namespace sc
