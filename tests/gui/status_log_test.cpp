// The status bar, the traffic log window and the shortcuts through the real widgets, with
// the simulated box on a pseudo-terminal: the status bar follows the link and the box's
// answers, the log lists a chain in order and marks a corrupted reply, and a request whose
// answer is lost says so in the status bar, not in a message box.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <memory>

#include "console/control_ids.h"
#include "console/main_window_qt.h"
#include "console/status_bar_qt.h"
#include "console/traffic_log_qt.h"
#include "edid/edid_page.h"
#include "sim/box_server.h"
#include "tests/gui/console_window_fixture.h"
#include "tests/gui/gui_testing.h"
#include "tests/support/console_fixture.h"
#include "tests/support/temp_dir.h"
#include "timing/timing_page.h"
#include "window/qt_host.h"

namespace sc {
namespace {

class StatusLogGuiTest : public testing::ConsoleWindowTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.StartOnPty());
    ASSERT_NO_FATAL_FAILURE(OpenWindow(server.path()));
  }

  QString Field(unsigned field) const { return window->statusBar()->field(field)->text(); }
  QString Shown(int id) const { return qobject_cast<QLabel*>(window->view().widget(id))->text(); }
  void ClickLink() {
    QTest::mouseClick(qobject_cast<QToolButton*>(window->view().widget(ids::kLinkIcon)),
                      Qt::LeftButton);
  }
  // The link comes up and the status chain runs to its last reply.
  void LinkUp() {
    ClickLink();
    QTRY_COMPARE_WITH_TIMEOUT(Shown(ids::kChannelsText), QString("2ch"), 5000);
  }
  template <class F>
  void OnBox(F&& f) {
    server.WithLine([&](BoxLine& line) { f(line.box(0)); });
  }
  // The log's rows that are frames, as "Direction Name [mark]".
  QStringList LoggedFrames() const {
    window->trafficLog()->SyncNow();
    TrafficLogModel* model = window->trafficLog()->model();
    QStringList rows;
    for (int r = 0; r < model->rowCount(); ++r) {
      const QString direction = model->index(r, TrafficLogModel::kDirection).data().toString();
      if (direction.isEmpty()) continue;  // a note
      QString row = direction + " " + model->index(r, TrafficLogModel::kName).data().toString();
      const QString mark = model->index(r, TrafficLogModel::kMark).data().toString();
      if (!mark.isEmpty()) row += " [" + mark + "]";
      rows << row;
    }
    return rows;
  }

  BoxServer server;
};

TEST_F(StatusLogGuiTest, TheStatusBarFollowsLinkUpAnswersLinkDownAndAHangUp) {
  EXPECT_EQ(Field(StatusBarModel::kPortField), QString::fromStdString("COM1  " + server.path()));
  EXPECT_EQ(Field(StatusBarModel::kRateField), "115200 baud");
  EXPECT_EQ(Field(StatusBarModel::kLinkField), "Link down");
  EXPECT_EQ(Field(StatusBarModel::kLastAnswerField), "No answer yet");
  EXPECT_TRUE(Field(StatusBarModel::kFilesField).startsWith("Files go to /"));

  LinkUp();
  EXPECT_EQ(Field(StatusBarModel::kLinkField), "Link up");
  EXPECT_TRUE(Field(StatusBarModel::kLastAnswerField).startsWith("Last answer: box 0101 at "))
      << Field(StatusBarModel::kLastAnswerField).toStdString();

  ClickLink();
  EXPECT_EQ(Field(StatusBarModel::kLinkField), "Link down");

  LinkUp();
  // The box's line closes under the link: the existing message, and the status bar says why
  // the link is down.
  QString message;
  testing::OnNextModal([&](QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) message = box->text();
    testing::PressButton(modal, "OK");
  });
  server.HangUp();
  QTRY_COMPARE_WITH_TIMEOUT(Field(StatusBarModel::kLinkField),
                            QString("Link down: the device went away"), 5000);
  QTRY_VERIFY_WITH_TIMEOUT(message.contains("has gone away"), 5000);
}

