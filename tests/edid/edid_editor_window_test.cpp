// The editor window's core on the EDID page: "Edit..." opens it on the page's image, its
// buttons read their boxes and lists, a refusal is shown and changes nothing, "Apply"
// puts the result on the page (and Cancel does not), and writing a user slot with an
// image that has a new error asks first.

#include <gtest/gtest.h>

#include "edid/edid_editor_window.h"
#include "edid/edid_page.h"
#include "tests/edid/edid_builder.h"
#include "tests/support/recording_sender.h"
#include "tests/support/test_host.h"

namespace sc {
namespace {

namespace ids = edid_editor_ids;

// A host that answers its questions from a list (No when it runs out).
class AskingHost : public TestHost {
 public:
  bool AskYesNo(const std::string& caption, const std::string& text) override {
    questions.push_back({caption, text});
    if (answers.empty()) return false;
    const bool answer = answers.front();
    answers.erase(answers.begin());
    return answer;
  }
  std::vector<Message> questions;
  std::vector<bool> answers;
};

const EdidImage kTv = test::EdidBuilder()
                          .Name(72, "Den TV")
                          .Block(2, {0x90, 0x04, 0x61})
                          .Block(1, {0x09, 0x07, 0x07, 0x15, 0x07, 0x50})
                          .Block(3, {0x03, 0x0C, 0x00, 0x10, 0x00, 0x00, 0x3C})
                          .ExtendedBlock(6, {0x0D, 0x01})
                          .Build();

class EdidEditorWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    page.Create();
    page.onOutcome = [this](const Outcome& o) {
      if (o.operation == Operation::kEdidEdit || o.operation == Operation::kEdidWrite)
        outcomes.push_back(o.result);
    };
  }
  View& editor() { return page.editor.view(); }
  // Runs "Edit..." with `steps` standing for the person in the dialog.
  void EditWith(std::function<void(EdidEditorWindow&)> steps) {
    host.onDialog = [this, steps](int id) {
      ASSERT_EQ(id, ids::kDialog);
      steps(page.editor);
    };
    page.EditEdid();
  }

  AskingHost host;
  RecordingSender sender;
  EdidPage page{host, sender};
  std::vector<Result> outcomes;
};

TEST_F(EdidEditorWindowTest, RefusedWithoutAnEdid) {
  page.EditEdid();
  EXPECT_TRUE(host.dialogsRun.empty());
  EXPECT_EQ(outcomes, std::vector<Result>{Result::kRefused});
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, kNoEdidOnThePage);
}

TEST_F(EdidEditorWindowTest, ShowsTheImageEditsItAndApplyPutsItOnThePage) {
  page.image = kTv;
  EditWith([this](EdidEditorWindow& w) {
    EXPECT_EQ(editor().GetText(ids::kName), "Den TV");
    EXPECT_EQ(editor().GetText(ids::kPhysicalAddress), "1.0.0.0");
    EXPECT_EQ(editor().GetText(ids::kEotfs), "SDR,PQ,HLG");
    EXPECT_EQ(w.listedVics(), (std::vector<int>{16, 4, 97}));
    EXPECT_EQ(editor().GetText(ids::kChangesSummary), "No changes");

    // A button without its choice, and a box that cannot be read: refused, shown.
    w.RemoveVic();
    EXPECT_NE(editor().GetText(ids::kResult).find("Choose a VIC first"), std::string::npos);
    editor().SetText(ids::kPhysicalAddress, "1.0.0");
    w.SetPhysicalAddress();
    EXPECT_NE(editor().GetText(ids::kResult).find("refused"), std::string::npos);
    EXPECT_FALSE(w.editor().changed());

    editor().SetSelection(ids::kVicList, 2);
    w.RemoveVic();
    w.RemoveHdr();
    editor().SetSelection(ids::kAudioList, 1);
    w.RemoveAudio();
    editor().SetText(ids::kLpcmChannels, "2");
    editor().SetText(ids::kLpcmRates, "32, 44.1, 48");
    editor().SetText(ids::kLpcmSizes, "16,24");
    w.SetLpcm();
    editor().SetText(ids::kName, "Lab");
    editor().SetText(ids::kSerial, "77");
    w.SetIdentity();
    EXPECT_EQ(w.listedVics(), (std::vector<int>{16, 4}));
    EXPECT_EQ(w.listedAudioFormats(), (std::vector<uint8_t>{1}));
    // Each change once: the LPCM sizes, AC-3, VIC 97, HDR, the name and the serial.
    EXPECT_EQ(editor().GetText(ids::kChangesSummary), "6 differences from the original");
    EXPECT_EQ(editor().GetText(ids::kEotfs), "");
    EXPECT_EQ(page.image, kTv);  // not yet applied
    EXPECT_TRUE(w.Apply());
  });
  EXPECT_EQ(outcomes, std::vector<Result>{Result::kDone});
  EXPECT_EQ(std::vector<uint8_t>(page.image.begin(), page.image.end()),
            page.editor.editor().bytes());
  EXPECT_NE(page.generalText.find("Lab"), std::string::npos);
  EXPECT_TRUE(page.newErrors.empty());
}

