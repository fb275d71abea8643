// The receive path at full speed: frames streamed into a pseudo-terminal, read by the
// serial worker, handed to the window thread one notification at a time, drained and
// parsed there. Reports bytes per second; the line itself carries 51,200 bytes/s at
// 512000 baud. The second argument opens the traffic log (1) or leaves it closed (0): open,
// every frame is also copied into the log's ring.

#include <benchmark/benchmark.h>

#include <atomic>
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
  if (!dialog.linkUp) {
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

  for (auto _ : state) {
    const long target = handled + kFramesPerRound;
    std::thread writer([&] { box.Write(round); });
    host.PumpUntil([&] { return handled >= target; }, 30s);
    writer.join();
    if (handled < target) {
      state.SkipWithError("frames were lost");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(round.size()));
  state.counters["x512000baud"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * static_cast<double>(round.size()) / 51200.0,
      benchmark::Counter::kIsRate);
}

BENCHMARK(ReceivePath)
    ->ArgNames({"payload", "log"})
    ->ArgsProduct({{20, 256, 495}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace sc

BENCHMARK_MAIN();
