#pragma once
// What the console is waiting for. Each request that the box answers is noted when it goes
// to the line, under the name of what a person asked for ("Read EDID", "Update status");
// a request sent by the handler of a reply belongs to the same thing as that reply, so a
// whole chain carries one name. The reply with the awaited code clears it. A request still
// unanswered after its wait becomes "No answer from the box", which stays until the box
// answers again; nothing is shown in a message box and nothing is sent again. Each time-out
// is also handed to the traffic log, once, whatever the status bar shows meanwhile.
//
// One timer of the main window (kRequestWatchTimer) wakes the tracker at the earliest
// moment a request falls due; it runs only while something is awaited.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "console/traffic_log.h"
#include "window/host.h"

namespace sc {

inline constexpr int kRequestWatchTimer = 20;
// How long a request may go unanswered (ms): a reply of the largest frame takes 45 ms at
// 115200 baud, a slow box a few hundred.
inline constexpr int kNoAnswerWait = 3000;
// The first chunk of a whole frame comes after the box has switched its rate.
inline constexpr int kUploadAnswerWait = 6000;

inline constexpr const char* kNoAnswerText = "No answer from the box";

class RequestTracker {
 public:
  explicit RequestTracker(Host& host) : host_(host) {}

  // A command went to the line.
  void Sent(uint16_t command);
  // A reply passed the parser's checks and its handler runs next; ReplyHandled when it has
  // returned (requests sent meanwhile belong to the reply's request).
  void ReplyArrived(uint16_t code);
  void ReplyHandled() { context_ = nullptr; }
  // A reply was dropped (bad sum, another address, too short): a request it would have
  // answered says so when it runs out of time.
  void ReplyDropped(uint16_t code, TrafficMark why);
  // The next request sent outside a reply's handler goes by this name (a constant text)
  // instead of its command's.
  void NameNextRequest(const char* operation) { nextName_ = operation; }
  // The watch timer fired.
  void OnTimer();
  // The link went down or a search began: nothing is awaited any more.
  void Reset();

  // "Read EDID: waiting for the box...", "No answer from the box: Read EDID", or "".
  std::string Text() const;
  bool Waiting() const { return !pending_.empty(); }
  // The request that went unanswered, while the box has not answered since.
  std::optional<uint16_t> Unanswered() const {
    return noAnswer_ ? std::optional<uint16_t>(lastUnanswered_.request) : std::nullopt;
  }
  // Counts changes of Text(), so a caller can tell whether to ask for it again.
  uint64_t version() const { return version_; }
  // Each request that ran out of time since the last call, as Text() names it when it is
  // the last one ("No answer from the box: Read EDID"), oldest first.
  std::vector<std::string> TakeTimedOut();

 private:
  struct Pending {
    uint16_t reply = 0;
    uint16_t request = 0;
    const char* operation = "";
    std::chrono::milliseconds due{0};
    TrafficMark dropped = TrafficMark::None;
  };
  void Arm();
  static std::string NoAnswer(const Pending& unanswered);

  Host& host_;
  std::vector<Pending> pending_;  // in the order sent
  // The request that went without an answer, while the box has not answered since.
  bool noAnswer_ = false;
  Pending lastUnanswered_;
  std::vector<std::string> timedOut_;
  const char* context_ = nullptr;
  const char* nextName_ = nullptr;
  uint64_t version_ = 0;
};

// The name of what a person asked for when `command` was sent outside a reply's handler.
const char* RequestOperationName(uint16_t command);

}  // namespace sc
