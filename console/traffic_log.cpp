#include "console/traffic_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "link/codes.h"
#include "storage/safe_file.h"

namespace sc {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

std::string Hex(const uint8_t* bytes, size_t count) {
  std::string text;
  text.reserve(count * 3);
  for (size_t i = 0; i < count; ++i) {
    if (i) text += ' ';
    text += kHexDigits[bytes[i] >> 4];
    text += kHexDigits[bytes[i] & 0x0F];
  }
  return text;
}

std::string ClockText(TrafficEntry::Clock::time_point time) {
  const auto since = time.time_since_epoch();
  const auto seconds = std::chrono::floor<std::chrono::seconds>(since);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(since - seconds);
  const std::time_t whole = static_cast<std::time_t>(seconds.count());
  std::tm local{};
  localtime_r(&whole, &local);
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(millis.count()));
  return text;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

const char* TrafficMarkText(TrafficMark mark) {
  switch (mark) {
    case TrafficMark::None:
      return "";
    case TrafficMark::BadSum:
      return "bad sum";
    case TrafficMark::BadLength:
      return "bad length";
    case TrafficMark::OtherAddress:
      return "another address";
    case TrafficMark::UnknownCode:
      return "unknown code";
    case TrafficMark::TooShort:
      return "too short";
    case TrafficMark::NoFrame:
      return "no frame";
  }
  return "";
}

TrafficRow FormatTrafficEntry(const TrafficEntry& entry) {
  TrafficRow row;
  row.time = ClockText(entry.time);
  row.mark = TrafficMarkText(entry.mark);
  switch (entry.direction) {
    case TrafficDirection::Note:
      // The widest column takes the text.
      row.name = "Note";
      row.data = entry.note;
      return row;
    case TrafficDirection::Sent:
      row.direction = "Sent";
      break;
    case TrafficDirection::Received:
      row.direction = "Received";
      break;
  }
  if (!entry.IsFrame()) {
    row.data = Hex(entry.bytes.data(), entry.bytes.size());
    return row;
  }
  char text[16];
  std::snprintf(text, sizeof text, "%02X%02X", entry.bytes[5], entry.bytes[6]);
  row.address = text;
  std::snprintf(text, sizeof text, "0x%04X", entry.code);
  row.code = text;
  const char* name =
      entry.direction == TrafficDirection::Sent ? CommandName(entry.code) : ReplyName(entry.code);
  row.name = name ? name : "unknown";
  row.data = Hex(entry.bytes.data() + 9, entry.bytes.size() - kFrameOverhead);
  return row;
}

std::string FormatTrafficLine(const TrafficEntry& entry) {
  const TrafficRow row = FormatTrafficEntry(entry);
  char head[160];
  std::snprintf(head, sizeof head, "%-12s  %-8s  %-4s  %-6s  %-20s  %-15s", row.time.c_str(),
                row.direction.c_str(), row.address.c_str(), row.code.c_str(), row.name.c_str(),
                row.mark.c_str());
  std::string line = head;
  if (entry.direction == TrafficDirection::Note) {
    // A note's text may be longer than the name column.
    line = row.time + "  " + std::string(8, ' ') + "  " + row.data;
  } else if (!row.data.empty()) {
    line += "  " + row.data;
  }
  while (!line.empty() && line.back() == ' ')
    line.pop_back();
  return line;
}

TrafficLog::TrafficLog(size_t capacity) : capacity_(capacity ? capacity : 1) {
  unframed_.reserve(kUnframedRun);
}

uint64_t TrafficLog::oldest() const {
  const uint64_t held = next_ > capacity_ ? next_ - capacity_ : 0;
  return held > clearedBefore_ ? held : clearedBefore_;
}

const TrafficEntry* TrafficLog::Entry(uint64_t serial) const {
  if (serial < oldest() || serial >= next_) return nullptr;
  return &ring_[static_cast<size_t>(serial % capacity_)];
}

TrafficEntry& TrafficLog::Append(TrafficDirection direction, TrafficMark mark, uint16_t code) {
  const size_t slot = static_cast<size_t>(next_ % capacity_);
  // The ring grows to its capacity once; after that a slot is reused with the room its
  // bytes already have, so recording allocates nothing in the long run.
  if (slot == ring_.size()) ring_.emplace_back();
  TrafficEntry& entry = ring_[slot];
  entry.serial = next_++;
  entry.time = clock ? clock() : Clock::now();
  entry.direction = direction;
  entry.mark = mark;
  entry.code = code;
  entry.bytes.clear();
  entry.note.clear();
  if (!appendedSinceSync_) {
    appendedSinceSync_ = true;
    if (onAppended) onAppended();
  }
  return entry;
}

void TrafficLog::Sent(const uint8_t* frame, size_t size) {
  FlushUnframed();
  const uint16_t code =
      size >= kFrameOverhead ? static_cast<uint16_t>(frame[7] | frame[8] << 8) : 0;
  Append(TrafficDirection::Sent, TrafficMark::None, code).bytes.assign(frame, frame + size);
}

void TrafficLog::Received(const uint8_t* frame, size_t size, uint16_t code, TrafficMark mark) {
  FlushUnframed();
  Append(TrafficDirection::Received, mark, code).bytes.assign(frame, frame + size);
}

void TrafficLog::Unframed(const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (unframed_.empty()) unframedTime_ = clock ? clock() : Clock::now();
    unframed_.push_back(bytes[i]);
    if (unframed_.size() >= kUnframedRun) FlushUnframed();
  }
}

