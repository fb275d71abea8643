#include "console/request_tracker.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string_view>
#include <utility>

#include "link/codes.h"

namespace sc {

namespace {

constexpr uint16_t kSignalNotice = 0x809F;
constexpr uint16_t kFrameRequest = 0x8094;

}  // namespace

const char* RequestOperationName(uint16_t command) {
  switch (command) {
    case 0x8080:
    case 0x8082:
    case 0xF850:
      return "Read the box's state";
    case 0x8081:
      return "Update status";
    case 0x8090:
      return "Read the signal status";
    case 0x8091:
      return "Read the timing";
    case 0x8092:
      return "Read InfoFrame";
    case kFrameRequest:
      return "Upload image";
    case 0x8095:
      return "Update image";
    case 0x8096:
      return "Read record";
    case 0xF801:
      return "Read address";
    case 0xF851:
      return "Read EDID";
    case 0x7851:
      return "Write to USER EDID";
    default:
      return "Request";
  }
}

void RequestTracker::Sent(uint16_t command) {
  const char* named = std::exchange(nextName_, nullptr);
  const std::optional<uint16_t> reply = ExpectedReply(command);
  if (!reply) return;
  Pending pending;
  pending.reply = *reply;
  pending.request = command;
  pending.operation = context_ ? context_ : named ? named : RequestOperationName(command);
  pending.due = host_.Now() + std::chrono::milliseconds(command == kFrameRequest ? kUploadAnswerWait
                                                                                 : kNoAnswerWait);
  // The console matches answers by code alone: a second request for the same code waits
  // for the same answer.
  std::erase_if(pending_, [&](const Pending& p) { return p.reply == pending.reply; });
  pending_.push_back(pending);
  ++version_;
  Arm();
}

void RequestTracker::ReplyArrived(uint16_t code) {
  bool changed = noAnswer_;
  noAnswer_ = false;
  context_ = code == kSignalNotice ? "Signal change" : nullptr;
  for (auto it = pending_.begin(); it != pending_.end(); ++it) {
    if (it->reply != code) continue;
    context_ = it->operation;
    pending_.erase(it);
    changed = true;
    Arm();
    break;
  }
  if (changed) ++version_;
}

void RequestTracker::ReplyDropped(uint16_t code, TrafficMark why) {
  for (Pending& p : pending_)
    if (p.reply == code) p.dropped = why;
}

void RequestTracker::OnTimer() {
  const auto now = host_.Now();
  bool changed = false;
  for (auto it = pending_.begin(); it != pending_.end();) {
    if (it->due > now) {
      ++it;
      continue;
    }
    noAnswer_ = true;
    lastUnanswered_ = *it;
    // Said to the traffic log even while other requests are awaited (the status bar then
    // shows those): on a busy line the bar's text alone would hide it. At most one
    // per code is pending, so this holds a handful between two syncs.
    timedOut_.push_back(NoAnswer(*it));
    it = pending_.erase(it);
    changed = true;
  }
  if (changed) ++version_;
  Arm();
}

void RequestTracker::Reset() {
  if (pending_.empty() && !noAnswer_) return;
  pending_.clear();
  noAnswer_ = false;
  context_ = nullptr;
  ++version_;
  Arm();
}

void RequestTracker::Arm() {
  if (pending_.empty()) {
    host_.StopTimer(kRequestWatchTimer);
    return;
  }
  const auto due =
      std::min_element(pending_.begin(), pending_.end(), [](const Pending& a, const Pending& b) {
        return a.due < b.due;
      })->due;
  const auto wait = due - host_.Now();
  host_.StartTimer(kRequestWatchTimer, std::max(1, static_cast<int>(wait.count())));
}

std::string RequestTracker::Text() const {
  if (!pending_.empty()) return std::string(pending_.back().operation) + ": waiting for the box...";
  if (!noAnswer_) return "";
  return NoAnswer(lastUnanswered_);
}

std::vector<std::string> RequestTracker::TakeTimedOut() {
  return std::exchange(timedOut_, {});
}

std::string RequestTracker::NoAnswer(const Pending& unanswered) {
  std::string text = std::string(kNoAnswerText) + ": " + unanswered.operation;
  std::string detail;
  const char* request = CommandName(unanswered.request);
  if (request && std::string_view(request) != unanswered.operation) {
    char code[8];
    std::snprintf(code, sizeof code, "0x%04X", unanswered.request);
    detail = std::string(request) + " " + code;
  }
  if (unanswered.dropped != TrafficMark::None) {
    if (!detail.empty()) detail += "; ";
    detail += std::string("a reply was dropped: ") + TrafficMarkText(unanswered.dropped);
  }
  if (!detail.empty()) text += " (" + detail + ")";
  return text;
}

}  // namespace sc
