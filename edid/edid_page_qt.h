#pragma once
// The "EDID" page: the preset list, the four buttons, the hex view of the 256 bytes with
// its row and column labels, the status text, the three reports and the note on how to
// write a user slot. Clicks and the list's choice go to the core EdidPage.

#include <QPlainTextEdit>
#include <QString>
#include <string>

#include "window/grid_text_view_qt.h"
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
class HexView : public GridTextView {
  Q_OBJECT

 public:
  explicit HexView(QWidget* parent = nullptr);

  // The left of group `group` (0..15), in the view's coordinates.
  qreal GroupLeft(int group) const { return ColumnLeft(3 * group); }
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
