#include "infoframe/utility_page_qt.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "infoframe/utility_page.h"
#include "window/read_only_qt.h"

namespace sc {

namespace {
// Rows 1-18 stand in the left column, 19-34 in the right one.
constexpr int kLeftColumnRows = 18;
}  // namespace

UtilityPageWidget::UtilityPageWidget(UtilityPage& page, QWidget* parent) : PageWidget(parent) {
  auto* layout = new QVBoxLayout(this);

  auto* typeRow = new QHBoxLayout;
  auto* types = new QComboBox(this);
  // Editable as the box always was; typed text selects no packet type.
  types->setEditable(true);
  types->setInsertPolicy(QComboBox::NoInsert);
  types->setAccessibleName(QStringLiteral("Packet type"));
  types->setMinimumContentsLength(14);
  view_.Bind(utility_ids::kPacketList, types);
  typeRow->addWidget(types);
  auto* read = new QPushButton(QStringLiteral("Read infoframe data"), this);
  // Enter on the focused button presses it.
  read->setAutoDefault(true);
  view_.Bind(utility_ids::kReadInfoFrame, read);
  connect(read, &QPushButton::clicked, this, [&page] { page.ReadInfoFrame(); });
  typeRow->addSpacing(12);
  typeRow->addWidget(read);
  typeRow->addStretch(1);
  layout->addLayout(typeRow);

  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(2);
  for (int row = 0; row < utility_ids::kGridRows; ++row) {
    // Both boxes only display: the reply sets them. Read-only, not disabled: in the normal
    // text colour, selectable and copyable.
    auto* label = new QLineEdit(this);
    auto* value = new QLineEdit(this);
    for (QLineEdit* box : {label, value}) {
      MakeReadOnlyValue(box);
      // Rows come and go with each reply; the grid keeps its places.
      QSizePolicy policy = box->sizePolicy();
      policy.setRetainSizeWhenHidden(true);
      box->setSizePolicy(policy);
    }
    label->setFixedWidth(
        label->fontMetrics().horizontalAdvance(QStringLiteral("InfoFrame Type code")) + 24);
    value->setFixedWidth(value->fontMetrics().horizontalAdvance(QStringLiteral("0x00")) + 16);
    label->setAccessibleName(QStringLiteral("Row %1").arg(row + 1));
    value->setAccessibleName(QStringLiteral("Row %1 value").arg(row + 1));
    // The value is named after the label box beside it ("Data Byte 3").
    connect(label, &QLineEdit::textChanged, value, [value, row](const QString& text) {
      value->setAccessibleName(
          text.trimmed().isEmpty() ? QStringLiteral("Row %1 value").arg(row + 1) : text.trimmed());
    });
    view_.Bind(utility_ids::kGridLabel[row], label);
    view_.Bind(utility_ids::kGridValue[row], value);
    const int gridRow = row < kLeftColumnRows ? row : row - kLeftColumnRows;
    const int column = row < kLeftColumnRows ? 0 : 3;
    grid->addWidget(label, gridRow, column);
    grid->addWidget(value, gridRow, column + 1);
  }
  grid->setColumnMinimumWidth(2, 16);
  // The grid keeps its rows together at the top, however tall the lists beside it grow.
  auto* gridColumn = new QVBoxLayout;
  gridColumn->addLayout(grid);
  gridColumn->addStretch(1);
  auto* body = new QHBoxLayout;
  body->addLayout(gridColumn);
  body->addSpacing(12);

  // Beside the grid, the packet in words and what the checks found: each list named by
  // its caption, each row a text a screen reader reads as it is.
  auto* lists = new QVBoxLayout;
  struct List {
    int id;
    const char* caption;
    int stretch;
  };
  for (const List& entry : {List{utility_ids::kDecodedList, "Decoded", 3},
                            List{utility_ids::kChecksList, "Checks", 1}}) {
    auto* caption = new QLabel(QString::fromLatin1(entry.caption), this);
    auto* list = new QListWidget(this);
    list->setAccessibleName(caption->text());
    caption->setBuddy(list);
    list->setWordWrap(true);
    // A long row wraps: alternate shades keep the rows apart.
    list->setAlternatingRowColors(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setMinimumWidth(list->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 52);
    view_.Bind(entry.id, list);
    lists->addWidget(caption);
    lists->addWidget(list, entry.stretch);
  }
  body->addLayout(lists, 1);
  layout->addLayout(body, 1);

  auto* note = new QLabel(
      QStringLiteral("Note: HDMI infoframe data analyzer is only for  technical engineer to check "
                     "whether the dataframe of HDMI is right or not (based on HDMI and CEA-861 "
                     "documents)."),
      this);
  note->setTextFormat(Qt::PlainText);
  note->setWordWrap(true);
  layout->addWidget(note);
}

}  // namespace sc
