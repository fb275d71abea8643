// The Monitor and Ultilities pages through their real widgets: the record field under
// its ruler, the timeline's marks and tooltips, names for assistive technology, and the
// controls reaching the core.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextBlock>
#include <QToolTip>
#include <memory>

#include "infoframe/utility_page.h"
#include "infoframe/utility_page_qt.h"
#include "monitor/monitor_page.h"
#include "monitor/monitor_page_qt.h"
#include "tests/gui/gui_testing.h"
#include "tests/support/recording_sender.h"
#include "window/qt_host.h"

namespace sc {
namespace {

using Bytes = std::vector<uint8_t>;

// A full recording of 5-second slots from 7 Dec (20)26 09:05:30 with the given slots
// (from 1) triggered.
Bytes Record(std::initializer_list<int> triggered) {
  Bytes p = {255, 0, 1, 0, 5, 0, 0xC7, 0x89, 0xC5, 0x1E};
  p.resize(265, 0xFF);
  for (int slot : triggered)
    p[10 + (slot - 1) / 8] &= static_cast<uint8_t>(~(1u << ((slot - 1) % 8)));
  return p;
}

template <typename T>
T* Find(QWidget* parent, const QString& text) {
  for (T* w : parent->findChildren<T*>())
    if (w->text() == text) return w;
  return nullptr;
}

class MonitorPageWidgetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    widget = std::make_unique<MonitorPageWidget>(page);
    page.AttachView(&widget->view());
    page.Create();
    widget->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(widget.get()));
  }
  void TearDown() override {
    page.AttachView(nullptr);
    widget.reset();
  }
  QLineEdit* Box(int id) const { return qobject_cast<QLineEdit*>(widget->view().widget(id)); }

  QtHost host;
  RecordingSender sender;
  MonitorPage page{host, sender};
  std::unique_ptr<MonitorPageWidget> widget;
};

TEST_F(MonitorPageWidgetTest, TheTimelineMarksExactlyTheTriggeredSlotsAndNamesTheirTimes) {
  const Bytes record = Record({1, 100, 2040});
  page.OnRecord(record.data(), record.size());
  TimelineStrip* strip = widget->timeline();
  ASSERT_EQ(strip->timeline().triggered(), (std::vector<int>{0, 99, 2039}));

  // The red runs along the strip's middle stand at those three slots, and only there.
  const QImage picture = strip->grab().toImage();
  const QRect bar = strip->StripRect();
  const int y = bar.center().y();
  std::vector<std::pair<int, int>> runs;
  for (int x = 0; x < picture.width(); ++x) {
    if (picture.pixelColor(x, y) != TimelineStrip::kMarkColour) continue;
    if (!runs.empty() && runs.back().second == x - 1)
      runs.back().second = x;
    else
      runs.push_back({x, x});
  }
  ASSERT_EQ(runs.size(), 3u);
  const int marked[] = {0, 99, 2039};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_LE(runs[i].first, strip->SlotX(marked[i]) + 1) << i;
    EXPECT_GE(runs[i].second, strip->SlotX(marked[i]) - 1) << i;
  }

  // Pointing at slot 100, or a pixel beside it, shows its clock times.
  const QString slot100 = QStringLiteral("Slot 100 triggered: 7 Dec 09:13:45 to 09:13:50");
  for (int dx : {0, 1, -1}) {
    const QPoint at(strip->SlotX(99) + dx, y);
    QHelpEvent help(QEvent::ToolTip, at, strip->mapToGlobal(at));
    QApplication::sendEvent(strip, &help);
    EXPECT_EQ(QToolTip::text(), slot100) << dx;
  }
  EXPECT_EQ(strip->ToolTipAt(QPoint(strip->SlotX(2039), y)),
            QStringLiteral("Slot 2040 triggered: 7 Dec 11:55:25 to 11:55:30"));
  EXPECT_TRUE(strip->ToolTipAt(QPoint(strip->SlotX(1000), y)).contains(" normal: 7 Dec 10:28:"));
  EXPECT_TRUE(strip->accessibleDescription().endsWith(QStringLiteral("3 triggered: 1, 100, 2040")));
}

TEST_F(MonitorPageWidgetTest, TheRecordFieldShows100DigitsARowUnderItsRuler) {
  const Bytes record = Record({1, 100, 2040});
  page.OnRecord(record.data(), record.size());
  RecordView* field = widget->recordView();
  EXPECT_EQ(page.view().GetText(monitor_ids::kRecord).size(), 2040u);  // no breaks in the core
  ASSERT_EQ(field->document()->blockCount(), 21);
  for (int row = 0; row < 20; ++row)
    EXPECT_EQ(field->document()->findBlockByNumber(row).text().size(), 100) << row;
  EXPECT_EQ(field->document()->findBlockByNumber(20).text(), QString(39, '0') + "1");
  EXPECT_TRUE(field->document()->findBlockByNumber(0).text().startsWith("1000"));
  // Every digit lines up with the ruler above and every row with its label, in view.
  const qreal column = (field->ColumnLeft(100) - field->ColumnLeft(0)) / 100;
  EXPECT_GT(column, 0);
  EXPECT_DOUBLE_EQ(field->ColumnLeft(10) - field->ColumnLeft(0), 10 * column);
  EXPECT_LE(field->ColumnLeft(100), field->viewport()->geometry().right() + 1.0);
  const qreal row = field->RowTop(1) - field->RowTop(0);
  EXPECT_DOUBLE_EQ(field->RowTop(20) - field->RowTop(0), 20 * row);
  EXPECT_LE(field->RowTop(20) + row, field->viewport()->geometry().bottom() + 1.0);
}

