#pragma once
// The host of the tests: the test's own thread is the window thread. Posted work runs
// when the test pumps; timers run on a manual clock that only Advance() moves; messages
// are recorded instead of shown.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "window/host.h"

namespace sc {

class TestHost : public Host {
 public:
  struct Message {
    std::string caption;
    std::string text;
  };

  void Post(std::function<void()> fn) override;
  void StartTimer(int id, int milliseconds) override;
  void StopTimer(int id) override;
  void SetTimerTarget(TimerTarget* target) override { target_ = target; }
  void ShowMessage(const std::string& caption, const std::string& text) override;
  std::optional<std::string> ChooseFile(const std::string& filters,
                                        const std::string& initialDirectory) override;
  std::optional<std::string> ChooseSaveFile(const std::string& filters,
                                            const std::string& initialDirectory,
                                            const std::string& suggestedName) override;
  void RunModalDialog(int dialogId) override;
  std::chrono::milliseconds Now() const override { return now_; }

  // Runs the work queued so far (and what that work queues). Returns how many ran.
  int RunPending();
  // Runs posted work as it arrives until done() holds or `limit` of wall time has passed.
  // The limit only bounds a test that fails: a loaded machine (or a sanitizer build) may
  // take long for what is quick elsewhere.
  bool PumpUntil(const std::function<bool()>& done,
                 std::chrono::milliseconds limit = std::chrono::seconds(20));
  // Runs posted work as it arrives for `span` of wall time.
  void PumpFor(std::chrono::milliseconds span);

  // Moves the manual clock forward, firing the timers that fall due on the way in the
  // order of their due times (a timer restarted by a step fires again if it falls due
  // within the span).
  void Advance(std::chrono::milliseconds span);
  void Advance(int milliseconds) { Advance(std::chrono::milliseconds(milliseconds)); }

  bool TimerRunning(int id) const { return timers_.count(id) != 0; }
  // Period of a running timer, 0 when it is not running.
  int TimerPeriod(int id) const;

  // Answers for ChooseFile, taken in order; nothing queued means "cancelled".
  std::deque<std::optional<std::string>> fileChoices;
  std::vector<std::string> chooseFileFilters;
  // The folders the file dialogs started in, in order.
  std::vector<std::string> chooseFileFolders;
  // Answers for ChooseSaveFile, taken in order; nothing queued means "cancelled". What
  // each save dialog was asked with: its filters and the name it suggested.
  std::deque<std::optional<std::string>> saveChoices;
  struct SaveDialog {
    std::string filters, folder, suggestedName;
  };
  std::vector<SaveDialog> saveDialogs;
  std::vector<Message> messages;
  std::vector<int> dialogsRun;
  // Called with the dialog id while it "runs", if set.
  std::function<void(int)> onDialog;
  // Called with each message as it is shown (on the window thread), if set.
  std::function<void(const Message&)> onMessage;
  // The longest that one piece of posted work (a notification from the serial worker, a
  // message it shows) held the window thread.
  std::chrono::steady_clock::duration longestWork{};

 private:
  struct Timer {
    int period;
    std::chrono::milliseconds due;
    long serial;  // orders timers falling due together by when they were started
  };
  bool RunOne(std::unique_lock<std::mutex>& lock, std::chrono::milliseconds wait);

  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> queue_;
  std::map<int, Timer> timers_;
  long serial_ = 0;
  TimerTarget* target_ = nullptr;
  std::chrono::milliseconds now_{0};
};

}  // namespace sc
