#pragma once
// The window thread as the core sees it. The core never calls a toolkit: it asks its
// host for timers, modal messages, the file-open and file-save dialogs, the clock and for
// running a piece of work on the window thread. QtHost implements it for the application,
// TestHost (tests/support) with a manual clock for the tests.

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace sc {

// Whoever owns the main window's timers receives their ticks here, on the window thread.
class TimerTarget {
 public:
  virtual ~TimerTarget() = default;
  virtual void OnTimer(int id) = 0;
};

class Host {
 public:
  virtual ~Host() = default;

  // Queues fn to run on the window thread and returns at once. Safe from any thread.
  // Work posted after the host has stopped its loop may never run.
  virtual void Post(std::function<void()> fn) = 0;

  // Window timers by numeric id. Starting a running timer restarts it with the new period.
  virtual void StartTimer(int id, int milliseconds) = 0;
  virtual void StopTimer(int id) = 0;
  virtual void SetTimerTarget(TimerTarget* target) = 0;

  // A modal message box with only an OK button; returns when the user has closed it.
  // Called on the window thread only.
  virtual void ShowMessage(const std::string& caption, const std::string& text) = 0;

  // A modal question with Yes and No; true for Yes. A host that cannot ask answers No,
  // so that nothing the question guards happens unasked.
  virtual bool AskYesNo(const std::string& caption, const std::string& text) {
    (void)caption;
    (void)text;
    return false;
  }

  // The file-open dialog. filters uses the "name|pattern|name|pattern||" form.
  // Returns the chosen path, or nothing when the user cancelled.
  virtual std::optional<std::string> ChooseFile(const std::string& filters,
                                                const std::string& initialDirectory) = 0;

  // The file-save dialog: filters as above, starting in `initialDirectory` with
  // `suggestedName` filled in; it asks before replacing an existing file. Returns the
  // chosen path, or nothing when the user cancelled (also where there is no dialog).
  virtual std::optional<std::string> ChooseSaveFile(const std::string& filters,
                                                    const std::string& initialDirectory,
                                                    const std::string& suggestedName) {
    (void)filters;
    (void)initialDirectory;
    (void)suggestedName;
    return std::nullopt;
  }

  // Runs one of the console's other dialogs (the about box, the address dialog) modally;
  // returns when the user has closed it.
  virtual void RunModalDialog(int dialogId) = 0;

  // Milliseconds on the host's clock (monotonic).
  virtual std::chrono::milliseconds Now() const = 0;
};

}  // namespace sc