TEST_F(MonitorPageWidgetTest, ControlsAreNamedAndReachTheCore) {
  QAccessibleInterface* record = QAccessible::queryAccessibleInterface(widget->recordView());
  EXPECT_EQ(record->text(QAccessible::Name), "Record");
  const std::pair<int, const char*> boxes[] = {
      {monitor_ids::kSlotLength, "Every time slot contain:"},
      {monitor_ids::kTotalTime, "Total time:"},
      {monitor_ids::kStartMonth, "M:"},
      {monitor_ids::kStartHour, "Time:"}};
  for (const auto& [id, name] : boxes)
    EXPECT_EQ(QAccessible::queryAccessibleInterface(Box(id))->text(QAccessible::Name), name);
  for (QWidget* w : widget->findChildren<QWidget*>()) {
    if (w->focusPolicy() == Qt::NoFocus || !w->isVisibleTo(widget.get())) continue;
    EXPECT_FALSE(QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name).isEmpty())
        << w->metaObject()->className();
  }

  // Enter in the slot length box shows the total time; the unit radios too.
  QLineEdit* length = Box(monitor_ids::kSlotLength);
  length->setFocus();
  length->selectAll();
  QTest::keyClicks(length, "5");
  QTest::keyClick(length, Qt::Key_Return);
  EXPECT_EQ(Box(monitor_ids::kTotalTime)->text(), " 2Hours 50Minutes");
  auto clickRadio = [&](const char* caption) {
    QRadioButton* radio = Find<QRadioButton>(widget.get(), caption);
    QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(6, radio->height() / 2));  // its circle
    return radio;
  };
  EXPECT_TRUE(clickRadio("Minutes")->isChecked());
  EXPECT_EQ(Box(monitor_ids::kTotalTime)->text(), "7Days 2Hours");
  // The working status only shows the box's state.
  EXPECT_FALSE(clickRadio("Stopped.")->isChecked());

  length->setText("256");
  QString text;
  testing::OnNextModal([&](QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) text = box->text();
    testing::PressButton(modal, "OK");
  });
  QTest::mouseClick(Find<QPushButton>(widget.get(), "New Start"), Qt::LeftButton);
  EXPECT_EQ(text, "Time slot must be 1~255.");
  QTest::mouseClick(Find<QPushButton>(widget.get(), "Read Status Record from Device"),
                    Qt::LeftButton);
  EXPECT_EQ(sender.sent, (std::vector<RecordingSender::Sent>{{0x8096, {}}}));
}

TEST(UtilityPageWidget, ValueBoxesAreNamedByTheirRowAndTheButtonAsks) {
  RecordingSender sender;
  UtilityPage page(sender);
  UtilityPageWidget widget(page);
  page.AttachView(&widget.view());
  page.Create();
  page.PrepareHeaderRows();
  widget.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));

  Bytes packet = {0x83, 0x01, 30, 0x00};
  packet.resize(34, 0x41);
  page.ShowInfoFrame(packet.data(), packet.size());
  auto* last = qobject_cast<QLineEdit*>(widget.view().widget(1181));
  ASSERT_NE(last, nullptr);
  EXPECT_TRUE(last->isVisibleTo(&widget));
  EXPECT_EQ(last->text(), "0x41");
  // A value in the normal text colour (read-only, not disabled), which a click focuses for
  // copying and Tab passes by.
  EXPECT_TRUE(last->isEnabled());
  EXPECT_TRUE(last->isReadOnly());
  EXPECT_EQ(last->focusPolicy(), Qt::ClickFocus);
  EXPECT_EQ(QAccessible::queryAccessibleInterface(last)->text(QAccessible::Name), "Data Byte 30");
  EXPECT_EQ(qobject_cast<QLineEdit*>(widget.view().widget(1117))->accessibleName(), "Check sum");

  QTest::mouseClick(Find<QPushButton>(&widget, "Read infoframe data"), Qt::LeftButton);
  EXPECT_EQ(sender.sent, (std::vector<RecordingSender::Sent>{{0x8092, {0x82}}}));
  page.AttachView(nullptr);
}

}  // namespace
}  // namespace sc
