// The simulated box's noisy line: repeatable from its seed, every kind of fault made and
// each doing what its name says, and the list of faults the soak compares against.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "sim/box_chaos.h"
#include "sim/box_server.h"
#include "sim/sim_commands.h"
#include "sim/simulated_box.h"
#include "tests/sim/sim_test_util.h"

namespace sc {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::Command;
using test::SplitReplies;

constexpr DeviceAddress kAll{0x00, 0x00};

// A box on a clock the test moves, with chaos from the start.
struct ChaosBox {
  ChaosBox(uint64_t seed, double rate, DeviceAddress address = {0x01, 0x01}) : box(address) {
    box.SetClock([this] { return now; });
    box.faults().chaos.emplace(seed, rate, address);
  }
  // What one command brings, at once and after every delay has run out.
  Bytes Ask(uint16_t code, Bytes payload = {}) {
    Bytes out = box.Receive(Command(kAll, code, std::move(payload)));
    now += kChaosMaxDelay;
    const Bytes late = box.TakeUnsolicited();
    out.insert(out.end(), late.begin(), late.end());
    return out;
  }
  SimulatedBox::Clock::time_point now{};
  SimulatedBox box;
};

struct Drawn {
  ChaosKind kind;
  uint16_t code;
  long long delay;
  size_t keep;
  friend bool operator==(const Drawn&, const Drawn&) = default;
};

std::vector<Drawn> Events(const SimulatedBox& box) {
  std::vector<Drawn> drawn;
  for (const ChaosEvent& e : box.faults().chaos->events)
    drawn.push_back({e.fault.kind, e.code, e.fault.delay.count(), e.fault.keep});
  return drawn;
}

// A run of the console's usual questions, signal notices among them.
Bytes Traffic(ChaosBox& b) {
  static const uint16_t kCodes[] = {0x8082, 0x8081, 0x8080, 0xF850, 0x8091, 0x8090, 0x8092};
  Bytes all;
  for (int round = 0; round < 60; ++round) {
    for (uint16_t code : kCodes) {
      const Bytes out = code == 0x8092 ? b.Ask(code, {0x82}) : b.Ask(code);
      all.insert(all.end(), out.begin(), out.end());
    }
    b.box.SetSignal(*FindBoxSignal(round % 2 ? "720p60" : "1080p60"), true);
    const Bytes notice = b.box.TakeUnsolicited();
    all.insert(all.end(), notice.begin(), notice.end());
  }
  return all;
}

TEST(BoxChaos, TheSameSeedMakesTheSameFaults) {
  ChaosBox a(42, 0.2), b(42, 0.2), otherSeed(43, 0.2), otherBox(42, 0.2, {0x01, 0x02});
  const Bytes fromA = Traffic(a);
  EXPECT_EQ(Traffic(b), fromA);
  EXPECT_EQ(Events(b.box), Events(a.box));
  EXPECT_GT(Events(a.box).size(), 40u);  // about a fifth of 480 frames
  // Another seed, or another box on the line with the same seed, draws differently.
  Traffic(otherSeed);
  Traffic(otherBox);
  EXPECT_NE(Events(otherSeed.box), Events(a.box));
  EXPECT_NE(Events(otherBox.box), Events(a.box));
  // Rate 0 leaves every frame alone, and no chaos draws nothing at all.
  ChaosBox quiet(42, 0.0);
  SimulatedBox plain;
  for (int i = 0; i < 50; ++i)
    EXPECT_EQ(quiet.Ask(0x8090), plain.Receive(Command(kAll, 0x8090)));
  EXPECT_TRUE(quiet.box.faults().chaos->events.empty());
}

// A frame held back keeps its place on the line: what the box sends after it, a reply or a
// notice, waits behind it, as behind a slow frame.
TEST(BoxChaos, AFrameHeldBackIsNotOvertaken) {
  ChaosBox b(7, 1.0);
  SimulatedBox plain;
  const Bytes status = plain.Receive(Command(kAll, 0x8090));
  const Bytes timing = plain.Receive(Command(kAll, 0x8091));
  // Until the chaos holds a status reply back.
  Bytes held;
  for (int i = 0; i < 200 && held.empty(); ++i) {
    b.box.faults().chaos->events.clear();
    b.box.Receive(Command(kAll, 0x8090));
    if (b.box.faults().chaos->events.front().fault.kind == ChaosKind::Delay)
      held = status;
    else
      b.Ask(0x8082);  // lets anything late go out
  }
  ASSERT_FALSE(held.empty());
  const auto delay = b.box.faults().chaos->events.front().fault.delay;
  b.box.faults().chaos.reset();
  // The timing reply and a notice come after it, in that order, and not before it.
  EXPECT_TRUE(b.box.Receive(Command(kAll, 0x8091)).empty());
  b.box.SetSignal(*FindBoxSignal("720p60"), true);
  EXPECT_TRUE(b.box.TakeUnsolicited().empty());
  b.now += delay;
  const std::vector<test::Reply> out = SplitReplies(b.box.TakeUnsolicited());
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0].code, 0x8090);
  EXPECT_EQ(out[1].code, 0x8091);
  EXPECT_EQ(out[1].payload, SplitReplies(timing)[0].payload);
  EXPECT_EQ(out[2].code, 0x809F);
  // Nothing held any more: replies go out at once again.
  EXPECT_FALSE(b.box.Receive(Command(kAll, 0x8091)).empty());
}

