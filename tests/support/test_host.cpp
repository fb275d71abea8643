#include "tests/support/test_host.h"

#include <algorithm>

namespace sc {

void TestHost::Post(std::function<void()> fn) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(fn));
  }
  posted_.notify_all();
}

void TestHost::StartTimer(int id, int milliseconds) {
  timers_[id] = Timer{milliseconds, now_ + std::chrono::milliseconds(milliseconds), ++serial_};
}

void TestHost::StopTimer(int id) {
  timers_.erase(id);
}

int TestHost::TimerPeriod(int id) const {
  auto it = timers_.find(id);
  return it == timers_.end() ? 0 : it->second.period;
}

void TestHost::ShowMessage(const std::string& caption, const std::string& text) {
  messages.push_back({caption, text});
  if (onMessage) onMessage(messages.back());
}

void TestHost::RunModalDialog(int dialogId) {
  dialogsRun.push_back(dialogId);
  if (onDialog) onDialog(dialogId);
}

std::optional<std::string> TestHost::ChooseSaveFile(const std::string& filters,
                                                    const std::string& initialDirectory,
                                                    const std::string& suggestedName) {
  saveDialogs.push_back({filters, initialDirectory, suggestedName});
  if (saveChoices.empty()) return std::nullopt;
  auto choice = saveChoices.front();
  saveChoices.pop_front();
  return choice;
}

std::optional<std::string> TestHost::ChooseFile(const std::string& filters,
                                                const std::string& initialDirectory) {
  chooseFileFilters.push_back(filters);
  chooseFileFolders.push_back(initialDirectory);
  if (fileChoices.empty()) return std::nullopt;
  auto choice = fileChoices.front();
  fileChoices.pop_front();
  return choice;
}

bool TestHost::RunOne(std::unique_lock<std::mutex>& lock, std::chrono::milliseconds wait) {
  if (queue_.empty() && wait.count() > 0) posted_.wait_for(lock, wait);
  if (queue_.empty()) return false;
  auto fn = std::move(queue_.front());
  queue_.pop_front();
  lock.unlock();
  const auto start = std::chrono::steady_clock::now();
  fn();
  longestWork = std::max(longestWork, std::chrono::steady_clock::now() - start);
  lock.lock();
  return true;
}

int TestHost::RunPending() {
  int ran = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  while (RunOne(lock, std::chrono::milliseconds(0)))
    ++ran;
  return ran;
}

bool TestHost::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    lock.unlock();
    bool finished = done();
    lock.lock();
    if (finished) return true;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    RunOne(lock, std::min(left, std::chrono::milliseconds(20)));
  }
}

void TestHost::PumpFor(std::chrono::milliseconds span) {
  const auto deadline = std::chrono::steady_clock::now() + span;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    RunOne(lock, left);
  }
}

void TestHost::Advance(std::chrono::milliseconds span) {
  const auto end = now_ + span;
  for (;;) {
    auto next = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
      if (it->second.due > end) continue;
      if (next == timers_.end() || it->second.due < next->second.due ||
          (it->second.due == next->second.due && it->second.serial < next->second.serial))
        next = it;
    }
    if (next == timers_.end()) break;
    now_ = next->second.due;
    const int id = next->first;
    // A window timer keeps ticking until stopped; a step that restarts it sets a new due.
    next->second.due = now_ + std::chrono::milliseconds(std::max(1, next->second.period));
    if (target_) target_->OnTimer(id);
  }
  // A step may have advanced the clock itself (a message box's loop keeps timers going).
  now_ = std::max(now_, end);
}

}  // namespace sc