void TrafficLog::BadLength(const uint8_t* bytes, size_t count) {
  FlushUnframed();
  Append(TrafficDirection::Received, TrafficMark::BadLength, 0).bytes.assign(bytes, bytes + count);
}

void TrafficLog::FlushUnframed() {
  if (unframed_.empty()) return;
  TrafficEntry& entry = Append(TrafficDirection::Received, TrafficMark::NoFrame, 0);
  entry.time = unframedTime_;
  entry.bytes.assign(unframed_.begin(), unframed_.end());
  unframed_.clear();
}

void TrafficLog::NotFramed(const FrameAssembler& assembler, int stateBefore,
                           FrameAssembler::Step step, uint8_t byte) {
  if (step == FrameAssembler::Step::Pending) {
    // Inside a frame the byte waits for the frame's end; in the idle state it is noise.
    if (assembler.state == FrameAssembler::kIdle) Unframed(&byte, 1);
    return;
  }
  if (step != FrameAssembler::Step::Dropped) return;
  const size_t kept = static_cast<size_t>(stateBefore) + 1;  // the bytes before this one
  if (stateBefore == 3) {
    BadLength(assembler.frame.data(), kept + 1);  // the length byte itself is stored
  } else {
    // A header that broke off (the lead byte and what followed): noise too.
    Unframed(assembler.frame.data(), kept);
    Unframed(&byte, 1);
  }
}

void TrafficLog::SearchByte(uint8_t byte) {
  const int before = search_.state;
  const FrameAssembler::Step step = search_.Push(byte);
  if (step != FrameAssembler::Step::Complete) {
    NotFramed(search_, before, step, byte);
    return;
  }
  const size_t size = search_.FrameSize();
  // The search takes its answer whatever the sum; the log still says when it is bad.
  Received(search_.frame.data(), size, search_.Code(),
           FrameSumIsZero(search_.frame.data(), size) ? TrafficMark::None : TrafficMark::BadSum);
}

void TrafficLog::Note(std::string text) {
  FlushUnframed();
  Append(TrafficDirection::Note, TrafficMark::None, 0).note = std::move(text);
}

bool TrafficLog::Passes(const TrafficEntry& entry) const {
  if (filter_.empty() || entry.direction == TrafficDirection::Note) return true;
  return entry.IsFrame() && filter_.count(entry.code) != 0;
}

