#pragma once
// The "Timing" tab page (dialog 129): the detailed timing of the received signal. The
// main window's reply handlers hand it the timing record and the status bytes it needs;
// the page decodes them and shows the sixteen fields, which the user only reads. Its
// "Update Status" button asks the box for its state again.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "timing/timing_decoder.h"
#include "window/command_sender.h"
#include "window/view.h"

namespace sc {

namespace timing_ids {
inline constexpr int kPixelClock = 1053;
inline constexpr int kHFreq = 1054;
inline constexpr int kVFreq = 1055;
inline constexpr int kHActive = 1046;
inline constexpr int kVActive = 1047;
inline constexpr int kHTotal = 1049;
inline constexpr int kVTotal = 1050;
inline constexpr int kHBlank = 1051;
inline constexpr int kVBlank = 1052;
inline constexpr int kVSyncWidth = 1056;
inline constexpr int kHSyncWidth = 1057;
inline constexpr int kHSyncOffset = 1058;
inline constexpr int kVSyncOffset = 1059;
inline constexpr int kHSyncPlus = 1060;  // radio pair 1060 "+", 1061 "-"
inline constexpr int kHSyncMinus = 1061;
inline constexpr int kVSyncPlus = 1062;  // radio pair 1062 "+", 1063 "-"
inline constexpr int kVSyncMinus = 1063;
inline constexpr int kScanType = 1064;  // radio pair 1064 progressive, 1065 interlaced
inline constexpr int kInterlace = 1065;
inline constexpr int kUploadProgress = 1110;
inline constexpr int kUpdateImage = 1114;
inline constexpr int kUploadWholeImage = 1118;
inline constexpr int kPreviewFrame = 1125;
inline constexpr int kUpdateStatus = 1223;
inline constexpr int kUploadLabel = 1224;
inline constexpr int kLineAnalyse = 1226;
inline constexpr int kLineNumber = 1227;
// Not in the dialog layout: the check box "Frame capture" that shows the upload controls,
// and the group of those controls (1118, 1226, 1227, 1110 and their labels "Line No.:"
// and "%"), which the layout creates hidden.
inline constexpr int kFrameCaptureCheck = 1300;
inline constexpr int kCaptureControls = 1301;
// Also not in the layout: "No signal" while the box receives none, the line that says the
// values are not live ("Last received 14:03:22 — link down"), and the group of the fields
// and radios, greyed meanwhile.
inline constexpr int kSignalNote = 1302;
inline constexpr int kFreshnessNote = 1303;
inline constexpr int kTimingFields = 1304;
}  // namespace timing_ids

// What the page says while the box receives no signal.
inline constexpr const char* kNoSignalText = "No signal";

class TimingPage : public CoreWindow {
 public:
  // `uploadActive` tells whether an upload runs: then the page asks nothing. `askState`
  // asks the box for its whole state (the status chain from its input query); without it
  // the page sends the input query itself.
  TimingPage(CommandSender& sender, std::function<bool()> uploadActive,
             std::function<void()> askState = nullptr)
      : sender_(sender), uploadActive_(std::move(uploadActive)), askState_(std::move(askState)) {}

  // The sixteen displayed fields.
  double pixelClock = 0;  // MHz
  double hFreq = 0;       // kHz
  double vFreq = 0;       // Hz
  int hActive = 0, vActive = 0, hTotal = 0, vTotal = 0, hBlank = 0, vBlank = 0;
  int vSyncWidth = 0, hSyncWidth = 0, hSyncOffset = 0, vSyncOffset = 0;
  int hSyncPolarity = -1;  // 0 "+", 1 "-", -1 none checked
  int vSyncPolarity = -1;
  int scanType = -1;  // 0 progressive, 1 interlaced
  // The box reported no signal (a timing with no active width, a lost signal, hot-plug
  // off): no radio is checked and the page says "No signal".
  bool noSignal = false;

  // The latest timing record and the three status bytes kept for decoding.
  std::array<uint8_t, kTimingRecordSize> record{};
  uint8_t structure3d = 0;
  uint8_t pixelRepetition = 0;
  uint8_t colorSpace = 0;

  // Capture members.
  double uploadProgress = 0;
  std::string uploadLabel;
  int lineNumber = 1;

  // Recomputes the sixteen fields from the stored record and status bytes; the caller
  // pushes them.
  void DecodeTiming(bool inputIsSdi);
  // Reply 0x8091: keeps its twenty bytes, decodes and shows them.
  void TakeTimingRecord(const uint8_t* payload, bool inputIsSdi);
  // Reply 0x8091 of a signal, whose status (0x8090) the caller asks next: its bytes are
  // held, not shown, until TakeHeldRecord, because decoded with the pixel repetition, 3D
  // structure and colour space of the signal before they would show a format the box
  // never measured ("960x1080" for 1080p after 576i). Returns whether the record has an
  // active width (nothing is held without one).
  bool HoldTimingRecord(const uint8_t* payload, bool inputIsSdi);
  // Makes the held record the page's record (decoded with the status bytes that follow).
  // Returns whether one was held.
  bool TakeHeldRecord();
  bool HoldsRecord() const { return heldRecord_.has_value(); }
  // Reply 0x8090: keeps the 3D structure (byte 8), the pixel repetition (byte 9) and the
  // colour space (byte 0), decodes again and shows the fields.
  void TakeStatusBytes(const uint8_t* status, bool inputIsSdi);
  // No signal: every number 0, no radio checked, "No signal".
  void ZeroTimingFields();
  // The values shown are live, or not (`notice` says since when and why; the fields are
  // greyed meanwhile).
  void ShowFreshness(const std::string& notice, bool stale);

  // "Update Status": the box's whole state again, from the input query on, so that the
  // lamps and the decoding follow an input changed at the box.
  void UpdateStatus();

  // "Frame capture" checked or cleared: the upload controls shown or hidden. The choice
  // holds while the console runs.
  void ShowCaptureControls(bool shown);
  bool captureControlsShown = false;

 protected:
  void Exchange(ControlExchange& exchange) override;

 private:
  CommandSender& sender_;
  std::function<bool()> uploadActive_;
  std::function<void()> askState_;
  std::string signalNote_;
  std::optional<std::array<uint8_t, kTimingRecordSize>> heldRecord_;
};

}  // namespace sc