TEST_F(StatusLogGuiTest, TheLogListsAChainInOrderAndMarksACorruptedReply) {
  QAction* open = window->action("Traffic Log");
  ASSERT_NE(open, nullptr);
  open->trigger();
  ASSERT_NE(window->trafficLog(), nullptr);
  EXPECT_TRUE(window->trafficLog()->isVisible());
  EXPECT_TRUE(dialog->trafficLogOpen());

  LinkUp();
  const QStringList chain = {
      "Sent Input query",        "Received Input",       "Sent Hot-plug query",
      "Received Hot-plug state", "Sent Volume query",    "Received Volume",
      "Sent EDID preset query",  "Received EDID preset", "Sent Timing query",
      "Received Timing record",  "Sent Status query",    "Received Signal status"};
  QTRY_COMPARE_WITH_TIMEOUT(LoggedFrames().mid(0, chain.size()), chain, 5000);

  // The input answer to "Update Status" comes with a wrong sum: listed and marked, and the
  // chain goes no further.
  OnBox([](SimulatedBox& b) { b.faults().corruptFrames = 1; });
  const int before = static_cast<int>(LoggedFrames().size());
  window->action("Update Status")->trigger();
  QTRY_COMPARE_WITH_TIMEOUT(LoggedFrames().mid(before),
                            (QStringList{"Sent Input query", "Received Input [bad sum]"}), 5000);

  // Closed, the log records nothing more.
  open->trigger();
  EXPECT_FALSE(window->trafficLog()->isVisible());
  EXPECT_FALSE(dialog->trafficLogOpen());
}

TEST_F(StatusLogGuiTest, ALostAnswerSaysNoAnswerFromTheBoxAndTheNextAnswerClearsIt) {
  LinkUp();
  QLabel* activity = window->statusBar()->field(StatusBarModel::kActivityField);
  QTRY_COMPARE_WITH_TIMEOUT(activity->text(), QString(), 5000);
  bool modalShown = false;
  testing::OnNextModal([&](QWidget*) { modalShown = true; });

  OnBox([](SimulatedBox& b) { b.faults().dropFrames = 1; });
  QTest::keyClick(window.get(), Qt::Key_R, Qt::ControlModifier);  // Read EDID from Device
  EXPECT_EQ(activity->text(), "Read EDID: waiting for the box...");
  QTRY_COMPARE_WITH_TIMEOUT(activity->text(), QString("No answer from the box: Read EDID"),
                            kNoAnswerWait + 1000);
  EXPECT_TRUE(activity->font().bold());
  EXPECT_FALSE(modalShown);

  auto* read = qobject_cast<QPushButton*>(
      window->page(ids::kEdidPage)->view().widget(edid_ids::kReadFromDevice));
  QTest::mouseClick(read, Qt::LeftButton);
  QTRY_COMPARE_WITH_TIMEOUT(activity->text(), QString(), 5000);
  EXPECT_FALSE(activity->font().bold());
}

TEST_F(StatusLogGuiTest, AnUploadShowsItsRateAndProgressInTheStatusBar) {
  server.SetPacing(true);  // two minutes a frame: time to watch
  dialog->capture.workingDirectory = dir.path().string();
  LinkUp();
  PageWidget* timing = window->page(ids::kTimingPage);
  QTest::mouseClick(qobject_cast<QCheckBox*>(timing->view().widget(timing_ids::kFrameCaptureCheck)),
                    Qt::LeftButton);
  auto* upload = qobject_cast<QPushButton*>(timing->view().widget(timing_ids::kUploadWholeImage));
  QTest::mouseClick(upload, Qt::LeftButton);
  QTRY_COMPARE_WITH_TIMEOUT(Field(StatusBarModel::kRateField), QString("512000 baud"), 5000);
  QTRY_VERIFY_WITH_TIMEOUT(QRegularExpression("^Upload image: [0-9]+ %$")
                               .match(Field(StatusBarModel::kActivityField))
                               .hasMatch(),
                           10000);

  QTest::mouseClick(upload, Qt::LeftButton);  // cancelled
  QTRY_COMPARE_WITH_TIMEOUT(Field(StatusBarModel::kRateField), QString("115200 baud"), 5000);
  EXPECT_EQ(Field(StatusBarModel::kActivityField), "");
}

