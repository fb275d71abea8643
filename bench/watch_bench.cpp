// Rounds a watcher makes on one line of 32 simulated boxes, against what the line itself
// allows. One round asks every box for its input, timing and status: 96 requests of 10
// bytes and 96 answers (11, 30 and 20 bytes a box), 2912 bytes in all; at 115200 baud
// (11,520 bytes/s) a line carries at most 3.96 such rounds a second.
//
//   Paced: the simulator sends at 115200 baud and counts the watcher's requests as line
//   time too (a two-wire bus carries one direction at a time): rounds/s and their ratio
//   to the line's 3.96. What is left to 1 is the turn-around of each request: the driver's
//   hand-off, the scheduler, the next write.
//   Unpaced: as fast as the pseudo-terminal carries the bytes: the watcher's own ceiling.
//
//     build/bench/watch_bench

#include <benchmark/benchmark.h>

#include <thread>

#include "cli/cli_host.h"
#include "link/frame.h"
#include "sim/box_server.h"
#include "watch/line_watcher.h"

namespace sc {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kBoxes = 32;
constexpr double kLineBytesPerSecond = 115200 / 10.0;
// Three requests without payload, and their answers: input 1 byte, timing 20, status 10.
constexpr double kRoundBytes = kBoxes * (3.0 * kFrameOverhead + (kFrameOverhead + 1) +
                                         (kFrameOverhead + 20) + (kFrameOverhead + 10));
constexpr double kLineRounds = kLineBytesPerSecond / kRoundBytes;

void WatchRounds(benchmark::State& state) {
  const bool paced = state.range(0) != 0;
  std::vector<DeviceAddress> boxes;
  for (int i = 1; i <= kBoxes; ++i)
    boxes.push_back({0x01, static_cast<uint8_t>(i)});
  BoxServer server(boxes);
  server.SetPacing(paced);
  server.SetHalfDuplex(true);
  if (!server.StartOnPty()) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  CliHost host;
  LineWatcher::Settings settings;
  settings.boxes = boxes;
  settings.every = 0ms;  // one round after the other
  settings.timeout = 1000ms;
  LineWatcher watcher(host, PortDirectory::Build("", {server.path()}), 1, settings);
  std::string error;
  if (!watcher.Start(&error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  // The first round opens the line; the rounds after it are measured.
  host.RunUntil([&] { return watcher.rounds() >= 1; }, 10s);
  const double window = paced ? 5.0 : 2.0;
  for (auto _ : state) {
    const uint64_t first = watcher.rounds();
    const auto start = Clock::now();
    host.RunUntil([] { return false; }, std::chrono::milliseconds(static_cast<int>(window * 1000)));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double rounds = static_cast<double>(watcher.rounds() - first);
    state.SetIterationTime(seconds);
    state.counters["rounds_per_s"] = rounds / seconds;
    state.counters["line_rounds_per_s"] = kLineRounds;
    state.counters["ratio"] = rounds / seconds / kLineRounds;
    state.counters["round_bytes"] = kRoundBytes;
  }
  // Polls with an answer missing: none on a sound line.
  uint64_t unanswered = 0;
  for (const BoxTracker& t : watcher.trackers())
    unanswered += t.unanswered();
  state.counters["unanswered_polls"] = static_cast<double>(unanswered);
}

BENCHMARK(WatchRounds)
    ->ArgName("paced")
    ->Arg(1)
    ->Arg(0)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace
}  // namespace sc

BENCHMARK_MAIN();
