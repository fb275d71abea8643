#include "console/traffic_log_qt.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

#include "console/console_dialog.h"
#include "window/accessibility_qt.h"

namespace sc {

namespace {

constexpr const char* kHeaders[] = {"Time", "Direction", "Address", "Code", "Name", "Mark", "Data"};
// New entries are shown this long after the first of a batch came.
constexpr int kBatchDelay = 50;
constexpr const char* kFilterHint = "Codes in hexadecimal, separated by spaces: 8090 F851";

}  // namespace

TrafficLogModel::TrafficLogModel(TrafficLog& log, QObject* parent)
    : QAbstractTableModel(parent), log_(log) {}

int TrafficLogModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(log_.RowCount());
}

int TrafficLogModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

const TrafficRow& TrafficLogModel::Formatted(int row) const {
  const TrafficEntry& entry = log_.Row(static_cast<size_t>(row));
  if (entry.serial != cachedSerial_ || entry.bytes.empty()) {
    cached_ = FormatTrafficEntry(entry);
    cachedSerial_ = entry.serial;
  }
  return cached_;
}

QVariant TrafficLogModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  if (role == Qt::ForegroundRole) {
    if (log_.Row(static_cast<size_t>(index.row())).mark != TrafficMark::None)
      return QColor(Qt::red).darker(130);
    return {};
  }
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  const TrafficRow& row = Formatted(index.row());
  const std::string* fields[] = {&row.time, &row.direction, &row.address, &row.code,
                                 &row.name, &row.mark,      &row.data};
  return QString::fromStdString(*fields[index.column()]);
}

QVariant TrafficLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= kColumnCount)
    return {};
  return QString::fromLatin1(kHeaders[section]);
}

void TrafficLogModel::SyncRows() {
  if (const size_t gone = log_.OverwrittenRows()) {
    beginRemoveRows({}, 0, static_cast<int>(gone) - 1);
    log_.DropOverwrittenRows();
    endRemoveRows();
  }
  const size_t added = log_.NewRows();
  const int first = rowCount();
  if (added == 0) {
    log_.AppendNewRows();
    return;
  }
  beginInsertRows({}, first, first + static_cast<int>(added) - 1);
  log_.AppendNewRows();
  endInsertRows();
}

void TrafficLogModel::ResetRows() {
  beginResetModel();
  cachedSerial_ = UINT64_MAX;
  endResetModel();
}

TrafficLogWindow::TrafficLogWindow(ConsoleDialog& dialog, QWidget* parent)
    : QWidget(parent, Qt::Window), dialog_(dialog), log_(dialog.trafficLog) {
  setWindowTitle(QStringLiteral("Traffic Log"));
  MarkWindow(this);
  auto* layout = new QVBoxLayout(this);

  auto* tools = new QHBoxLayout;
  auto* filterCaption = new QLabel(QStringLiteral("Filter:"), this);
  filter_ = new QLineEdit(this);
  filter_->setPlaceholderText(QStringLiteral("all codes"));
  filter_->setToolTip(QString::fromLatin1(kFilterHint));
  filter_->setAccessibleName(filterCaption->text());
  filterCaption->setBuddy(filter_);
  connect(filter_, &QLineEdit::textChanged, this, &TrafficLogWindow::ApplyFilter);
  pause_ = new QPushButton(QStringLiteral("Pause"), this);
  pause_->setCheckable(true);
  pause_->setToolTip(
      QStringLiteral("Hold the list still; frames are still recorded and appear "
                     "when it goes on"));
  connect(pause_, &QPushButton::toggled, this, [this](bool paused) {
    log_.SetPaused(paused);
    if (!paused) SyncNow();
  });
  auto* clear = new QPushButton(QStringLiteral("Clear"), this);
  clear->setToolTip(QStringLiteral("Forget every frame recorded so far"));
  connect(clear, &QPushButton::clicked, this, [this] {
    log_.Clear();
    model_->ResetRows();
  });
  auto* save = new QPushButton(QStringLiteral("Save As..."), this);
  save->setToolTip(QStringLiteral("Save the frames listed as a text file"));
  connect(save, &QPushButton::clicked, this, &TrafficLogWindow::Save);
  tools->addWidget(filterCaption);
  tools->addWidget(filter_, 1);
  tools->addWidget(pause_);
  tools->addWidget(clear);
  tools->addWidget(save);
  layout->addLayout(tools);

  model_ = new TrafficLogModel(log_, this);
  table_ = new QTableView(this);
  table_->setModel(model_);
  table_->setAccessibleName(QStringLiteral("Frames"));
  table_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setWordWrap(false);
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);
  table_->horizontalHeader()->setStretchLastSection(true);
  const QFontMetrics metrics(table_->font());
  const int widths[] = {14, 10, 8, 8, 22, 16};
  for (int column = 0; column < static_cast<int>(std::size(widths)); ++column)
    table_->setColumnWidth(column, metrics.horizontalAdvance(QString(widths[column], 'x')));
  layout->addWidget(table_, 1);

  note_ = new QLabel(this);
  note_->setTextFormat(Qt::PlainText);
  note_->setAccessibleDescription(QStringLiteral("Log note"));
  layout->addWidget(note_);

  resize(metrics.horizontalAdvance(QString(130, 'x')), 480);

  batch_.setSingleShot(true);
  connect(&batch_, &QTimer::timeout, this, &TrafficLogWindow::SyncNow);
  log_.onAppended = [this] {
    if (!batch_.isActive()) batch_.start(kBatchDelay);
  };
  chooseSavePath = [this] {
    const QString name =
        QStringLiteral("traffic-%1.txt")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    return QFileDialog::getSaveFileName(this, QStringLiteral("Save Traffic Log"),
                                        QDir::current().filePath(name),
                                        QStringLiteral("Text files (*.txt);;All files (*)"));
  };
}

TrafficLogWindow::~TrafficLogWindow() {
  log_.onAppended = nullptr;
  dialog_.SetTrafficLogOpen(false);
}

void TrafficLogWindow::showEvent(QShowEvent* event) {
  dialog_.SetTrafficLogOpen(true);
  SyncNow();
  QWidget::showEvent(event);
}

void TrafficLogWindow::hideEvent(QHideEvent* event) {
  // Minimised, the window still records; closed, it stops.
  if (!event->spontaneous()) dialog_.SetTrafficLogOpen(false);
  QWidget::hideEvent(event);
}

void TrafficLogWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    close();
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TrafficLogWindow::SyncNow() {
  batch_.stop();
  QScrollBar* bar = table_->verticalScrollBar();
  // A list read at its end follows the new rows; one scrolled up stays where it is.
  const bool atEnd = bar->value() == bar->maximum();
  model_->SyncRows();
  if (atEnd && !log_.paused()) table_->scrollToBottom();
}

void TrafficLogWindow::ApplyFilter(const QString& text) {
  if (!log_.SetFilter(text.toStdString())) {
    filter_->setStyleSheet(QStringLiteral("color: #b00020"));
    note_->setText(QString::fromLatin1(kFilterHint));
    return;
  }
  filter_->setStyleSheet(QString());
  note_->clear();
  model_->ResetRows();
  table_->scrollToBottom();
}

void TrafficLogWindow::Save() {
  const QString path = chooseSavePath ? chooseSavePath() : QString();
  if (path.isEmpty()) return;
  SyncNow();
  const std::string failure = log_.Save(path.toStdString());
  if (failure.empty())
    note_->setText(QStringLiteral("Saved %1 rows to %2").arg(model_->rowCount()).arg(path));
  else
    note_->setText(QString::fromStdString(failure));
}

}  // namespace sc
