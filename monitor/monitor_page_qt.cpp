#include "monitor/monitor_page_qt.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "monitor/monitor_page.h"
#include "window/read_only_qt.h"

namespace sc {

namespace {

// Ticks between the two ends of the timeline.
constexpr int kTickIntervals = 6;
// How far (in pixels) the pointer may be from a marked slot and still name it.
constexpr int kPointerReach = 3;
constexpr int kStripHeight = 18;
constexpr int kTickLength = 4;

// " 1", "101", ... "2001".
QStringList RecordRowLabels() {
  QStringList labels{QStringLiteral(" 1")};
  for (int row = 1; row < RecordView::kRows; ++row)
    labels << QString::number(row * RecordView::kColumns + 1);
  return labels;
}

// "10" ends above the tenth digit, "100" above the hundredth.
std::vector<GridTextView::ColumnLabel> RulerLabels() {
  std::vector<GridTextView::ColumnLabel> labels;
  for (int mark = 10; mark <= RecordView::kColumns; mark += 10)
    labels.push_back({mark, QString::number(mark), true});
  return labels;
}

}  // namespace

QString RecordRows(const std::string& digits) {
  QString shown;
  shown.reserve(static_cast<qsizetype>(digits.size() + digits.size() / RecordView::kColumns));
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && i % RecordView::kColumns == 0) shown += QLatin1Char('\n');
    shown += QLatin1Char(digits[i]);
  }
  return shown;
}

// ---------------------------------------------------------------------------------------
// The record field

RecordView::RecordView(QWidget* parent)
    : GridTextView(RecordRowLabels(), kColumns, RulerLabels(), parent) {}

// ---------------------------------------------------------------------------------------
// The timeline

const QColor TimelineStrip::kMarkColour(0xD0, 0x20, 0x20);

TimelineStrip::TimelineStrip(QWidget* parent) : QWidget(parent) {
  setAccessibleName(QStringLiteral("Timeline"));
  setFocusPolicy(Qt::NoFocus);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  SetTimeline(MonitorTimeline());
}

void TimelineStrip::SetTimeline(MonitorTimeline timeline) {
  timeline_ = std::move(timeline);
  const auto& marked = timeline_.triggered();
  QString summary = QStringLiteral("%1 of 2040 slots recorded, %2 triggered")
                        .arg(timeline_.recorded())
                        .arg(marked.size());
  if (!marked.empty()) {
    QStringList numbers;
    for (size_t i = 0; i < marked.size() && i < 20; ++i)
      numbers << QString::number(marked[i] + 1);
    summary += QStringLiteral(": ") + numbers.join(QStringLiteral(", "));
    if (marked.size() > 20) summary += QStringLiteral(", ...");
  }
  setAccessibleDescription(summary);
  update();
}

QRect TimelineStrip::StripRect() const {
  // The end labels stand centred under the ends; a frame of one pixel goes round.
  const int side = fontMetrics().horizontalAdvance(QStringLiteral("30 Dec 00:00")) / 2 + 2;
  return QRect(side, 3, std::max(2, width() - 2 * side), kStripHeight);
}

int TimelineStrip::SlotX(int slot) const {
  const QRect strip = StripRect();
  return strip.left() + static_cast<int>((slot + 0.5) * strip.width() / MonitorTimeline::kSlots);
}

int TimelineStrip::SlotAtPoint(const QPoint& pos) const {
  const QRect strip = StripRect();
  if (pos.x() < strip.left() || pos.x() > strip.right() || pos.y() < 0 || pos.y() >= height())
    return -1;
  // The slot under the middle of the pixel.
  return MonitorTimeline::SlotAt((pos.x() - strip.left() + 0.5) / strip.width());
}

QString TimelineStrip::ToolTipAt(const QPoint& pos) const {
  const int slot = SlotAtPoint(pos);
  if (slot < 0) return {};
  const int reach = static_cast<int>(std::ceil(
      kPointerReach * static_cast<double>(MonitorTimeline::kSlots) / StripRect().width()));
  const std::optional<int> marked = timeline_.TriggeredNear(slot, reach);
  return QString::fromStdString(timeline_.SlotText(marked ? *marked : slot));
}

QSize TimelineStrip::sizeHint() const {
  const int height = 3 + kStripHeight + 2 + kTickLength + fontMetrics().height() + 2;
  return QSize(600, height);
}

QSize TimelineStrip::minimumSizeHint() const {
  return QSize(300, sizeHint().height());
}

