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
    {StatusBarModel::kPortField, "Port", "The COM port and the device behind it"},
    {StatusBarModel::kRateField, "Line rate", "The rate the port runs at"},
    {StatusBarModel::kLinkField, "Link", "The state of the link to the box"},
    {StatusBarModel::kLastAnswerField, "Last answer",
     "The box whose answer the console took last (its address) and the time"},
    {StatusBarModel::kActivityField, "Activity",
     "What the console waits for, a preview or upload under way, or a request the box did "
     "not answer"},
    {StatusBarModel::kFilesField, "Files", "Where saved EDID files, reports and pictures go"},
};

// Texts that can be long (a by-id device path, a deep folder, a request's whole story) are
// cut in the middle to this width, so that the status bar never widens the window; the
// whole text stays the label's accessible name and tooltip.
constexpr int kMaxFieldWidth = 360;

}  // namespace

StatusBarWidget::StatusBarWidget(StatusBarModel& status, QWidget* parent)
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
    if (entry.field == StatusBarModel::kActivityField)
      label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    if (entry.field == StatusBarModel::kFilesField)
      addPermanentWidget(label);
    else
      addWidget(label, entry.field == StatusBarModel::kActivityField ? 1 : 0);
  }
  status_.onChange = [this](unsigned fields) { Show(fields); };
  Show(~0u);
}

StatusBarWidget::~StatusBarWidget() {
  status_.onChange = nullptr;
}

QLabel* StatusBarWidget::field(unsigned field) const {
  auto it = labels_.find(field);
  return it == labels_.end() ? nullptr : it->second;
}

void StatusBarWidget::Show(unsigned fields) {
  const std::pair<unsigned, const std::string*> texts[] = {
      {StatusBarModel::kPortField, &status_.port()},
      {StatusBarModel::kRateField, &status_.rate()},
      {StatusBarModel::kLinkField, &status_.link()},
      {StatusBarModel::kLastAnswerField, &status_.lastAnswer()},
      {StatusBarModel::kActivityField, &status_.activity()},
      {StatusBarModel::kFilesField, &status_.files()}};
  for (const auto& [id, text] : texts) {
    if (!(fields & id)) continue;
    QLabel* label = labels_[id];
    const QString whole = QString::fromStdString(*text);
    const QString shown = label->fontMetrics().elidedText(whole, Qt::ElideMiddle, kMaxFieldWidth);
    label->setText(shown);
    label->setAccessibleName(whole);
    label->setToolTip(shown != whole ? whole : tips_[id]);
    if (id == StatusBarModel::kActivityField) {
      // A request the box left unanswered stands out.
      QFont font = label->font();
      font.setBold(whole.startsWith(QLatin1String(kNoAnswerText)));
      label->setFont(font);
    }
  }
}

}  // namespace sc
