// The EDID page through its real widgets: captions and names, the hex view's rows and
// labels, reports with odd bytes, the list and the buttons reaching the core, messages,
// and Enter and Escape on the page inside the main window.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QTextBlock>
#include <map>
#include <memory>

#include "console/control_ids.h"
#include "console/main_window_qt.h"
#include "edid/edid_page.h"
#include "edid/edid_page_qt.h"
#include "tests/edid/edid_builder.h"
#include "tests/gui/gui_testing.h"
#include "tests/support/console_fixture.h"
#include "tests/support/temp_dir.h"
#include "window/qt_host.h"

namespace sc {
namespace {

using Bytes = std::vector<uint8_t>;

class RecordingSender : public CommandSender {
 public:
  void SendCommand(uint16_t code) override { sent.push_back({code, {}}); }
  void SendCommandWithData(uint16_t code, int count, const uint8_t* bytes) override {
    sent.push_back({code, Bytes(bytes, bytes + count)});
  }
  std::vector<std::pair<uint16_t, Bytes>> sent;
};

const EdidImage kValid = test::EdidBuilder().Name(72, "GUI").Cea().Block(2, {0x90}).Build();

// The page alone, bound to its core page the way the main window binds it.
class EdidPageWidgetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    widget = std::make_unique<EdidPageWidget>(page);
    page.AttachView(&widget->view());
    page.Create();
    page.Push();
    widget->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(widget.get()));
  }
  void TearDown() override {
    page.AttachView(nullptr);
    widget.reset();
  }

  QPushButton* Button(const QString& caption) const {
    for (QPushButton* button : widget->findChildren<QPushButton*>())
      if (button->text() == caption) return button;
    return nullptr;
  }
  template <typename T>
  T* Control(int id) const {
    return qobject_cast<T*>(widget->view().widget(id));
  }

  QtHost host;
  RecordingSender sender;
  EdidPage page{host, sender};
  std::unique_ptr<EdidPageWidget> widget;
};

TEST_F(EdidPageWidgetTest, ControlsCarryTheirCaptionsAndAreNamedByThem) {
  for (const char* caption :
       {"Open file", "Save to file", "Write to USER EDID", "Read EDID from device"})
    EXPECT_NE(Button(QString::fromLatin1(caption)), nullptr) << caption;

  auto* list = Control<QComboBox>(edid_ids::kSelectionList);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->count(), 15);
  EXPECT_EQ(list->itemText(14), "14-USER10");
  EXPECT_EQ(list->currentIndex(), -1);
  EXPECT_EQ(list->accessibleName(), "EDID selection:");

  const std::pair<int, const char*> reports[] = {{edid_ids::kGeneralText, "General Info:"},
                                                 {edid_ids::kVideoText, "Video Information:"},
                                                 {edid_ids::kAudioText, "Audio Information:"}};
  for (const auto& [id, caption] : reports) {
    auto* box = Control<QPlainTextEdit>(id);
    ASSERT_NE(box, nullptr) << caption;
    EXPECT_EQ(box->accessibleName(), caption);
    EXPECT_TRUE(box->isReadOnly());
    EXPECT_EQ(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  }

  bool noteShown = false;
  for (QLabel* label : widget->findChildren<QLabel*>())
    noteShown |= label->text().startsWith(
        "Write EDID Step:\n1.Select one of USER define EDID(USER1~10) from Pull-down");
  EXPECT_TRUE(noteShown);
  EXPECT_TRUE(widget->hexView()->isReadOnly());
}

TEST_F(EdidPageWidgetTest, TheHexViewShowsSixteenRowsOfSixteenUnderItsLabels) {
  page.OnEdidData(kValid.data(), kValid.size());
  HexView* hex = widget->hexView();
  const std::string core = FormatEdidHex(kValid);
  // The core's text is left as it is: 768 characters, no line breaks.
  EXPECT_EQ(page.view().GetText(edid_ids::kHexText), core);
  ASSERT_EQ(hex->document()->blockCount(), 16);
  for (int row = 0; row < 16; ++row) {
    const std::string expected = core.substr(static_cast<size_t>(row) * 48, 47);
    EXPECT_EQ(hex->document()->findBlockByNumber(row).text().toStdString(), expected) << row;
  }
  EXPECT_TRUE(hex->toPlainText().startsWith("00 FF FF FF FF FF FF 00"));
  // The status text's parts on lines of their own.
  EXPECT_EQ(Control<QLabel>(edid_ids::kStatusText)->text(), "HDMI EDID\ncheck sum Ok !");

  // Every row in view without scrolling, and the labels on the rows and groups.
  QApplication::processEvents();
  EXPECT_EQ(hex->verticalScrollBar()->maximum(), 0);
  EXPECT_EQ(hex->horizontalScrollBar()->maximum(), 0);
  const qreal step = hex->RowTop(1) - hex->RowTop(0);
  EXPECT_GT(step, 0);
  for (int row = 1; row < 16; ++row)
    EXPECT_DOUBLE_EQ(hex->RowTop(row) - hex->RowTop(row - 1), step) << row;
  EXPECT_LE(hex->RowTop(15) + step, hex->viewport()->geometry().bottom() + 1.0);
  const qreal groupStep = (hex->GroupLeft(15) - hex->GroupLeft(0)) / 15;
  EXPECT_DOUBLE_EQ(hex->GroupLeft(8) - hex->GroupLeft(0), 8 * groupStep);
  EXPECT_LE(hex->GroupLeft(15) + groupStep, hex->viewport()->geometry().right() + 1.0);
}

