#include "watch/watch_metrics.h"

#include <prometheus/counter.h>
#include <prometheus/family.h>
#include <prometheus/gauge.h>
#include <prometheus/registry.h>
#include <prometheus/text_serializer.h>

#include <chrono>

#include "addressing/address_book.h"

namespace sc {

namespace {

using prometheus::Counter;
using prometheus::Family;
using prometheus::Gauge;

}  // namespace

struct WatchMetrics::Series {
  prometheus::Labels labels;
  Gauge* up = nullptr;
  Gauge* lastAnswer = nullptr;
  Counter* polls = nullptr;
  Counter* unanswered = nullptr;
  uint64_t pollsCounted = 0;
  uint64_t unansweredCounted = 0;
};

WatchMetrics::WatchMetrics(const std::string& port, const std::vector<DeviceAddress>& boxes)
    : registry_(std::make_shared<prometheus::Registry>()) {
  prometheus::Registry& r = *registry_;
  auto gauge = [&r](const char* name, const char* help) {
    return &prometheus::BuildGauge().Name(name).Help(help).Register(r);
  };
  up_ = gauge("signal_box_up", "1 while the box answers, 0 while it does not");
  present_ = gauge("signal_box_signal_present", "1 while the box receives a signal");
  hdcp_ = gauge("signal_box_hdcp_version", "HDCP of the received signal: 0 (off), 1.4 or 2.2");
  clock_ = gauge("signal_box_pixel_clock_mhz", "Pixel clock of the received signal in MHz");
  width_ = gauge("signal_box_h_active_pixels", "Active pixels of a line");
  height_ = gauge("signal_box_v_active_lines", "Active lines of a frame");
  rate_ = gauge("signal_box_vertical_rate_hz", "Vertical (field) rate in Hz");
  interlaced_ = gauge("signal_box_interlaced", "1 for an interlaced signal, 0 for progressive");
  lastAnswer_ = gauge("signal_box_last_answer_timestamp_seconds",
                      "When the box last answered, in seconds since the Unix epoch");
  polls_ = &prometheus::BuildCounter()
                .Name("signal_box_polls_total")
                .Help("Polls of the box, one a round")
                .Register(r);
  unanswered_ = &prometheus::BuildCounter()
                     .Name("signal_box_no_answer_total")
                     .Help("Polls in which a request to the box went unanswered")
                     .Register(r);
  for (const DeviceAddress& a : boxes) {
    Series s;
    s.labels = {{"port", port}, {"box", FormatAddress(a)}};
    s.polls = &polls_->Add(s.labels);
    s.unanswered = &unanswered_->Add(s.labels);
    boxes_.push_back(std::move(s));
  }
}

WatchMetrics::~WatchMetrics() = default;

void WatchMetrics::Update(size_t box, const BoxTracker& t) {
  if (box >= boxes_.size()) return;
  std::lock_guard lock(mutex_);
  Series& s = boxes_[box];
  s.polls->Increment(static_cast<double>(t.polls() - s.pollsCounted));
  s.pollsCounted = t.polls();
  s.unanswered->Increment(static_cast<double>(t.unanswered() - s.unansweredCounted));
  s.unansweredCounted = t.unanswered();
  if (!t.polled()) return;

  if (!s.up) s.up = &up_->Add(s.labels);
  s.up->Set(t.up() ? 1 : 0);
  if (t.lastAnswer()) {
    if (!s.lastAnswer) s.lastAnswer = &lastAnswer_->Add(s.labels);
    const auto since = t.lastAnswer()->time_since_epoch();
    s.lastAnswer->Set(std::chrono::duration<double>(since).count());
  }

  // A series is there while its value is known, and gone otherwise.
  auto show = [&s](Family<Gauge>* family, bool known, double value) {
    if (known) {
      family->Add(s.labels).Set(value);
    } else if (family->Has(s.labels)) {
      family->Remove(&family->Add(s.labels));
    }
  };
  const BoxState* state = t.up() && t.state() ? &*t.state() : nullptr;
  const bool signal = state && state->signalPresent;
  show(present_, state != nullptr, signal ? 1 : 0);
  show(hdcp_, signal, signal ? state->hdcpVersion : 0);
  show(clock_, signal, signal ? state->timing.pixelClock : 0);
  show(width_, signal, signal ? state->timing.hActive : 0);
  show(height_, signal, signal ? state->timing.vActive : 0);
  show(rate_, signal, signal ? state->timing.vFreq : 0);
  show(interlaced_, signal, signal && state->timing.scanType == kInterlaced ? 1 : 0);
}

std::string WatchMetrics::Exposition() const {
  std::vector<prometheus::MetricFamily> families;
  {
    std::lock_guard lock(mutex_);
    families = registry_->Collect();
  }
  return prometheus::TextSerializer().Serialize(families);
}

}  // namespace sc
