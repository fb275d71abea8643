#pragma once
// The "Device Address Management" dialog (dialog 185) as a plain object: it reads and
// re-programs the bus address of the one box on the line, and edits and saves the 32
// entries of the address book. The main window owns it for its whole life and shows it
// modally; its Qt side (address_dialog_qt.*) binds the boxes and forwards the buttons.
//
// The dialog keeps one text per box. They survive between openings, except the table,
// which is refilled from the book at every opening: edits that were not saved are gone
// once the dialog closes.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "addressing/address_book.h"
#include "link/frame.h"
#include "window/host.h"
#include "window/outcome.h"
#include "window/view.h"

namespace sc {

namespace address_ids {
inline constexpr int kNotesDialog = 186;

inline constexpr int kOriginalGroup = 1204;
inline constexpr int kOriginalDevice = 1205;
inline constexpr int kNewGroup = 1206;
inline constexpr int kNewDevice = 1207;
inline constexpr int kReadAddress = 1123;
inline constexpr int kWriteAddress = 1124;
inline constexpr int kSave = 1133;
inline constexpr int kHelp = 1199;

// The table's boxes of row k (0..31): rows 1-16 and 17-32 come from two id ranges.
constexpr int GroupBox(int row) {
  return row < 16 ? 1151 + row : 1183 + row - 16;
}
constexpr int DeviceBox(int row) {
  return row < 16 ? 1135 + row : 1167 + row - 16;
}
constexpr int DescriptionBox(int row) {
  return row < 3 ? 1201 + row : 1235 + row - 3;
}
}  // namespace address_ids

// How many characters the boxes take while typing.
inline constexpr int kAddressBoxLimit = 2;
inline constexpr int kDescriptionBoxLimit = 10;

inline constexpr const char* kAddressDialogTitle = "Device Address Management";
inline constexpr const char* kNotHexMessage = "It is not hex digi !";
inline constexpr const char* kAddressRangeMessage =
    "Group address and device address must be from 0x01 to 0xFE, or both group address and "
    "device address are 00 to delete the address";

// The two commands of the dialog; both go to 00/00 whatever the console's target is.
inline constexpr uint16_t kReadAddressCode = 0xF801;
inline constexpr uint16_t kWriteAddressCode = 0x7801;

// Short form: one hex digit, two hex digits (the first is the high half), or one hex
// digit with one space before or after it. Anything else (empty, two spaces, a character
// that is not a hex digit, more than two characters) is refused.
std::optional<uint8_t> ParseShortHex(std::string_view text);

// Pair form: spaces between pairs are skipped and each following pair of hex digits gives
// a byte; parsing stops at a pair holding a non-hex character or at a last lone character.
std::vector<uint8_t> ParseHexPairs(std::string_view text);

// A byte as the read reply shows it: two lower-case hex digits ("0a").
std::string FormatReadByte(uint8_t value);

// The description as Save stores it: an empty one becomes a single space; a longer one
// keeps its first ten bytes, backing off so that no UTF-8 character is cut in half.
std::string SavedDescription(const std::string& text);

// What the dialog needs of the link: whether it is up, and handing a whole frame to the
// serial driver as it stands (no upload check, no target address).
struct AddressLink {
  std::function<bool()> linkUp;
  std::function<void(const uint8_t* bytes, int count)> sendBytes;
};

class AddressDialog : public CoreWindow {
 public:
  // `book` and `settingsPath` belong to the main window and outlive the dialog.
  AddressDialog(Host& host, AddressBook& book, const std::string& settingsPath, AddressLink link);

  // The dialog has been created for a modal run: every box gets its stored text, the
  // table the book's values.
  void OnOpen();

  // Buttons.
  void ReadAddressFromDevice();  // "Read Address from device"
  void WriteAddressToDevice();   // "Write Address to device"
  void Save();                   // "Save"
  void Help();                   // "Help": the Notes dialog

  // The box's answer to the address read (reply 0xF801): the "Original Address" boxes
  // show it. Only those two boxes change on the screen, so what the user is typing in
  // the others stays.
  void OnAddressRead(DeviceAddress address);

  // Told how the read, the write and Save ended.
  OutcomeSink onOutcome;

  // The stored texts.
  std::string originalGroup, originalDevice;
  std::string newGroup, newDevice;
  std::array<std::string, kAddressBookSize> groupTexts, deviceTexts, descriptionTexts;

 protected:
  void Exchange(ControlExchange& exchange) override;

 private:
  void ShowMessage(const std::string& text);
  void Finish(const Outcome& outcome);
  void SendFrame(uint16_t code, const uint8_t* payload, size_t count);

  Host& host_;
  AddressBook& book_;
  const std::string& settingsPath_;
  AddressLink link_;
};

}  // namespace sc
