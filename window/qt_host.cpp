#include "window/qt_host.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QMetaObject>
#include <QTimer>

#include "window/widget_view.h"

namespace sc {

QtHost::QtHost(QObject* parent) : QObject(parent) {}

QtHost::~QtHost() = default;

void QtHost::Post(std::function<void()> fn) {
  // A queued call on this object runs on the thread it lives in (the GUI thread), from
  // whichever thread posts it.
  QMetaObject::invokeMethod(
      this, [fn = std::move(fn)] { fn(); }, Qt::QueuedConnection);
}

void QtHost::StartTimer(int id, int milliseconds) {
  QTimer*& timer = timers_[id];
  if (!timer) {
    timer = new QTimer(this);
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, this, [this, id] {
      if (target_) target_->OnTimer(id);
    });
  }
  timer->start(std::max(0, milliseconds));  // a running timer restarts with the new period
}

void QtHost::StopTimer(int id) {
  // Stopped, not deleted: a timer step may stop its own timer from inside its tick.
  auto it = timers_.find(id);
  if (it != timers_.end()) it->second->stop();
}

bool QtHost::TimerRunning(int id) const {
  auto it = timers_.find(id);
  return it != timers_.end() && it->second->isActive();
}

int QtHost::TimerPeriod(int id) const {
  return TimerRunning(id) ? timers_.at(id)->interval() : 0;
}

void QtHost::ShowMessage(const std::string& caption, const std::string& text) {
  const bool error = caption == kApplicationErrorCaption;
  QMessageBox box(error ? QMessageBox::Critical : QMessageBox::NoIcon, FromCoreText(caption),
                  DisplayText(text), QMessageBox::Ok, dialogParent_);
  // Shown exactly as given: no markup.
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

bool QtHost::AskYesNo(const std::string& caption, const std::string& text) {
  QMessageBox box(QMessageBox::Question, FromCoreText(caption), DisplayText(text),
                  QMessageBox::Yes | QMessageBox::No, dialogParent_);
  box.setTextFormat(Qt::PlainText);
  // No unless the person says Yes.
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> QtHost::ChooseFile(const std::string& filters,
                                              const std::string& initialDirectory) {
  const QString directory =
      initialDirectory.empty() ? QDir::currentPath() : QFile::decodeName(initialDirectory.c_str());
  QFileDialog dialog(dialogParent_, QString(), directory);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  // The names already show their patterns; the ones appended for Qt stay hidden.
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  const QStringList nameFilters = FileDialogFilters(filters);
  if (!nameFilters.isEmpty()) dialog.setNameFilters(nameFilters);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return QFile::encodeName(dialog.selectedFiles().first()).toStdString();
}

std::optional<std::string> QtHost::ChooseSaveFile(const std::string& filters,
                                                  const std::string& initialDirectory,
                                                  const std::string& suggestedName) {
  const QString directory =
      initialDirectory.empty() ? QDir::currentPath() : QFile::decodeName(initialDirectory.c_str());
  QFileDialog dialog(dialogParent_, QStringLiteral("Save As"), directory);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  const QStringList nameFilters = FileDialogFilters(filters);
  if (!nameFilters.isEmpty()) dialog.setNameFilters(nameFilters);
  // A name typed without an extension takes the chosen filter's.
  auto suffixOf = [](const QString& filter) {
    const int open = filter.lastIndexOf(QLatin1Char('('));
    const QString first = filter.mid(open + 1).section(QLatin1Char(' '), 0, 0);
    return first.startsWith(QLatin1String("*.")) && first != QLatin1String("*.*")
               ? first.mid(2).remove(QLatin1Char(')'))
               : QString();
  };
  if (!nameFilters.isEmpty()) dialog.setDefaultSuffix(suffixOf(nameFilters.first()));
  QObject::connect(
      &dialog, &QFileDialog::filterSelected, &dialog,
      [&dialog, suffixOf](const QString& filter) { dialog.setDefaultSuffix(suffixOf(filter)); });
  if (!suggestedName.empty()) dialog.selectFile(FromCoreText(suggestedName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return QFile::encodeName(dialog.selectedFiles().first()).toStdString();
}

void QtHost::RegisterDialog(int dialogId, DialogRunner runner) {
  dialogs_[dialogId] = std::move(runner);
}

void QtHost::RunModalDialog(int dialogId) {
  auto it = dialogs_.find(dialogId);
  if (it == dialogs_.end()) return;  // a dialog this build does not have yet
  // A copy: the dialog may register others while it runs.
  DialogRunner runner = it->second;
  runner(dialogParent_);
}

std::chrono::milliseconds QtHost::Now() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
}

QString DisplayText(const std::string& text) {
  QString shown = FromCoreText(text);
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return shown;
}

QStringList FileDialogFilters(const std::string& filters) {
  QStringList parts = FromCoreText(filters).split(QLatin1Char('|'));
  QStringList result;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    const QString name = parts[i];
    if (name.isEmpty() || parts[i + 1].isEmpty()) break;  // "||" ends the list
    QStringList patterns;
    for (const QString& part : parts[i + 1].split(QLatin1Char(';'))) {
      const QString pattern = part.trimmed();
      if (pattern.isEmpty()) continue;
      patterns << (pattern == QLatin1String("*.*") ? QStringLiteral("*") : pattern);
    }
    if (patterns.isEmpty()) break;
    result << name + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
  }
  return result;
}

}  // namespace sc