// A picture asked for while a frame is held waits behind it: its chunks are not made
// meanwhile, so a stop sent at once still ends it.
TEST(BoxChaos, APictureWaitsBehindAFrameHeldBack) {
  constexpr DeviceAddress kBox{0x01, 0x01};
  ChaosBox b(7, 1.0, kBox);
  bool held = false;
  for (int i = 0; i < 200 && !held; ++i) {
    b.box.faults().chaos->events.clear();
    b.box.Receive(Command(kBox, 0x8090));
    held = b.box.faults().chaos->events.front().fault.kind == ChaosKind::Delay;
    if (!held) b.Ask(0x8082);
  }
  ASSERT_TRUE(held);
  const auto delay = b.box.faults().chaos->events.front().fault.delay;
  b.box.faults().chaos.reset();
  b.box.Receive(Command(kBox, box_code::kFrame));
  ASSERT_TRUE(b.box.Streaming());
  EXPECT_TRUE(b.box.TakeStreamed(1 << 20).empty());
  b.box.Receive(Command(kBox, box_code::kStopUpload));
  b.now += delay;
  const std::vector<test::Reply> out = SplitReplies(b.box.TakeUnsolicited());
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].code, 0x8090);
  EXPECT_TRUE(b.box.TakeStreamed(1 << 20).empty());
}

TEST(BoxChaos, EveryKindOccursAndDoesWhatItsNameSays) {
  ChaosBox b(7, 1.0);  // every frame meets a fault
  SimulatedBox plain;
  const Bytes good = plain.Receive(Command(kAll, 0x8090));
  ASSERT_EQ(SplitReplies(good).size(), 1u);
  std::map<ChaosKind, int> seen;
  for (int i = 0; i < 200; ++i) {
    b.box.faults().chaos->events.clear();
    const Bytes now = b.box.Receive(Command(kAll, 0x8090));
    ASSERT_EQ(b.box.faults().chaos->events.size(), 1u);
    const ChaosEvent e = b.box.faults().chaos->events.front();
    EXPECT_EQ(e.code, 0x8090);
    EXPECT_EQ(e.size, good.size());
    EXPECT_EQ(e.box, (DeviceAddress{0x01, 0x01}));
    ++seen[e.fault.kind];
    const std::vector<test::Reply> replies = SplitReplies(now);
    SCOPED_TRACE(ChaosKindName(e.fault.kind));
    switch (e.fault.kind) {
      case ChaosKind::Drop:
        EXPECT_TRUE(now.empty());
        break;
      case ChaosKind::Corrupt:
        ASSERT_EQ(replies.size(), 1u);
        EXPECT_FALSE(replies[0].sumOk);
        EXPECT_EQ(Bytes(now.begin(), now.end() - 1), Bytes(good.begin(), good.end() - 1));
        break;
      case ChaosKind::Duplicate: {
        Bytes twice = good;
        twice.insert(twice.end(), good.begin(), good.end());
        EXPECT_EQ(now, twice);
        break;
      }
      case ChaosKind::Delay: {
        EXPECT_TRUE(now.empty());
        ASSERT_GE(e.fault.delay, 1ms);
        ASSERT_LE(e.fault.delay, kChaosMaxDelay);
        // Held until its time, then sent whole.
        b.now += e.fault.delay - 1ms;
        EXPECT_TRUE(b.box.TakeUnsolicited().empty());
        EXPECT_LE(b.box.TimeToNextEvent(), std::optional<SimulatedBox::Clock::duration>(1ms));
        b.now += 1ms;
        EXPECT_EQ(b.box.TakeUnsolicited(), good);
        break;
      }
      case ChaosKind::Garble: {
        const Bytes noise(std::begin(kLineNoise), std::end(kLineNoise));
        ASSERT_EQ(now.size(), noise.size() + good.size());
        EXPECT_EQ(Bytes(now.begin(), now.begin() + noise.size()), noise);
        EXPECT_EQ(Bytes(now.begin() + noise.size(), now.end()), good);
        break;
      }
      case ChaosKind::Cut:
        ASSERT_GE(e.fault.keep, 1u);
        ASSERT_LT(e.fault.keep, good.size());
        EXPECT_EQ(now, Bytes(good.begin(), good.begin() + e.fault.keep));
        break;
      case ChaosKind::Stranger:
        ASSERT_EQ(replies.size(), 1u);
        EXPECT_TRUE(replies[0].sumOk);
        EXPECT_EQ(replies[0].address, (DeviceAddress{0x01, 0x02}));
        EXPECT_EQ(replies[0].payload, SplitReplies(good)[0].payload);
        break;
    }
    b.now += kChaosMaxDelay;
    b.box.TakeUnsolicited();
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(kChaosKindCount));
  for (const auto& [kind, count] : seen)
    EXPECT_GE(count, 10) << ChaosKindName(kind);
  const BoxCounters& c = b.box.counters();
  EXPECT_EQ(c.dropped + c.corrupted + c.duplicated + c.delayed + c.garbled + c.cut + c.strangers,
            200u);
}

