#pragma once
// Whether what the status panel and the Timing page show is live. Their values come from
// the box's timing and status replies; they stop being live when the link goes down or a
// request of the status chain goes unanswered, and stay so (shown greyed under a line
// "Last received 14:03:22 — link down") until a timing or status reply comes again.
// Nothing polls: the main window hands over its state after every entry point.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace sc {

class SignalFreshness {
 public:
  using WallClock = std::chrono::system_clock;

  // The clock of "Last received" (the system's, unless a test sets one).
  std::function<WallClock::time_point()> wallClock;

  // A reply was handled; the timing (0x8091) and status (0x8090) replies make the values
  // live again.
  void Answered(uint16_t code);
  // The window's state after an entry point: whether the link is up, and the request that
  // went unanswered while the box has not answered since. Returns whether stale() or
  // notice() changed.
  bool Update(bool linkUp, std::optional<uint16_t> unansweredRequest);

  // The values shown are not live.
  bool stale() const { return stale_; }
  // "" while they are live (or nothing was ever received), else "Last received 14:03:22 —
  // link down", "— no answer from the box" or "— waiting for the box".
  const std::string& notice() const { return notice_; }

 private:
  enum class Reason { kLinkDown, kNoAnswer, kWaiting };
  std::string Notice() const;

  bool received_ = false;
  std::chrono::seconds lastReceived_{0};
  bool stale_ = false;
  bool shownStale_ = false;  // as the last Update returned it
  Reason reason_ = Reason::kLinkDown;
  std::string notice_;
};

}  // namespace sc
