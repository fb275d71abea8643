#include "timing/timing_page.h"

#include <algorithm>

namespace sc {

void TimingPage::DecodeTiming(bool inputIsSdi) {
  const TimingFields f = sc::DecodeTiming(TimingRecord::FromBytes(record),
                                          {colorSpace, pixelRepetition, structure3d, inputIsSdi});
  pixelClock = f.pixelClock;
  hFreq = f.hFreq;
  vFreq = f.vFreq;
  hActive = f.hActive;
  vActive = f.vActive;
  hTotal = f.hTotal;
  vTotal = f.vTotal;
  hBlank = f.hBlank;
  vBlank = f.vBlank;
  vSyncWidth = f.vSyncWidth;
  hSyncWidth = f.hSyncWidth;
  hSyncOffset = f.hSyncOffset;
  vSyncOffset = f.vSyncOffset;
  hSyncPolarity = f.hSyncPolarity;
  vSyncPolarity = f.vSyncPolarity;
  scanType = f.scanType;
  noSignal = f.hActive == 0;
  if (noSignal) hSyncPolarity = vSyncPolarity = scanType = -1;
}

void TimingPage::TakeTimingRecord(const uint8_t* payload, bool inputIsSdi) {
  heldRecord_.reset();
  std::copy(payload, payload + kTimingRecordSize, record.begin());
  DecodeTiming(inputIsSdi);
  Push();
}

bool TimingPage::HoldTimingRecord(const uint8_t* payload, bool inputIsSdi) {
  std::array<uint8_t, kTimingRecordSize> held;
  std::copy(payload, payload + kTimingRecordSize, held.begin());
  // The corrections only divide the active width: zero stays zero whatever they are.
  const TimingFields f = sc::DecodeTiming(TimingRecord::FromBytes(held),
                                          {colorSpace, pixelRepetition, structure3d, inputIsSdi});
  if (f.hActive == 0) {
    heldRecord_.reset();
    return false;
  }
  heldRecord_ = held;
  return true;
}

bool TimingPage::TakeHeldRecord() {
  if (!heldRecord_) return false;
  record = *heldRecord_;
  heldRecord_.reset();
  return true;
}

void TimingPage::TakeStatusBytes(const uint8_t* status, bool inputIsSdi) {
  structure3d = status[8];
  pixelRepetition = status[9];
  colorSpace = status[0];
  DecodeTiming(inputIsSdi);
  Push();
}

void TimingPage::ZeroTimingFields() {
  heldRecord_.reset();
  pixelClock = hFreq = vFreq = 0;
  hActive = vActive = hTotal = vTotal = hBlank = vBlank = 0;
  vSyncWidth = hSyncWidth = hSyncOffset = vSyncOffset = 0;
  hSyncPolarity = vSyncPolarity = scanType = -1;
  noSignal = true;
}

void TimingPage::ShowFreshness(const std::string& notice, bool stale) {
  view().SetText(timing_ids::kFreshnessNote, notice);
  view().SetDimmed(timing_ids::kTimingFields, stale);
}

void TimingPage::UpdateStatus() {
  if (uploadActive_ && uploadActive_()) return;
  uploadProgress = 0;
  // The whole status chain, as when the link comes up: input, hot-plug, volume, EDID
  // preset, timing and status, each asked by the previous reply's handler. (Asked from the
  // hot-plug step on, an input switched at the box went unnoticed.)
  if (askState_)
    askState_();
  else
    sender_.SendCommand(0x8082);
}

void TimingPage::ShowCaptureControls(bool shown) {
  captureControlsShown = shown;
  view().SetVisible(timing_ids::kCaptureControls, shown);
}

void TimingPage::Exchange(ControlExchange& exchange) {
  using namespace timing_ids;
  exchange.Float(kPixelClock, pixelClock);
  exchange.Float(kHFreq, hFreq);
  exchange.Float(kVFreq, vFreq);
  exchange.Int(kHActive, hActive);
  exchange.Int(kVActive, vActive);
  exchange.Int(kHTotal, hTotal);
  exchange.Int(kVTotal, vTotal);
  exchange.Int(kHBlank, hBlank);
  exchange.Int(kVBlank, vBlank);
  exchange.Int(kVSyncWidth, vSyncWidth);
  exchange.Int(kHSyncWidth, hSyncWidth);
  exchange.Int(kHSyncOffset, hSyncOffset);
  exchange.Int(kVSyncOffset, vSyncOffset);
  exchange.Radio(kHSyncPlus, hSyncPolarity);
  exchange.Radio(kVSyncPlus, vSyncPolarity);
  exchange.Radio(kScanType, scanType);
  if (!exchange.pulling()) {
    signalNote_ = noSignal ? kNoSignalText : "";
    exchange.Text(kSignalNote, signalNote_);
  }
  exchange.Float(kUploadProgress, uploadProgress);
  exchange.Text(kUploadLabel, uploadLabel);
  exchange.Int(kLineNumber, lineNumber);
}

}  // namespace sc
