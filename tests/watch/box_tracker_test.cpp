// What a watched box's polls make of it: the events of the rules a whole line run does not
// reach (a box silent from the start, a reply lost, a change across a loss of signal, an
// input change that is no HDCP change) and a reading decoded as the console decodes it.

#include "watch/box_tracker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/box_signal.h"

namespace sc {
namespace {

BoxPoll Whole(const char* format, uint8_t input = kHdmiInput, uint8_t hdcp = 0) {
  BoxSignal signal = *FindBoxSignal(format);
  signal.status.hdcp = hdcp;
  BoxPoll poll;
  poll.answered = kRequestsPerPoll;
  poll.reading.input = input;
  poll.reading.status = signal.status.Bytes();
  poll.reading.timing = signal.timing.Bytes();
  return poll;
}

BoxPoll Answered(int count) {
  BoxPoll poll;
  poll.answered = count;
  return poll;
}

// The events of each reading in turn, "name" or "name from -> to". A reading the tracker
// wants read again is followed by the next one of the list as its second reading.
std::vector<std::string> EventsOf(BoxTracker& tracker, const std::vector<BoxPoll>& polls) {
  std::vector<std::string> names;
  bool again = false;
  for (const BoxPoll& poll : polls) {
    std::vector<WatchEvent> events;
    again = tracker.Take(poll, again, 0, WallClock::now(), events);
    for (const WatchEvent& e : events) {
      std::string name = WatchEventName(e.kind);
      if (!e.from.empty() || !e.to.empty()) name += " " + e.from + " -> " + e.to;
      names.push_back(name);
    }
  }
  return names;
}

// A reading taken while the box switched from HDMI to SDI: the input answered before the
// switch, the timing and status after it.
BoxPoll Torn() {
  BoxPoll poll = Whole("sdi-1080i50", kHdmiInput);
  return poll;
}

TEST(BoxTrackerTest, EventsFollowTheRules) {
  struct Case {
    const char* what;
    std::vector<BoxPoll> polls;
    std::vector<std::string> events;
  };
  const BoxPoll hd = Whole("1080p60");
  const BoxPoll none = Whole("none");
  const Case cases[] = {
      {"silent from the start: once, then its first whole answer, read twice",
       {Answered(0), Answered(0), hd, hd},
       {"no_answer", "answering"}},
      {"a reply lost while up is no event; two silent turns in a row (each read twice) are, "
       "once",
       {hd, hd, Answered(2), Answered(0), Answered(0), Answered(0), Answered(0), Answered(0), hd,
        hd},
       {"answering", "no_answer", "answering"}},
      {"one silent turn between answers is no event: the box keeps its state",
       {hd, hd, Answered(0), Answered(0), hd, Answered(0), Answered(0), Answered(1), hd,
        Answered(0), Answered(0), Whole("720p60"), Whole("720p60")},
       {"answering", "format_changed 1920x1080(60) -> 1280x720(60)"}},
      // A lost first reply ends the reading with nothing answered: read again at once.
      {"a first reply lost while up is no event, and the box stays up",
       {hd, hd, Answered(0), hd, Whole("720p60"), Whole("720p60")},
       {"answering", "format_changed 1920x1080(60) -> 1280x720(60)"}},
      {"a first reply lost, then one of the second reading: no event either",
       {hd, hd, Answered(0), Answered(1), hd},
       {"answering"}},
      {"a part answer before the first whole one: nothing yet",
       {Answered(1), Whole("720p60"), Whole("720p60")},
       {"answering"}},
      {"a first answer whose second reading is lost: nothing yet",
       {hd, Answered(1), hd, hd},
       {"answering"}},
      {"the signal back in another format is also a format change",
       {hd, hd, none, none, none, Whole("720p60"), Whole("720p60")},
       {"answering", "signal_lost", "signal_back", "format_changed 1920x1080(60) -> 1280x720(60)"}},
      {"the signal back as it was: no format change",
       {Whole("1080p60", kHdmiInput, 1), Whole("1080p60", kHdmiInput, 1), none, none,
        Whole("1080p60", kHdmiInput, 1), Whole("1080p60", kHdmiInput, 1)},
       {"answering", "signal_lost", "signal_back"}},
      {"HDCP off to 1.4 to 2.2",
       {hd, hd, Whole("1080p60", kHdmiInput, 1), Whole("1080p60", kHdmiInput, 1),
        Whole("1080p60", kHdmiInput, 2), Whole("1080p60", kHdmiInput, 2)},
       {"answering", "hdcp_changed OFF -> HDCP1.4", "hdcp_changed HDCP1.4 -> HDCP2.2"}},
      // The SDI input shows no HDCP: the input change says it all.
      {"to SDI and back",
       {Whole("1080p60", kHdmiInput, 2), Whole("1080p60", kHdmiInput, 2),
        Whole("sdi-1080i50", kSdiInput), Whole("sdi-1080i50", kSdiInput),
        Whole("1080p60", kHdmiInput, 2), Whole("1080p60", kHdmiInput, 2)},
       {"answering", "input_changed HDMI -> SDI", "format_changed 1920x1080(60) -> 1920x1080i(50)",
        "input_changed SDI -> HDMI", "format_changed 1920x1080i(50) -> 1920x1080(60)"}},
      {"a reading torn by the switch is not reported: its second reading is",
       {Whole("1080p60", kHdmiInput, 2), Whole("1080p60", kHdmiInput, 2), Torn(),
        Whole("sdi-1080i50", kSdiInput)},
       {"answering", "input_changed HDMI -> SDI",
        "format_changed 1920x1080(60) -> 1920x1080i(50)"}},
      {"a reading that the second does not bear out changes nothing",
       {hd, hd, Torn(), hd, hd},
       {"answering"}},
      {"no signal at the first answer, then one",
       {none, none, Whole("1080i60"), Whole("1080i60")},
       {"answering", "signal_back"}},
  };
  for (const Case& c : cases) {
    BoxTracker tracker;
    EXPECT_EQ(EventsOf(tracker, c.polls), c.events) << c.what;
  }
}

TEST(BoxTrackerTest, CountsPollsAndKeepsTheLastAnswer) {
  BoxTracker tracker;
  EXPECT_FALSE(tracker.polled());
  BoxPoll part = Answered(2);
  part.lastAnswer = WallClock::time_point{} + std::chrono::seconds(100);
  EventsOf(tracker, {Whole("1080p60"), Whole("1080p60"), part, Answered(0), Answered(0),
                     Answered(0), Answered(0)});
  EXPECT_EQ(tracker.polls(), 4u);  // a turn read twice is one poll
  EXPECT_EQ(tracker.unanswered(), 3u);
  EXPECT_FALSE(tracker.up());
  EXPECT_FALSE(tracker.state());  // no stale state once silent
  EXPECT_EQ(tracker.lastAnswer(), part.lastAnswer);
}

// The timing decoded with the status's corrections and the input, as the console shows it.
TEST(BoxTrackerTest, AReadingDecodesAsTheConsoleShowsIt) {
  struct Case {
    const char* format;
    uint8_t input;
    const char* text;
    int width, height;
    double rate;  // a field rate from the shorter field of two (50.04 for 50)
    double hdcp;
  };
  const Case cases[] = {
      {"1080i50", kHdmiInput, "1920x1080i(50)", 1920, 1080, 50, 1.4},
      {"2160p60", kHdmiInput, "3840x2160(60)", 3840, 2160, 60, 1.4},  // 4:2:0
      {"480p59.94", kHdmiInput, "720x480(60)", 720, 480, 59.94, 1.4},
      {"1080p24-3d", kHdmiInput, "1920x1080(24)", 1920, 1080, 24, 1.4},  // frame packing
      {"sdi-1080i50", kSdiInput, "1920x1080i(50)", 1920, 1080, 50, 0},
  };
  for (const Case& c : cases) {
    const BoxPoll poll = Whole(c.format, c.input, 1);
    const BoxState s = DecodeBoxReading(poll.reading);
    EXPECT_TRUE(s.signalPresent) << c.format;
    EXPECT_EQ(s.Format(), c.text) << c.format;
    EXPECT_EQ(s.timing.hActive, c.width) << c.format;
    EXPECT_EQ(s.timing.vActive, c.height) << c.format;
    EXPECT_NEAR(s.timing.vFreq, c.rate, 0.05) << c.format;
    EXPECT_DOUBLE_EQ(s.hdcpVersion, c.hdcp) << c.format;
  }
  // Colour space 7 is in no table: the text stays what the panel showed before.
  BoxPoll odd = Whole("1080p60");
  odd.reading.status[0] = 7;
  StatusPanel before;
  before.colorSpace = "YUV4:4:4";
  EXPECT_EQ(DecodeBoxReading(odd.reading, before).panel.colorSpace, "YUV4:4:4");
  EXPECT_EQ(DecodeBoxReading(Whole("none").reading, before).panel.colorSpace, "");
}

}  // namespace
}  // namespace sc
