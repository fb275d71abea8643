#pragma once
// The "EDID" tab page (dialog 132): picks one of the box's 15 presets, reads a preset's
// EDID from the box, loads and saves EDID files, writes an EDID into a user slot, and
// shows the image as a hex view, a status text and three decoded reports.

#include <cstdint>
#include <string>
#include <vector>

#include "edid/edid_decoder.h"
#include "edid/edid_editor_window.h"
#include "edid/edid_inspector.h"
#include "window/command_sender.h"
#include "window/host.h"
#include "window/outcome.h"
#include "window/save_as.h"
#include "window/view.h"

namespace sc {

namespace edid_ids {
inline constexpr int kOpenFile = 1099;
inline constexpr int kSaveToFile = 1098;
inline constexpr int kWriteUserEdid = 1097;
inline constexpr int kReadFromDevice = 1096;
inline constexpr int kHexText = 1101;
inline constexpr int kVideoText = 1102;
inline constexpr int kAudioText = 1103;
inline constexpr int kGeneralText = 1105;
inline constexpr int kSelectionList = 1117;
inline constexpr int kStatusText = 1118;
// Not in the layout: "Save As...", beside "Save to file".
inline constexpr int kSaveAs = 1095;
inline constexpr int kEditEdid = 1136;  // "Edit..."
}  // namespace edid_ids

// The 15 presets of the box, in list order; the index is the preset number. Entries 5..14
// are the user slots USER1..USER10 (slot number = index - 5).
extern const std::vector<std::string> kEdidPresetNames;
inline constexpr int kFirstUserPreset = 5;
inline constexpr int kPresetCount = 15;

// The first filter shows both kinds of EDID file.
inline constexpr const char* kEdidOpenFilter =
    "EDID file(*.bin;*.txt)|*.bin;*.txt|bin file(*.bin)|*.bin|text file(*.txt)|*.txt|all "
    "file(*.*)|*.*||";
inline constexpr const char* kEdidSaveAsFilter = "bin file(*.bin)|*.bin|text file(*.txt)|*.txt||";
inline constexpr const char* kWriteStepNote =
    "Write EDID Step:\r1.Select one of USER define EDID(USER1~10) from Pull-down select box "
    "below. \r2.Read EDID from file(Open file). \r3.Write data to device.";

class EdidPage : public CoreWindow {
 public:
  EdidPage(Host& host, CommandSender& sender);

  // Fills the selection list (no entry selected), as the page is created.
  void Create();

  // Controls.
  void SelectEdidPreset();     // an entry of the selection list was confirmed
  void ReadEdidFromDevice();   // "Read EDID from device"
  void WriteUserEdid();        // "Write to USER EDID"
  void OpenEdidFile();         // "Open file"
  void SaveEdidFile();         // "Save to file"
  void CompareWithFile();      // "Compare..."
  void CompareWithLastRead();  // "Compare with last read"
  // "Save As...": the image to a .bin or .txt file of the person's choosing.
  void SaveEdidFileAs();
  void EditEdid();  // "Edit...": the editor window on the page's image

  // Replies, with the reply's payload.
  void OnEdidData(const uint8_t* payload, size_t size);         // 0xF851
  void OnAcknowledgement(const uint8_t* payload, size_t size);  // 0xFFFF
  void OnPresetReport(int8_t preset);                           // 0xF850

  // Told how read, open, save, write and compare ended.
  OutcomeSink onOutcome;

  // All 0xFF until the first read or load, so that writing it is refused.
  EdidImage image;
  // The preset the box last said it presents (0xF850), -1 before it has said.
  int activePreset = -1;
  int EdidSelection = -1;
  std::string videoText, audioText, hexText, generalText, statusText;
  // Where "Save to file" writes and "Open file" starts: the process's current directory.
  std::string workingDirectory = ".";
  // The "Full decode" view and "Compare...", following the image.
  EdidInspector inspector;
  // The folder the console's file dialogs start in (the main window's), if any.
  FileDialogFolder* dialogFolder = nullptr;
  // The editor window "Edit..." opens; its "Apply" puts the edited image on the page.
  EdidEditorWindow editor;
  // Errors the edited image on the page has that the image the editor opened on did not;
  // writing it to a user slot asks first. Cleared by a read or an opened file.
  std::vector<EdidCheck> newErrors;

 protected:
  void Exchange(ControlExchange& exchange) override;

 private:
  void ShowMessage(const std::string& text);
  void TakeEdited(const std::vector<uint8_t>& bytes, const std::vector<EdidCheck>& newFaults);
  void ShowLoadedImage();
  bool editApplied_ = false;
  void Finish(const Outcome& outcome);

  Host& host_;
  CommandSender& sender_;
};

}  // namespace sc
