#include "timing/timing_page.h"

namespace sc {

void TimingPage::ZeroTimingFields() {
  pixelClock = hFreq = vFreq = 0;
  hActive = vActive = hTotal = vTotal = hBlank = vBlank = 0;
  vSyncWidth = hSyncWidth = hSyncOffset = vSyncOffset = 0;
  hSyncPolarity = vSyncPolarity = scanType = 0;
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
  exchange.Float(kUploadProgress, uploadProgress);
  exchange.Text(kUploadLabel, uploadLabel);
  exchange.Int(kLineNumber, lineNumber);
}

}  // namespace sc
