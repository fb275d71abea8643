#pragma once
// The "Monitor" page: the slot and trigger settings, the start time, the working status,
// the three buttons, the record field (100 digits a row under a ruler of 10..100, rows
// labelled " 1".."2001") and beside it a timeline strip of the 2040 slots.

#include <QPlainTextEdit>
#include <QString>
#include <QWidget>
#include <string>

#include "monitor/monitor_timeline.h"
#include "window/grid_text_view_qt.h"
#include "window/page_widget_qt.h"

namespace sc {

class MonitorPage;

// The record's digits as the record field shows them: rows of 100.
QString RecordRows(const std::string& digits);

// The record field: a read-only box of 21 rows of 100 digits in a fixed-width font, its
// row labels at the left and the ruler above.
class RecordView : public GridTextView {
  Q_OBJECT

 public:
  static constexpr int kRows = 21;
  static constexpr int kColumns = 100;

  explicit RecordView(QWidget* parent = nullptr);
};

// The recording drawn along one strip: the 2040 slots from the start to the end, the
// recorded part shaded, the triggered slots marked, clock times at the ends and at ticks
// between. Pointing at the strip shows the slot there (the nearest marked one within a
// few pixels) with its time span.
class TimelineStrip : public QWidget {
  Q_OBJECT

 public:
  explicit TimelineStrip(QWidget* parent = nullptr);

  void SetTimeline(MonitorTimeline timeline);
  const MonitorTimeline& timeline() const { return timeline_; }

  // The strip's rectangle and the horizontal centre of a slot in it.
  QRect StripRect() const;
  int SlotX(int slot) const;
  // The slot the pointer at `pos` refers to, or -1 off the strip.
  int SlotAtPoint(const QPoint& pos) const;
  // The tooltip at `pos` (empty off the strip).
  QString ToolTipAt(const QPoint& pos) const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

  static const QColor kMarkColour;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;

 private:
  MonitorTimeline timeline_;
};

class MonitorPageWidget : public PageWidget {
  Q_OBJECT

 public:
  explicit MonitorPageWidget(MonitorPage& page, QWidget* parent = nullptr);

  RecordView* recordView() const { return recordView_; }
  TimelineStrip* timeline() const { return timeline_; }

 private:
  RecordView* recordView_ = nullptr;
  TimelineStrip* timeline_ = nullptr;
};

}  // namespace sc
