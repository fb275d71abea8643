#pragma once
// The traffic log: every frame the console sends and receives while the log window is
// open, with what became of each received frame (handled, or dropped and why) and the
// bytes that formed no frame, in a ring of a fixed number of entries. Recording copies the
// bytes and the time and nothing else; names, hex and times are formatted only when a row
// is shown or saved. The rows a person sees follow the ring: filtered by code, frozen
// while paused, emptied by Clear.
//
// Everything runs on the window thread: the main window records from its send operations
// and its receive path, the log window reads.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "link/frame.h"

namespace sc {

enum class TrafficDirection : uint8_t { Sent, Received, Note };

// What became of a received frame, or why bytes made none.
enum class TrafficMark : uint8_t {
  None,          // sent, or received and handed to its handler
  BadSum,        // complete, but its bytes do not sum to 0
  BadLength,     // its length field is below 5 or above 500
  OtherAddress,  // from a box other than the one addressed
  UnknownCode,   // a code the console does not take
  TooShort,      // shorter than the payload its handler reads
  NoFrame,       // bytes outside any frame: noise, or a header that broke off
};

// The mark as the log shows it ("bad sum"); "" for None.
const char* TrafficMarkText(TrafficMark mark);

struct TrafficEntry {
  using Clock = std::chrono::system_clock;

  uint64_t serial = 0;
  Clock::time_point time;
  TrafficDirection direction = TrafficDirection::Note;
  TrafficMark mark = TrafficMark::None;
  // The code the console dispatches on (the one a reply from device FF names in its
  // payload); 0 for bytes that formed no frame and for notes.
  uint16_t code = 0;
  // A whole frame, or the bytes that formed none.
  std::vector<uint8_t> bytes;
  // A note's text (link up, link down, a change of rate).
  std::string note;

  bool IsFrame() const {
    return direction != TrafficDirection::Note && mark != TrafficMark::NoFrame &&
           mark != TrafficMark::BadLength && bytes.size() >= kFrameOverhead;
  }
};

// One entry as the log window's columns show it.
struct TrafficRow {
  std::string time;       // "14:03:22.123", local time
  std::string direction;  // "Sent", "Received", "" for a note
  std::string address;    // "0101"
  std::string code;       // "0x8090"
  std::string name;       // "Status query", "Signal status"; "Note"
  std::string mark;       // "bad sum", ...
  std::string data;       // the payload in hex ("04 3D"); all the bytes when no frame; a
                          // note's text
};
TrafficRow FormatTrafficEntry(const TrafficEntry& entry);
// The row as one line of the saved text (no line end).
std::string FormatTrafficLine(const TrafficEntry& entry);

class TrafficLog {
 public:
  using Clock = TrafficEntry::Clock;
  // A day of the box's chain and several whole-frame uploads fit many times over in far
  // fewer entries; at most this many frames of at most 505 bytes are ever held.
  static constexpr size_t kDefaultCapacity = 10000;
  // A run of bytes outside frames becomes one entry at this length at most.
  static constexpr size_t kUnframedRun = 64;

  explicit TrafficLog(size_t capacity = kDefaultCapacity);

  // Recording.
  void Sent(const uint8_t* frame, size_t size);
  // A complete reply and what became of it; `code` is the one dispatched on.
  void Received(const uint8_t* frame, size_t size, uint16_t code, TrafficMark mark);
  // Bytes outside any frame; they gather into one entry until a frame or a flush comes.
  void Unframed(const uint8_t* bytes, size_t count);
  // The start of a frame that broke off at its length field.
  void BadLength(const uint8_t* bytes, size_t count);
  // A byte with which `assembler` completed no frame (`step` is what its Push returned,
  // `stateBefore` its state before): noise, a header that broke off, or a bad length.
  void NotFramed(const FrameAssembler& assembler, int stateBefore, FrameAssembler::Step step,
                 uint8_t byte);
  // A byte received while the console searches: the log assembles frames of its own.
  void SearchByte(uint8_t byte);
  // A search begins: a frame the log's own assembler had begun is forgotten.
  void SearchStarted() { search_.state = FrameAssembler::kIdle; }
  // The end of a batch of received bytes: gathered unframed bytes become their entry.
  void FlushUnframed();
  void Note(std::string text);

  // The clock of the time stamps (the system's, unless a test sets one).
  std::function<Clock::time_point()> clock;
  // Told once when entries were added after the last Sync (the window then syncs).
  std::function<void()> onAppended;

  // The entries held: serials [oldest(), next()).
  uint64_t oldest() const;
  uint64_t next() const { return next_; }
  size_t size() const { return static_cast<size_t>(next_ - oldest()); }
  size_t capacity() const { return capacity_; }
  // The entry with this serial, or nullptr when it is no longer held.
  const TrafficEntry* Entry(uint64_t serial) const;

  // The rows shown: entries that pass the filter, up to the moment of pausing. They follow
  // the ring in two steps, so that a view can announce each before it happens: rows whose
  // entries were overwritten leave the top, then the new entries that pass are appended.
  size_t OverwrittenRows() const;
  void DropOverwrittenRows();
  size_t NewRows() const;  // 0 while paused
  void AppendNewRows();
  struct RowChange {
    size_t removedFront = 0;
    size_t added = 0;
  };
  RowChange Sync();  // both steps
  size_t RowCount() const { return rows_.size(); }
  // The entry of a row; an entry overwritten since the last Sync reads as an empty note.
  const TrafficEntry& Row(size_t row) const;

  // Codes in hexadecimal separated by spaces or commas ("8090 F851", "0x8092"); empty
  // shows everything. False (and the filter unchanged) for anything else. Notes always
  // pass. The rows are rebuilt: the caller resets its view.
  bool SetFilter(std::string_view text);
  bool paused() const { return paused_; }
  // While paused, the rows stop growing; entries are still recorded and appear on resume.
  void SetPaused(bool paused) { paused_ = paused; }
  // Forgets every entry and row.
  void Clear();

  // Writes the rows shown as text to `path` (a new file beside it, renamed into place).
  // Returns "" on success, else the message to show.
  std::string Save(const std::string& path) const;

 private:
  TrafficEntry& Append(TrafficDirection direction, TrafficMark mark, uint16_t code);
  bool Passes(const TrafficEntry& entry) const;
  void RebuildRows();

  size_t capacity_;
  std::vector<TrafficEntry> ring_;
  uint64_t next_ = 0;
  uint64_t clearedBefore_ = 0;
  bool appendedSinceSync_ = false;

  std::vector<uint8_t> unframed_;
  Clock::time_point unframedTime_;
  FrameAssembler search_{kReplyLead};

  std::deque<uint64_t> rows_;
  uint64_t syncedUpTo_ = 0;
  std::set<uint16_t> filter_;
  bool paused_ = false;
};

}  // namespace sc
