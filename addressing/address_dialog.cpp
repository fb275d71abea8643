#include "addressing/address_dialog.h"

#include <cstdio>

namespace sc {

namespace {

// The send operations' message, for the dialog's own frames.
constexpr const char* kLinkDownText = "Com port is not on yet.";

std::optional<uint8_t> HexDigit(char c) {
  if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
  return std::nullopt;
}

// Characters, not bytes: a UTF-8 character typed into a two-character box is one.
size_t CharacterCount(const std::string& text) {
  size_t count = 0;
  for (unsigned char c : text)
    if ((c & 0xC0) != 0x80) ++count;
  return count;
}

std::string UpperHex(uint8_t value) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", value);
  return text;
}

}  // namespace

std::optional<uint8_t> ParseShortHex(std::string_view text) {
  if (text.size() == 1) return HexDigit(text[0]);
  if (text.size() != 2) return std::nullopt;
  if (text[0] == ' ') return HexDigit(text[1]);
  if (text[1] == ' ') return HexDigit(text[0]);
  auto high = HexDigit(text[0]), low = HexDigit(text[1]);
  if (!high || !low) return std::nullopt;
  return static_cast<uint8_t>(*high << 4 | *low);
}

std::vector<uint8_t> ParseHexPairs(std::string_view text) {
  std::vector<uint8_t> bytes;
  size_t i = 0;
  for (;;) {
    while (i < text.size() && text[i] == ' ')
      ++i;
    if (i + 1 >= text.size()) break;  // nothing left, or a last lone character
    auto high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
    if (!high || !low) break;
    bytes.push_back(static_cast<uint8_t>(*high << 4 | *low));
    i += 2;
  }
  return bytes;
}

std::string FormatReadByte(uint8_t value) {
  char text[4];
  std::snprintf(text, sizeof text, "%2x", value);
  if (text[0] == ' ') text[0] = '0';
  return text;
}

std::string SavedDescription(const std::string& text) {
  if (text.empty()) return " ";
  if (text.size() <= kMaxDescriptionLength) return text;
  size_t cut = kMaxDescriptionLength;
  // Byte `cut` continuing a character means that character started before it.
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
    --cut;
  return text.substr(0, cut);
}

AddressDialog::AddressDialog(Host& host, AddressBook& book, const std::string& settingsPath,
                             AddressLink link)
    : host_(host), book_(book), settingsPath_(settingsPath), link_(std::move(link)) {}

void AddressDialog::Exchange(ControlExchange& exchange) {
  exchange.Text(address_ids::kOriginalGroup, originalGroup);
  exchange.Text(address_ids::kOriginalDevice, originalDevice);
  exchange.Text(address_ids::kNewGroup, newGroup);
  exchange.Text(address_ids::kNewDevice, newDevice);
  for (int row = 0; row < kAddressBookSize; ++row) {
    const auto k = static_cast<size_t>(row);
    exchange.Text(address_ids::GroupBox(row), groupTexts[k]);
    exchange.Text(address_ids::DeviceBox(row), deviceTexts[k]);
    exchange.Text(address_ids::DescriptionBox(row), descriptionTexts[k]);
  }
}

void AddressDialog::ShowMessage(const std::string& text) {
  host_.ShowMessage(kAddressBookCaption, text);
}

void AddressDialog::Finish(const Outcome& outcome) {
  Conclude(onOutcome, outcome, [this](const std::string& text) { ShowMessage(text); });
}

void AddressDialog::SendFrame(uint16_t code, const uint8_t* payload, size_t count) {
  std::array<uint8_t, kFrameOverhead + 2> frame{};
  const size_t size =
      BuildFrameInto(frame.data(), kCommandLead, DeviceAddress{0x00, 0x00}, code, payload, count);
  if (link_.sendBytes) link_.sendBytes(frame.data(), static_cast<int>(size));
}

void AddressDialog::OnOpen() {
  for (int row = 0; row < kAddressBookSize; ++row) {
    const auto k = static_cast<size_t>(row);
    groupTexts[k] = UpperHex(book_[row].address.group);
    deviceTexts[k] = UpperHex(book_[row].address.device);
    descriptionTexts[k] = book_[row].description;
  }
  Push();
}

void AddressDialog::ReadAddressFromDevice() {
  if (!link_.linkUp || !link_.linkUp())
    return Finish(Outcome(Operation::kAddressRead, Result::kRefused, kLinkDownText));
  SendFrame(kReadAddressCode, nullptr, 0);
}

