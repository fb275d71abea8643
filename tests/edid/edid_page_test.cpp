// The EDID page's core: what it sends for each control, what it makes of the box's
// replies, and how opening and saving files change its image and texts. The page sends
// through a recording sender here; the serial path itself is tested end to end.

#include "edid/edid_page.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "edid/edid_file.h"
#include "tests/edid/edid_builder.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_host.h"

namespace sc {
namespace {

using Bytes = std::vector<uint8_t>;

struct Sent {
  uint16_t code;
  Bytes payload;
  friend bool operator==(const Sent&, const Sent&) = default;
};

void PrintTo(const Sent& s, std::ostream* out) {
  *out << std::hex << "0x" << s.code << " with " << std::dec << s.payload.size() << " bytes";
}

class RecordingSender : public CommandSender {
 public:
  void SendCommand(uint16_t code) override { sent.push_back({code, {}}); }
  void SendCommandWithData(uint16_t code, int count, const uint8_t* bytes) override {
    sent.push_back({code, Bytes(bytes, bytes + count)});
  }
  std::vector<Sent> sent;
};

const EdidImage kValid =
    test::EdidBuilder().Name(72, "PAGE TEST").Cea().Block(2, {0x90, 0x04}).Build();

EdidImage AllFF() {
  EdidImage image;
  image.fill(0xFF);
  return image;
}

class EdidPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    page.Create();
    page.workingDirectory = dir.path().string();
  }

