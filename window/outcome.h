#pragma once
// What a person's operation on a page, the frame capture or the address dialog came to,
// as a value every front end reads: the window shows the operation's message, signal-cli
// decides its exit code and prints its result from the value; nothing decides anything
// from a message's text. An operation that waits for the box ends when its answer is
// handled (an unanswered request ends in no outcome; the request tracker says so).

#include <functional>
#include <string>
#include <vector>

namespace sc {

enum class Operation {
  kEdidRead,
  kEdidOpen,
  kEdidSave,
  kEdidWrite,
  kEdidCompare,
  kInfoFrameRead,
  kMonitorStart,
  kMonitorRead,
  kMonitorSave,
  kPreview,
  kFrameCapture,
  kLineCapture,
  kAddressRead,
  kAddressWrite,
  kAddressSave,
  // "Save As..." beside the numbered saves: a file of the person's choosing.
  kEdidSaveAs,
  kMonitorSaveAs,
  kPictureSaveAs,
  kChartSaveAs,
  kEdidEdit,
};

enum class Result {
  kDone,       // done as asked
  kRefused,    // not done: the console cannot (no user slot chosen, nothing to save, the
               // link is down) or the box said no (an EDID write it reports as failed)
  kBadInput,   // a value typed in is not acceptable
  kFileError,  // a file could not be read or written
  kDataError,  // the box's data did not fit (a capture's chunks, a line that never came)
  kNoAnswer,   // the box sent nothing in time (a preview, a capture)
  kCancelled,  // the person cancelled (a file dialog, an upload)
};

struct Outcome {
  explicit Outcome(Operation op, Result r = Result::kDone, std::string text = {})
      : operation(op), result(r), message(std::move(text)) {}
  Outcome& WithFile(std::string path) {
    files.push_back(std::move(path));
    return *this;
  }
  Outcome& WithAnswer(int value) {
    answer = value;
    return *this;
  }

  Operation operation;
  Result result = Result::kDone;
  // The files saved or opened.
  std::vector<std::string> files;
  // The box's own answer where it gives one (the EDID write's status byte), else -1.
  int answer = -1;
  // What the window says of it ("" when it says nothing), for a person only.
  std::string message;

  bool done() const { return result == Result::kDone; }
};

// Where a page reports its outcomes (its owner; nothing when no one listens).
using OutcomeSink = std::function<void(const Outcome&)>;

// Reports `outcome` to `sink`, then shows its message through `show` when it has one: a
// front end that prints results of its own knows the message before it appears.
inline void Conclude(const OutcomeSink& sink, const Outcome& outcome,
                     const std::function<void(const std::string&)>& show) {
  if (sink) sink(outcome);
  if (!outcome.message.empty()) show(outcome.message);
}

}  // namespace sc
