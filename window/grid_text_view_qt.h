#pragma once
// A read-only box of a fixed number of rows of a fixed number of characters in a
// fixed-width font, as large as its text (no scrolling), with labels painted at the left
// of the rows and along the top, lined up with the rows and the characters: the EDID
// page's hex view and the monitor page's record field.

#include <QPlainTextEdit>
#include <QStringList>
#include <vector>

namespace sc {

class GridTextView : public QPlainTextEdit {
  Q_OBJECT

 public:
  struct ColumnLabel {
    int column;  // the character the label stands above
    QString text;
    bool endsThere;  // the label ends at the column's left edge instead of starting there
  };

  // `rowLabels` has one label a row; they stand right-aligned at the left of the text.
  GridTextView(QStringList rowLabels, int columns, std::vector<ColumnLabel> columnLabels,
               QWidget* parent = nullptr);

  // Where the labels stand, in the view's coordinates: the top of row `row` and the left
  // of character `column` of a row (both from 0).
  qreal RowTop(int row) const;
  qreal ColumnLeft(int column) const;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  class Labels;
  const QStringList rowLabels_;
  const std::vector<ColumnLabel> columnLabels_;
  Labels* rowLabelStrip_ = nullptr;
  Labels* columnLabelStrip_ = nullptr;
};

}  // namespace sc
