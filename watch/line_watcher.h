#pragma once
// A watcher on one line: opens the port with the console's serial driver, runs the round
// scheduler on the host's loop (its timer for time-outs and rounds, the driver's
// hand-off for received bytes), matches each reply to the request it awaits (the box's
// address and the request's code, a good checksum) and keeps a tracker per box. Runs on
// one thread, the host's; nothing here blocks.

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/frame.h"
#include "link/port_directory.h"
#include "link/serial_port.h"
#include "watch/box_tracker.h"
#include "watch/round_scheduler.h"
#include "window/host.h"

namespace sc {

inline constexpr int kWatchLineRate = 115200;

class LineWatcher : public PortOwner, public TimerTarget {
 public:
  struct Settings {
    std::vector<DeviceAddress> boxes;
    std::chrono::milliseconds every{5000};
    std::chrono::milliseconds timeout{1000};
  };

  // `port` is a COM number of `ports`.
  LineWatcher(Host& host, PortDirectory ports, int port, Settings settings);
  ~LineWatcher() override;
  LineWatcher(const LineWatcher&) = delete;
  LineWatcher& operator=(const LineWatcher&) = delete;

  // Opens the port at 115200 baud, 8N1, and starts the first round. False when the port
  // could not be opened; `error` then says why.
  bool Start(std::string* error);

  // Each event as it happens.
  std::function<void(const WatchEvent&)> onEvent;
  // After each box's turn (its one or two readings), with its tracker brought up to date.
  std::function<void(size_t box, const BoxTracker&)> onPoll;
  std::function<void(const RoundScheduler::RoundEnd&)> onRound;
  // The device went away (unplugged, hung up): the watcher has stopped.
  std::function<void()> onPortGone;

  const Settings& settings() const { return settings_; }
  const std::vector<BoxTracker>& trackers() const { return trackers_; }
  uint64_t rounds() const { return scheduler_.rounds(); }
  std::string DevicePath() const { return ports_.PathFor(port_); }

  void OnPortMessage(unsigned message, unsigned first, int port) override;
  void OnTimer(int id) override;

 private:
  void Apply(const RoundScheduler::Step& step);
  void TakeBytes(const uint8_t* bytes, int count);
  bool TakePoll(size_t box, const BoxPoll& poll, RoundScheduler::Clock::time_point answeredAt,
                bool again);

  Host& host_;
  PortDirectory ports_;
  int port_;
  Settings settings_;
  std::unique_ptr<SerialPort> serial_;
  RoundScheduler scheduler_;
  std::vector<BoxTracker> trackers_;
  FrameAssembler rx_{kReplyLead};
  std::array<uint8_t, 1 + kDrainBufferSize> batch_{};
  std::array<uint8_t, kFrameOverhead> tx_{};
  std::vector<WatchEvent> events_;
  bool running_ = false;
};

}  // namespace sc
