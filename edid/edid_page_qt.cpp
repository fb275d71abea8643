#include "edid/edid_page_qt.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "edid/edid_page.h"
#include "window/qt_host.h"
#include "window/read_only_qt.h"

namespace sc {

namespace {

constexpr int kRows = 16;
constexpr int kGroupsPerRow = 16;
constexpr int kRowChars = kGroupsPerRow * 3 - 1;  // "00 FF ... 00", no trailing space

// Row labels "00".."f0".
QStringList HexRowLabels() {
  QStringList labels;
  for (int row = 0; row < kRows; ++row)
    labels << QStringLiteral("%1").arg(row * kGroupsPerRow, 2, 16, QLatin1Char('0'));
  return labels;
}

// Column labels: above the first, the ninth and the last group of a row.
std::vector<GridTextView::ColumnLabel> HexColumnLabels() {
  return {{0, QStringLiteral("00"), false},
          {3 * 8, QStringLiteral("08"), false},
          {3 * 15, QStringLiteral("0F"), false}};
}

// A read-only multi-line box whose text the core sets.
void MakeDisplayBox(QPlainTextEdit* box) {
  box->setReadOnly(true);
  box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  box->setTabChangesFocus(true);
  box->setUndoRedoEnabled(false);
}

}  // namespace

QString HexRows(const std::string& hexText) {
  QString shown;
  shown.reserve(static_cast<qsizetype>(hexText.size()));
  int groups = 0;
  for (const char c : hexText) {
    if (c == ' ' && ++groups % kGroupsPerRow == 0) {
      shown += QLatin1Char('\n');
      continue;
    }
    shown += QLatin1Char(c);
  }
  if (shown.endsWith(QLatin1Char('\n'))) shown.chop(1);
  return shown;
}

QString ReportText(const std::string& text) {
  QString shown = FromCoreText(text);
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  for (QChar& c : shown) {
    if (c == QLatin1Char('\n')) continue;
    switch (c.category()) {
      case QChar::Other_Control:  // NUL, a lone CR, DEL, C1 controls
      case QChar::Other_Format:   // direction overrides and other invisible marks
      case QChar::Separator_Line:
      case QChar::Separator_Paragraph:
        c = QChar(QChar::ReplacementCharacter);
        break;
      default:
        break;
    }
  }
  return shown;
}

// ---------------------------------------------------------------------------------------
// The hex view

HexView::HexView(QWidget* parent)
    : GridTextView(HexRowLabels(), kRowChars, HexColumnLabels(), parent) {}

// ---------------------------------------------------------------------------------------
// The page

EdidPageWidget::EdidPageWidget(EdidPage& page, QWidget* parent) : PageWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  auto* upper = new QHBoxLayout;
  layout->addLayout(upper);

  hexView_ = new HexView(this);
  hexView_->setAccessibleName(QStringLiteral("EDID data"));
  view_.BindTextDisplay(edid_ids::kHexText, hexView_,
                        [box = QPointer<HexView>(hexView_)](const std::string& text) {
                          if (box) box->setPlainText(HexRows(text));
                        });
  upper->addWidget(hexView_, 0, Qt::AlignTop);

  auto* side = new QVBoxLayout;
  upper->addLayout(side, 1);

  auto* listCaption = new QLabel(QStringLiteral("EDID selection:"), this);
  auto* list = new QComboBox(this);
  list->setAccessibleName(listCaption->text());
  list->setMaxVisibleItems(kPresetCount);
  list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  listCaption->setBuddy(list);
  view_.Bind(edid_ids::kSelectionList, list);
  // The user's choice, also the same entry again.
  connect(list, &QComboBox::activated, this, [&page] { page.SelectEdidPreset(); });
  side->addWidget(listCaption);
  side->addWidget(list);

  struct Button {
    int id;
    const char* caption;
    void (EdidPage::*action)();
  };
  const Button buttons[] = {
      {edid_ids::kOpenFile, "Open file", &EdidPage::OpenEdidFile},
      {edid_ids::kSaveToFile, "Save to file", &EdidPage::SaveEdidFile},
      {edid_ids::kSaveAs, "Save As...", &EdidPage::SaveEdidFileAs},
      {edid_ids::kWriteUserEdid, "Write to USER EDID", &EdidPage::WriteUserEdid},
      {edid_ids::kReadFromDevice, "Read EDID from device", &EdidPage::ReadEdidFromDevice}};
  for (const Button& entry : buttons) {
    auto* button = new QPushButton(QString::fromLatin1(entry.caption), this);
    // Enter on the focused button presses it, wherever the page stands.
    button->setAutoDefault(true);
    view_.Bind(entry.id, button);
    connect(button, &QPushButton::clicked, this,
            [&page, action = entry.action] { (page.*action)(); });
    side->addWidget(button);
  }
  // "Compare...": the page's image against a file; or against the EDID last read from the
  // box. Two buttons rather than a menu: each reachable by its caption.
  auto* compare = new QPushButton(QStringLiteral("Compare..."), this);
  auto* compareLastRead = new QPushButton(QStringLiteral("Compare with last read"), this);
  for (QPushButton* button : {compare, compareLastRead}) {
    button->setAutoDefault(true);
    side->addWidget(button);
  }
  // "Edit...": the editor on the page's image.
  auto* editButton = new QPushButton(QStringLiteral("Edit..."), this);
  editButton->setAutoDefault(true);
  side->addWidget(editButton);
  view_.Bind(edid_ids::kEditEdid, editButton);
  connect(editButton, &QPushButton::clicked, this, [&page] { page.EditEdid(); });
  view_.Bind(edid_ids::kCompare, compare);
  view_.Bind(edid_ids::kCompareLastRead, compareLastRead);
  connect(compare, &QPushButton::clicked, this, [&page] { page.CompareWithFile(); });
  connect(compareLastRead, &QPushButton::clicked, this, [&page] { page.CompareWithLastRead(); });

