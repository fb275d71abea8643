#include "cli/cli_host.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace sc {

namespace {
using Clock = std::chrono::steady_clock;
}

CliHost::CliHost() : wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

CliHost::~CliHost() {
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

void CliHost::Post(std::function<void()> fn) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(fn));
  }
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

void CliHost::Interrupt() {
  interrupted_ = true;
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

void CliHost::StartTimer(int id, int milliseconds) {
  timers_[id] =
      Timer{milliseconds, Clock::now() + std::chrono::milliseconds(milliseconds), ++serial_};
}

void CliHost::StopTimer(int id) {
  timers_.erase(id);
}

void CliHost::ShowMessage(const std::string& caption, const std::string& text) {
  if (onMessage) onMessage(caption, text);
}

std::optional<std::string> CliHost::ChooseFile(const std::string&, const std::string&) {
  std::optional<std::string> choice = std::move(fileChoice);
  fileChoice.reset();
  return choice;
}

std::chrono::milliseconds CliHost::Now() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch());
}

bool CliHost::RunOnePosted() {
  std::function<void()> fn;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (queue_.empty()) return false;
    fn = std::move(queue_.front());
    queue_.pop_front();
  }
  fn();
  return true;
}

bool CliHost::FireOneDueTimer() {
  const auto now = Clock::now();
  auto next = timers_.end();
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (it->second.due > now) continue;
    if (next == timers_.end() || it->second.due < next->second.due ||
        (it->second.due == next->second.due && it->second.serial < next->second.serial))
      next = it;
  }
  if (next == timers_.end()) return false;
  const int id = next->first;
  // A window timer keeps ticking until it is stopped; a step that restarts it sets its own.
  next->second.due = now + std::chrono::milliseconds(std::max(1, next->second.period));
  if (target_) target_->OnTimer(id);
  return true;
}

CliHost::Wait CliHost::RunUntil(const std::function<bool()>& done,
                                std::optional<std::chrono::milliseconds> limit) {
  const std::optional<Clock::time_point> deadline =
      limit ? std::optional<Clock::time_point>(Clock::now() + *limit) : std::nullopt;
  for (;;) {
    if (done()) return Wait::Done;
    if (interrupted_) return Wait::Interrupted;
    if (RunOnePosted() || FireOneDueTimer()) continue;

    const auto now = Clock::now();
    if (deadline && now >= *deadline) return Wait::TimedOut;
    std::optional<Clock::time_point> wakeAt = deadline;
    for (const auto& [id, timer] : timers_)
      if (!wakeAt || timer.due < *wakeAt) wakeAt = timer.due;
    int waitMs = -1;
    if (wakeAt) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*wakeAt - now);
      waitMs = static_cast<int>(std::clamp<long long>(left.count(), 0, 60000));
    }
    pollfd p{wakeFd_, POLLIN, 0};
    const int r = ::poll(&p, 1, waitMs);
    if (r > 0) {
      uint64_t count;
      [[maybe_unused]] ssize_t n = ::read(wakeFd_, &count, sizeof count);
    } else if (r < 0 && errno != EINTR) {
      return Wait::Interrupted;
    }
  }
}

}  // namespace sc
