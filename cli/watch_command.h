#pragma once
// signal-cli watch: every box on one line, round after round, with an event line for each
// change and, when asked, Prometheus metrics over HTTP. The polling runs on a thread of
// its own with a loop of its own (the console's serial driver hands it the received
// bytes); the metrics endpoint runs on CivetWeb's threads; the main thread writes the
// event lines and waits for Ctrl+C or SIGTERM. Lines wait in a bounded queue, so an
// output that does not keep up costs lines (counted and reported), never the polling.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_host.h"
#include "cli/cli_options.h"
#include "cli/signal_cli.h"
#include "link/port_directory.h"
#include "watch/metrics_server.h"
#include "watch/watch_metrics.h"

namespace sc {

inline constexpr std::chrono::milliseconds kDefaultWatchInterval{5000};
inline constexpr std::chrono::milliseconds kDefaultWatchAnswerWait{1000};

// What a watch run needs, resolved from the command line and its settings file.
struct WatchPlan {
  std::string port;  // the events' and the metrics' port: "COM1", or the path given
  int comPort = 1;   // its number in `ports`
  std::function<PortDirectory()> ports;
  std::vector<DeviceAddress> boxes;
  std::chrono::milliseconds every = kDefaultWatchInterval;
  std::chrono::milliseconds timeout = kDefaultWatchAnswerWait;
  bool jsonl = true;
  std::optional<MetricsAddress> metrics;
  bool metricsPublic = false;
  MetricsServer::Limits metricsLimits;
  size_t lineLimit = 1024;  // lines waiting to be written
};

// Resolves the plan: the command line's options, then its --config file's for what the
// command line left out. kExitDone, or an exit code with the reason in *error. Notes (book
// entries that are no box's address) go to `notes`.
int MakeWatchPlan(const CliRequest& request, const CliEnvironment& environment, WatchPlan& plan,
                  std::string* error, std::vector<std::string>* notes);

class WatchRunner {
 public:
  explicit WatchRunner(WatchPlan plan);
  ~WatchRunner();
  WatchRunner(const WatchRunner&) = delete;
  WatchRunner& operator=(const WatchRunner&) = delete;

  // Starts the metrics endpoint, opens the port and starts polling. kExitDone; otherwise
  // kExitFailed (the metrics address cannot be served) or kExitPortUnavailable, with the
  // reason in *error.
  int Start(std::string* error);
  // Ends the polling and the endpoint; returns when both have stopped.
  void Stop();

  struct Line {
    bool error = false;  // for standard error (a message of the serial driver)
    std::string text;
  };
  // The lines waiting, oldest first.
  std::vector<Line> TakeLines();
  // Lines dropped because the queue was full, since the last call.
  uint64_t TakeDropped();
  // Told (on the polling thread) when lines wait or the port went away.
  std::function<void()> onWake;

  bool PortGone() const { return portGone_.load(); }
  uint64_t rounds() const { return rounds_.load(); }
  int metricsPort() const { return server_ ? server_->port() : 0; }
  const std::string& device() const { return device_; }
  const WatchPlan& plan() const { return plan_; }
  std::string Exposition() const { return metrics_ ? metrics_->Exposition() : std::string(); }

 private:
  void Poll(std::promise<std::string> opened);
  void Push(Line line);
  void Wake();

  WatchPlan plan_;
  std::unique_ptr<WatchMetrics> metrics_;
  std::unique_ptr<MetricsServer> server_;
  std::thread thread_;
  std::string device_;
  std::atomic<bool> portGone_{false};
  std::atomic<uint64_t> rounds_{0};

  std::mutex mutex_;
  CliHost* pollHost_ = nullptr;
  bool stop_ = false;
  std::vector<Line> lines_;
  uint64_t dropped_ = 0;
};

// The command: its plan, the runner, and the event lines on standard output until
// Ctrl+C or SIGTERM (kExitDone) or until the device goes away (kExitPortUnavailable).
int RunWatch(const CliRequest& request, const CliEnvironment& environment);

}  // namespace sc
