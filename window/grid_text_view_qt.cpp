#include "window/grid_text_view_qt.h"

#include <QFontDatabase>
#include <QPainter>
#include <QTextBlock>
#include <algorithm>
#include <cmath>

namespace sc {

namespace {

QFont FixedFont() {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setStyleHint(QFont::Monospace);
  font.setFixedPitch(true);
  return font;
}

}  // namespace

// Paints the row labels (at the view's left) or the column labels (above it).
class GridTextView::Labels : public QWidget {
 public:
  enum class Kind { Rows, Columns };
  Labels(GridTextView* view, Kind kind) : QWidget(view), view_(view), kind_(kind) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setFont(view_->font());
    painter.setPen(palette().color(QPalette::WindowText));
    const QFontMetricsF metrics(view_->font());
    if (kind_ == Kind::Rows) {
      for (int row = 0; row < view_->rowLabels_.size(); ++row) {
        const QString& label = view_->rowLabels_[row];
        painter.drawText(
            QPointF(width() - metrics.horizontalAdvance(label) - metrics.averageCharWidth(),
                    view_->RowTop(row) - y() + metrics.ascent()),
            label);
      }
    } else {
      for (const ColumnLabel& label : view_->columnLabels_) {
        const qreal left = view_->ColumnLeft(label.column) - x() -
                           (label.endsThere ? metrics.horizontalAdvance(label.text) : 0);
        painter.drawText(QPointF(left, metrics.ascent()), label.text);
      }
    }
  }

 private:
  GridTextView* view_;
  Kind kind_;
};

GridTextView::GridTextView(QStringList rowLabels, int columns,
                           std::vector<ColumnLabel> columnLabels, QWidget* parent)
    : QPlainTextEdit(parent),
      rowLabels_(std::move(rowLabels)),
      columnLabels_(std::move(columnLabels)) {
  setReadOnly(true);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setTabChangesFocus(true);
  setUndoRedoEnabled(false);
  setFont(FixedFont());
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setWordWrapMode(QTextOption::NoWrap);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

  rowLabelStrip_ = new Labels(this, Labels::Kind::Rows);
  columnLabelStrip_ = new Labels(this, Labels::Kind::Columns);
  const QFontMetricsF metrics(font());
  qreal widestLabel = 0;
  for (const QString& label : rowLabels_)
    widestLabel = std::max(widestLabel, metrics.horizontalAdvance(label));
  const int left = static_cast<int>(std::ceil(widestLabel + 2 * metrics.averageCharWidth()));
  const int top = static_cast<int>(std::ceil(metrics.height())) + 2;
  setViewportMargins(left, top, 0, 0);

  // Room for exactly the rows and columns: the box is as wide and as high as its text.
  const qreal margin = document()->documentMargin();
  const int textWidth = static_cast<int>(
      std::ceil(metrics.horizontalAdvance(QString(columns, QLatin1Char('0'))) + 2 * margin));
  // A row may take a whole pixel more than the font's line spacing.
  const int textHeight = static_cast<int>(rowLabels_.size() * std::ceil(metrics.lineSpacing()) +
                                          std::ceil(2 * margin));
  setFixedSize(2 * frameWidth() + left + textWidth + cursorWidth() + 2,
               2 * frameWidth() + top + textHeight + 2);

  connect(this, &QPlainTextEdit::updateRequest, this, [this] {
    rowLabelStrip_->update();
    columnLabelStrip_->update();
  });
}

qreal GridTextView::RowTop(int row) const {
  const QTextBlock first = document()->firstBlock();
  const QRectF firstRow = blockBoundingGeometry(first).translated(contentOffset());
  const QTextBlock block = document()->findBlockByNumber(row);
  // Rows the text does not have yet sit where its lines would (an empty block can be
  // taller than a line).
  const qreal top = block.isValid() && block.isVisible()
                        ? blockBoundingGeometry(block).translated(contentOffset()).top()
                        : firstRow.top() + row * QFontMetricsF(font()).lineSpacing();
  return viewport()->geometry().top() + top;
}

qreal GridTextView::ColumnLeft(int column) const {
  const QFontMetricsF metrics(font());
  return viewport()->geometry().left() + contentOffset().x() + document()->documentMargin() +
         metrics.horizontalAdvance(QString(column, QLatin1Char('0')));
}

void GridTextView::resizeEvent(QResizeEvent* event) {
  QPlainTextEdit::resizeEvent(event);
  const QRect contents = contentsRect();
  const QRect port = viewport()->geometry();
  rowLabelStrip_->setGeometry(contents.left(), contents.top(), port.left() - contents.left(),
                              contents.height());
  columnLabelStrip_->setGeometry(port.left(), contents.top(), port.width(),
                                 port.top() - contents.top());
}

}  // namespace sc
