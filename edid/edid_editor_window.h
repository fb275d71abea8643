#pragma once
// The EDID editor window ("Edit..." on the EDID page): the page's image in an EdidEditor,
// in six sections (identity, timings, video, audio, HDMI, HDR), each with the values the
// image holds and the buttons that change them; beside them, the changes against the image
// the window opened on (the page's comparison) and the faults the edited image has that
// the original did not. "Apply" hands the edited image to the page. Toolkit-free: it reads
// and sets its controls through its view; the Qt dialog binds them.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "edid/edid_editor.h"
#include "window/view.h"

namespace sc {

namespace edid_editor_ids {
inline constexpr int kDialog = 1300;  // the dialog, run by the host
// Identity
inline constexpr int kName = 1301;
inline constexpr int kManufacturer = 1302;
inline constexpr int kProduct = 1303;
inline constexpr int kSerial = 1304;
inline constexpr int kSetIdentity = 1305;
// Timings
inline constexpr int kTimingList = 1310;
inline constexpr int kMakePreferred = 1311;
inline constexpr int kPreferredVic = 1312;
inline constexpr int kSetPreferredVic = 1313;
// Video
inline constexpr int kVicList = 1320;
inline constexpr int kRemoveVic = 1321;
inline constexpr int kMarkNative = 1322;
inline constexpr int kNewVic = 1323;
inline constexpr int kAddVic = 1324;
inline constexpr int kMaxClock = 1325;
inline constexpr int kKeepUpTo = 1326;
inline constexpr int kYcbcr444 = 1327;  // check boxes
inline constexpr int kYcbcr422 = 1328;
// Audio
inline constexpr int kAudioList = 1330;
inline constexpr int kRemoveAudio = 1331;
inline constexpr int kLpcmChannels = 1332;
inline constexpr int kLpcmRates = 1333;
inline constexpr int kLpcmSizes = 1334;
inline constexpr int kSetLpcm = 1335;
inline constexpr int kSpeakers = 1336;
inline constexpr int kSetSpeakers = 1337;
// HDMI
inline constexpr int kPhysicalAddress = 1340;
inline constexpr int kSetPhysicalAddress = 1341;
inline constexpr int kMaxTmds = 1342;
inline constexpr int kSetMaxTmds = 1343;
inline constexpr int kForumRate = 1344;
inline constexpr int kSetForumRate = 1345;
inline constexpr int kRemoveForum = 1346;
// HDR
inline constexpr int kEotfs = 1350;
inline constexpr int kSetEotfs = 1351;
inline constexpr int kRemoveHdr = 1352;
// The changes and the faults
inline constexpr int kResult = 1360;          // what the last edit did, or why it was refused
inline constexpr int kChangesSummary = 1361;  // "3 differences from the original"
inline constexpr int kChangeList = 1362;
inline constexpr int kFaultList = 1363;  // new errors and warnings
inline constexpr int kApply = 1364;
inline constexpr int kRevert = 1365;
}  // namespace edid_editor_ids

inline constexpr char kEdidEditorTitle[] = "Edit EDID";

class EdidEditorWindow : public CoreWindow {
 public:
  // Opens on an image (the page's 256 bytes): refused, with the reason, when it is not
  // an EDID.
  EdidEditResult Open(std::span<const uint8_t> bytes);

  // Every control from the edited image (a new view attached).
  void Refresh();

  // The buttons. Each reads its boxes, makes the edit and shows the result; a box that
  // cannot be read is refused the same way as an edit.
  void SetIdentity();
  void MakePreferred();
  void SetPreferredVic();
  void RemoveVic();
  void MarkNative();
  void AddVic();
  void KeepUpTo();
  void SetYcbcr();  // either check box changed
  void RemoveAudio();
  void SetLpcm();
  void SetSpeakers();
  void SetPhysicalAddress();
  void SetMaxTmds();
  void SetForumRate();
  void RemoveForum();
  void SetEotfs();
  void RemoveHdr();
  void Revert();
  // Hands the edited image to onApply; false (and nothing handed) when nothing changed.
  bool Apply();

  // Told the edited image and its new faults when "Apply" is pressed.
  std::function<void(const std::vector<uint8_t>& bytes, const std::vector<EdidCheck>& newFaults)>
      onApply;

  const EdidEditor& editor() const { return editor_; }
  // What the VIC and audio lists hold, row by row.
  const std::vector<int>& listedVics() const { return vics_; }
  const std::vector<uint8_t>& listedAudioFormats() const { return audioFormats_; }

 protected:
  void Exchange(ControlExchange&) override {}

 private:
  void Edit(const EdidEdit& edit);
  void Refused(const std::string& what, const std::string& why);
  void Show() { Refresh(); }

  EdidEditor editor_;
  std::vector<int> vics_;
  std::vector<uint8_t> audioFormats_;
};

}  // namespace sc