TEST_F(EdidPageWidgetTest, ReportsShowLineBreaksAndOddBytesSafelyAndGiveThemBackUnchanged) {
  auto* general = Control<QPlainTextEdit>(edid_ids::kGeneralText);
  struct Case {
    std::string core;
    QString shown;
  };
  const Case cases[] = {
      {"a\r\nb\r\n", "a\nb\n"},
      {std::string("Name:AB\0C\r\n", 11), QString::fromUtf8("Name:AB\uFFFDC\n")},
      {"Name:A\rB\x01\x7F\r\n", QString::fromUtf8("Name:A\uFFFDB\uFFFD\uFFFD\n")},
      {"Name:\xE9t\xE9\r\n", QString::fromUtf8("Name:\u00E9t\u00E9\n")},  // not UTF-8: Latin-1
      {"Name:\xE2\x80\xAE"
       "abc\r\n",
       QString::fromUtf8("Name:\uFFFDabc\n")},  // no reordering
  };
  for (const Case& c : cases) {
    page.generalText = c.core;
    page.Push();
    EXPECT_EQ(general->toPlainText(), c.shown);
    page.Pull();
    EXPECT_EQ(page.generalText, c.core);
  }
}

TEST_F(EdidPageWidgetTest, WritingWithNothingChosenSaysSoInAMessageBox) {
  QString caption, text;
  testing::OnNextModal([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    caption = box->windowTitle();
    text = box->text();
    testing::PressButton(box, "OK");
  });
  QTest::mouseClick(Button("Write to USER EDID"), Qt::LeftButton);
  EXPECT_EQ(caption, "TQ-KVAD");
  EXPECT_EQ(text, "Must be USER define EDID(USER1~10)");
  EXPECT_TRUE(sender.sent.empty());
}

TEST_F(EdidPageWidgetTest, TheUsersChoiceAndTheButtonsReachTheCore) {
  auto* list = Control<QComboBox>(edid_ids::kSelectionList);
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Down);
  QTest::keyClick(list, Qt::Key_Down);
  EXPECT_EQ(list->currentIndex(), 1);
  list->setCurrentIndex(7);  // not the user's choice: nothing is sent
  QTest::mouseClick(Button("Read EDID from device"), Qt::LeftButton);
  EXPECT_EQ(sender.sent,
            (std::vector<std::pair<uint16_t, Bytes>>{{0x7850, {0}}, {0x7850, {1}}, {0xF851, {7}}}));
}

// The page inside the main window.
class EdidPageInWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dialog = std::make_unique<ConsoleDialog>(host, TestConsoleOptions(dir, &ports));
    window = std::make_unique<MainWindow>(*dialog, host);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    QTabBar* tabs = window->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(3).center());
    page = dynamic_cast<EdidPageWidget*>(window->page(ids::kEdidPage));
  }
  void TearDown() override {
    window.reset();
    dialog->Destroy();
    dialog.reset();
  }

  TempDir dir;
  std::map<int, std::string> ports;  // none
  QtHost host;
  std::unique_ptr<ConsoleDialog> dialog;
  std::unique_ptr<MainWindow> window;
  EdidPageWidget* page = nullptr;
};

TEST_F(EdidPageInWindowTest, EscapeAndEnterOnThePageLeaveTheWindowOpen) {
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(page->isVisible());
  EXPECT_EQ(page->view().GetSelection(edid_ids::kSelectionList), -1);
  QWidget* controls[] = {page->hexView(), page->view().widget(edid_ids::kSelectionList),
                         page->view().widget(edid_ids::kVideoText),
                         page->view().widget(edid_ids::kReadFromDevice)};
  QSignalSpy finished(window.get(), &QDialog::finished);
  for (QWidget* control : controls) {
    control->setFocus();
    for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
      QTest::keyClick(control, key);
      EXPECT_EQ(finished.count(), 0) << control->accessibleName().toStdString() << " " << key;
      EXPECT_TRUE(window->isVisible());
    }
  }

  // Enter on a focused button presses it.
  QString text;
  testing::OnNextModal([&](QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) text = box->text();
  });
  QWidget* write = page->view().widget(edid_ids::kWriteUserEdid);
  write->setFocus();
  QTest::keyClick(write, Qt::Key_Return);
  EXPECT_EQ(text, "Must be USER define EDID(USER1~10)");
  EXPECT_EQ(finished.count(), 0);
}

}  // namespace
}  // namespace sc
