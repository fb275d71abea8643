// The EDID editor's dialog through its real widgets: "Edit..." on the EDID page opens it on
// the page's image, its boxes and lists are named by their captions, a VIC removed shows
// in the differences, "Apply" closes it and puts the result on the page, and a new error
// makes "Write to USER EDID" ask first.

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <memory>

#include "edid/edid_editor_dialog_qt.h"
#include "edid/edid_page.h"
#include "edid/edid_page_qt.h"
#include "tests/edid/edid_builder.h"
#include "tests/gui/gui_testing.h"
#include "tests/support/recording_sender.h"
#include "window/qt_host.h"

namespace sc {
namespace {

const EdidImage kTv = test::EdidBuilder()
                          .Name(72, "Den TV")
                          .Block(2, {0x90, 0x04, 0x61})
                          .Block(1, {0x09, 0x07, 0x07})
                          .Block(3, {0x03, 0x0C, 0x00, 0x10, 0x00, 0x00, 0x3C})
                          .Build();

class EdidEditorDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host.RegisterDialog(edid_editor_ids::kDialog, [this](QWidget* parent) {
      RunEdidEditorDialog(page.editor, host, parent);
    });
    widget = std::make_unique<EdidPageWidget>(page);
    page.AttachView(&widget->view());
    page.Create();
    page.image = kTv;
    widget->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(widget.get()));
  }
  void TearDown() override {
    page.AttachView(nullptr);
    widget.reset();
  }

  template <typename T>
  static T* Named(QWidget* dialog, const QString& name) {
    for (T* w : dialog->findChildren<T*>())
      if (w->accessibleName() == name) return w;
    return nullptr;
  }
  // The box a caption labels.
  static QLineEdit* Box(QWidget* dialog, const QString& caption) {
    for (QLabel* label : dialog->findChildren<QLabel*>())
      if (label->text() == caption) return qobject_cast<QLineEdit*>(label->buddy());
    return nullptr;
  }
  static QPushButton* Button(QWidget* parent, const QString& caption) {
    for (QPushButton* button : parent->findChildren<QPushButton*>())
      if (button->text() == caption) return button;
    return nullptr;
  }

  QtHost host;
  RecordingSender sender;
  EdidPage page{host, sender};
  std::unique_ptr<EdidPageWidget> widget;
};

TEST_F(EdidEditorDialogTest, EditRemoveAVicAndApply) {
  bool ran = false;
  testing::OnNextModal([&](QWidget* modal) {
    auto* dialog = qobject_cast<EdidEditorDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    ran = true;
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Edit EDID"));
    auto* sections = dialog->findChild<QTabWidget*>();
    ASSERT_NE(sections, nullptr);
    QStringList tabs;
    for (int i = 0; i < sections->count(); ++i)
      tabs << sections->tabText(i);
    EXPECT_EQ(tabs, (QStringList{"Identity", "Timings", "Video", "Audio", "HDMI", "HDR"}));
    ASSERT_NE(Box(dialog, "Monitor name:"), nullptr);
    EXPECT_EQ(Box(dialog, "Monitor name:")->text(), QStringLiteral("Den TV"));
    EXPECT_EQ(Box(dialog, "Physical address:")->text(), QStringLiteral("1.0.0.0"));

    auto* vics = Named<QListWidget>(dialog, "VICs");
    ASSERT_NE(vics, nullptr);
    ASSERT_EQ(vics->count(), 3);
    EXPECT_EQ(vics->item(2)->text(), QStringLiteral("VIC 97: 3840x2160p 60 Hz 16:9"));
    auto* apply = Button(dialog, "Apply");
    ASSERT_NE(apply, nullptr);
    EXPECT_FALSE(apply->isEnabled());  // nothing changed yet
    sections->setCurrentIndex(2);
    vics->setCurrentRow(2);
    QTest::mouseClick(Button(dialog, "Remove VIC"), Qt::LeftButton);
    EXPECT_EQ(vics->count(), 2);
    auto* differences = Named<QListWidget>(dialog, "Differences");
    ASSERT_NE(differences, nullptr);
    ASSERT_EQ(differences->count(), 1);
    EXPECT_TRUE(
        differences->item(0)->text().startsWith("VIC 97 (3840x2160p 60 Hz 16:9) only in A"));
    auto* faults = Named<QListWidget>(dialog, "New errors and warnings:");
    ASSERT_NE(faults, nullptr);
    EXPECT_EQ(faults->item(0)->text(), QStringLiteral("None"));
    ASSERT_TRUE(apply->isEnabled());
    QTest::mouseClick(apply, Qt::LeftButton);
  });
  QTest::mouseClick(Button(widget.get(), "Edit..."), Qt::LeftButton);
  EXPECT_TRUE(ran);
  const EdidModel model = DecodeEdidModel(page.image);
  ASSERT_EQ(model.CtaExtensions().size(), 1u);
  EXPECT_EQ(model.CtaExtensions()[0]->Svds().size(), 2u);
  EXPECT_NE(page.image, kTv);
}

TEST_F(EdidEditorDialogTest, CancelLeavesThePageAndANewErrorMakesTheWriteAsk) {
  testing::OnNextModal([&](QWidget* modal) {
    auto* dialog = qobject_cast<EdidEditorDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    Box(dialog, "Physical address:")->setText(QStringLiteral("2.0.0.0"));
    QTest::mouseClick(Button(dialog, "Set physical address"), Qt::LeftButton);
    QTest::mouseClick(Button(dialog, "Cancel"), Qt::LeftButton);
  });
  QTest::mouseClick(Button(widget.get(), "Edit..."), Qt::LeftButton);
  EXPECT_EQ(page.image, kTv);

  // An image with a new error on the page: the write asks, and No sends nothing.
  page.editor.onApply(std::vector<uint8_t>(kTv.begin(), kTv.end()),
                      {{EdidSeverity::Error, "Block 1: an error."}});
  page.view().SetSelection(edid_ids::kSelectionList, kFirstUserPreset);
  QString question;
  testing::OnNextModal([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    question = box->text();
    testing::PressButton(box, "&No");
  });
  QTest::mouseClick(Button(widget.get(), "Write to USER EDID"), Qt::LeftButton);
  EXPECT_TRUE(question.contains("Block 1: an error.")) << question.toStdString();
  EXPECT_TRUE(sender.sent.empty());
}

}  // namespace
}  // namespace sc
