#include "console/signal_freshness.h"

#include <ctime>

#include "link/codes.h"

namespace sc {

namespace {

// A request whose answer the status chain takes: what it would have refreshed is as old as
// the answer before.
bool ChainRequest(uint16_t request) {
  const std::optional<uint16_t> reply = ExpectedReply(request);
  const ReplyCode* taken = reply ? FindReplyCode(*reply) : nullptr;
  return taken && taken->taker == ReplyTaker::kStatusChain;
}

}  // namespace

void SignalFreshness::Answered(uint16_t code) {
  if (code != code::kTiming && code != code::kStatus) return;
  const WallClock::time_point now = wallClock ? wallClock() : WallClock::now();
  received_ = true;
  lastReceived_ = std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch());
  stale_ = false;
}

bool SignalFreshness::Update(bool linkUp, std::optional<uint16_t> unansweredRequest) {
  if (received_) {
    if (!linkUp) {
      stale_ = true;
      reason_ = Reason::kLinkDown;
    } else if (unansweredRequest && ChainRequest(*unansweredRequest)) {
      stale_ = true;
      reason_ = Reason::kNoAnswer;
    } else if (stale_ && reason_ == Reason::kLinkDown) {
      // The link is back; the values stay old until the chain's answers come.
      reason_ = Reason::kWaiting;
    }
  }
  std::string notice = stale_ ? Notice() : std::string();
  if (notice == notice_ && shownStale_ == stale_) return false;
  notice_ = std::move(notice);
  shownStale_ = stale_;
  return true;
}

std::string SignalFreshness::Notice() const {
  const std::time_t seconds = static_cast<std::time_t>(lastReceived_.count());
  std::tm local{};
  localtime_r(&seconds, &local);
  char time[16];
  std::strftime(time, sizeof time, "%H:%M:%S", &local);
  const char* why = reason_ == Reason::kLinkDown   ? "link down"
                    : reason_ == Reason::kNoAnswer ? "no answer from the box"
                                                   : "waiting for the box";
  return std::string("Last received ") + time + " \u2014 " + why;
}

}  // namespace sc
