// The simulated box's signal monitor on a manual clock: the slots fill as time passes,
// losses and changes mark the right slots in each trigger mode, and the recording stops
// after 2040 slots.

#include "sim/box_recorder.h"

#include <gtest/gtest.h>

#include <string>

#include "sim/simulated_box.h"
#include "tests/sim/sim_test_util.h"

namespace sc {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using Clock = SimulatedBox::Clock;
using Ms = std::chrono::milliseconds;

// The digits of a record payload, "1" for a triggered slot (as the console shows them).
std::string Digits(const Bytes& p) {
  std::string digits;
  const int slots = p[0] * 8 + p[1];
  for (int slot = 0; slot < slots; ++slot)
    digits += (p[10 + slot / 8] >> (slot % 8) & 1) ? '0' : '1';
  return digits;
}

class BoxRecorderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    box.SetClock([this] { return now; });
  }
  Bytes Ask(uint16_t code, Bytes payload = {}) {
    auto replies = test::SplitReplies(box.Receive(test::Command({1, 1}, code, payload)));
    return replies.empty() ? Bytes{} : replies[0].payload;
  }
  void Start(uint8_t unit, uint8_t length, uint8_t trigger) {
    EXPECT_TRUE(Ask(0x0096, {unit, length, trigger, 0xC7, 0x89, 0xC5, 0x1E}).empty());
  }
  void At(Ms since) {
    now = origin + since;
    box.RunDue();
  }
  BoxSignal Signal(const char* name) { return *FindBoxSignal(name); }

  Clock::time_point origin = Clock::time_point() + std::chrono::hours(1);
  Clock::time_point now = origin;
  SimulatedBox box;
};

TEST_F(BoxRecorderTest, SlotsFillAsTimePassesAndMarkWhatHappenedInThem) {
  struct Event {
    Ms at;
    const char* signal;  // nullptr: a loss of 3 s through LoseSignalFor
  };
  struct Case {
    const char* what;
    uint8_t trigger;
    std::vector<Event> events;
    Ms readAt;
    std::string digits;
  };
  const Case cases[] = {
      {"a loss inside slots 3..6", 0, {{3500ms, nullptr}}, 10s, "0001111000"},
      {"the same with loss only", 1, {{3500ms, nullptr}}, 10s, "0001111000"},
      {"a loss from 3 s to 6 s: its return changes the picture in slot 6",
       0,
       {{3s, nullptr}},
       10s,
       "0001111000"},
      {"the same with loss only: slots 3..5", 1, {{3s, nullptr}}, 10s, "0001110000"},
      {"a format change", 0, {{2500ms, "720p60"}}, 5s, "00100"},
      {"a format change is no loss", 1, {{2500ms, "720p60"}}, 5s, "00000"},
      {"a loss still going when read", 1, {{7200ms, "none"}}, 9500ms, "000000011"},
      {"half a slot is not yet recorded", 0, {}, 2900ms, "00"},
  };
  for (const Case& c : cases) {
    box.SetSignal(Signal("1080p60"), false);
    At(0ms);
    Start(0, 1, c.trigger);
    for (const Event& e : c.events) {
      At(e.at);
      if (e.signal)
        box.SetSignal(Signal(e.signal), true);
      else
        box.LoseSignalFor(3s);
    }
    At(c.readAt);
    const Bytes record = Ask(0x8096);
    ASSERT_EQ(record.size(), 265u) << c.what;
    EXPECT_EQ(Digits(record), c.digits) << c.what;
    EXPECT_EQ(record[2], 0) << c.what;  // still recording
    EXPECT_EQ(Bytes(record.begin() + 3, record.begin() + 10),
              (Bytes{0, 1, c.trigger, 0xC7, 0x89, 0xC5, 0x1E}))
        << c.what;
  }
}

TEST_F(BoxRecorderTest, ATimedLossComesBackByItselfWithItsNotices) {
  box.LoseSignalFor(3s);
  EXPECT_FALSE(box.signal().Present());
  EXPECT_EQ(box.TimeToNextEvent(), Clock::duration(3s));
  At(2999ms);
  EXPECT_FALSE(box.signal().Present());
  At(3s);
  EXPECT_EQ(box.signal().name, "1080p60");
  EXPECT_EQ(box.TimeToNextEvent(), std::nullopt);
  std::vector<Bytes> notices;
  for (const auto& r : test::SplitReplies(box.TakeUnsolicited()))
    notices.push_back(r.payload);
  EXPECT_EQ(notices, (std::vector<Bytes>{{0}, {1}}));

  // A signal chosen meanwhile stays.
  box.LoseSignalFor(3s);
  box.SetSignal(Signal("720p60"), false);
  At(10s);
  EXPECT_EQ(box.signal().name, "720p60");
}

TEST_F(BoxRecorderTest, TheRecordingStopsAfter2040Slots) {
  EXPECT_EQ(Digits(Ask(0x8096)), "");  // never started
  EXPECT_NE(Ask(0x8096)[2], 0);
  Start(1, 2, 1);  // 2-minute slots: 68 hours
  box.SetSignal(Signal("none"), false);
  At(std::chrono::hours(68) - 1s);
  Bytes record = Ask(0x8096);
  EXPECT_EQ(Digits(record).size(), 2039u);
  EXPECT_EQ(record[2], 0);
  At(std::chrono::hours(70));
  record = Ask(0x8096);
  EXPECT_EQ((Bytes{record[0], record[1], record[2]}), (Bytes{255, 0, 1}));
  EXPECT_EQ(Digits(record), std::string(2040, '1'));
  // Settings the box cannot use change nothing.
  EXPECT_TRUE(Ask(0x0096, {0, 0, 0, 1, 2, 3, 4}).empty());
  EXPECT_TRUE(Ask(0x0096, {0, 5, 0}).empty());
  EXPECT_EQ(Ask(0x8096), record);
}

}  // namespace
}  // namespace sc
