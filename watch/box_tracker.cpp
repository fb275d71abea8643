#include "watch/box_tracker.h"

#include <utility>

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

bool BoxTracker::Take(const BoxPoll& poll, bool again, size_t box, WallClock::time_point now,
                      std::vector<WatchEvent>& events) {
  if (!again) ++polls_;
  if (poll.answered > 0) {
    lastAnswer_ = poll.lastAnswer;
    silentTurns_ = 0;
  }

  // A box that was answering and leaves the first request of its turn unanswered is
  // asked again at once: on a noisy line one lost reply is the likelier cause, and a
  // single lost frame must not flap the box to no_answer and back. Only a second silent
  // reading makes it silent (a box that stops answering costs two time-outs that round).
  if (poll.answered == 0 && !again && up_) {
    retrySilent_ = true;
    return true;
  }
  const bool retried = std::exchange(retrySilent_, false) && again;
  if (poll.answered == 0 && (!again || retried)) {
    ++unanswered_;
    // A box that was answering is silent after two silent turns in a row, each read twice:
    // on a line that loses one frame in a hundred two lost replies in a row come every few
    // minutes among 32 boxes, four hardly ever. Until then it keeps its state.
    if (up_ && ++silentTurns_ < kSilentTurnsBeforeNoAnswer) return false;
    silentTurns_ = 0;
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
    return false;
  }
  // A lost reply (or a reading again that did not come whole): nothing of a half reading
  // is reported, and the box stays as it was.
  if (!poll.Whole()) {
    ++unanswered_;
    return false;
  }

  const BoxState decoded = DecodeBoxReading(poll.reading, state_ ? state_->panel : StatusPanel{});
  // The three replies of a reading are asked one after the other: a change in between
  // gives a state the box never had (an HDMI input with the SDI source's status). What
  // looks new is read again at once and reported from that reading, all of it later
  // than the change.
  if (!again && (!up_ || Differs(*state_, decoded))) return true;
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
  return false;
}

bool BoxTracker::Differs(const BoxState& a, const BoxState& b) {
  return a.sdi != b.sdi || a.signalPresent != b.signalPresent || a.Format() != b.Format() ||
         a.Hdcp() != b.Hdcp();
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
