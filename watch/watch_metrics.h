#pragma once
// The watcher's Prometheus metrics, one series per box with the labels `port` and `box`,
// kept in a prometheus-cpp registry and written in the text exposition format (0.0.4).
// The polling thread brings a box's series up to date after each of its polls; the
// metrics endpoint's threads take the exposition. One lock covers both, held only for
// in-memory work, so a scrape sees every series of a box from the same poll and neither
// side ever waits on the line or on the network.
//
// While a box answers: signal_box_up 1 and signal_box_signal_present; with a signal, its
// HDCP version, pixel clock, active size, vertical rate and scan type. While it does not
// answer: signal_box_up 0, its counters and its last-answer time only (no stale signal
// values). A box not yet polled has its counters (at 0) alone.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/frame.h"
#include "watch/box_tracker.h"

namespace prometheus {
class Registry;
class Gauge;
class Counter;
template <typename T>
class Family;
}  // namespace prometheus

namespace sc {

class WatchMetrics {
 public:
  WatchMetrics(const std::string& port, const std::vector<DeviceAddress>& boxes);
  ~WatchMetrics();
  WatchMetrics(const WatchMetrics&) = delete;
  WatchMetrics& operator=(const WatchMetrics&) = delete;

  // The box's series from its tracker, after a poll.
  void Update(size_t box, const BoxTracker& tracker);
  // The text exposition of every series.
  std::string Exposition() const;

  static constexpr const char* kContentType = "text/plain; version=0.0.4; charset=utf-8";

 private:
  struct Series;
  mutable std::mutex mutex_;
  std::shared_ptr<prometheus::Registry> registry_;
  std::vector<Series> boxes_;
  prometheus::Family<prometheus::Gauge>* up_;
  prometheus::Family<prometheus::Gauge>* present_;
  prometheus::Family<prometheus::Gauge>* hdcp_;
  prometheus::Family<prometheus::Gauge>* clock_;
  prometheus::Family<prometheus::Gauge>* width_;
  prometheus::Family<prometheus::Gauge>* height_;
  prometheus::Family<prometheus::Gauge>* rate_;
  prometheus::Family<prometheus::Gauge>* interlaced_;
  prometheus::Family<prometheus::Gauge>* lastAnswer_;
  prometheus::Family<prometheus::Counter>* polls_;
  prometheus::Family<prometheus::Counter>* unanswered_;
};

}  // namespace sc
