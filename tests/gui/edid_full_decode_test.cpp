// The EDID page's "Full decode" and "Comparison" tabs through their real widgets: named for
// assistive technology, the full decode following the image read from the box and opened
// from a file, and "Compare..." listing the differences and bringing them to the front.

#include <gtest/gtest.h>

#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <fstream>
#include <memory>

#include "edid/edid_page.h"
#include "edid/edid_page_qt.h"
#include "tests/edid/edid_builder.h"
#include "tests/gui/gui_testing.h"
#include "tests/support/recording_sender.h"
#include "tests/support/temp_dir.h"
#include "window/qt_host.h"

namespace sc {
namespace {

const EdidImage kRead = test::EdidBuilder().Name(72, "READ").Cea().Block(2, {0x90, 0x04}).Build();
const EdidImage kOpened = test::EdidBuilder().Name(72, "OPENED").Cea().Block(2, {0x90}).Build();

class EdidFullDecodeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    widget = std::make_unique<EdidPageWidget>(page);
    page.AttachView(&widget->view());
    page.Create();
    page.workingDirectory = dir.path().string();
    page.Push();
    widget->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(widget.get()));
  }
  void TearDown() override {
    page.AttachView(nullptr);
    widget.reset();
  }

  template <typename T>
  T* Control(int id) const {
    return qobject_cast<T*>(widget->view().widget(id));
  }
  QPushButton* Button(const QString& caption) const {
    for (QPushButton* button : widget->findChildren<QPushButton*>())
      if (button->text() == caption) return button;
    return nullptr;
  }
  std::string Write(const std::string& name, const EdidImage& image) const {
    const std::string path = dir / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    return path;
  }
  // Picks `path` in the file dialog that the next step opens.
  static void ChooseInTheDialog(const std::string& path) {
    testing::OnNextModal([path](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      ASSERT_NE(dialog, nullptr);
      dialog->selectFile(QString::fromStdString(path));
      QMetaObject::invokeMethod(dialog, "accept");
    });
  }

  TempDir dir;
  QtHost host;
  RecordingSender sender;
  EdidPage page{host, sender};
  std::unique_ptr<EdidPageWidget> widget;
};

TEST_F(EdidFullDecodeTest, TheViewsAreNamedAndTheFullDecodeFollowsThePagesImage) {
  auto* tabs = Control<QTabBar>(edid_ids::kViews);
  ASSERT_NE(tabs, nullptr);
  ASSERT_EQ(tabs->count(), 3);
  EXPECT_EQ(tabs->tabText(0), "Reports");
  EXPECT_EQ(tabs->tabText(1), "Full decode");
  EXPECT_EQ(tabs->tabText(2), "Comparison");
  auto* full = Control<QPlainTextEdit>(edid_ids::kFullDecodeText);
  ASSERT_NE(full, nullptr);
  EXPECT_EQ(full->accessibleName(), "Full decode");
  EXPECT_TRUE(full->isReadOnly());
  EXPECT_EQ(Control<QListWidget>(edid_ids::kDifferenceList)->accessibleName(), "Differences");
  EXPECT_EQ(Control<QPushButton>(edid_ids::kCompare)->text(), QStringLiteral("Compare..."));
  EXPECT_EQ(Control<QPushButton>(edid_ids::kCompareLastRead)->text(), "Compare with last read");

  EXPECT_TRUE(full->toPlainText().isEmpty());
  page.OnEdidData(kRead.data(), kRead.size());
  EXPECT_TRUE(full->toPlainText().contains("monitor name \"READ\""))
      << full->toPlainText().toStdString();
  EXPECT_TRUE(full->toPlainText().contains("VIC  16: 1920x1080p 60 Hz 16:9, 148.5 MHz (native)"));

  ChooseInTheDialog(Write("opened.bin", kOpened));
  QTest::mouseClick(Button("Open file"), Qt::LeftButton);
  EXPECT_TRUE(full->toPlainText().contains("monitor name \"OPENED\""));
  EXPECT_EQ(tabs->currentIndex(), 0);  // the user picks the tab
}

TEST_F(EdidFullDecodeTest, CompareListsTheDifferencesAndBringsThemToTheFront) {
  page.OnEdidData(kRead.data(), kRead.size());
  ChooseInTheDialog(Write("opened.bin", kOpened));
  page.OpenEdidFile();

  QTest::mouseClick(Button("Compare with last read"), Qt::LeftButton);
  auto* tabs = Control<QTabBar>(edid_ids::kViews);
  EXPECT_EQ(tabs->currentIndex(), 2);
  auto* list = Control<QListWidget>(edid_ids::kDifferenceList);
  ASSERT_EQ(list->count(), 2);
  EXPECT_TRUE(
      list->item(0)->text().startsWith("Monitor name \"OPENED\" in A, \"READ\" in B (A: block 0 "
                                       "offset 0x48: 00 00 00 FC"));
  EXPECT_EQ(list->item(1)->text(),
            "VIC 4 (1280x720p 60 Hz 16:9) only in B (B: block 1 offset 0x06: 04)");
  EXPECT_EQ(Control<QLabel>(edid_ids::kCompareSummary)->text(),
            "A: the page's EDID, opened from opened.bin\nB: the EDID last read from the box\n2 "
            "differences");

  tabs->setCurrentIndex(0);
  ChooseInTheDialog(Write("same.bin", kOpened));
  QTest::mouseClick(Button(QStringLiteral("Compare...")), Qt::LeftButton);
  EXPECT_EQ(tabs->currentIndex(), 2);
  EXPECT_EQ(list->count(), 0);
  EXPECT_TRUE(
      Control<QLabel>(edid_ids::kCompareSummary)->text().endsWith("The two EDIDs are the same."));
}

}  // namespace
}  // namespace sc
