#pragma once
// The order of a watcher's requests on one shared line. A round asks each box in turn
// for its input, timing and status, one request at a time: the next goes out only when
// the previous one is answered or its time-out has passed, so no two boxes ever talk at
// once. A request that is not answered is not sent again in that round and ends that
// box's turn (a silent box costs one time-out a round, two in the round it falls silent,
// when the tracker has it read once more); the box is asked again next round. Rounds start every
// `every`; a round that overruns its interval is followed at once by the next. Pure logic: the
// caller owns the clock and the line.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

#include "watch/box_tracker.h"

namespace sc {

inline constexpr std::array<uint16_t, kRequestsPerPoll> kPollRequests = {
    kInputRequest, kTimingRequest, kStatusRequest};

class RoundScheduler {
 public:
  using Clock = std::chrono::steady_clock;

  struct Request {
    size_t box = 0;
    uint16_t code = 0;
  };
  // What the line does next: send `send` (if any), then call Tick at `wakeAt` unless an
  // answer comes first.
  struct Step {
    std::optional<Request> send;
    Clock::time_point wakeAt;
  };
  struct RoundEnd {
    uint64_t round = 0;  // counted from 1
    Clock::duration took{};
    bool overran = false;  // the next round starts at once
  };

  // `boxes` at least 1; `every` and `timeout` not negative.
  RoundScheduler(size_t boxes, Clock::duration every, Clock::duration timeout);

  // The first round starts now.
  Step Start(Clock::time_point now);
  // Time has moved on: a time-out, or the next round, may be due.
  Step Tick(Clock::time_point now);
  // The awaited request was answered with this payload. A payload shorter than the
  // request's reply is no answer (the request keeps waiting for its time-out).
  Step Answer(const uint8_t* payload, size_t size, Clock::time_point now);

  // The request whose answer is awaited, if any.
  std::optional<Request> Awaiting() const;
  uint64_t rounds() const { return rounds_; }

  // A box's reading is over (on the caller's thread, inside the calls above); `lastAnswer`
  // of the poll is left for the caller, which knows the wall clock: `answeredAt` is when
  // the last answer came on this clock. `again` for the second reading of a turn. The
  // caller returns true to have the box read once more at once (within its turn, once).
  std::function<bool(size_t box, const BoxPoll& poll, Clock::time_point answeredAt, bool again)>
      onPoll;
  std::function<void(const RoundEnd&)> onRound;

  // The payload the reply to a request needs (the console's code table says).
  static size_t ReplySize(uint16_t request);

 private:
  Step Advance(Clock::time_point now);
  void BeginRound(Clock::time_point now);
  void EndTurn(Clock::time_point now);

  size_t boxes_;
  Clock::duration every_;
  Clock::duration timeout_;
  bool started_ = false;
  bool inRound_ = false;
  uint64_t rounds_ = 0;
  Clock::time_point roundStart_{};
  Clock::time_point nextRound_{};
  size_t box_ = 0;
  int request_ = 0;
  bool again_ = false;  // the turn's second reading
  bool awaiting_ = false;
  Clock::time_point deadline_{};
  BoxPoll poll_;
  Clock::time_point answeredAt_{};
};

}  // namespace sc
