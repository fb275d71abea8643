#pragma once
// One watched box: what it last reported, whether it answers, and the events a new poll
// causes. A box's first whole answer is one `answering` event with its state; after that
// only changes are events, each once: input, signal lost or back, format, HDCP. A box
// that leaves a whole round unanswered is `no_answer` once, and `answering` (with its
// state) when it answers a whole round again.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "watch/box_reading.h"

namespace sc {

enum class WatchEventKind {
  Answering,
  NoAnswer,
  SignalLost,
  SignalBack,
  FormatChanged,
  HdcpChanged,
  InputChanged,
};

// "answering", "no_answer", "signal_lost", ...
const char* WatchEventName(WatchEventKind kind);

using WallClock = std::chrono::system_clock;

struct WatchEvent {
  WatchEventKind kind = WatchEventKind::Answering;
  size_t box = 0;  // index in the watched list
  WallClock::time_point time;
  // format_changed, hdcp_changed, input_changed: the texts before and after.
  std::string from, to;
  // answering: the whole state; signal_back: the state the signal came back with.
  std::optional<BoxState> state;
};

inline constexpr int kRequestsPerPoll = 3;
// Silent turns in a row (each read twice) that make an answering box no_answer.
inline constexpr int kSilentTurnsBeforeNoAnswer = 2;

// What one box's turn in a round brought: how many of its requests were answered (they
// are asked in order and the first unanswered one ends the turn) and, when all were,
// the reading.
struct BoxPoll {
  int answered = 0;
  BoxReading reading;
  // When the last answer came (answered > 0).
  WallClock::time_point lastAnswer;
  bool Whole() const { return answered == kRequestsPerPoll; }
};

class BoxTracker {
 public:
  // Takes one reading made at `now`; appends the events it causes to `events`. True when
  // the box is to be read again at once (`again` for that reading): a first answer, or a
  // reading that differs from the box's state in input, signal, format or HDCP, is
  // reported only from a second reading; a box that was answering and answers nothing is
  // silent only when its second reading brings nothing either. A turn is one poll, whether
  // read once or twice.
  bool Take(const BoxPoll& poll, bool again, size_t box, WallClock::time_point now,
            std::vector<WatchEvent>& events);

  // Whether the box has been polled at all.
  bool polled() const { return polls_ > 0; }
  // Answering: its last whole poll came after its last silent one. A poll answered in
  // part changes neither.
  bool up() const { return up_; }
  // The last whole reading, decoded (while up).
  const std::optional<BoxState>& state() const { return state_; }
  uint64_t polls() const { return polls_; }
  // Polls in which a request went unanswered (in either reading of the turn).
  uint64_t unanswered() const { return unanswered_; }
  const std::optional<WallClock::time_point>& lastAnswer() const { return lastAnswer_; }

 private:
  void Compare(const BoxState& now, size_t box, WallClock::time_point time,
               std::vector<WatchEvent>& events);
  static bool Differs(const BoxState& a, const BoxState& b);

  bool up_ = false;
  bool silentReported_ = false;
  bool retrySilent_ = false;  // the turn's first reading had no answer: read once more
  int silentTurns_ = 0;       // silent turns in a row of a box that was answering
  std::optional<BoxState> state_;
  uint64_t polls_ = 0;
  uint64_t unanswered_ = 0;
  std::optional<WallClock::time_point> lastAnswer_;
  // The format and HDCP texts while the signal was last present (kept across a loss, so
  // that a signal back in another format is a change), and the input the HDCP text was
  // read on: the SDI input has no HDCP, so an input change is not an HDCP change.
  std::string lastFormat_;
  std::string lastHdcp_;
  bool lastHdcpSdi_ = false;
};

}  // namespace sc
