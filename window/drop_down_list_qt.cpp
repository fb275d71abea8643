#include "window/drop_down_list_qt.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QScrollBar>
#include <QStyledItemDelegate>

namespace sc {

namespace {

// Makes the list open as a list of maxVisibleItems() rows that scrolls, not as a menu
// that some styles stretch over the whole screen.
class ScrollingPopupStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returned) const override {
    if (hint == QStyle::SH_ComboBox_Popup) return 0;
    return QProxyStyle::styleHint(hint, option, widget, returned);
  }
};

// One for every list, kept by the application: a style of each list's own would also make
// its own copy of the desktop's style, a few tenths of a millisecond of start-up apiece.
QStyle* PopupStyle() {
  static QPointer<ScrollingPopupStyle> shared;
  if (!shared) {
    shared = new ScrollingPopupStyle;
    shared->setParent(QCoreApplication::instance());
  }
  return shared;
}

constexpr int kNoteGap = 24;

// Draws an item's note right of its text, and an item without a note dimmed.
class NoteDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  // An item whose text already names its device (a network port's address) has no note.
  static QString NoteFor(const QModelIndex& index) {
    const QString tip = index.data(Qt::ToolTipRole).toString();
    if (!tip.isEmpty() && index.data(Qt::DisplayRole).toString().contains(tip)) return {};
    return DropDownList::NoteOf(tip);
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QString note = NoteFor(index);
    const bool selected = item.state & QStyle::State_Selected;
    if (index.data(Qt::ToolTipRole).toString().isEmpty() && !selected) {
      item.palette.setColor(QPalette::Text, item.palette.color(QPalette::Disabled, QPalette::Text));
    }
    const QWidget* widget = item.widget;
    QStyle* style = widget ? widget->style() : nullptr;
    if (style)
      style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
    else
      QStyledItemDelegate::paint(painter, option, index);
    if (note.isEmpty()) return;
    painter->save();
    painter->setPen(
        item.palette.color(selected ? QPalette::HighlightedText : QPalette::PlaceholderText));
    painter->drawText(item.rect.adjusted(0, 0, -item.fontMetrics.averageCharWidth(), 0),
                      Qt::AlignRight | Qt::AlignVCenter, note);
    painter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const QString note = NoteFor(index);
    if (!note.isEmpty())
      size.rwidth() += kNoteGap + option.fontMetrics.horizontalAdvance(note) +
                       option.fontMetrics.averageCharWidth();
    return size;
  }
};

}  // namespace

DropDownList::DropDownList(QWidget* parent) : QComboBox(parent) {
  setStyle(PopupStyle());
}

void DropDownList::SetShowsNotes(bool shows) {
  showsNotes_ = shows;
  if (shows)
    setItemDelegate(new NoteDelegate(this));
  else
    setItemDelegate(new QStyledItemDelegate(this));
}

QString DropDownList::NoteOf(const QString& tip) {
  QString note = tip;
  if (note.startsWith(QLatin1String("/dev/"))) note.remove(0, 5);
  if (note.startsWith(QLatin1String("serial/")))
    note = note.mid(note.lastIndexOf(QLatin1Char('/')) + 1);
  return note;
}

void DropDownList::showPopup() {
  if (showsNotes_) {
    // Wide enough for the longest text and note.
    int width = 0;
    for (int row = 0; row < count(); ++row)
      width = std::max(width, view()->sizeHintForIndex(model()->index(row, modelColumn())).width());
    width += view()->verticalScrollBar()->sizeHint().width() + 2 * view()->frameWidth() + 8;
    view()->setMinimumWidth(width);
  }
  QComboBox::showPopup();
}

}  // namespace sc
