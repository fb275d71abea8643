// The receive path at full speed: frames streamed into a pseudo-terminal, read by the
// serial worker, handed to the window thread one notification at a time, drained and
// parsed there. Reports bytes per second; the line itself carries 51,200 bytes/s at
// 512000 baud. In the same run a plain poll()/read() loop takes the same bytes off a
// pseudo-terminal of its own: "share" is the receive path's rate as a share of that
// loop's (1 = as fast as the bare terminal). The second argument opens the traffic log (1)
// or leaves it closed (0): open, every frame is also copied into the log's ring.

#include <benchmark/benchmark.h>
#include <termios.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <atomic>

#include <chrono>
#include <thread>

#include "console/console_dialog.h"
#include "sim/pty.h"
#include "tests/support/console_fixture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_host.h"

namespace sc {
namespace {

using namespace std::chrono_literals;

void ReceivePath(benchmark::State& state) {
  const size_t payloadSize = static_cast<size_t>(state.range(0));
  const bool logOpen = state.range(1) != 0;
  constexpr int kFramesPerRound = 2000;

  PtyMaster box;
  if (!box.ok()) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  TempDir dir;
  TestHost host;
  const std::map<int, std::string> ports = {{1, box.SlavePath()}};
  ConsoleDialog dialog(host, TestConsoleOptions(dir, &ports));
  dialog.Startup();
  long handled = 0;
  dialog.onDispatch = [&](uint16_t) { ++handled; };
  dialog.SetTrafficLogOpen(logOpen);
  dialog.ToggleLink();
  if (!dialog.linkUp()) {
    state.SkipWithError("link did not come up");
    return;
  }
  host.PumpFor(20ms);
  box.Read(10, 100ms);  // the input query the link sends on coming up

  // A reply the console takes without acting on it, so only the receive path is measured.
  std::vector<uint8_t> payload(payloadSize);
  for (size_t i = 0; i < payloadSize; ++i)
    payload[i] = static_cast<uint8_t>(i * 37);
  const std::vector<uint8_t> frame = BuildFrame(kReplyLead, {0x01, 0x01}, 0x8063, payload);
  std::vector<uint8_t> round;
  for (int i = 0; i < kFramesPerRound; ++i)
    round.insert(round.end(), frame.begin(), frame.end());

  // The plain loop's terminal: raw, read non-blocking after poll(), nothing else done.
  PtyMaster plainBox;
  const int plain = ::open(plainBox.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (plain < 0) {
    state.SkipWithError("no second pseudo-terminal");
    return;
  }
  termios tio{};
  ::tcgetattr(plain, &tio);
  cfmakeraw(&tio);
  ::tcsetattr(plain, TCSANOW, &tio);

  using Clock = std::chrono::steady_clock;
  Clock::duration consoleTime{}, plainTime{};
  for (auto _ : state) {
    // The plain loop first.
    auto start = Clock::now();
    std::thread plainWriter([&] { plainBox.Write(round); });
    size_t got = 0;
    uint8_t buffer[4096];
    while (got < round.size()) {
      pollfd p{plain, POLLIN, 0};
      if (::poll(&p, 1, 1000) <= 0) break;
      const ssize_t n = ::read(plain, buffer, sizeof buffer);
      if (n > 0) got += static_cast<size_t>(n);
    }
    plainWriter.join();
    plainTime += Clock::now() - start;
    if (got < round.size()) {
      state.SkipWithError("the plain loop lost bytes");
      break;
    }

    start = Clock::now();
    const long target = handled + kFramesPerRound;
    std::thread writer([&] { box.Write(round); });
    host.PumpUntil([&] { return handled >= target; }, 30s);
    writer.join();
    const auto spent = Clock::now() - start;
    consoleTime += spent;
    state.SetIterationTime(std::chrono::duration<double>(spent).count());
    if (handled < target) {
      state.SkipWithError("frames were lost");
      break;
    }
  }
  ::close(plain);
  const double bytes = static_cast<double>(state.iterations()) * static_cast<double>(round.size());
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  const double consoleSeconds = std::chrono::duration<double>(consoleTime).count();
  const double plainSeconds = std::chrono::duration<double>(plainTime).count();
  state.counters["x512000baud"] =
      benchmark::Counter(consoleSeconds > 0 ? bytes / consoleSeconds / 51200.0 : 0);
  state.counters["plain_MBps"] =
      benchmark::Counter(plainSeconds > 0 ? bytes / plainSeconds / 1e6 : 0);
  state.counters["share"] =
      benchmark::Counter(consoleSeconds > 0 ? plainSeconds / consoleSeconds : 0);
}

BENCHMARK(ReceivePath)
    ->ArgNames({"payload", "log"})
    ->ArgsProduct({{20, 256, 495}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

}  // namespace
}  // namespace sc

BENCHMARK_MAIN();
