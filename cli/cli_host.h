#pragma once
// The window thread of signal-cli: the program's main thread runs a poll() loop that
// takes the work the serial worker hands over (each received byte, synchronously), fires
// the main window's timers on the steady clock and stops when the command's condition
// holds, its time is up or the user interrupts. Messages the console would show in a box
// are handed to a sink instead.

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "window/host.h"

namespace sc {

class CliHost : public Host {
 public:
  CliHost();
  ~CliHost() override;
  CliHost(const CliHost&) = delete;
  CliHost& operator=(const CliHost&) = delete;

  void Post(std::function<void()> fn) override;
  void StartTimer(int id, int milliseconds) override;
  void StopTimer(int id) override;
  void SetTimerTarget(TimerTarget* target) override { target_ = target; }
  void ShowMessage(const std::string& caption, const std::string& text) override;
  // Hands out the file the command named (once), as if the user had picked it.
  std::optional<std::string> ChooseFile(const std::string& filters,
                                        const std::string& initialDirectory) override;
  void RunModalDialog(int) override {}
  std::chrono::milliseconds Now() const override;

  enum class Wait { Done, TimedOut, Interrupted };
  // Runs posted work and due timers until done() holds (checked before the first wait and
  // after every piece of work or timer step), `limit` has passed (nothing: no limit) or
  // Interrupt() is called.
  Wait RunUntil(const std::function<bool()>& done, std::optional<std::chrono::milliseconds> limit);

  // Ends the current (and every later) RunUntil with Interrupted. Safe from a signal
  // handler and from any thread.
  void Interrupt();
  bool interrupted() const { return interrupted_.load(); }
  // Lets RunUntil wait again after an interruption was dealt with (a capture that has to
  // bring the port back to its rate first).
  void ClearInterrupt() { interrupted_ = false; }

  bool TimerRunning(int id) const { return timers_.count(id) != 0; }

  // Told every message as it is shown.
  std::function<void(const std::string& caption, const std::string& text)> onMessage;
  // The answer of the next ChooseFile.
  std::optional<std::string> fileChoice;

 private:
  struct Timer {
    int period;
    std::chrono::steady_clock::time_point due;
    long serial;
  };
  bool RunOnePosted();
  bool FireOneDueTimer();

  std::mutex mutex_;
  std::deque<std::function<void()>> queue_;
  std::map<int, Timer> timers_;
  long serial_ = 0;
  TimerTarget* target_ = nullptr;
  int wakeFd_ = -1;
  std::atomic<bool> interrupted_{false};
};

}  // namespace sc
