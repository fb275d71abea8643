#pragma once
// One run of signal-cli against the box: the console's main window (ConsoleDialog) with its
// pages, started as the console starts it but bound to in-memory views, driven on the
// CliHost's loop. It opens the link, tells when the status chain or a reply has been
// handled, and passes the core's messages to standard error as it shows them.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/cli_host.h"
#include "cli/cli_options.h"
#include "console/console_dialog.h"
#include "window/view.h"

namespace sc {

class CliSession {
 public:
  CliSession(CliHost& host, ConsoleDialog::Options options, std::ostream& err,
             std::chrono::milliseconds answerWait);
  ~CliSession();
  CliSession(const CliSession&) = delete;
  CliSession& operator=(const CliSession&) = delete;

  ConsoleDialog& dialog() { return *dialog_; }
  CliHost& host() { return host_; }

  // What the console's controls would show.
  MemoryView mainView, timingView, edidView, utilityView, monitorView, addressView;

  // Opens the link on COM `port`, which starts the status chain. kExitDone, or
  // kExitPortUnavailable after the console's message.
  int Connect(int port);
  // After a search: the link the search brought up counts as connected.
  void NoteLinkUp() { connected_ = dialog_->linkUp(); }

  // A place in the record of replies handled; the waits below look after it.
  size_t Mark() const { return replies_.size(); }
  bool Handled(size_t mark, uint16_t code) const;
  // Whether a status chain has run to its end since `mark`: its input, hot-plug, volume,
  // EDID preset and timing replies in that order, then the status reply, or the timing
  // reply alone when it found no signal.
  bool ChainEnded(size_t mark) const;

  // Runs the loop until done() holds. kExitDone; kExitNoAnswer after `what` was not
  // answered within the answer wait (nothing: no limit); kExitPortUnavailable when the link
  // went down; kExitInterrupted.
  int Wait(const std::function<bool()>& done, const std::string& what,
           std::optional<std::chrono::milliseconds> limit, bool reportTimeOut = true);
  int Wait(const std::function<bool()>& done, const std::string& what) {
    return Wait(done, what, answerWait_);
  }
  // Waits for the status chain begun at `mark`. A chain the box answered in part lost a
  // reply (each write discards unread input, so a notice of the box's crossing the chain
  // can cost one): it is asked once more from its start.
  int WaitForChain(size_t mark);
  int WaitForReply(size_t mark, uint16_t code, const std::string& what) {
    return Wait([this, mark, code] { return Handled(mark, code); }, what);
  }

  // A place in the record of outcomes; the outcome of `operation` told since then (the
  // last one), or null.
  size_t OutcomeMark() const { return outcomes_.size(); }
  const Outcome* OutcomeSince(size_t mark, Operation operation) const;
  // Runs the loop until the outcome of `operation` is told (see Wait).
  int WaitForOutcome(size_t mark, Operation operation, const std::string& what,
                     std::optional<std::chrono::milliseconds> limit);
  int WaitForOutcome(size_t mark, Operation operation, const std::string& what) {
    return WaitForOutcome(mark, operation, what, answerWait_);
  }

  // The core's messages so far (each already printed on standard error).
  const std::vector<std::string>& messages() const { return messages_; }
  // The messages of outcomes this holds for are kept but not printed (a command that
  // names the result itself).
  std::function<bool(const Outcome& outcome)> hideMessageOf;
  // An error of signal-cli's own, one line on standard error.
  void Error(const std::string& text);

  // "COM1" and the device behind it.
  std::string PortName() const;
  std::string DeviceName() const;
  // The port as messages name it: the path given with --port, or "COM1 (/dev/ttyUSB0)".
  std::string PortLabel() const;
  // The device path --port gave instead of a COM number ("" for a COM number).
  std::string givenPath;

 private:
  struct Reply {
    uint16_t code;
    bool statusFollows;  // once the handler had run: a signal, whose status is asked
  };
  void Settle() const;
  void ReportNoAnswer(const std::string& what);

  CliHost& host_;
  std::ostream& err_;
  std::chrono::milliseconds answerWait_;
  std::unique_ptr<ConsoleDialog> dialog_;
  mutable std::vector<Reply> replies_;
  mutable bool lastSettled_ = true;
  std::vector<std::string> messages_;
  std::vector<Outcome> outcomes_;
  // The message of the last outcome told, while it is yet to be shown and not printed.
  std::optional<std::string> hidden_;
  bool connected_ = false;
  // Messages held back while the link is being opened (the port's own line replaces them
  // when it does not open).
  std::optional<std::vector<std::string>> heldMessages_;
};

}  // namespace sc
