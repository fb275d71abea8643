// The address management dialog: its two parsing rules, the address read and write as
// they reach a real line, the read reply, Save with its row checks, and closing unsaved.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "console/control_ids.h"
#include "sim/pty.h"
#include "tests/support/console_fixture.h"
#include "tests/support/console_test_access.h"

namespace sc {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;
namespace aid = address_ids;

TEST(AddressDialogRules, ShortAndPairFormsAndTheShownTexts) {
  struct ShortCase {
    const char* text;
    std::optional<uint8_t> value;
  };
  const ShortCase shortCases[] = {
      {"5", 0x05}, {"05", 0x05}, {"a", 0x0A}, {"fE", 0xFE}, {" 5", 0x05},     {"5 ", 0x05},
      {"", {}},    {" ", {}},    {"  ", {}},  {"G", {}},    {"G1", {}},       {"1G", {}},
      {"123", {}}, {"0x", {}},   {"-1", {}},  {"\t5", {}},  {"\xC3\xA9", {}},  // an e-acute
  };
  for (const ShortCase& c : shortCases)
    EXPECT_EQ(ParseShortHex(c.text), c.value) << '"' << c.text << '"';

  struct PairCase {
    const char* text;
    Bytes bytes;
  };
  const PairCase pairCases[] = {
      {"05", {0x05}},
      {"5", {}},
      {" 5", {}},
      {"5 ", {}},
      {"", {}},
      {"G1", {}},
      {"0A 03", {0x0A, 0x03}},
      {"  0a03", {0x0A, 0x03}},
      {"0A0", {0x0A}},
      {"0AG3", {0x0A}},
      {"fe  FF ", {0xFE, 0xFF}},
  };
  for (const PairCase& c : pairCases)
    EXPECT_EQ(ParseHexPairs(c.text), c.bytes) << '"' << c.text << '"';

  EXPECT_EQ(FormatReadByte(0x0A), "0a");
  EXPECT_EQ(FormatReadByte(0x03), "03");
  EXPECT_EQ(FormatReadByte(0xFE), "fe");
  EXPECT_EQ(FormatReadByte(0x00), "00");

  EXPECT_EQ(SavedDescription(""), " ");
  EXPECT_EQ(SavedDescription("Rack A"), "Rack A");
  EXPECT_EQ(SavedDescription("0123456789AB"), "0123456789");
  // "a" and six two-byte characters: the tenth byte would split the fifth of them.
  EXPECT_EQ(SavedDescription("a\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"),
            "a\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9");
}

class AddressDialogTest : public ConsoleFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(box.ok());
    portMap[1] = box.SlavePath();
    StartConsole();
    address().OnOpen();
  }

  AddressDialog& address() { return dialog->addressDialog; }
  View& boxes() { return address().view(); }

  void LinkUp() {
    dialog->ToggleLink();
    ASSERT_TRUE(dialog->linkUp());
    ASSERT_EQ(box.Read(10, 2s), Command({0, 0}, 0x8082));
  }

  std::string SettingsFile() const {
    std::ifstream in(dialog->settingsPath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  PtyMaster box;
};

TEST_F(AddressDialogTest, WriteSendsTheNewAddressToAllOrRefusesWithItsMessage) {
  struct Case {
    const char *group, *device;
    std::optional<Bytes> payload;  // nothing: refused
    const char* message;
    const char *groupAfter, *deviceAfter;
  };
  const Case cases[] = {
      {"0A", "03", Bytes{0x0A, 0x03}, nullptr, "0A", "03"},
      {"5", "05", Bytes{0x05, 0x05}, nullptr, "5", "05"},
      {"", "", Bytes{0x00, 0x00}, nullptr, "00", "00"},  // deletes the box's address
      {" f", "fe", Bytes{0x0F, 0xFE}, nullptr, " f", "fe"},
      {"05", "5", {}, kNotHexMessage, "05", "00"},  // the device box needs two digits
      {"G1", "05", {}, kNotHexMessage, "00", "05"},
      {"05", "0G", {}, kNotHexMessage, "05", "00"},
      {"00", "01", {}, kAddressRangeMessage, "00", "01"},
      {"FF", "01", {}, kAddressRangeMessage, "FF", "01"},
      {"01", "FF", {}, kAddressRangeMessage, "01", "FF"},
      {"01", "00", {}, kAddressRangeMessage, "01", "00"},
  };
  LinkUp();
  // Neither the console's target nor a running upload changes where the frame goes.
  dialog->SelectTarget({0x0B, 0x05});
  ConsoleTestAccess::SetUploadActive(*dialog, true);
  Bytes expected;
  for (const Case& c : cases) {
    host.messages.clear();
    boxes().SetText(aid::kNewGroup, c.group);
    boxes().SetText(aid::kNewDevice, c.device);
    address().WriteAddressToDevice();
    const std::string what = std::string(c.group) + "/" + c.device;
    if (c.payload) {
      const Bytes frame = Command({0x00, 0x00}, 0x7801, *c.payload);
      expected.insert(expected.end(), frame.begin(), frame.end());
      EXPECT_TRUE(host.messages.empty()) << what;
    } else {
      EXPECT_EQ(MessageTexts(), std::vector<std::string>{c.message}) << what;
    }
    EXPECT_EQ(boxes().GetText(aid::kNewGroup), c.groupAfter) << what;
    EXPECT_EQ(boxes().GetText(aid::kNewDevice), c.deviceAfter) << what;
  }
  host.PumpFor(30ms);
  const Bytes line = box.Read(expected.size(), 1s);
  EXPECT_EQ(line, expected);
  EXPECT_TRUE(box.Read(1, 100ms).empty());
  EXPECT_EQ(Bytes(line.begin(), line.begin() + 12),
            (Bytes{0xAA, 0x01, 0x00, 0x07, 0x00, 0x00, 0x00, 0x01, 0x78, 0x0A, 0x03, 0xC8}));

  ConsoleTestAccess::SetUploadActive(*dialog, false);
  dialog->ToggleLink();  // down
  host.messages.clear();
  boxes().SetText(aid::kNewGroup, "0A");
  boxes().SetText(aid::kNewDevice, "03");
  address().WriteAddressToDevice();
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Com port is not on yet."});
}

TEST_F(AddressDialogTest, ReadGoesToAllAndTheReplyShowsTheAddressAndTargetsIt) {
  address().ReadAddressFromDevice();
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Com port is not on yet."});
  EXPECT_EQ(host.messages[0].caption, "TQ-KVAD");
  LinkUp();
  dialog->SelectTarget({0x0B, 0x05});
  ConsoleTestAccess::SetUploadActive(*dialog, true);
  address().ReadAddressFromDevice();
  host.PumpFor(30ms);
  EXPECT_EQ(box.Read(11, 1s), (Bytes{0xAA, 0x01, 0x00, 0x05, 0x00, 0x00, 0x00, 0x01, 0xF8, 0x57}));
  ConsoleTestAccess::SetUploadActive(*dialog, false);

  // Something the user is typing meanwhile stays where it is.
  boxes().SetText(aid::GroupBox(4), "7");
  boxes().SetText(aid::kNewDevice, "1");
  // A reply too short to carry an address changes nothing; a whole one from another box
  // than the target is taken.
  ASSERT_TRUE(box.Write(Reply({0x0A, 0x03}, 0xF801, {0x0A})));
  ASSERT_TRUE(box.Write(Reply({0x0A, 0x03}, 0xF801, {0x0A, 0x03})));
  ASSERT_TRUE(host.PumpUntil([&] { return dialog->TargetAddress() == DeviceAddress{0x0A, 0x03}; }));
  EXPECT_EQ(dispatched, std::vector<uint16_t>{0xF801});
  EXPECT_EQ(boxes().GetText(aid::kOriginalGroup), "0a");
  EXPECT_EQ(boxes().GetText(aid::kOriginalDevice), "03");
  EXPECT_EQ(boxes().GetText(aid::GroupBox(4)), "7");
  EXPECT_EQ(boxes().GetText(aid::kNewDevice), "1");
  // The texts are kept for the next opening.
  address().OnOpen();
  EXPECT_EQ(boxes().GetText(aid::kOriginalGroup), "0a");
  EXPECT_EQ(boxes().GetText(aid::GroupBox(4)), "00");
}

TEST_F(AddressDialogTest, SaveOfAnUntouchedDialogRewritesTheFirstStartFileByteForByte) {
  const std::string before = SettingsFile();
  ASSERT_EQ(before.size(), kInitialSettingsFileSize);
  struct stat old;
  ASSERT_EQ(::stat(dialog->settingsPath.c_str(), &old), 0);
  EXPECT_EQ(boxes().GetText(aid::GroupBox(31)), "00");
  EXPECT_EQ(boxes().GetText(aid::DescriptionBox(0)), " ");
  address().Save();
  EXPECT_TRUE(host.messages.empty());
  struct stat now;
  ASSERT_EQ(::stat(dialog->settingsPath.c_str(), &now), 0);
  EXPECT_NE(now.st_ino, old.st_ino);  // a new file took its place
  EXPECT_EQ(SettingsFile(), before);
}

TEST_F(AddressDialogTest, SaveChecksEveryRowBeforeItChangesAnything) {
  const std::string before = SettingsFile();
  const AddressBook book = dialog->addressBook;
  struct Case {
    int row;
    const char *group, *device;
    const char* message;
  };
  const Case cases[] = {
      {0, "123", "01", "Index No. 00 is more than 2 HEX digital"},
      {31, "01", "ABC", "Index No. 1F is more than 2 HEX digital"},
      {10, "0", "0\xC3\xA9x", "Index No. 0A is more than 2 HEX digital"},
  };
  for (const Case& c : cases) {
    address().OnOpen();
    host.messages.clear();
    boxes().SetText(aid::GroupBox(1), "0A");  // a good edit in an earlier row
    boxes().SetText(aid::GroupBox(c.row), c.group);
    boxes().SetText(aid::DeviceBox(c.row), c.device);
    address().Save();
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{c.message});
    EXPECT_EQ(dialog->addressBook, book) << c.message;
    EXPECT_EQ(SettingsFile(), before) << c.message;
  }
}

