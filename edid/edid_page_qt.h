#pragma once
// The "EDID" page: the preset list, the four buttons, the hex view of the 256 bytes with
// its row and column labels, the status text, the three reports and the note on how to
// write a user slot. Clicks and the list's choice go to the core EdidPage.

#include <QPlainTextEdit>
#include <QString>
#include <string>

#include "window/page_widget_qt.h"

namespace sc {

class EdidPage;

// The hex text (groups of two digits and a space, no line breaks) as the hex view shows
// it: a line break after every 16th group, each row without its trailing space.
QString HexRows(const std::string& hexText);

// A report as its box shows it: CR LF line breaks, and every other control byte (a name
// descriptor may hold NUL, CR or anything else) as U+FFFD.
QString ReportText(const std::string& text);

// The hex view: a fixed-size read-only box of 16 rows of 16 groups in a fixed-width font,
// row labels "00".."f0" at its left and column labels "00", "08", "0F" above.
class HexView : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit HexView(QWidget* parent = nullptr);

  // Where the labels stand, in the view's coordinates: the top of row `row` (0..15) and
  // the left of group `group` (0..15).
  qreal RowTop(int row) const;
  qreal GroupLeft(int group) const;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  class Labels;
  Labels* rowLabels_ = nullptr;
  Labels* columnLabels_ = nullptr;
};

class EdidPageWidget : public PageWidget {
  Q_OBJECT

 public:
  explicit EdidPageWidget(EdidPage& page, QWidget* parent = nullptr);

  HexView* hexView() const { return hexView_; }

 private:
  HexView* hexView_ = nullptr;
};

}  // namespace sc