void TimelineStrip::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect strip = StripRect();
  const double perSlot = static_cast<double>(strip.width()) / MonitorTimeline::kSlots;
  auto slotLeft = [&](int slot) {
    return strip.left() + static_cast<int>(std::floor(slot * perSlot));
  };

  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawRect(strip.adjusted(-1, -1, 0, 0));
  painter.fillRect(strip, palette().color(QPalette::Base));
  if (timeline_.recorded() > 0)
    painter.fillRect(QRect(strip.left(), strip.top(), slotLeft(timeline_.recorded()) - strip.left(),
                           strip.height()),
                     QColor(0xA8, 0xD8, 0xA8));
  // A marked slot stays visible however narrow a slot is, the last one too.
  for (int slot : timeline_.triggered()) {
    const int left = std::min(slotLeft(slot), strip.right() - 1);
    const int right = std::max(left + 2, slotLeft(slot + 1));
    painter.fillRect(QRect(left, strip.top(), right - left, strip.height()), kMarkColour);
  }

  const QFontMetrics metrics = fontMetrics();
  for (const MonitorTimeline::Tick& tick : timeline_.Ticks(kTickIntervals)) {
    const int x = std::min(strip.right(), slotLeft(tick.slot));
    painter.drawLine(x, strip.bottom() + 2, x, strip.bottom() + 1 + kTickLength);
    const QString label = QString::fromStdString(tick.label);
    const int labelWidth = metrics.horizontalAdvance(label);
    const int left = std::clamp(x - labelWidth / 2, 0, std::max(0, width() - labelWidth));
    painter.drawText(left, strip.bottom() + 2 + kTickLength + metrics.ascent(), label);
  }
}

bool TimelineStrip::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const QString text = ToolTipAt(help->pos());
    if (text.isEmpty()) {
      QToolTip::hideText();
      event->ignore();
    } else {
      QToolTip::showText(help->globalPos(), text, this);
    }
    return true;
  }
  return QWidget::event(event);
}

// ---------------------------------------------------------------------------------------
// The page

