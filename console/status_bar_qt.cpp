#include "console/status_bar_qt.h"

#include <QLabel>

namespace sc {

namespace {

struct FieldEntry {
  unsigned field;
  const char* description;
  const char* tip;
};
constexpr FieldEntry kFields[] = {
    {ConsoleStatus::kPortField, "Port", "The COM port and the device behind it"},
    {ConsoleStatus::kRateField, "Line rate", "The rate the port runs at"},
    {ConsoleStatus::kLinkField, "Link", "The state of the link to the box"},
    {ConsoleStatus::kLastAnswerField, "Last answer",
     "The box whose answer the console took last (its address) and the time"},
    {ConsoleStatus::kActivityField, "Activity",
     "What the console waits for, a preview or upload under way, or a request the box did "
     "not answer"},
    {ConsoleStatus::kFilesField, "Files", "Where saved EDID files, reports and pictures go"},
};

// Texts that can be long (a by-id device path, a deep folder, a request's whole story) are
// cut in the middle to this width, so that the status bar never widens the window; the
// whole text stays the label's accessible name and tooltip.
constexpr int kMaxFieldWidth = 360;

}  // namespace

ConsoleStatusBar::ConsoleStatusBar(ConsoleStatus& status, QWidget* parent)
    : QStatusBar(parent), status_(status) {
  setSizeGripEnabled(false);
  setAccessibleName(QStringLiteral("Status bar"));
  for (const FieldEntry& entry : kFields) {
    auto* label = new QLabel(this);
    label->setTextFormat(Qt::PlainText);
    // Panes, as an instrument's status bar shows them.
    label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    label->setMargin(2);
    label->setAccessibleDescription(QString::fromLatin1(entry.description));
    tips_[entry.field] = QString::fromLatin1(entry.tip);
    label->setToolTip(tips_[entry.field]);
    labels_[entry.field] = label;
    if (entry.field == ConsoleStatus::kActivityField)
      label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    if (entry.field == ConsoleStatus::kFilesField)
      addPermanentWidget(label);
    else
      addWidget(label, entry.field == ConsoleStatus::kActivityField ? 1 : 0);
  }
  status_.onChange = [this](unsigned fields) { Show(fields); };
  Show(~0u);
}

ConsoleStatusBar::~ConsoleStatusBar() {
  status_.onChange = nullptr;
}

QLabel* ConsoleStatusBar::field(unsigned field) const {
  auto it = labels_.find(field);
  return it == labels_.end() ? nullptr : it->second;
}

void ConsoleStatusBar::Show(unsigned fields) {
  const std::pair<unsigned, const std::string*> texts[] = {
      {ConsoleStatus::kPortField, &status_.port()},
      {ConsoleStatus::kRateField, &status_.rate()},
      {ConsoleStatus::kLinkField, &status_.link()},
      {ConsoleStatus::kLastAnswerField, &status_.lastAnswer()},
      {ConsoleStatus::kActivityField, &status_.activity()},
      {ConsoleStatus::kFilesField, &status_.files()}};
  for (const auto& [id, text] : texts) {
    if (!(fields & id)) continue;
    QLabel* label = labels_[id];
    const QString whole = QString::fromStdString(*text);
    const QString shown = label->fontMetrics().elidedText(whole, Qt::ElideMiddle, kMaxFieldWidth);
    label->setText(shown);
    label->setAccessibleName(whole);
    label->setToolTip(shown != whole ? whole : tips_[id]);
    if (id == ConsoleStatus::kActivityField) {
      // A request the box left unanswered stands out.
      QFont font = label->font();
      font.setBold(whole.startsWith(QLatin1String(kNoAnswerText)));
      label->setFont(font);
    }
  }
}

}  // namespace sc