// Ten characters that are not all ASCII fill the box but not the ten bytes the file keeps:
// Save says what it kept.
TEST_F(AddressDialogTest, SaveSaysWhenADescriptionIsCutToTenBytes) {
  address().OnOpen();
  boxes().SetText(aid::DescriptionBox(1), "R\xC3\xA9gie Nord");  // 10 characters, 11 bytes
  address().Save();
  EXPECT_EQ(MessageTexts(),
            std::vector<std::string>{
                "Row 2: the description keeps its first 10 bytes, \"R\xC3\xA9gie Nor\"."});
  EXPECT_EQ(dialog->addressBook[1].description, "R\xC3\xA9gie Nor");
}

TEST_F(AddressDialogTest, SaveKeepsAddressesItCannotReadAndStoresDescriptionsAsTheFileHoldsThem) {
  dialog->addressBook[2] = {{0x0A, 0x03}, "Rack A"};
  dialog->addressBook[4] = {{0x0B, 0x01}, "Rack B"};
  address().OnOpen();
  EXPECT_EQ(boxes().GetText(aid::GroupBox(2)), "0A");
  EXPECT_EQ(boxes().GetText(aid::DescriptionBox(2)), "Rack A");

  boxes().SetText(aid::GroupBox(0), "5");
  boxes().SetText(aid::DeviceBox(0), " 7");
  boxes().SetText(aid::DescriptionBox(0), "");
  boxes().SetText(aid::GroupBox(2), "");  // cleared
  boxes().SetText(aid::DeviceBox(4), "G1");
  boxes().SetText(aid::DescriptionBox(4), "Rack B, top");
  address().Save();

  EXPECT_EQ(MessageTexts(),
            std::vector<std::string>{
                "Row 3 not taken (group \"\", device \"03\"): each needs one or two hex digits. "
                "The entry keeps 0A03.\n"
                "Row 5 not taken (group \"0B\", device \"G1\"): each needs one or two hex digits. "
                "The entry keeps 0B01.\n"
                "Row 5: the description keeps its first 10 bytes, \"Rack B, to\"."});
  const AddressBook& book = dialog->addressBook;
  EXPECT_EQ(book[0], (AddressBookEntry{{0x05, 0x07}, " "}));
  EXPECT_EQ(book[2], (AddressBookEntry{{0x0A, 0x03}, "Rack A"}));
  EXPECT_EQ(book[4], (AddressBookEntry{{0x0B, 0x01}, "Rack B, to"}));
  // The rows show what the book now holds.
  EXPECT_EQ(boxes().GetText(aid::GroupBox(2)), "0A");
  EXPECT_EQ(boxes().GetText(aid::DeviceBox(4)), "01");
  EXPECT_EQ(boxes().GetText(aid::DescriptionBox(0)), " ");

  const std::string file = SettingsFile();
  EXPECT_EQ(file.substr(0, 25), "0507 0000 0A03 0000 0B01 ");
  EXPECT_NE(file.find(" \r\n* \r\n* \r\n*Rack A\r\n* \r\n*Rack B, to\r\n"), std::string::npos);
  AddressBook reloaded;
  ASSERT_TRUE(LoadAddressBook(dialog->settingsPath, reloaded, nullptr));
  EXPECT_EQ(reloaded, book);
}

TEST_F(AddressDialogTest, ClosingWithoutSaveDiscardsTheEdits) {
  dialog->addressBook[2] = {{0x0A, 0x03}, "Rack A"};
  host.onDialog = [&](int) {
    address().OnOpen();
    boxes().SetText(aid::GroupBox(2), "0B");
    boxes().SetText(aid::DescriptionBox(2), "Other");
  };
  dialog->OpenAddressManagement();  // closed without Save
  EXPECT_EQ(host.dialogsRun, std::vector<int>{ids::kAddressDialog});
  EXPECT_EQ(dialog->addressBook[2], (AddressBookEntry{{0x0A, 0x03}, "Rack A"}));
  address().OnOpen();
  EXPECT_EQ(boxes().GetText(aid::GroupBox(2)), "0A");
  EXPECT_EQ(boxes().GetText(aid::DescriptionBox(2)), "Rack A");
}

}  // namespace
}  // namespace sc
