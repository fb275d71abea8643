// The box behind a device server (a ser2net of the benchmark's own on loopback, Telnet with
// RFC 2217): what the network line costs the console.
//
//   NetworkReceivePath: frames written into the far end of a pseudo-terminal that ser2net
//   serves, through ser2net, Telnet, the network line's thread, its socket, the serial
//   worker, the hand-off, the drain and the parser. In the same run the same frames go
//   through the local path (the console on a pseudo-terminal of its own): "ratio" is the
//   network path's rate as a share of the local one's (1 = as fast); "x512000baud" how many
//   times the line's own 51,200 bytes/s the network path carries.
//   PacedCaptureOverRfc2217: one 1920 x 1080 frame from the simulated box at 512000 baud
//   (paced as on a real line) through rfc2217://: seconds from the frame request to the
//   saved bitmap and the ratio to the 130.3 s the line itself needs. Over two minutes:
//     build/bench/network_bench --benchmark_filter=NetworkReceivePath
//     build/bench/network_bench --benchmark_filter=PacedCaptureOverRfc2217

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "console/console_dialog.h"
#include "sim/box_server.h"
#include "sim/pty.h"
#include "tests/support/console_fixture.h"
#include "tests/support/ser2net.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_host.h"

namespace sc {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kChunks = 1080 * 32;
constexpr double kFrameBytesOnLine = kChunks * 193.0;
constexpr double kLineSeconds = kFrameBytesOnLine / 51200.0;

// A console whose COM1 is `device`, its link up.
struct Console {
  explicit Console(const std::string& device) {
    ports[1] = device;
    dialog = std::make_unique<ConsoleDialog>(host, TestConsoleOptions(dir, &ports));
    dialog->Startup();
    dialog->onDispatch = [this](uint16_t) { ++handled; };
    dialog->ToggleLink();
    up = host.PumpUntil([&] { return dialog->linkUp(); }, 10s);
  }
  // Writes `bytes` into `far` and pumps until `frames` more replies were handled.
  Clock::duration Carry(PtyMaster& far, const std::vector<uint8_t>& bytes, long frames) {
    const long target = handled + frames;
    const auto start = Clock::now();
    std::thread writer([&] { far.Write(bytes); });
    host.PumpUntil([&] { return handled >= target; }, 60s);
    writer.join();
    lost = lost || handled < target;
    return Clock::now() - start;
  }

  TempDir dir;
  TestHost host;
  std::map<int, std::string> ports;
  std::unique_ptr<ConsoleDialog> dialog;
  long handled = 0;
  bool up = false;
  bool lost = false;
};

void NetworkReceivePath(benchmark::State& state) {
  const size_t payloadSize = static_cast<size_t>(state.range(0));
  constexpr int kFramesPerRound = 2000;
  if (!Ser2net::Available()) {
    state.SkipWithError("ser2net is not installed");
    return;
  }
  PtyMaster netBox, localBox;
  Ser2net ser2net;
  std::string error;
  if (!netBox.ok() || !localBox.ok() ||
      !ser2net.Start(Ser2net::Kind::Rfc2217, netBox.SlavePath(), &error)) {
    state.SkipWithError(("no rig: " + error).c_str());
    return;
  }
  Console network(ser2net.url());
  Console local(localBox.SlavePath());
  if (!network.up || !local.up) {
    state.SkipWithError("a link did not come up");
    return;
  }
  network.host.PumpFor(50ms);
  local.host.PumpFor(50ms);
  netBox.Read(10, 100ms);  // the input queries the links sent on coming up
  localBox.Read(10, 100ms);

  // A reply the console takes without acting on it; its bytes include 0xFF, which Telnet
  // doubles on the way.
  std::vector<uint8_t> payload(payloadSize);
  for (size_t i = 0; i < payloadSize; ++i)
    payload[i] = static_cast<uint8_t>(i * 37);
  const std::vector<uint8_t> frame = BuildFrame(kReplyLead, {0x01, 0x01}, 0x8063, payload);
  std::vector<uint8_t> round;
  for (int i = 0; i < kFramesPerRound; ++i)
    round.insert(round.end(), frame.begin(), frame.end());

  Clock::duration networkTime{}, localTime{};
  for (auto _ : state) {
    localTime += local.Carry(localBox, round, kFramesPerRound);
    const auto spent = network.Carry(netBox, round, kFramesPerRound);
    networkTime += spent;
    state.SetIterationTime(std::chrono::duration<double>(spent).count());
    if (network.lost || local.lost) {
      state.SkipWithError("frames were lost");
      break;
    }
  }
  const double bytes = static_cast<double>(state.iterations()) * static_cast<double>(round.size());
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  const double networkSeconds = std::chrono::duration<double>(networkTime).count();
  const double localSeconds = std::chrono::duration<double>(localTime).count();
  state.counters["x512000baud"] =
      benchmark::Counter(networkSeconds > 0 ? bytes / networkSeconds / 51200.0 : 0);
  state.counters["local_MBps"] =
      benchmark::Counter(localSeconds > 0 ? bytes / localSeconds / 1e6 : 0);
  state.counters["ratio"] =
      benchmark::Counter(networkSeconds > 0 ? localSeconds / networkSeconds : 0);
}

void PacedCaptureOverRfc2217(benchmark::State& state) {
  if (!Ser2net::Available()) {
    state.SkipWithError("ser2net is not installed");
    return;
  }
  BoxServer box;
  box.SetPacing(true);
  Ser2net ser2net;
  std::string error;
  if (!box.StartOnPty(&error) || !ser2net.Start(Ser2net::Kind::Rfc2217, box.path(), &error)) {
    state.SkipWithError(("no rig: " + error).c_str());
    return;
  }
  Console console(ser2net.url());
  TempDir images;
  ConsoleDialog& dialog = *console.dialog;
  TestHost& host = console.host;
  dialog.capture.workingDirectory = images.path().string();
  // The status chain brings the Timing page the picture's size.
  if (!console.up || !host.PumpUntil([&] { return dialog.timingPage.hActive == 1920; }, 10s)) {
    state.SkipWithError("no link to the simulated box");
    return;
  }
  host.PumpFor(200ms);
  host.Advance(3000);  // the status re-check
  host.PumpFor(100ms);
  for (auto _ : state) {
    host.messages.clear();
    dialog.capture.UploadWholeImage();
    host.PumpFor(5ms);
    host.Advance(kUploadStartFirstTick);
    host.PumpUntil(
        [&] { return dialog.serialPort().RateAnswer().state != LineRateAnswer::State::Pending; });
    host.Advance(kUploadStartSecondTick);
    const auto start = Clock::now();
    const bool done = host.PumpUntil([&] { return !host.messages.empty(); }, 300s);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    state.SetIterationTime(seconds);
    if (!done || dialog.capture.frameImage.chunkCounter != kChunks) {
      state.SkipWithError("the frame did not arrive whole");
      break;
    }
    state.counters["seconds"] = seconds;
    state.counters["ratio_to_line"] = seconds / kLineSeconds;
    host.Advance(kAfterFrameWait);
  }
}

BENCHMARK(NetworkReceivePath)
    ->ArgNames({"payload"})
    ->Arg(20)
    ->Arg(256)
    ->Arg(495)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
BENCHMARK(PacedCaptureOverRfc2217)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);

}  // namespace
}  // namespace sc

BENCHMARK_MAIN();
