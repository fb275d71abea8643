// Faults on the line, end to end: the console on a pseudo-terminal, a simulated box (or a
// far end that misbehaves) at the other end, time driven by the test host's clock. Each
// ends in the state the console shows for it, with at most one message for the event.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>

#include "console/control_ids.h"
#include "sim/box_server.h"
#include "sim/pty.h"
#include "sim/simulated_box.h"
#include "tests/support/console_fixture.h"

namespace sc {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

bool Contains(const Bytes& haystack, const Bytes& needle) {
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
         haystack.end();
}

class FaultTest : public ConsoleFixture {
 protected:
  // Runs a window-thread call and keeps the longest one.
  template <class F>
  void Timed(F&& f) {
    const auto start = Clock::now();
    f();
    longestCall = std::max(longestCall, Clock::now() - start);
  }
  static long Ms(Clock::duration d) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
  }

  Clock::duration longestCall{};
};

// The start of the status chain the link sends on coming up (the pages add to its end).
const std::vector<uint16_t> kChainStart = {0x8082, 0x8081, 0x8080, 0xF850, 0x8091};

TEST_F(FaultTest, TheStatusChainUnderFaultsOfTheBox) {
  using Codes = std::vector<uint16_t>;
  auto firstOnly = [](const Codes& chain) { return Codes{chain[0]}; };
  const struct Scenario {
    const char* name;
    std::function<void(SimulatedBox&)> fault;
    // What the box is asked, in order and nothing more, from the whole chain.
    std::function<Codes(const Codes& chain)> seen;
  } scenarios[] = {
      {"no fault", [](SimulatedBox&) {}, [](const Codes& chain) { return chain; }},
      // A lost or refused reply ends the chain without a retry.
      {"the first reply dropped", [](SimulatedBox& b) { b.faults().dropFrames = 1; }, firstOnly},
      {"the first reply corrupted", [](SimulatedBox& b) { b.faults().corruptFrames = 1; },
       firstOnly},
      {"the first reply from another box", [](SimulatedBox& b) { b.faults().strangerFrames = 1; },
       firstOnly},
      {"replies delayed", [](SimulatedBox& b) { b.faults().replyDelay = 30ms; },
       [](const Codes& chain) { return chain; }},
      {"noise before every reply", [](SimulatedBox& b) { b.faults().garbleFrames = 100; },
       [](const Codes& chain) { return chain; }},
  };
  Codes chain;
  for (const Scenario& sc : scenarios) {
    SCOPED_TRACE(sc.name);
    BoxServer box({{0x0A, 0x03}});
    ASSERT_TRUE(box.StartOnPty());
    box.WithLine([&](BoxLine& line) { sc.fault(line.box(0)); });
    portMap[1] = box.path();
    host.messages.clear();
    StartConsole();
    // The box answers from its own address: the console then addresses it alone.
    dialog->SelectTarget({0x0A, 0x03});
    Timed([&] { dialog->ToggleLink(); });
    ASSERT_TRUE(dialog->linkUp());
    auto seen = [&] { return box.WithLine([](BoxLine& l) { return l.box(0).CommandCodes(); }); };
    const size_t expected = chain.empty() ? kChainStart.size() : sc.seen(chain).size();
    ASSERT_TRUE(host.PumpUntil([&] { return seen().size() >= expected; }));
    // Settled: nothing more is asked, and neither side keeps waking up.
    host.PumpFor(100ms);
    const uint64_t worker = dialog->serialPort().WorkerWakeups();
    const uint64_t server = box.wakeups();
    host.PumpFor(50ms);
    if (chain.empty()) {
      chain = seen();
      ASSERT_TRUE(std::equal(kChainStart.begin(), kChainStart.end(), chain.begin()));
    }
    EXPECT_EQ(seen(), sc.seen(chain));
    EXPECT_TRUE(dialog->linkUp());
    EXPECT_TRUE(host.messages.empty()) << host.messages.front().text;
    EXPECT_LE(dialog->serialPort().WorkerWakeups() - worker, 2u);
    EXPECT_LE(box.wakeups() - server, 2u);
    dialog.reset();
  }
  // No call waits for the box on the window thread (a wait for an answer would take its 3 s);
  // the bound leaves room for a loaded machine under the sanitizers (550 ms seen there).
  EXPECT_LT(Ms(std::max(longestCall, host.longestWork)), 2000);

  // A reply that comes twice is an answer twice: the rest of the chain may run twice.
  // (Whether the second copy's requests are answered twice depends on timing: each write
  // first discards what has not been read yet.) It never runs more often than that.
  BoxServer box({{0x0A, 0x03}});
  ASSERT_TRUE(box.StartOnPty());
  box.WithLine([&](BoxLine& line) { line.box(0).faults().duplicateFrames = 1; });
  portMap[1] = box.path();
  host.messages.clear();
  StartConsole();
  dialog->SelectTarget({0x0A, 0x03});
  dialog->ToggleLink();
  auto seen = [&] { return box.WithLine([](BoxLine& l) { return l.box(0).CommandCodes(); }); };
  ASSERT_TRUE(host.PumpUntil([&] {
    const Codes s = seen();
    return std::count(s.begin(), s.end(), chain.back()) >= 1;
  }));
  host.PumpFor(100ms);
  const Codes twice = seen();
  EXPECT_EQ(twice.front(), chain.front());
  EXPECT_EQ(std::count(twice.begin(), twice.end(), chain.front()), 1);
  for (size_t i = 1; i < chain.size(); ++i) {
    const auto n = std::count(twice.begin(), twice.end(), chain[i]);
    EXPECT_TRUE(n == 1 || n == 2) << std::hex << chain[i] << " asked " << n << " times";
  }
  EXPECT_EQ(twice.size(), std::count_if(twice.begin(), twice.end(), [&](uint16_t c) {
              return std::find(chain.begin(), chain.end(), c) != chain.end();
            }));
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(FaultTest, TheBoxHangsUpMidChain) {
  BoxServer box({{0x01, 0x01}});
  ASSERT_TRUE(box.StartOnPty());
  box.WithLine([](BoxLine& line) { line.box(0).faults().replyDelay = 20ms; });
  portMap[1] = box.path();
  StartConsole();
  dialog->ToggleLink();
  ASSERT_TRUE(host.PumpUntil([&] {
    return box.WithLine([](BoxLine& l) { return l.box(0).CommandCodes().size() >= 3; });
  }));
  box.HangUp();
  ASSERT_TRUE(host.PumpUntil([&] { return !dialog->linkUp(); }));
  host.PumpFor(100ms);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_NE(host.messages[0].text.find("has gone away"), std::string::npos);
  EXPECT_FALSE(dialog->serialPort().WorkerRunning());
  EXPECT_EQ(view.Icon(ids::kLinkIcon), ids::kIconLinkDown);
  // Sends now say the link is down, as for a link never brought up.
  dialog->SendCommand(0x8090);
  ASSERT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(host.messages[1].text, "Com port is not on yet.");
}

TEST_F(FaultTest, APortThatOpensButNeverAnswers) {
  PtyMaster silent;
  ASSERT_TRUE(silent.ok());
  portMap[1] = silent.SlavePath();
  StartConsole();
  Timed([&] { dialog->ToggleLink(); });
  EXPECT_TRUE(dialog->linkUp());
  EXPECT_EQ(silent.Read(10, 2s), Command({0x00, 0x00}, 0x8082));
  // Nothing comes back: no message, no retry, no busy worker.
  const uint64_t before = dialog->serialPort().WorkerWakeups();
  host.PumpFor(100ms);
  EXPECT_LE(dialog->serialPort().WorkerWakeups() - before, 1u);
  EXPECT_TRUE(silent.Read(1, 50ms).empty());
  EXPECT_TRUE(host.messages.empty());
  EXPECT_TRUE(dialog->linkUp());
}

TEST_F(FaultTest, AStalledLineGivesOneMessageAndNeverHoldsTheWindow) {
  // A far end that reads nothing: the terminal's buffer fills and writes wait. Its slave
  // stays open here too, so that closing the port is no hang-up for it.
  PtyMaster deaf;
  ASSERT_TRUE(deaf.ok());
  const int held = ::open(deaf.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(held, 0);
  portMap[1] = deaf.SlavePath();
  StartConsole();
  Timed([&] { dialog->ToggleLink(); });
  ASSERT_TRUE(dialog->linkUp());

  const std::string stall =
      "WARNING:  WriteFile() Failed with the following error: \nConnection timed out\n"
      "Port: 1\nThe line takes no data: frames sent until it does are dropped.\n";
  // EDID writes of 267 bytes each, until the terminal's buffer (some 17 kB) is full and
  // a write has waited its whole time-out.
  Bytes slot(257, 0x5A);
  slot[0] = 0;
  auto sendUntilStalled = [&] {
    const size_t before = host.messages.size();
    return host.PumpUntil(
        [&] {
          if (host.messages.size() > before && host.messages.back().text == stall) return true;
          Timed([&] { dialog->SendCommandWithData(0x7851, 257, slot.data()); });
          return false;
        },
        30s);
  };
  ASSERT_TRUE(sendUntilStalled());
  ASSERT_EQ(host.messages.size(), 1u) << host.messages[0].text;
  EXPECT_EQ(host.messages[0].caption, "Application Error");

  // While the worker waits on the line, the window closes and re-opens the port (which
  // empties the line's queue: the frames dropped so far are told at the first write).
  for (int i = 0; i < 10; ++i)
    Timed([&] { dialog->SendCommandWithData(0x7851, 257, slot.data()); });
  Timed([&] { dialog->ToggleLink(); });
  Timed([&] { dialog->ToggleLink(); });
  ASSERT_TRUE(dialog->linkUp());
  ASSERT_TRUE(sendUntilStalled());

  // The far end reads again; a last frame goes through.
  const Bytes last = Command({0x00, 0x00}, 0x8090);
  Bytes got;
  Timed([&] { dialog->SendCommand(0x8090); });
  ASSERT_TRUE(host.PumpUntil(
      [&] {
        const Bytes more = deaf.Read(1 << 16, 10ms);
        got.insert(got.end(), more.begin(), more.end());
        return Contains(got, last) && host.messages.back().text != stall;
      },
      30s))
      << got.size() << " bytes read, " << host.messages.size() << " messages, dropped "
      << dialog->serialPort().DroppedFrames();
  host.PumpFor(50ms);
  ::close(held);
  // One message for each stall, and after each the count of what was dropped.
  ASSERT_EQ(host.messages.size(), 4u);
  for (size_t i : {0u, 2u})
    EXPECT_EQ(host.messages[i].text, stall) << i;
  for (size_t i : {1u, 3u}) {
    EXPECT_EQ(host.messages[i].text.rfind("WARNING:  ", 0), 0u) << host.messages[i].text;
    EXPECT_NE(
        host.messages[i].text.find(" dropped: the line did not take them in time.\nPort: 1\n"),
        std::string::npos)
        << host.messages[i].text;
  }
  const long longest = std::max(Ms(longestCall), Ms(host.longestWork));
  RecordProperty("longest_window_block_ms", static_cast<int>(longest));
  std::printf("stall: longest window block %ld ms\n", longest);
  // The old write waited a second for each frame, with the port's lock held.
  EXPECT_LT(longest, 500);
}

}  // namespace
}  // namespace sc
