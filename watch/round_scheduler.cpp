#include "watch/round_scheduler.h"

#include <algorithm>
#include <cstring>

#include "link/codes.h"

namespace sc {

RoundScheduler::RoundScheduler(size_t boxes, Clock::duration every, Clock::duration timeout)
    : boxes_(std::max<size_t>(boxes, 1)),
      every_(std::max(every, Clock::duration::zero())),
      timeout_(std::max(timeout, Clock::duration::zero())) {}

size_t RoundScheduler::ReplySize(uint16_t request) {
  const std::optional<uint16_t> reply = ExpectedReply(request);
  const ReplyCode* known = reply ? FindReplyCode(*reply) : nullptr;
  return known ? known->minPayload : 0;
}

std::optional<RoundScheduler::Request> RoundScheduler::Awaiting() const {
  if (!awaiting_) return std::nullopt;
  return Request{box_, kPollRequests[static_cast<size_t>(request_)]};
}

RoundScheduler::Step RoundScheduler::Start(Clock::time_point now) {
  started_ = true;
  nextRound_ = now;
  return Advance(now);
}

RoundScheduler::Step RoundScheduler::Tick(Clock::time_point now) {
  if (!started_) return {std::nullopt, now + every_};
  if (awaiting_ && now >= deadline_) {
    // Unanswered: not asked again this round, and the box's turn is over.
    awaiting_ = false;
    EndTurn(now);
  }
  return Advance(now);
}

RoundScheduler::Step RoundScheduler::Answer(const uint8_t* payload, size_t size,
                                            Clock::time_point now) {
  if (!awaiting_) return Advance(now);
  const uint16_t code = kPollRequests[static_cast<size_t>(request_)];
  // What is copied below, and at least what the console's handler would read.
  const size_t copied = code == kInputRequest    ? 1
                        : code == kTimingRequest ? kTimingRecordSize
                                                 : kSignalStatusSize;
  if (size < std::max(copied, ReplySize(code))) return Advance(now);
  BoxReading& r = poll_.reading;
  if (code == kInputRequest)
    r.input = payload[0];
  else if (code == kTimingRequest)
    std::memcpy(r.timing.data(), payload, r.timing.size());
  else
    std::memcpy(r.status.data(), payload, r.status.size());
  awaiting_ = false;
  ++poll_.answered;
  answeredAt_ = now;
  if (++request_ == kRequestsPerPoll) EndTurn(now);
  return Advance(now);
}

void RoundScheduler::BeginRound(Clock::time_point now) {
  inRound_ = true;
  roundStart_ = now;
  // On the interval's grid from the round's due time; an overrun resets the grid.
  nextRound_ = std::max(nextRound_, roundStart_ - every_) + every_;
  box_ = 0;
  request_ = 0;
  again_ = false;
  poll_ = BoxPoll{};
}

void RoundScheduler::EndTurn(Clock::time_point now) {
  const bool readAgain = onPoll && onPoll(box_, poll_, answeredAt_, again_);
  poll_ = BoxPoll{};
  request_ = 0;
  if (readAgain && !again_) {
    again_ = true;  // the same box from its first request
    return;
  }
  again_ = false;
  if (++box_ < boxes_) return;
  inRound_ = false;
  ++rounds_;
  RoundEnd end;
  end.round = rounds_;
  end.took = now - roundStart_;
  end.overran = now >= nextRound_;
  if (end.overran) nextRound_ = now;
  if (onRound) onRound(end);
}

RoundScheduler::Step RoundScheduler::Advance(Clock::time_point now) {
  if (awaiting_) return {std::nullopt, deadline_};
  if (!inRound_) {
    if (now < nextRound_) return {std::nullopt, nextRound_};
    BeginRound(now);
  }
  awaiting_ = true;
  deadline_ = now + timeout_;
  return {Request{box_, kPollRequests[static_cast<size_t>(request_)]}, deadline_};
}

}  // namespace sc