MonitorPageWidget::MonitorPageWidget(MonitorPage& page, QWidget* parent) : PageWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  auto* outer = new QGroupBox(
      QStringLiteral("Signal Monitor (Total time slot number is 2040 , every time slot is 1~255 "
                     "seconds or minutes)"),
      this);
  layout->addWidget(outer);
  auto* inside = new QVBoxLayout(outer);

  // A number box with its caption as its label.
  auto numberBox = [this](int id, QLabel* caption, int digits) {
    auto* box = new QLineEdit(this);
    box->setFixedWidth(box->fontMetrics().horizontalAdvance(QString(digits, QLatin1Char('0'))) +
                       16);
    caption->setBuddy(box);
    box->setAccessibleName(caption->text());
    view_.Bind(id, box);
    return box;
  };

  auto* settings = new QHBoxLayout;
  inside->addLayout(settings);

  auto* slotGroup = new QGroupBox(QStringLiteral("Time slot setting"), outer);
  auto* slotGrid = new QGridLayout(slotGroup);
  auto* seconds = new QRadioButton(QStringLiteral("Seconds"), slotGroup);
  auto* minutes = new QRadioButton(QStringLiteral("Minutes"), slotGroup);
  view_.BindRadioGroup(monitor_ids::kSeconds, {seconds, minutes});
  for (QRadioButton* unit : {seconds, minutes})
    connect(unit, &QRadioButton::clicked, this, [&page] { page.OnSlotUnitClicked(); });
  slotGrid->addWidget(seconds, 0, 0);
  slotGrid->addWidget(minutes, 0, 1);
  auto* lengthCaption = new QLabel(QStringLiteral("Every time slot contain:"), slotGroup);
  QLineEdit* length = numberBox(monitor_ids::kSlotLength, lengthCaption, 6);
  connect(length, &QLineEdit::returnPressed, this, [&page] { page.OnSlotLengthEnter(); });
  slotGrid->addWidget(lengthCaption, 1, 0);
  slotGrid->addWidget(length, 1, 1);
  auto* totalCaption = new QLabel(QStringLiteral("Total time:"), slotGroup);
  auto* total = new QLineEdit(slotGroup);
  MakeReadOnlyValue(total);
  total->setMinimumWidth(total->fontMetrics().horizontalAdvance(QStringLiteral("361Days 6Hours")) +
                         16);
  totalCaption->setBuddy(total);
  total->setAccessibleName(totalCaption->text());
  view_.Bind(monitor_ids::kTotalTime, total);
  slotGrid->addWidget(totalCaption, 2, 0);
  slotGrid->addWidget(total, 2, 1);
  settings->addWidget(slotGroup);

  auto* triggerGroup = new QGroupBox(QStringLiteral("Trigger mode"), outer);
  auto* triggerRows = new QVBoxLayout(triggerGroup);
  auto* byImage = new QRadioButton(QStringLiteral("By frame image difference and loss of signal"),
                                   triggerGroup);
  auto* lossOnly = new QRadioButton(QStringLiteral("Loss of signal only"), triggerGroup);
  view_.BindRadioGroup(monitor_ids::kImageAndLoss, {byImage, lossOnly});
  triggerRows->addWidget(byImage);
  triggerRows->addWidget(lossOnly);
  triggerRows->addStretch(1);
  settings->addWidget(triggerGroup);

  auto* startGroup = new QGroupBox(QStringLiteral("Start time"), outer);
  auto* startRow = new QHBoxLayout(startGroup);
  struct StartBox {
    int id;
    const char* caption;
    const char* description;
  };
  const StartBox startBoxes[] = {{monitor_ids::kStartMonth, "M:", "Start month"},
                                 {monitor_ids::kStartDay, "D:", "Start day"},
                                 {monitor_ids::kStartHour, "Time:", "Start hour"},
                                 {monitor_ids::kStartMinute, ":", "Start minute"},
                                 {monitor_ids::kStartSecond, ":", "Start second"}};
  for (const StartBox& entry : startBoxes) {
    auto* caption = new QLabel(QString::fromLatin1(entry.caption), startGroup);
    QLineEdit* box = numberBox(entry.id, caption, 3);
    MakeReadOnlyValue(box);  // display only
    box->setAccessibleDescription(QString::fromLatin1(entry.description));
    startRow->addWidget(caption);
    startRow->addWidget(box);
  }
  startRow->addStretch(1);

  auto* statusGroup = new QGroupBox(QStringLiteral("Working Status"), outer);
  auto* statusRows = new QVBoxLayout(statusGroup);
  auto* working = new QRadioButton(QStringLiteral("Status monitor is working"), statusGroup);
  auto* stopped = new QRadioButton(QStringLiteral("Stopped."), statusGroup);
  view_.BindRadioGroup(monitor_ids::kWorking, {working, stopped});
  for (QRadioButton* state : {working, stopped}) {
    state->setAccessibleDescription(QStringLiteral("Shows the box's state"));
    connect(state, &QRadioButton::clicked, this, [&page] { page.OnWorkingStatusClicked(); });
  }
  statusRows->addWidget(working);
  statusRows->addWidget(stopped);

  auto* middle = new QHBoxLayout;
  inside->addLayout(middle);
  middle->addWidget(startGroup);
  middle->addWidget(statusGroup);
  struct Button {
    int id;
    const char* caption;
    void (MonitorPage::*action)();
  };
  const Button buttons[] = {
      {monitor_ids::kNewStart, "New Start", &MonitorPage::NewStart},
      {monitor_ids::kReadRecord, "Read Status Record from Device", &MonitorPage::ReadStatusRecord},
      {monitor_ids::kSave, "Save", &MonitorPage::Save},
      {monitor_ids::kSaveAs, "Save As...", &MonitorPage::SaveAs}};
  auto* buttonColumn = new QVBoxLayout;
  for (const Button& entry : buttons) {
    auto* button = new QPushButton(QString::fromLatin1(entry.caption), outer);
    button->setAutoDefault(true);  // Enter on the focused button presses it
    view_.Bind(entry.id, button);
    connect(button, &QPushButton::clicked, this,
            [&page, action = entry.action] { (page.*action)(); });
    buttonColumn->addWidget(button);
  }
  middle->addLayout(buttonColumn);
  middle->addStretch(1);

  recordView_ = new RecordView(outer);
  recordView_->setAccessibleName(QStringLiteral("Record"));
  timeline_ = new TimelineStrip(outer);
  // The record is exchanged last: when it arrives the page's other members are in place.
  view_.BindTextDisplay(monitor_ids::kRecord, recordView_,
                        [&page, box = QPointer<RecordView>(recordView_),
                         strip = QPointer<TimelineStrip>(timeline_)](const std::string& text) {
                          if (box) box->setPlainText(RecordRows(text));
                          if (strip) strip->SetTimeline(page.Timeline());
                        });
  inside->addWidget(recordView_, 0, Qt::AlignLeft);
  // The strip stands under the record field, as wide as it.
  timeline_->setFixedWidth(recordView_->width());
  inside->addWidget(timeline_, 0, Qt::AlignLeft);
  auto* note = new QLabel(
      QStringLiteral("Note:1-Triggered (image content changed or signal loss), 0- Normal"), outer);
  note->setTextFormat(Qt::PlainText);
  inside->addWidget(note);
  layout->addStretch(1);
}

}  // namespace sc