TEST_F(EdidEditorWindowTest, IdentityIsAllOrNothingAndRevertGoesBack) {
  page.image = kTv;
  EditWith([this](EdidEditorWindow& w) {
    editor().SetText(ids::kName, "Fine");
    editor().SetText(ids::kManufacturer, "A1");
    w.SetIdentity();
    EXPECT_NE(editor().GetText(ids::kResult).find("three letters"), std::string::npos);
    EXPECT_FALSE(w.editor().changed());
    EXPECT_EQ(editor().GetText(ids::kName), "Fine");  // the box keeps what was typed
    editor().SetText(ids::kManufacturer, "SAM");
    w.SetIdentity();
    EXPECT_TRUE(w.editor().changed());
    w.Revert();
    EXPECT_FALSE(w.editor().changed());
    EXPECT_EQ(editor().GetText(ids::kName), "Den TV");
    EXPECT_FALSE(w.Apply());  // nothing to apply
  });
  EXPECT_EQ(outcomes, std::vector<Result>{Result::kCancelled});
  EXPECT_EQ(page.image, kTv);
}

// A new warning (a TMDS limit below the 4K VIC's clock) does not ask. A new error does:
// the editor makes none over these images, so the page is handed one as "Apply" hands
// them. No writes nothing, Yes writes the edited image; a later read clears the question.
TEST_F(EdidEditorWindowTest, WritingAnImageWithANewErrorAsksFirst) {
  page.image = kTv;
  EditWith([this](EdidEditorWindow& w) {
    editor().SetText(ids::kMaxTmds, "100");
    w.SetMaxTmds();
    ASSERT_FALSE(w.editor().NewChecks().empty());
    EXPECT_EQ(editor().GetText(ids::kResult), "Max TMDS clock 100 MHz: done.");
    w.Apply();
  });
  EXPECT_TRUE(page.newErrors.empty());
  page.view().SetSelection(edid_ids::kSelectionList, kFirstUserPreset + 2);
  page.WriteUserEdid();
  EXPECT_TRUE(host.questions.empty());
  ASSERT_EQ(sender.sent.size(), 1u);

  const std::vector<uint8_t> edited(kTv.begin(), kTv.end());
  page.editor.onApply(
      edited, {{EdidSeverity::Warning, "A warning."}, {EdidSeverity::Error, "Block 1: an error."}});
  page.WriteUserEdid();
  ASSERT_EQ(host.questions.size(), 1u);
  EXPECT_EQ(host.questions[0].text,
            "The edited EDID has errors the original did not have:\n- Block 1: an error.\nWrite "
            "it to 7-USER3 anyway?");
  EXPECT_EQ(sender.sent.size(), 1u);
  EXPECT_EQ(outcomes.back(), Result::kCancelled);

  host.answers = {true};
  page.WriteUserEdid();
  ASSERT_EQ(sender.sent.size(), 2u);
  EXPECT_EQ(sender.sent[1].second[0], 2);
  EXPECT_TRUE(std::equal(kTv.begin(), kTv.end(), sender.sent[1].second.begin() + 1));

  page.OnEdidData(kTv.data(), kTv.size());
  page.WriteUserEdid();
  EXPECT_EQ(host.questions.size(), 2u);
  EXPECT_EQ(sender.sent.size(), 3u);
}

}  // namespace
}  // namespace sc