TEST_F(StatusLogGuiTest, ShortcutsReachTheCommonActionsAndTheNewControlsAreNamed) {
  QTest::keyClick(window.get(), Qt::Key_T, Qt::ControlModifier);
  TrafficLogWindow* log = window->trafficLog();
  ASSERT_NE(log, nullptr);
  EXPECT_TRUE(log->isVisible());
  QAccessibleInterface* logWindow = QAccessible::queryAccessibleInterface(log);
  EXPECT_EQ(logWindow->role(), QAccessible::Window);
  EXPECT_EQ(logWindow->text(QAccessible::Name), "Traffic Log");
  window->activateWindow();
  QApplication::setActiveWindow(window.get());

  QTest::keyClick(window.get(), Qt::Key_L, Qt::ControlModifier);
  EXPECT_TRUE(dialog->linkUp());
  QTRY_COMPARE_WITH_TIMEOUT(Shown(ids::kChannelsText), QString("2ch"), 5000);
  OnBox([](SimulatedBox& b) { b.ClearRecords(); });
  QTest::keyClick(window.get(), Qt::Key_F5);
  // The whole chain, from the input on (the window handles each reply meanwhile).
  QTRY_VERIFY_WITH_TIMEOUT(server.WithLine([](BoxLine& line) {
    const auto codes = line.box(0).CommandCodes();
    return codes.size() >= 2 && codes[0] == 0x8082 && codes[1] == 0x8081;
  }),
                           5000);

  // A lamp says what a click on it does, and so do the pages' buttons.
  EXPECT_EQ(window->view().widget(ids::kSdiIcon)->toolTip(),
            "Unlit: click to select the SDI input");
  EXPECT_TRUE(window->page(ids::kEdidPage)
                  ->view()
                  .widget(edid_ids::kReadFromDevice)
                  ->toolTip()
                  .endsWith("(Ctrl+R)"));
  EXPECT_FALSE(
      window->page(ids::kTimingPage)->view().widget(timing_ids::kUpdateImage)->toolTip().isEmpty());

  QAccessibleInterface* root = QAccessible::queryAccessibleInterface(log);
  const std::pair<QAccessible::Role, QString> named[] = {
      // A button that stays pressed reads as a check box ("Pause", checked while paused).
      {QAccessible::EditableText, "Filter:"},
      {QAccessible::CheckBox, "Pause"},
      {QAccessible::Button, "Clear"},
      {QAccessible::Button, "Save As..."},
      {QAccessible::Table, "Frames"}};
  for (const auto& [role, name] : named) {
    bool found = false;
    std::function<void(QAccessibleInterface*)> search = [&](QAccessibleInterface* node) {
      if (!node || found) return;
      if (node->role() == role && node->text(QAccessible::Name) == name) found = true;
      for (int i = 0; i < node->childCount(); ++i)
        search(node->child(i));
    };
    search(root);
    EXPECT_TRUE(found) << name.toStdString();
  }
  // A filter that is not a list of codes leaves the list as it was and says what it takes.
  const int rows = log->model()->rowCount();
  log->filter()->setText("volume");
  EXPECT_EQ(log->model()->rowCount(), rows);
  EXPECT_FALSE(log->note()->text().isEmpty());
  log->filter()->setText("8081");
  // The chain's query and answer, then F5's (which may still be on its way).
  auto hotPlugRows = [&] {
    log->SyncNow();
    int rows = 0;
    for (int r = 0; r < log->model()->rowCount(); ++r) {
      const QString code = log->model()->index(r, TrafficLogModel::kCode).data().toString();
      EXPECT_TRUE(code.isEmpty() || code == "0x8081") << code.toStdString();
      rows += code == "0x8081";
    }
    return rows;
  };
  QTRY_VERIFY_WITH_TIMEOUT(hotPlugRows() >= 4, 5000);

  // The shortcuts work while the log has the focus, and Escape closes it.
  log->activateWindow();
  QApplication::setActiveWindow(log);
  log->table()->setFocus();
  OnBox([](SimulatedBox& b) { b.ClearRecords(); });
  QTest::keyClick(log->table(), Qt::Key_F5);
  QTRY_VERIFY_WITH_TIMEOUT(server.WithLine([](BoxLine& line) {
    const auto codes = line.box(0).CommandCodes();
    return std::count(codes.begin(), codes.end(), 0x8082) == 1;
  }),
                           5000);
  QTest::keyClick(log->table(), Qt::Key_Escape);
  EXPECT_FALSE(log->isVisible());
  EXPECT_FALSE(dialog->trafficLogOpen());
  EXPECT_FALSE(window->action("Traffic Log")->isChecked());
  EXPECT_TRUE(window->isVisible());
}

}  // namespace
}  // namespace sc