  void Choose(int entry) { page.view().SetSelection(edid_ids::kSelectionList, entry); }
  int Chosen() { return page.view().GetSelection(edid_ids::kSelectionList); }
  // The box's answer to a read.
  void Receive(const EdidImage& image, size_t count = kEdidSize) {
    page.OnEdidData(image.data(), count);
  }
  std::vector<std::string> Messages() const {
    std::vector<std::string> texts;
    for (const auto& m : host.messages)
      texts.push_back(m.text);
    return texts;
  }
  // The five texts as the controls show them: status, hex, video, audio, general.
  std::vector<std::string> Shown() {
    View& v = page.view();
    return {v.GetText(edid_ids::kStatusText), v.GetText(edid_ids::kHexText),
            v.GetText(edid_ids::kVideoText), v.GetText(edid_ids::kAudioText),
            v.GetText(edid_ids::kGeneralText)};
  }
  std::string WriteFile(const std::string& name, const std::string& bytes) {
    const std::string path = dir / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  void Open(const std::string& path) {
    host.fileChoices.push_back(path);
    page.OpenEdidFile();
  }

  TempDir dir;
  TestHost host;
  RecordingSender sender;
  EdidPage page{host, sender};
};

TEST(EdidPage, WritesOnlyAUserSlotAndOnlyAnImageWithTheFourHeaderBytesRight) {
  EdidImage body4 = kValid;  // bytes 0-2 and 7 right, byte 4 wrong: only four are looked at
  body4[4] = 0x00;
  EdidImage byte7 = kValid;
  byte7[7] = 0x01;
  EdidImage byte2 = kValid;
  byte2[2] = 0xFE;
  struct Case {
    const char* what;
    int entry;
    const EdidImage* image;  // null: the page as created
    const char* message;     // null: the write is sent
  };
  const Case cases[] = {
      {"nothing chosen", -1, &kValid, "Must be USER define EDID(USER1~10)"},
      {"a built-in preset", 4, &kValid, "Must be USER define EDID(USER1~10)"},
      {"a built-in preset, no image either", 0, nullptr, "Must be USER define EDID(USER1~10)"},
      {"before any read or load", 14, nullptr, "There is no valid EDID data !"},
      {"byte 7 wrong", 5, &byte7, "There is no valid EDID data !"},
      {"byte 2 wrong", 5, &byte2, "There is no valid EDID data !"},
      {"USER1", 5, &kValid, nullptr},
      {"USER10", 14, &kValid, nullptr},
      {"byte 4 wrong", 9, &body4, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestHost host;
    RecordingSender sender;
    EdidPage page(host, sender);
    page.Create();
    if (c.image) page.image = *c.image;
    const EdidImage before = page.image;
    page.view().SetSelection(edid_ids::kSelectionList, c.entry);
    page.WriteUserEdid();
    if (c.message) {
      EXPECT_TRUE(sender.sent.empty());
      ASSERT_EQ(host.messages.size(), 1u);
      EXPECT_EQ(host.messages[0].caption, "TQ-KVAD");
      EXPECT_EQ(host.messages[0].text, c.message);
    } else {
      EXPECT_TRUE(host.messages.empty());
      Bytes payload = {static_cast<uint8_t>(c.entry - 5)};
      payload.insert(payload.end(), c.image->begin(), c.image->end());
      EXPECT_EQ(sender.sent, (std::vector<Sent>{{0x7851, payload}}));
    }
    EXPECT_EQ(page.image, before);
    EXPECT_EQ(page.EdidSelection, c.entry);
  }
}

TEST_F(EdidPageTest, ADeviceReadOfAWritableImageMayStillFailTheFullHeaderTest) {
  EdidImage image = kValid;
  image[4] = 0x00;
  Receive(kValid);
  Receive(image);
  EXPECT_EQ(page.image, image);
  EXPECT_EQ(Shown(), (std::vector<std::string>{"EDID data header error !", "", "", "", ""}));
}

// The page cannot tell a short reply from a whole one but by its length: what the reply
// does not hold reads as 0xFF, never as bytes of an earlier reply.
TEST_F(EdidPageTest, AShortReadReplyLeavesTheRestOfTheImageAt0xFF) {
  struct Case {
    size_t count;
    const char* status;
  };
  const Case cases[] = {
      {128, "HDMI EDID\rBank1 check sum error !"},
      {8, "HDMI EDID\rBank0 check sum error !\rBank1 check sum error !"},
      {0, "EDID data header error !"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.count);
    Receive(kValid);
    Receive(kValid, c.count);
    EdidImage expected = AllFF();
    std::copy_n(kValid.begin(), c.count, expected.begin());
    EXPECT_EQ(page.image, expected);
    EXPECT_EQ(page.statusText, c.status);
  }
}

TEST_F(EdidPageTest, AcknowledgementsOfAUserSlotWriteAreShownOthersIgnored) {
  struct Case {
    Bytes payload;
    const char* message;  // null: none
  };
  const Case cases[] = {
      {{0x51, 0x78, 0x00}, "EDID writting OK!"},
      {{0x51, 0x78, 0x01}, "EDID writting failed!"},
      {{0x50, 0x78, 0x00}, nullptr},  // another command's acknowledgement
      {{0x51, 0x78}, nullptr},        // no status at all
      {{}, nullptr},
  };
  for (const Case& c : cases) {
    host.messages.clear();
    page.OnAcknowledgement(c.payload.data(), c.payload.size());
    EXPECT_EQ(Messages(),
              c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{})
        << c.payload.size();
  }
  EXPECT_TRUE(sender.sent.empty());
}

TEST_F(EdidPageTest, ThePresetTheBoxReportsIsShownWithoutBeingSentBack) {
  struct Case {
    int8_t reported;
    int shown;
  };
  // Preset 14, the last user slot, is shown like the others.
  const Case cases[] = {{7, 7}, {14, 14}, {0, 0}, {15, 0}, {-1, 0}, {-128, 0}, {13, 13}};
  for (const Case& c : cases) {
    page.OnPresetReport(c.reported);
    EXPECT_EQ(Chosen(), c.shown) << int(c.reported);
  }
  EXPECT_TRUE(sender.sent.empty());
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(EdidPageTest, ChoosingAnEntrySendsItsIndexAndReadingAsksForTheChosenPreset) {
  const MemoryView& list = static_cast<MemoryView&>(page.view());
  ASSERT_EQ(list.Items(edid_ids::kSelectionList).size(), 15u);
  EXPECT_EQ(list.Items(edid_ids::kSelectionList)[7], "7-USER3");
  EXPECT_EQ(Chosen(), -1);

  // Nothing chosen yet: neither sends anything.
  page.SelectEdidPreset();
  page.ReadEdidFromDevice();
  EXPECT_TRUE(sender.sent.empty());

  std::vector<Sent> expected;
  for (int entry = 0; entry < 15; ++entry) {
    Choose(entry);
    page.SelectEdidPreset();
    expected.push_back({0x7850, {static_cast<uint8_t>(entry)}});
  }
  Choose(7);
  page.ReadEdidFromDevice();
  expected.push_back({0xF851, {7}});
  EXPECT_EQ(sender.sent, expected);
  EXPECT_EQ(page.EdidSelection, 7);
  // Neither changes the image or the texts.
  EXPECT_EQ(page.image, AllFF());
  EXPECT_EQ(Shown(), std::vector<std::string>(5, ""));
}

TEST_F(EdidPageTest, AnOpenedFileIsDecodedWithItsOwnVerdict) {
  Receive(kValid);
  // Bank 0 of another EDID, in lower case, some numbers with 0x, on lines of any length.
  const EdidImage other = test::EdidBuilder().Name(54, "HALF").Build();
  std::string text;
  for (size_t i = 0; i < 128; ++i) {
    char number[8];
    std::snprintf(number, sizeof number, i % 3 ? "%x" : "0x%02x", other[i]);
    text += number;
    text += i % 10 == 9 ? "\r\n" : "\t ";
  }
  EdidImage expected = AllFF();
  std::copy_n(other.begin(), 128, expected.begin());
  Open(WriteFile("half.txt", text));
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(page.image, expected);
  // The opened image's own verdict, not the one of the read before it.
  EXPECT_EQ(page.statusText, "DVI EDID");
  EXPECT_EQ(page.hexText, FormatEdidHex(expected));
  EXPECT_EQ(page.generalText, test::Report(expected, EdidSection::General));
  EXPECT_EQ(page.videoText, test::Report(expected, EdidSection::Video));
  EXPECT_EQ(Shown()[0], page.statusText);
  EXPECT_EQ(Shown()[1], page.hexText);
  // The first filter shows both kinds of EDID file.
  EXPECT_EQ(host.chooseFileFilters,
            std::vector<std::string>{"EDID file(*.bin;*.txt)|*.bin;*.txt|bin file(*.bin)|*.bin|"
                                     "text file(*.txt)|*.txt|all file(*.*)|*.*||"});

  // A damaged one says so, and is decoded all the same.
  EdidImage broken = kValid;
  broken[3] = 0x00;     // header
  broken[200] ^= 0x55;  // bank 1's sum
  Open(WriteFile("broken.bin", std::string(broken.begin(), broken.end())));
  EXPECT_EQ(page.statusText, "EDID data header error !");
  EXPECT_EQ(page.generalText, test::Report(broken, EdidSection::General));
  broken[3] = 0xFF;
  Open(WriteFile("bank1.bin", std::string(broken.begin(), broken.end())));
  EXPECT_EQ(page.statusText, "HDMI EDID\rBank1 check sum error !");
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(EdidPageTest, AFileThatCannotBeTakenLeavesThePageAsItWas) {
  struct Case {
    const char* what;
    std::string path;
    const char* message;  // the message starts so
  };
  const Case cases[] = {
      {"capital TXT", WriteFile("upper.TXT", "00 FF FF FF FF FF FF 00"),
       "It is not bin or txt file"},
      {"no extension", WriteFile("plain", "00 FF FF FF FF FF FF 00"), "It is not bin or txt file"},
      {"missing", dir / "gone.bin", "File read failed"},
      {"a text of 11 bytes as .bin", WriteFile("notes.bin", "hello world"),
       "Not an EDID: notes.bin holds 11 bytes, an EDID at least 128."},
      {"one byte short of a block", WriteFile("short.bin", std::string(127, '\0')),
       "Not an EDID: short.bin holds 127 bytes"},
      {"eight numbers", WriteFile("header.txt", "00 FF FF FF FF FF FF 00"),
       "Not an EDID: header.txt holds 8 hexadecimal numbers, an EDID at least 128."},
      {"empty", WriteFile("empty.bin", ""), "Not an EDID: empty.bin holds 0 bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Receive(kValid);
    const std::vector<std::string> before = Shown();
    host.messages.clear();
    Open(c.path);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text.rfind(c.message, 0), 0u) << host.messages[0].text;
    // The image and the texts shown agree: both as they were.
    EXPECT_EQ(page.image, kValid);
    EXPECT_EQ(Shown(), before);
  }
  EXPECT_TRUE(sender.sent.empty());
}

// "Save As...": one file of the kind its name says, in the folder chosen, which the next
// file dialog (Save As or Open) starts in.
TEST_F(EdidPageTest, SaveAsWritesTheKindItsNameSaysAndTheDialogsRememberTheFolder) {
  FileDialogFolder folder;
  page.dialogFolder = &folder;
  std::vector<Outcome> outcomes;
  page.onOutcome = [&](const Outcome& o) { outcomes.push_back(o); };
  Receive(kValid);
  std::filesystem::create_directory(dir / "mine");
  const std::string raw(kValid.begin(), kValid.end());
  struct Case {
    const char* what;
    std::optional<std::string> chosen;
    Result result;
    std::string written;  // the file written, "" for none
    std::string content;  // what it holds
    std::string message;  // the start of the message, "" for none
  };
  const Case cases[] = {
      {"a .bin", dir / "mine/a.bin", Result::kDone, dir / "mine/a.bin", raw, ""},
      {"a .txt", dir / "mine/b.txt", Result::kDone, dir / "mine/b.txt", FormatEdidTextFile(kValid),
       ""},
      {"no extension: a .bin", dir / "mine/c", Result::kDone, dir / "mine/c.bin", raw, ""},
      {"over an older file", dir / "mine/a.bin", Result::kDone, dir / "mine/a.bin", raw, ""},
      {"capitals are not read back", dir / "mine/d.BIN", Result::kBadInput, "", "",
       "An EDID is saved as a .bin or a .txt file: " + (dir / "mine/d.BIN")},
      {"another kind", dir / "mine/e.hex", Result::kBadInput, "", "", "An EDID is saved as"},
      {"a folder that is not there", dir / "none/f.bin", Result::kFileError, "", "",
       "Failed to write " + (dir / "none/f.bin") + " (No such file or directory)"},
      {"cancelled", std::nullopt, Result::kCancelled, "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    host.messages.clear();
    host.saveChoices = {c.chosen};
    page.SaveEdidFileAs();
    ASSERT_FALSE(outcomes.empty());
    EXPECT_EQ(outcomes.back().operation, Operation::kEdidSaveAs);
    EXPECT_EQ(outcomes.back().result, c.result);
    if (!c.written.empty()) {
      EXPECT_EQ(outcomes.back().files, std::vector<std::string>{c.written});
      EXPECT_EQ(ReadText(c.written), c.content);
    }
    if (c.message.empty()) {
      EXPECT_TRUE(host.messages.empty());
    } else {
      ASSERT_EQ(host.messages.size(), 1u);
      EXPECT_EQ(host.messages[0].text.rfind(c.message, 0), 0u) << host.messages[0].text;
    }
  }
  EXPECT_EQ(host.saveDialogs[0].filters, kEdidSaveAsFilter);
  EXPECT_EQ(host.saveDialogs[0].suggestedName, "edid.bin");
  EXPECT_EQ(host.saveDialogs[0].folder, dir.path().string());
  EXPECT_EQ(host.saveDialogs[1].folder, dir / "mine");
  // What was saved opens again, from the folder last chosen.
  Open(dir / "mine/b.txt");
  EXPECT_EQ(host.chooseFileFolders.back(), dir / "none");
  EXPECT_EQ(page.image, kValid);
  EXPECT_FALSE(std::filesystem::exists(dir / "mine/d.BIN"));
}

TEST_F(EdidPageTest, CancellingTheFileDialogChangesNothing) {
  Receive(kValid);
  const std::vector<std::string> before = Shown();
  page.OpenEdidFile();  // no answer queued: cancelled
  EXPECT_EQ(page.image, kValid);
  EXPECT_EQ(Shown(), before);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(host.chooseFileFilters.size(), 1u);
}

TEST_F(EdidPageTest, SavedFilesOpenToTheSameImage) {
  Receive(kValid);
  page.SaveEdidFile();
  ASSERT_EQ(Messages(),
            std::vector<std::string>{"Save EDID data to ./TQ_EDID00.txt and TQ_EDID00.bin"});
  for (const char* name : {"TQ_EDID00.txt", "TQ_EDID00.bin"}) {
    SCOPED_TRACE(name);
    Receive(test::EdidBuilder().Build());  // something else in between
    Open(dir / name);
    EXPECT_EQ(page.image, kValid);
    EXPECT_EQ(page.hexText, ShowEdid(kValid).hex);
  }
  EXPECT_EQ(host.messages.size(), 1u);
}

}  // namespace
}  // namespace sc