void AddressDialog::WriteAddressToDevice() {
  Pull();
  if (newGroup.empty()) newGroup = "00";
  const std::optional<uint8_t> group = ParseShortHex(newGroup);
  const Operation write = Operation::kAddressWrite;
  if (!group) {
    newGroup = "00";
    Finish(Outcome(write, Result::kBadInput, kNotHexMessage));
    Push();
    return;
  }
  if (newDevice.empty()) newDevice = "00";
  // The device box needs two digits: a lone one gives no pair.
  const std::vector<uint8_t> device = ParseHexPairs(newDevice);
  if (device.size() != 1) {
    newDevice = "00";
    Finish(Outcome(write, Result::kBadInput, kNotHexMessage));
    Push();
    return;
  }
  const auto assignable = [](uint8_t b) { return b >= 0x01 && b <= 0xFE; };
  const bool erase = *group == 0x00 && device[0] == 0x00;
  if (!erase && !(assignable(*group) && assignable(device[0])))
    return Finish(Outcome(write, Result::kBadInput, kAddressRangeMessage));
  if (!link_.linkUp || !link_.linkUp())
    return Finish(Outcome(write, Result::kRefused, kLinkDownText));
  const uint8_t payload[2] = {*group, device[0]};
  SendFrame(kWriteAddressCode, payload, sizeof payload);
  Push();
  // The box does not answer a new address: reading it back tells whether it took it.
  Finish(Outcome(write));
}

void AddressDialog::Save() {
  Pull();
  // Every row is checked before any entry changes: a refused Save leaves the book (and
  // so the main window's target) exactly as it was.
  for (int row = 0; row < kAddressBookSize; ++row) {
    const auto k = static_cast<size_t>(row);
    if (CharacterCount(groupTexts[k]) > 2 || CharacterCount(deviceTexts[k]) > 2)
      return Finish(Outcome(
          Operation::kAddressSave, Result::kBadInput,
          "Index No. " + UpperHex(static_cast<uint8_t>(row)) + " is more than 2 HEX digital"));
  }
  std::string notTaken, cut;
  for (int row = 0; row < kAddressBookSize; ++row) {
    const auto k = static_cast<size_t>(row);
    AddressBookEntry& entry = book_[row];
    const std::optional<uint8_t> group = ParseShortHex(groupTexts[k]);
    const std::optional<uint8_t> device = ParseShortHex(deviceTexts[k]);
    if (group && device) {
      entry.address = {*group, *device};
    } else {
      // Never store a value the user did not type: the entry keeps its address, and the
      // row shows it again.
      notTaken += "Row " + std::to_string(row + 1) + " not taken (group \"" + groupTexts[k] +
                  "\", device \"" + deviceTexts[k] +
                  "\"): each needs one or two hex digits. The entry keeps " +
                  FormatAddress(entry.address) + ".\n";
      groupTexts[k] = UpperHex(entry.address.group);
      deviceTexts[k] = UpperHex(entry.address.device);
    }
    const std::string kept = SavedDescription(descriptionTexts[k]);
    // A description holds ten bytes: a longer one (fewer characters, when they are not
    // ASCII) is cut, and the person is told what was kept.
    if (kept.size() < descriptionTexts[k].size())
      cut += "Row " + std::to_string(row + 1) + ": the description keeps its first " +
             std::to_string(kMaxDescriptionLength) + " bytes, \"" + kept + "\".\n";
    descriptionTexts[k] = kept;
    entry.description = descriptionTexts[k];
  }
  Push();
  const bool saved =
      SaveAddressBook(settingsPath_, book_, [this](const std::string& text) { ShowMessage(text); });
  std::string said = notTaken + cut;
  if (!said.empty()) said.pop_back();
  Outcome outcome(Operation::kAddressSave,
                  !saved             ? Result::kFileError
                  : notTaken.empty() ? Result::kDone
                                     : Result::kBadInput,
                  said);
  if (saved) outcome.WithFile(settingsPath_);
  Finish(outcome);
}

void AddressDialog::Help() {
  host_.RunModalDialog(address_ids::kNotesDialog);
}

void AddressDialog::OnAddressRead(DeviceAddress address) {
  originalGroup = FormatReadByte(address.group);
  originalDevice = FormatReadByte(address.device);
  view().SetText(address_ids::kOriginalGroup, originalGroup);
  view().SetText(address_ids::kOriginalDevice, originalDevice);
  Finish(Outcome(Operation::kAddressRead).WithAnswer(address.group << 8 | address.device));
}

}  // namespace sc