size_t TrafficLog::OverwrittenRows() const {
  const uint64_t first = oldest();
  size_t count = 0;
  while (count < rows_.size() && rows_[count] < first)
    ++count;
  return count;
}

void TrafficLog::DropOverwrittenRows() {
  rows_.erase(rows_.begin(), rows_.begin() + static_cast<std::ptrdiff_t>(OverwrittenRows()));
}

size_t TrafficLog::NewRows() const {
  if (paused_) return 0;
  const uint64_t first = oldest();
  size_t count = 0;
  for (uint64_t serial = syncedUpTo_ > first ? syncedUpTo_ : first; serial < next_; ++serial)
    count += Passes(*Entry(serial)) ? 1 : 0;
  return count;
}

void TrafficLog::AppendNewRows() {
  appendedSinceSync_ = false;
  if (paused_) return;
  const uint64_t first = oldest();
  for (uint64_t serial = syncedUpTo_ > first ? syncedUpTo_ : first; serial < next_; ++serial)
    if (Passes(*Entry(serial))) rows_.push_back(serial);
  syncedUpTo_ = next_;
}

TrafficLog::RowChange TrafficLog::Sync() {
  RowChange change;
  change.removedFront = OverwrittenRows();
  DropOverwrittenRows();
  change.added = NewRows();
  AppendNewRows();
  return change;
}

const TrafficEntry& TrafficLog::Row(size_t row) const {
  static const TrafficEntry kGone{};
  if (row >= rows_.size()) return kGone;
  const TrafficEntry* entry = Entry(rows_[row]);
  return entry ? *entry : kGone;
}

bool TrafficLog::SetFilter(std::string_view text) {
  std::set<uint16_t> codes;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == ' ' || c == ',' || c == '\t') {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < text.size() && text[end] != ' ' && text[end] != ',' && text[end] != '\t')
      ++end;
    std::string_view token = text.substr(i, end - i);
    if (token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X'))
      token.remove_prefix(2);
    if (token.empty() || token.size() > 4) return false;
    unsigned value = 0;
    for (char d : token) {
      unsigned digit;
      if (d >= '0' && d <= '9')
        digit = static_cast<unsigned>(d - '0');
      else if (d >= 'a' && d <= 'f')
        digit = static_cast<unsigned>(d - 'a' + 10);
      else if (d >= 'A' && d <= 'F')
        digit = static_cast<unsigned>(d - 'A' + 10);
      else
        return false;
      value = value * 16 + digit;
    }
    codes.insert(static_cast<uint16_t>(value));
    i = end;
  }
  filter_ = std::move(codes);
  RebuildRows();
  return true;
}

void TrafficLog::RebuildRows() {
  rows_.clear();
  const uint64_t end = paused_ ? syncedUpTo_ : next_;
  for (uint64_t serial = oldest(); serial < end; ++serial)
    if (Passes(*Entry(serial))) rows_.push_back(serial);
  if (!paused_) syncedUpTo_ = next_;
}

void TrafficLog::Clear() {
  appendedSinceSync_ = false;
  unframed_.clear();
  clearedBefore_ = next_;
  syncedUpTo_ = next_;
  rows_.clear();
}

std::string TrafficLog::Save(const std::string& path) const {
  std::string text;
  for (uint64_t serial : rows_) {
    if (const TrafficEntry* entry = Entry(serial)) text += FormatTrafficLine(*entry) + "\n";
  }
  // Written beside and renamed into place, as every file of the console: a kill leaves the
  // old log or the new one; only a regular file is replaced, keeping its permissions.
  const SafeWriteResult written = ReplaceFileSafely(path, text);
  if (written.ok()) return "";
  const std::string reason =
      written.error == EEXIST ? "not a regular file" : std::strerror(written.error);
  return "Failed to write " + BaseName(path) + " (" + reason + ")";
}

}  // namespace sc
