#pragma once
// The application's host: the Qt event loop of the GUI thread is the window thread.
// Posted work is a queued invocation on that thread, each window timer one QTimer,
// messages modal QMessageBoxes and the other dialogs modal Qt dialogs from a registry.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <chrono>
#include <functional>
#include <map>

#include "window/host.h"

class QTimer;

namespace sc {

inline constexpr const char* kApplicationErrorCaption = "Application Error";

class QtHost : public QObject, public Host {
  Q_OBJECT

 public:
  // Runs one modal dialog over `parent` (the main window, or nothing).
  using DialogRunner = std::function<void(QWidget* parent)>;

  explicit QtHost(QObject* parent = nullptr);
  ~QtHost() override;

  void Post(std::function<void()> fn) override;
  void StartTimer(int id, int milliseconds) override;
  void StopTimer(int id) override;
  void SetTimerTarget(TimerTarget* target) override { target_ = target; }
  void ShowMessage(const std::string& caption, const std::string& text) override;
  bool AskYesNo(const std::string& caption, const std::string& text) override;
  std::optional<std::string> ChooseFile(const std::string& filters,
                                        const std::string& initialDirectory) override;
  std::optional<std::string> ChooseSaveFile(const std::string& filters,
                                            const std::string& initialDirectory,
                                            const std::string& suggestedName) override;
  void RunModalDialog(int dialogId) override;
  std::chrono::milliseconds Now() const override;

  // The window that owns the modal boxes and dialogs (they centre on it).
  void SetDialogParent(QWidget* parent) { dialogParent_ = parent; }
  QWidget* dialogParent() const { return dialogParent_; }
  void RegisterDialog(int dialogId, DialogRunner runner);

  // For tests: whether timer `id` is running and with which period (0 when stopped).
  bool TimerRunning(int id) const;
  int TimerPeriod(int id) const;

 private:
  std::map<int, QTimer*> timers_;
  std::map<int, DialogRunner> dialogs_;
  TimerTarget* target_ = nullptr;
  QPointer<QWidget> dialogParent_;
};

// A text of the core made fit for a Qt text widget: CR LF and a lone CR become line
// breaks. The core's texts themselves are left as they are.
QString DisplayText(const std::string& text);

// The file dialog's filters from the "name|pattern|name|pattern||" form, one entry per
// pair as "name (patterns)"; several patterns of one pair are separated by ';'. "*.*"
// means every file, also one without a dot.
QStringList FileDialogFilters(const std::string& filters);

}  // namespace sc
