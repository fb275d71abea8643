// The application's host: posting from other threads, window timers, message boxes,
// file filters and the dialog registry.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>
#include <thread>
#include <vector>

#include "tests/gui/gui_testing.h"
#include "window/qt_host.h"

namespace sc {
namespace {

struct RecordingTarget : TimerTarget {
  std::vector<int> ticks;
  std::function<void(int)> onTick;
  void OnTimer(int id) override {
    ticks.push_back(id);
    if (onTick) onTick(id);
  }
};

TEST(QtHostTest, PostedWorkRunsOnTheGuiThreadInOrder) {
  QtHost host;
  std::vector<int> order;
  std::atomic<int> wrongThread{0};
  QThread* gui = QThread::currentThread();
  std::thread worker([&] {
    for (int i = 0; i < 100; ++i)
      host.Post([&, i] {
        if (QThread::currentThread() != gui) ++wrongThread;
        order.push_back(i);
      });
  });
  worker.join();
  EXPECT_TRUE(order.empty());  // nothing runs until the loop does
  QTRY_COMPARE_WITH_TIMEOUT(order.size(), size_t(100), 5000);
  EXPECT_EQ(wrongThread.load(), 0);
  for (int i = 0; i < 100; ++i)
    EXPECT_EQ(order[i], i);
}

TEST(QtHostTest, TimersTickByIdRestartAndStopFromTheirOwnTick) {
  QtHost host;
  RecordingTarget target;
  host.SetTimerTarget(&target);

  host.StartTimer(4, 300);
  host.StartTimer(4, 20);  // restarts with the new period
  EXPECT_EQ(host.TimerPeriod(4), 20);
  // A step that stops its own timer, as the search step does.
  target.onTick = [&](int id) { host.StopTimer(id); };
  QTRY_COMPARE_WITH_TIMEOUT(target.ticks.size(), size_t(1), 2000);
  EXPECT_EQ(target.ticks[0], 4);
  EXPECT_FALSE(host.TimerRunning(4));
  QTest::qWait(80);
  EXPECT_EQ(target.ticks.size(), 1u);

  // A timer keeps ticking until stopped.
  target.onTick = nullptr;
  host.StartTimer(7, 10);
  QTRY_VERIFY_WITH_TIMEOUT(target.ticks.size() >= 3, 2000);
  host.StopTimer(7);
  host.StopTimer(99);  // never started: nothing happens
  const size_t ticks = target.ticks.size();
  QTest::qWait(50);
  EXPECT_EQ(target.ticks.size(), ticks);
}

TEST(QtHostTest, MessagesShowTheirTextExactlyWithOnlyOk) {
  struct Case {
    std::string caption, text, shown;
    QMessageBox::Icon icon;
  };
  const Case cases[] = {
      {"TQ-KVAD", "Com port is not on yet.", "Com port is not on yet.", QMessageBox::NoIcon},
      {"Application Error",
       "WARNING:  open Failed with the following error: \nNo such file\nPort: 3\n",
       "WARNING:  open Failed with the following error: \nNo such file\nPort: 3\n",
       QMessageBox::Critical},
      {"TQ-KVAD", "line 1\r\nline 2\rline 3 <b>", "line 1\nline 2\nline 3 <b>",
       QMessageBox::NoIcon},
  };
  for (const Case& c : cases) {
    QtHost host;
    QString caption, text;
    QMessageBox::Icon icon = QMessageBox::Question;
    int buttons = 0;
    Qt::TextFormat format = Qt::AutoText;
    testing::OnNextModal([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      ASSERT_NE(box, nullptr);
      caption = box->windowTitle();
      text = box->text();
      icon = box->icon();
      format = box->textFormat();
      buttons = box->buttons().size();
      testing::PressButton(box, "OK");
    });
    host.ShowMessage(c.caption, c.text);
    EXPECT_EQ(caption.toStdString(), c.caption);
    EXPECT_EQ(text.toStdString(), c.shown);
    EXPECT_EQ(icon, c.icon);
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(buttons, 1);
  }
}

TEST(QtHostTest, FileFiltersBecomeQtFilters) {
  struct Case {
    const char* filters;
    QStringList expected;
  };
  const Case cases[] = {
      {"bin file(*.bin)|*.bin|text file(*.txt)|*.txt|all file(*.*)|*.*||",
       {"bin file(*.bin) (*.bin)", "text file(*.txt) (*.txt)", "all file(*.*) (*)"}},
      {"EDID|*.bin;*.txt||", {"EDID (*.bin *.txt)"}},
      {"", {}},
      {"||", {}},
      {"name without pattern", {}},
      {"both|*.bin; *.txt ;||", {"both (*.bin *.txt)"}},
      {"first|*.a|second||ignored|*.x||", {"first (*.a)"}},  // "||" ends the list
  };
  for (const Case& c : cases)
    EXPECT_EQ(FileDialogFilters(c.filters), c.expected) << c.filters;
}

TEST(QtHostTest, FileDialogReturnsTheChosenFileOrNothing) {
  QTemporaryDir dir;
  const QString edid = dir.filePath("monitor.bin");
  QFile(edid).open(QIODevice::WriteOnly);
  QtHost host;
  QStringList filters;
  testing::OnNextModal([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    filters = dialog->nameFilters();
    dialog->selectFile(edid);
    QMetaObject::invokeMethod(dialog, "accept");
  });
  const auto chosen =
      host.ChooseFile("bin file(*.bin)|*.bin|all file(*.*)|*.*||", dir.path().toStdString());
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(*chosen, edid.toStdString());
  EXPECT_EQ(filters, QStringList({"bin file(*.bin) (*.bin)", "all file(*.*) (*)"}));

  testing::OnNextModal([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
  EXPECT_FALSE(host.ChooseFile("bin file(*.bin)|*.bin||", dir.path().toStdString()));
}

TEST(QtHostTest, DialogsRunFromTheirRegistryOverTheMainWindow) {
  QtHost host;
  QWidget window;
  host.SetDialogParent(&window);
  std::vector<std::pair<int, QWidget*>> runs;
  host.RegisterDialog(100, [&](QWidget* parent) { runs.push_back({100, parent}); });
  host.RunModalDialog(100);
  host.RunModalDialog(185);  // not registered: nothing happens
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].second, &window);
}

}  // namespace
}  // namespace sc