TEST(BoxChaos, TheCommandsSetItAndListTheFaults) {
  BoxServer server({{0x0A, 0x01}, {0x0A, 0x02}});
  SimCommandInterpreter commands(server);
  for (const char* bad : {"chaos", "chaos 7", "chaos 7 1.5", "chaos x 0.1", "chaos 7 -1",
                          "chaos 7 0.1 more", "chaos 7 .", "chaos 7 101%"})
    EXPECT_FALSE(commands.Execute(bad).ok) << bad;
  ASSERT_TRUE(commands.Execute("box 0A02").ok);
  ASSERT_TRUE(commands.Execute("chaos 9 100%").ok);
  EXPECT_NE(commands.Execute("status").text.find("chaos seed 9 rate 1"), std::string::npos);
  server.WithLine([](BoxLine& line) {
    EXPECT_FALSE(line.box(0).faults().chaos);
    ASSERT_TRUE(line.box(1).faults().chaos);
    line.Receive(Command(kAll, 0x8082).data(), Command(kAll, 0x8082).size());
    line.Receive(Command(kAll, 0x8090).data(), Command(kAll, 0x8090).size());
  });
  const std::string listed = commands.Execute("chaos events").text;
  // One line per fault of box 0A02, each naming the box and the code, then the count.
  EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'), 3) << listed;
  EXPECT_EQ(listed.rfind("chaos-event ", 0), 0u) << listed;
  EXPECT_NE(listed.find(" 0A02 "), std::string::npos) << listed;
  EXPECT_NE(listed.find(" 8082 "), std::string::npos) << listed;
  EXPECT_NE(listed.find(" 8090 "), std::string::npos) << listed;
  EXPECT_NE(listed.find("ok 2 events\n"), std::string::npos) << listed;
  EXPECT_EQ(commands.Execute("chaos events").text, "ok 0 events\n");
  ASSERT_TRUE(commands.Execute("chaos off").ok);
  server.WithLine([](BoxLine& line) { EXPECT_FALSE(line.box(1).faults().chaos); });

  std::string error;
  for (const char* good : {"7:0.01", "7:1%", "18446744073709551615:0"})
    EXPECT_TRUE(ParseSimOptions({"--chaos", good}, &error)) << good << ": " << error;
  for (const char* bad : {"7", ":0.1", "7:", "7:2", "-1:0.1", "7:0.1x"})
    EXPECT_FALSE(ParseSimOptions({"--chaos", bad}, &error)) << bad;
  EXPECT_DOUBLE_EQ(ParseSimOptions({"--chaos=3:2.5%"}, &error)->chaos->rate, 0.025);
}

}  // namespace
}  // namespace sc
