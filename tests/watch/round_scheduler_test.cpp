// The order and timing of a watcher's requests on a shared line, on a clock the test
// moves: one request at a time, the time-out of an unanswered one, rounds on their grid.

#include "watch/round_scheduler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sc {
namespace {

using namespace std::chrono_literals;
using Clock = RoundScheduler::Clock;

class SchedulerTest : public ::testing::Test {
 protected:
  void Make(size_t boxes, Clock::duration every, Clock::duration timeout) {
    scheduler = std::make_unique<RoundScheduler>(boxes, every, timeout);
    scheduler->onPoll = [this](size_t box, const BoxPoll& poll, Clock::time_point, bool again) {
      polls.push_back({box, poll.answered});
      seconds.push_back(again);
      return readAgain;
    };
    scheduler->onRound = [this](const RoundScheduler::RoundEnd& end) { rounds.push_back(end); };
  }
  // Sends are recorded as "box:code", e.g. "0:8082".
  void Take(const RoundScheduler::Step& step) {
    if (step.send) {
      char text[16];
      std::snprintf(text, sizeof text, "%zu:%04X", step.send->box, step.send->code);
      sent.push_back(text);
    }
    wake = step.wakeAt;
  }
  void Answer(size_t size = 20) {
    const std::vector<uint8_t> payload(size, 0);
    Take(scheduler->Answer(payload.data(), payload.size(), now));
  }
  void Advance(Clock::duration d) {
    now += d;
    Take(scheduler->Tick(now));
  }
  // Answers every request of every box in a round.
  void AnswerRound(size_t boxes) {
    for (size_t i = 0; i < boxes * kRequestsPerPoll; ++i)
      Answer();
  }

  std::unique_ptr<RoundScheduler> scheduler;
  Clock::time_point now{};
  Clock::time_point wake{};
  std::vector<std::string> sent;
  std::vector<std::pair<size_t, int>> polls;
  std::vector<bool> seconds;  // which readings were a turn's second
  bool readAgain = false;
  std::vector<RoundScheduler::RoundEnd> rounds;
};

TEST_F(SchedulerTest, AsksOneRequestAtATimeBoxAfterBox) {
  Make(2, 5s, 1s);
  Take(scheduler->Start(now));
  EXPECT_EQ(sent, (std::vector<std::string>{"0:8082"}));
  EXPECT_EQ(wake, now + 1s);
  // Time passing short of the time-out sends nothing more.
  Advance(500ms);
  EXPECT_EQ(sent.size(), 1u);
  AnswerRound(2);
  EXPECT_EQ(sent,
            (std::vector<std::string>{"0:8082", "0:8091", "0:8090", "1:8082", "1:8091", "1:8090"}));
  EXPECT_EQ(polls, (std::vector<std::pair<size_t, int>>{{0, 3}, {1, 3}}));
  ASSERT_EQ(rounds.size(), 1u);
  EXPECT_FALSE(rounds[0].overran);
  // The next round waits for its time.
  EXPECT_EQ(wake, Clock::time_point{} + 5s);
  EXPECT_FALSE(scheduler->Awaiting());
}

// A silent box costs one time-out a round: its request is not sent again, its other
// requests are not sent at all, the next box follows, and next round it is asked again.
TEST_F(SchedulerTest, AnUnansweredRequestEndsTheBoxsTurnUntilTheNextRound) {
  Make(2, 5s, 1s);
  Take(scheduler->Start(now));
  Answer(1);    // input
  Advance(1s);  // timing unanswered
  EXPECT_EQ(sent, (std::vector<std::string>{"0:8082", "0:8091", "1:8082"}));
  AnswerRound(1);
  EXPECT_EQ(polls, (std::vector<std::pair<size_t, int>>{{0, 1}, {1, 3}}));
  sent.clear();
  Advance(5s - 1s);
  EXPECT_EQ(sent, (std::vector<std::string>{"0:8082"}));
}

// A box whose reading shows something new is read once more in its turn, and no more.
TEST_F(SchedulerTest, ABoxIsReadAgainOnceWhenAsked) {
  Make(2, 5s, 1s);
  readAgain = true;
  Take(scheduler->Start(now));
  AnswerRound(2);
  AnswerRound(2);
  EXPECT_EQ(sent,
            (std::vector<std::string>{"0:8082", "0:8091", "0:8090", "0:8082", "0:8091", "0:8090",
                                      "1:8082", "1:8091", "1:8090", "1:8082", "1:8091", "1:8090"}));
  EXPECT_EQ(seconds, (std::vector<bool>{false, true, false, true}));
  EXPECT_EQ(scheduler->rounds(), 1u);
  // A second reading cut short by a time-out ends the turn all the same.
  Advance(5s - now.time_since_epoch());
  AnswerRound(1);
  Answer(1);
  Advance(1s);
  EXPECT_EQ(sent.back(), "1:8082");
  EXPECT_EQ(polls.back(), (std::pair<size_t, int>{0, 1}));
  EXPECT_EQ(seconds.back(), true);
}

TEST_F(SchedulerTest, AShortOrUnexpectedAnswerIsNoAnswer) {
  Make(1, 5s, 1s);
  Take(scheduler->Start(now));
  Answer(1);
  Answer(19);  // a timing record needs 20 bytes
  EXPECT_EQ(sent, (std::vector<std::string>{"0:8082", "0:8091"}));
  EXPECT_EQ(scheduler->Awaiting()->code, kTimingRequest);
  Answer(20);
  Answer(9);  // the status needs 10
  Advance(1s);
  ASSERT_EQ(polls.size(), 1u);
  EXPECT_EQ(polls[0].second, 2);
  // Nothing is awaited between rounds: an answer then changes nothing.
  Answer(20);
  EXPECT_EQ(sent.size(), 3u);
  EXPECT_EQ(polls.size(), 1u);
}

// Rounds start on the interval's grid, whatever a round took; a round that overruns is
// followed at once by the next, which starts a new grid.
TEST_F(SchedulerTest, RoundsKeepTheirIntervalAndAnOverrunIsFollowedAtOnce) {
  Make(2, 2s, 1s);
  Take(scheduler->Start(now));
  Advance(300ms);
  AnswerRound(2);
  EXPECT_EQ(wake, Clock::time_point{} + 2s);
  Advance(wake - now);
  EXPECT_EQ(sent.size(), 7u);
  // Both boxes silent: two time-outs, the round ends at 4 s, past its successor's 4 s.
  Advance(1s);
  Advance(1s);
  ASSERT_EQ(rounds.size(), 2u);
  EXPECT_TRUE(rounds[1].overran);
  EXPECT_EQ(rounds[1].took, 2s);
  EXPECT_EQ(sent.back(), "0:8082");  // the third round started at once
  EXPECT_EQ(wake, now + 1s);
  AnswerRound(2);
  EXPECT_EQ(wake, now + 2s);
  EXPECT_EQ(scheduler->rounds(), 3u);
}

TEST_F(SchedulerTest, WithoutAnIntervalRoundsFollowEachOther) {
  Make(1, 0s, 1s);
  Take(scheduler->Start(now));
  for (int i = 0; i < 3; ++i)
    AnswerRound(1);
  EXPECT_EQ(scheduler->rounds(), 3u);
  EXPECT_EQ(sent.size(), 10u);
}

}  // namespace
}  // namespace sc
