#include "edid/edid_page.h"

#include <algorithm>

#include "edid/edid_file.h"
#include "storage/safe_file.h"

namespace sc {

namespace {
constexpr uint16_t kSelectPresetCommand = 0x7850;
constexpr uint16_t kReadEdidCommand = 0xF851;
constexpr uint16_t kWriteEdidCommand = 0x7851;
}  // namespace

const std::vector<std::string> kEdidPresetNames = {"0-4K60HZ-3D-2CH(PCM)",
                                                   "1-4K60HZ(YUV420)-3D-48BIT-2CH(PCM)",
                                                   "2-4K30HZ_3D_48BIT_2CH(PCM)",
                                                   "3-1080P-3D-24BIT-2CH(PCM)",
                                                   "4-1080P-24BIT-2CH(PCM)",
                                                   "5-USER1",
                                                   "6-USER2",
                                                   "7-USER3",
                                                   "8-USER4",
                                                   "9-USER5",
                                                   "10-USER6",
                                                   "11-USER7",
                                                   "12-USER8",
                                                   "13-USER9",
                                                   "14-USER10"};

EdidPage::EdidPage(Host& host, CommandSender& sender)
    : inspector(host, [this]() -> View& { return view(); }), host_(host), sender_(sender) {
  image.fill(0xFF);
  editor.onApply = [this](const std::vector<uint8_t>& bytes, const std::vector<EdidCheck>& faults) {
    TakeEdited(bytes, faults);
  };
}

void EdidPage::Create() {
  view().SetItems(edid_ids::kSelectionList, kEdidPresetNames);
  view().SetSelection(edid_ids::kSelectionList, -1);
}

void EdidPage::Exchange(ControlExchange& exchange) {
  exchange.Text(edid_ids::kVideoText, videoText);
  exchange.Text(edid_ids::kAudioText, audioText);
  exchange.Text(edid_ids::kHexText, hexText);
  exchange.Text(edid_ids::kGeneralText, generalText);
  exchange.Text(edid_ids::kStatusText, statusText);
}

void EdidPage::ShowMessage(const std::string& text) {
  host_.ShowMessage("TQ-KVAD", text);
}

void EdidPage::Finish(const Outcome& outcome) {
  Conclude(onOutcome, outcome, [this](const std::string& text) { ShowMessage(text); });
}

void EdidPage::SelectEdidPreset() {
  EdidSelection = view().GetSelection(edid_ids::kSelectionList);
  if (EdidSelection < 0) return;
  const uint8_t preset = static_cast<uint8_t>(EdidSelection & 0xFF);
  sender_.SendCommandWithData(kSelectPresetCommand, 1, &preset);
}

void EdidPage::ReadEdidFromDevice() {
  Pull();
  EdidSelection = view().GetSelection(edid_ids::kSelectionList);
  if (EdidSelection < 0) return Finish(Outcome(Operation::kEdidRead, Result::kRefused));
  const uint8_t preset = static_cast<uint8_t>(EdidSelection & 0xFF);
  sender_.SendCommandWithData(kReadEdidCommand, 1, &preset);
}

void EdidPage::WriteUserEdid() {
  EdidSelection = view().GetSelection(edid_ids::kSelectionList);
  if (EdidSelection < kFirstUserPreset)
    return Finish(
        Outcome(Operation::kEdidWrite, Result::kRefused, "Must be USER define EDID(USER1~10)"));
  // Only these four header bytes are looked at before writing.
  if (image[0] != 0x00 || image[1] != 0xFF || image[2] != 0xFF || image[7] != 0x00)
    return Finish(
        Outcome(Operation::kEdidWrite, Result::kRefused, "There is no valid EDID data !"));
  if (!newErrors.empty()) {
    std::string question = "The edited EDID has errors the original did not have:\n";
    for (const EdidCheck& error : newErrors)
      question += "- " + error.text + "\n";
    question += "Write it to " + kEdidPresetNames[static_cast<size_t>(EdidSelection)] + " anyway?";
    if (!host_.AskYesNo(kEdidEditorTitle, question))
      return Finish(Outcome(Operation::kEdidWrite, Result::kCancelled));
  }
  uint8_t payload[1 + kEdidSize];
  payload[0] = static_cast<uint8_t>(EdidSelection - kFirstUserPreset);
  std::copy(image.begin(), image.end(), payload + 1);
  sender_.SendCommandWithData(kWriteEdidCommand, static_cast<int>(sizeof payload), payload);
}

void EdidPage::OpenEdidFile() {
  const auto chosen = host_.ChooseFile(
      kEdidOpenFilter, dialogFolder ? dialogFolder->Start(workingDirectory) : workingDirectory);
  if (!chosen) return Finish(Outcome(Operation::kEdidOpen, Result::kCancelled));
  if (dialogFolder) dialogFolder->Chose(*chosen);
  Push();
  // The file is read beside the page's image: one that cannot be read, or is too short to
  // be an EDID, leaves the page as it was (image and texts alike).
  EdidImage loaded;
  const EdidLoadResult result = LoadEdidFile(*chosen, loaded);
  if (!result.ok()) {
    std::string text = result.message;
    if (!result.detail.empty()) text += "\n" + *chosen + ": " + result.detail;
    return Finish(Outcome(Operation::kEdidOpen, Result::kFileError, text).WithFile(*chosen));
  }
  if (result.bytesRead < kEdidBlockSize) {
    const bool text = FileExtension(*chosen) == "txt";
    const std::string message = "Not an EDID: " + std::string(FileName(*chosen)) + " holds " +
                                std::to_string(result.bytesRead) +
                                (text ? " hexadecimal numbers" : " bytes") + ", an EDID at least " +
                                std::to_string(kEdidBlockSize) + ".";
    return Finish(Outcome(Operation::kEdidOpen, Result::kFileError, message).WithFile(*chosen));
  }
  image = loaded;
  newErrors.clear();
  inspector.Follow(image, "opened from " + FileNameOf(*chosen));
  ShowLoadedImage();
  Finish(Outcome(Operation::kEdidOpen).WithFile(*chosen));
}

// An opened (or edited) image on the page: its own verdict, as after a read (header, then
// the checksums); the reports are decoded whatever the verdict, as the page always did.
void EdidPage::ShowLoadedImage() {
  statusText = ShowEdid(image).status;
  hexText = FormatEdidHex(image);
  videoText.clear();
  audioText.clear();
  generalText.clear();
  DecodeEdid(image, EdidSection::Video, videoText);
  DecodeEdid(image, EdidSection::Audio, audioText);
  DecodeEdid(image, EdidSection::General, generalText);
  Push();
}

void EdidPage::EditEdid() {
  if (!editor.Open(image))
    return Finish(Outcome(Operation::kEdidEdit, Result::kRefused, kNoEdidOnThePage));
  editApplied_ = false;
  host_.RunModalDialog(edid_editor_ids::kDialog);
  Finish(Outcome(Operation::kEdidEdit, editApplied_ ? Result::kDone : Result::kCancelled));
}

void EdidPage::TakeEdited(const std::vector<uint8_t>& bytes, const std::vector<EdidCheck>& faults) {
  // The editor keeps the image's size: 256 bytes.
  std::copy_n(bytes.begin(), std::min(bytes.size(), image.size()), image.begin());
  newErrors.clear();
  for (const EdidCheck& fault : faults)
    if (fault.severity == EdidSeverity::Error) newErrors.push_back(fault);
  ShowLoadedImage();
  inspector.Follow(image, "edited");
  editApplied_ = true;
}

void EdidPage::SaveEdidFile() {
  const EdidSaveResult saved = SaveEdidFiles(image, workingDirectory);
  Outcome outcome(Operation::kEdidSave, saved.ok ? Result::kDone : Result::kFileError,
                  saved.message);
  for (const std::string* name : {&saved.textFile, &saved.binaryFile})
    if (!name->empty()) outcome.WithFile(*name);
  Finish(outcome);
}

void EdidPage::CompareWithFile() {
  Finish(inspector.CompareWithFile(workingDirectory));
}

void EdidPage::CompareWithLastRead() {
  Finish(inspector.CompareWithLastRead());
}

void EdidPage::SaveEdidFileAs() {
  const std::optional<std::string> chosen =
      ChooseSavePath(host_, dialogFolder, kEdidSaveAsFilter, workingDirectory, "edid.bin");
  if (!chosen) return Finish(Outcome(Operation::kEdidSaveAs, Result::kCancelled));
  // The two kinds "Open file" reads back: a name without an extension becomes a .bin.
  const std::optional<std::string> path = SavePathWithExtension(*chosen, {"bin", "txt"}, true);
  if (!path)
    return Finish(Outcome(Operation::kEdidSaveAs, Result::kBadInput,
                          "An EDID is saved as a .bin or a .txt file: " + *chosen));
  const std::string bytes =
      FileExtension(*path) == "txt"
          ? FormatEdidTextFile(image)
          : std::string(reinterpret_cast<const char*>(image.data()), image.size());
  const SafeWriteResult written = ReplaceFileSafely(*path, bytes);
  if (!written.ok())
    return Finish(Outcome(Operation::kEdidSaveAs, Result::kFileError,
                          WriteFailedMessage(*path, written.error))
                      .WithFile(*path));
  Finish(Outcome(Operation::kEdidSaveAs).WithFile(*path));
}

void EdidPage::OnEdidData(const uint8_t* payload, size_t size) {
  // A short reply fills what it holds; the rest reads as 0xFF, as a short .bin file does.
  image.fill(0xFF);
  std::copy_n(payload, std::min(size, kEdidSize), image.begin());
  newErrors.clear();
  const EdidTexts texts = ShowEdid(image);
  statusText = texts.status;
  hexText = texts.hex;
  videoText = texts.video;
  audioText = texts.audio;
  generalText = texts.general;
  Push();
  inspector.RememberDeviceRead(image);
  inspector.Follow(image, "read from the box");
  Finish(Outcome(Operation::kEdidRead));
}

void EdidPage::OnAcknowledgement(const uint8_t* payload, size_t size) {
  // Only the acknowledgement of a user-slot write (code 0x7851, low byte first) is ours.
  if (size < 3 || payload[0] != 0x51 || payload[1] != 0x78) return;
  const bool ok = payload[2] == 0;
  Finish(Outcome(Operation::kEdidWrite, ok ? Result::kDone : Result::kRefused,
                 ok ? "EDID writting OK!" : "EDID writting failed!")
             .WithAnswer(payload[2]));
}

void EdidPage::OnPresetReport(int8_t preset) {
  // The box's active preset; 14, the last user slot, is shown like the others.
  if (preset < 0 || preset >= kPresetCount) return;
  activePreset = preset;
  view().SetSelection(edid_ids::kSelectionList, preset);
}

}  // namespace sc
