#include "watch/box_tracker.h"

namespace sc {

const char* WatchEventName(WatchEventKind kind) {
  switch (kind) {
    case WatchEventKind::Answering:
      return "answering";
    case WatchEventKind::NoAnswer:
      return "no_answer";
    case WatchEventKind::SignalLost:
      return "signal_lost";
    case WatchEventKind::SignalBack:
      return "signal_back";
    case WatchEventKind::FormatChanged:
      return "format_changed";
    case WatchEventKind::HdcpChanged:
      return "hdcp_changed";
    case WatchEventKind::InputChanged:
      return "input_changed";
  }
  return "?";
}

void BoxTracker::Take(const BoxPoll& poll, size_t box, WallClock::time_point now,
                      std::vector<WatchEvent>& events) {
  ++polls_;
  if (poll.answered > 0) lastAnswer_ = poll.lastAnswer;
  if (!poll.Whole()) ++unanswered_;

  if (poll.answered == 0) {
    // Silent: once, whether it answered before or never has.
    if (up_ || !silentReported_) {
      WatchEvent e;
      e.kind = WatchEventKind::NoAnswer;
      e.box = box;
      e.time = now;
      events.push_back(std::move(e));
    }
    up_ = false;
    silentReported_ = true;
    state_.reset();
    return;
  }
  if (!poll.Whole()) return;  // a lost reply: nothing of a half reading is reported

  const BoxState decoded = DecodeBoxReading(poll.reading, state_ ? state_->panel : StatusPanel{});
  if (!up_) {
    WatchEvent e;
    e.kind = WatchEventKind::Answering;
    e.box = box;
    e.time = now;
    e.state = decoded;
    events.push_back(std::move(e));
    up_ = true;
    silentReported_ = false;
  } else {
    Compare(decoded, box, now, events);
  }
  state_ = decoded;
  if (decoded.signalPresent) {
    lastFormat_ = decoded.Format();
    lastHdcp_ = decoded.Hdcp();
    lastHdcpSdi_ = decoded.sdi;
  }
}

void BoxTracker::Compare(const BoxState& now, size_t box, WallClock::time_point time,
                         std::vector<WatchEvent>& events) {
  const BoxState& was = *state_;
  auto add = [&](WatchEventKind kind, std::string from, std::string to) {
    WatchEvent e;
    e.kind = kind;
    e.box = box;
    e.time = time;
    e.from = std::move(from);
    e.to = std::move(to);
    events.push_back(std::move(e));
  };
  if (was.sdi != now.sdi) add(WatchEventKind::InputChanged, was.InputName(), now.InputName());
  if (was.signalPresent && !now.signalPresent) add(WatchEventKind::SignalLost, {}, {});
  if (!was.signalPresent && now.signalPresent) {
    add(WatchEventKind::SignalBack, {}, {});
    events.back().state = now;
  }
  if (!now.signalPresent) return;
  // Against the last format and HDCP seen with a signal, before a loss if there was one.
  if (!lastFormat_.empty() && lastFormat_ != now.Format())
    add(WatchEventKind::FormatChanged, lastFormat_, now.Format());
  if (!lastFormat_.empty() && lastHdcpSdi_ == now.sdi && lastHdcp_ != now.Hdcp())
    add(WatchEventKind::HdcpChanged, lastHdcp_, now.Hdcp());
}

}  // namespace sc