  auto* status = new QLabel(this);
  status->setTextFormat(Qt::PlainText);
  status->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  status->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  status->setAccessibleDescription(QStringLiteral("CHKSUM status"));
  MakeSelectableValue(status);
  // Room for the longest verdict, three lines, so the page does not move when it changes.
  status->setMinimumHeight(3 * status->fontMetrics().lineSpacing() + 2 * status->frameWidth() + 4);
  view_.Bind(edid_ids::kStatusText, status);
  side->addWidget(status);

  auto* note = new QLabel(DisplayText(kWriteStepNote), this);
  note->setTextFormat(Qt::PlainText);
  note->setWordWrap(true);
  side->addWidget(note);
  side->addStretch(1);

  struct Report {
    int id;
    const char* caption;
  };
  const Report reports[] = {{edid_ids::kGeneralText, "General Info:"},
                            {edid_ids::kVideoText, "Video Information:"},
                            {edid_ids::kAudioText, "Audio Information:"}};
  // Below: the three reports, the full decode and the comparison, one tab each.
  auto* views = new QTabWidget(this);
  views->setAccessibleName(QStringLiteral("EDID views"));
  auto* reportsTab = new QWidget(views);
  auto* lower = new QGridLayout(reportsTab);
  lower->setContentsMargins(4, 4, 4, 4);
  for (size_t i = 0; i < std::size(reports); ++i) {
    auto* caption = new QLabel(QString::fromLatin1(reports[i].caption), reportsTab);
    auto* box = new QPlainTextEdit(reportsTab);
    MakeDisplayBox(box);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setAccessibleName(caption->text());
    // One report line, one row: a long line ("Extension Detailed Timing1:...") scrolls
    // sideways rather than breaking in two.
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    box->setMinimumSize(box->fontMetrics().horizontalAdvance(QString(30, QLatin1Char('x'))),
                        12 * box->fontMetrics().lineSpacing());
    caption->setBuddy(box);
    view_.BindTextDisplay(reports[i].id, box,
                          [shown = QPointer<QPlainTextEdit>(box)](const std::string& text) {
                            if (shown) shown->setPlainText(ReportText(text));
                          });
    const int column = static_cast<int>(i);
    lower->addWidget(caption, 0, column);
    lower->addWidget(box, 1, column);
    // The reports share the page's width.
    lower->setColumnStretch(column, 1);
  }
  views->addTab(reportsTab, QStringLiteral("Reports"));

  auto* full = new QPlainTextEdit(views);
  MakeDisplayBox(full);
  full->setAccessibleName(QStringLiteral("Full decode"));
  full->setLineWrapMode(QPlainTextEdit::NoWrap);
  full->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  view_.BindTextDisplay(edid_ids::kFullDecodeText, full,
                        [shown = QPointer<QPlainTextEdit>(full)](const std::string& text) {
                          if (shown) shown->setPlainText(ReportText(text));
                        });
  views->addTab(full, QStringLiteral("Full decode"));

  auto* comparison = new QWidget(views);
  auto* comparisonLayout = new QVBoxLayout(comparison);
  auto* summaryCaption = new QLabel(QStringLiteral("Compared:"), comparison);
  auto* summary = new QLabel(comparison);
  summary->setTextFormat(Qt::PlainText);
  summary->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  summaryCaption->setBuddy(summary);
  view_.Bind(edid_ids::kCompareSummary, summary);
  auto* differencesCaption = new QLabel(QStringLiteral("Differences:"), comparison);
  auto* differences = new QListWidget(comparison);
  differences->setAccessibleName(QStringLiteral("Differences"));
  differencesCaption->setBuddy(differences);
  view_.Bind(edid_ids::kDifferenceList, differences);
  comparisonLayout->addWidget(summaryCaption);
  comparisonLayout->addWidget(summary);
  comparisonLayout->addWidget(differencesCaption);
  comparisonLayout->addWidget(differences, 1);
  views->addTab(comparison, QStringLiteral("Comparison"));

  view_.Bind(edid_ids::kViews, views->tabBar());
  layout->addWidget(views, 1);
}

}  // namespace sc
