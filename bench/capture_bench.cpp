// A whole 1920 x 1080 frame captured from the simulated box through the console's receive
// path: the serial worker on a pseudo-terminal, the hand-off to the window thread, the
// drain, the parser and frame capture's chunk handler.
//
//   Unpaced: as fast as the pseudo-terminal carries it; MB/s of chunk frames, from the
//   frame request to the last chunk handled (the bitmap written after it is not counted).
//   Paced: at 512000 baud, as the box sends it on a real line; seconds from the frame
//   request to the saved bitmap, and the ratio to the 130.3 s the line itself needs
//   (1080 lines x 32 chunks x 193 bytes at 51,200 bytes/s). It runs for over two minutes:
//     build/bench/capture_bench --benchmark_filter=Unpaced
//     build/bench/capture_bench --benchmark_filter=Paced

#include <benchmark/benchmark.h>

#include "console/console_dialog.h"
#include "sim/box_server.h"
#include "tests/support/console_fixture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_host.h"

namespace sc {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kChunks = 1080 * 32;
constexpr double kFrameBytesOnLine = kChunks * 193.0;
constexpr double kLineSeconds = kFrameBytesOnLine / 51200.0;

struct Rig {
  explicit Rig(bool paced) {
    server.SetPacing(paced);
    ok = server.StartOnPty();
    ports[1] = server.path();
    dialog = std::make_unique<ConsoleDialog>(host, TestConsoleOptions(dir, &ports));
    dialog->Startup();
    dialog->capture.workingDirectory = images.path().string();
    dialog->ToggleLink();
    // The status chain brings the Timing page the picture's size.
    ok = ok && host.PumpUntil([&] { return dialog->timingPage.hActive == 1920; }, 10s);
    host.PumpFor(200ms);
    host.Advance(3000);  // the status re-check
    host.PumpFor(100ms);
  }
  // Starts an upload; returns when the frame request has gone out.
  void Start() {
    host.messages.clear();
    dialog->capture.UploadWholeImage();
    host.PumpFor(5ms);
    host.Advance(kUploadStartFirstTick);
    host.Advance(kUploadStartSecondTick);
  }
  // Ends the upload and removes its file.
  void Finish() {
    host.Advance(kAfterFrameWait);
    std::filesystem::remove_all(images.path());
    std::filesystem::create_directories(images.path());
  }

  TempDir dir, images;
  TestHost host;
  BoxServer server;
  std::map<int, std::string> ports;
  std::unique_ptr<ConsoleDialog> dialog;
  bool ok = false;
};

void UnpacedCapture(benchmark::State& state) {
  Rig rig(false);
  if (!rig.ok) {
    state.SkipWithError("no link to the simulated box");
    return;
  }
  for (auto _ : state) {
    rig.Start();
    const auto start = Clock::now();
    const bool done = rig.host.PumpUntil(
        [&] { return rig.dialog->capture.frameImage.chunkCounter >= kChunks - 1; }, 60s);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    if (!done || !rig.host.PumpUntil([&] { return !rig.host.messages.empty(); }, 30s)) {
      state.SkipWithError("the frame did not arrive");
      break;
    }
    rig.Finish();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFrameBytesOnLine));
}

void PacedCapture(benchmark::State& state) {
  Rig rig(true);
  if (!rig.ok) {
    state.SkipWithError("no link to the simulated box");
    return;
  }
  for (auto _ : state) {
    rig.Start();
    const auto start = Clock::now();
    const bool done = rig.host.PumpUntil([&] { return !rig.host.messages.empty(); }, 300s);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    state.SetIterationTime(seconds);
    if (!done || rig.dialog->capture.frameImage.chunkCounter != kChunks) {
      state.SkipWithError("the frame did not arrive whole");
      break;
    }
    state.counters["seconds"] = seconds;
    state.counters["ratio_to_line"] = seconds / kLineSeconds;
    rig.Finish();
  }
}

BENCHMARK(UnpacedCapture)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK(PacedCapture)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);

}  // namespace
}  // namespace sc

BENCHMARK_MAIN();
