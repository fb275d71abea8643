// The event lines as a person reads them on a terminal, and the time stamp both forms
// carry, in zones east and west of Greenwich.

#include "watch/event_output.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "sim/box_signal.h"

namespace sc {
namespace {

class EventLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    if (tz) saved_ = tz;
    hadZone_ = tz != nullptr;
  }
  void TearDown() override {
    hadZone_ ? ::setenv("TZ", saved_.c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
  }
  static void Zone(const char* tz) {
    ::setenv("TZ", tz, 1);
    ::tzset();
  }

 private:
  std::string saved_;
  bool hadZone_ = false;
};

// 2026-12-08 13:03:22.512 UTC.
const WallClock::time_point kWhen =
    WallClock::time_point{} + std::chrono::milliseconds(1796735002512LL);

TEST_F(EventLineTest, TheTimeIsLocalWithItsOffset) {
  const struct {
    const char* zone;
    const char* text;
  } cases[] = {
      {"UTC0", "2026-12-08T13:03:22.512+00:00"},    {"CET-1", "2026-12-08T14:03:22.512+01:00"},
      {"EST5", "2026-12-08T08:03:22.512-05:00"},    {"IST-5:30", "2026-12-08T18:33:22.512+05:30"},
      {"NST3:30", "2026-12-08T09:33:22.512-03:30"},
  };
  for (const auto& c : cases) {
    Zone(c.zone);
    EXPECT_EQ(FormatEventTime(kWhen), c.text) << c.zone;
  }
}

BoxState Decoded(const char* format, uint8_t input, uint8_t hdcp) {
  BoxSignal signal = *FindBoxSignal(format);
  signal.status.hdcp = hdcp;
  BoxReading reading;
  reading.input = input;
  reading.status = signal.status.Bytes();
  reading.timing = signal.timing.Bytes();
  return DecodeBoxReading(reading);
}

TEST_F(EventLineTest, ReadableLines) {
  Zone("CET-1");
  auto event = [](WatchEventKind kind, std::optional<BoxState> state = {}, std::string from = {},
                  std::string to = {}) {
    WatchEvent e;
    e.kind = kind;
    e.time = kWhen;
    e.state = std::move(state);
    e.from = std::move(from);
    e.to = std::move(to);
    return e;
  };
  const EventSource source{"COM1", "/dev/ttyUSB0", "0A03"};
  const struct {
    WatchEvent event;
    const char* line;
  } cases[] = {
      {event(WatchEventKind::Answering, Decoded("1080p60", kHdmiInput, 2)),
       "2026-12-08 14:03:22 COM1 0A03 answering: HDMI, 1920x1080(60), HDCP2.2"},
      {event(WatchEventKind::Answering, Decoded("sdi-1080i50", kSdiInput, 0)),
       "2026-12-08 14:03:22 COM1 0A03 answering: SDI, 1920x1080i(50)"},
      {event(WatchEventKind::Answering, Decoded("none", kHdmiInput, 0)),
       "2026-12-08 14:03:22 COM1 0A03 answering: HDMI, no signal"},
      {event(WatchEventKind::NoAnswer), "2026-12-08 14:03:22 COM1 0A03 no_answer"},
      {event(WatchEventKind::SignalBack, Decoded("720p50", kHdmiInput, 0)),
       "2026-12-08 14:03:22 COM1 0A03 signal_back: 1280x720(50)"},
      {event(WatchEventKind::HdcpChanged, {}, "OFF", "HDCP1.4"),
       "2026-12-08 14:03:22 COM1 0A03 hdcp_changed: OFF -> HDCP1.4"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatEventText(c.event, source), c.line);
  // A device path is shown, never sent to the terminal raw.
  const EventSource odd{"/dev/tty\x1b[2J", "/dev/tty\x1b[2J", "0A03"};
  EXPECT_EQ(FormatEventText(event(WatchEventKind::SignalLost), odd),
            "2026-12-08 14:03:22 /dev/tty\\x1B[2J 0A03 signal_lost");
  EXPECT_EQ(FormatEventJson(event(WatchEventKind::SignalLost), odd),
            "{\"time\":\"2026-12-08T14:03:22.512+01:00\",\"port\":\"/dev/tty\\u001b[2J\","
            "\"box\":\"0A03\",\"event\":\"signal_lost\"}");
}

}  // namespace
}  // namespace sc
