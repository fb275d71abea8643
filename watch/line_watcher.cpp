#include "watch/line_watcher.h"

#include <algorithm>
#include <cstring>

#include "link/codes.h"

namespace sc {

namespace {

constexpr int kWakeTimer = 1;
using Clock = RoundScheduler::Clock;

}  // namespace

LineWatcher::LineWatcher(Host& host, PortDirectory ports, int port, Settings settings)
    : host_(host),
      ports_(std::move(ports)),
      port_(port),
      settings_(std::move(settings)),
      serial_(std::make_unique<SerialPort>(host_, ports_)),
      scheduler_(settings_.boxes.size(), settings_.every, settings_.timeout),
      trackers_(settings_.boxes.size()) {
  scheduler_.onPoll = [this](size_t box, const BoxPoll& poll, Clock::time_point at, bool again) {
    return TakePoll(box, poll, at, again);
  };
  scheduler_.onRound = [this](const RoundScheduler::RoundEnd& end) {
    if (onRound) onRound(end);
  };
}

LineWatcher::~LineWatcher() {
  running_ = false;
  host_.StopTimer(kWakeTimer);
  host_.SetTimerTarget(nullptr);
  serial_.reset();  // ends the worker; a hand-off in flight is abandoned
}

bool LineWatcher::Start(std::string* error) {
  const std::string device = ports_.PathFor(port_);
  if (!serial_->OpenPort(this, port_, kWatchLineRate, 'N', 8, 1, kEvRxChar, 512)) {
    if (error) {
      std::string why = device.empty() ? "no device is mapped to COM" + std::to_string(port_)
                                       : std::strerror(serial_->LastOpenError());
      if (const auto& holder = serial_->LastOpenHolder()) {
        why = (holder->program.empty() ? std::string("a program") : holder->program) +
              (holder->pid > 0 ? " (process " + std::to_string(holder->pid) + ")" : "") +
              " holds it";
      }
      *error =
          "cannot open " + (device.empty() ? "COM" + std::to_string(port_) : device) + ": " + why;
    }
    return false;
  }
  serial_->StartWorker();
  host_.SetTimerTarget(this);
  running_ = true;
  Apply(scheduler_.Start(Clock::now()));
  return true;
}

void LineWatcher::Apply(const RoundScheduler::Step& step) {
  if (!running_) return;
  if (step.send) {
    // The driver discards unread input before it writes: the rest of a frame begun
    // before this request (a late answer) will never come, and must not swallow the
    // start of the answer to this one.
    rx_.state = FrameAssembler::kIdle;
    BuildFrameInto(tx_.data(), kCommandLead, settings_.boxes[step.send->box], step.send->code,
                   nullptr, 0);
    serial_->SendBytes(tx_.data(), static_cast<int>(tx_.size()));
  }
  const auto wait =
      std::chrono::ceil<std::chrono::milliseconds>(step.wakeAt - Clock::now()).count();
  host_.StartTimer(kWakeTimer, static_cast<int>(std::clamp<long long>(wait, 0, 86'400'000)));
}

void LineWatcher::OnTimer(int id) {
  if (id != kWakeTimer || !running_) return;
  Apply(scheduler_.Tick(Clock::now()));
}

void LineWatcher::OnPortMessage(unsigned message, unsigned first, int) {
  if (!running_) return;
  if (message == kMsgByte) {
    batch_[0] = static_cast<uint8_t>(first & 0xFF);
    const int drained = serial_->DrainInput(batch_.data() + 1);
    TakeBytes(batch_.data(), drained + 1);
  } else if (message == kMsgPortGone) {
    running_ = false;
    host_.StopTimer(kWakeTimer);
    if (onPortGone) onPortGone();
  }
}

void LineWatcher::TakeBytes(const uint8_t* bytes, int count) {
  for (int i = 0; i < count && running_; ++i) {
    if (rx_.Push(bytes[i]) != FrameAssembler::Step::Complete) continue;
    if (!FrameSumIsZero(rx_.frame.data(), rx_.FrameSize())) continue;
    // Only the answer awaited counts: the box asked, the code asked. A late answer of a
    // box whose turn is over, a notice, another box's answer are passed over.
    const std::optional<RoundScheduler::Request> awaited = scheduler_.Awaiting();
    if (!awaited || !(rx_.Address() == settings_.boxes[awaited->box]) ||
        rx_.Code() != ExpectedReply(awaited->code))
      continue;
    Apply(scheduler_.Answer(rx_.Payload(), rx_.PayloadSize(), Clock::now()));
  }
}

bool LineWatcher::TakePoll(size_t box, const BoxPoll& given, Clock::time_point answeredAt,
                           bool again) {
  BoxPoll poll = given;
  const auto wallNow = WallClock::now();
  if (poll.answered > 0)
    poll.lastAnswer =
        wallNow - std::chrono::duration_cast<WallClock::duration>(Clock::now() - answeredAt);
  events_.clear();
  BoxTracker& tracker = trackers_[box];
  const bool readAgain = tracker.Take(poll, again, box, wallNow, events_);
  if (readAgain) return true;
  if (onPoll) onPoll(box, tracker);
  if (onEvent)
    for (const WatchEvent& e : events_)
      onEvent(e);
  return false;
}

}  // namespace sc
