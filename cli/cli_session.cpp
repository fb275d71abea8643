#include "cli/cli_session.h"

#include <algorithm>
#include <cstdio>

#include "cli/text_output.h"
#include "console/port_failure.h"
#include "link/codes.h"

namespace sc {

CliSession::CliSession(CliHost& host, ConsoleDialog::Options options, std::ostream& err,
                       std::chrono::milliseconds answerWait)
    : host_(host), err_(err), answerWait_(answerWait) {
  host_.onMessage = [this](const std::string&, const std::string& text) {
    messages_.push_back(text);
    // An outcome is told just before its message is shown.
    if (hidden_ && *hidden_ == text) {
      hidden_.reset();
      return;
    }
    if (heldMessages_) {
      heldMessages_->push_back(text);
      return;
    }
    const std::string line = OneLine(text);
    if (!line.empty()) err_ << "signal-cli: " << line << "\n" << std::flush;
  };
  dialog_ = std::make_unique<ConsoleDialog>(host_, std::move(options));
  ConsoleDialog& d = *dialog_;
  // Bound as the console binds its widgets, before start-up pushes the first values.
  d.AttachView(&mainView);
  d.timingPage.AttachView(&timingView);
  d.edidPage.AttachView(&edidView);
  d.utilityPage.AttachView(&utilityView);
  d.monitorPage.AttachView(&monitorView);
  d.addressDialog.AttachView(&addressView);
  d.onOutcome = [this](const Outcome& outcome) {
    outcomes_.push_back(outcome);
    hidden_.reset();
    if (hideMessageOf && hideMessageOf(outcome) && !outcome.message.empty())
      hidden_ = outcome.message;
  };
  d.onDispatch = [this](uint16_t code) {
    Settle();
    replies_.push_back({code, false});
    lastSettled_ = false;
  };
  d.Startup();
}

CliSession::~CliSession() {
  dialog_->Destroy();
  dialog_.reset();
  host_.onMessage = nullptr;
}

void CliSession::Settle() const {
  // The previous handler has returned by now: note whether it asked the status (a timing
  // reply with a signal is held until then).
  if (!lastSettled_ && !replies_.empty())
    replies_.back().statusFollows = dialog_->timingPage.HoldsRecord();
  lastSettled_ = true;
}

bool CliSession::Handled(size_t mark, uint16_t code) const {
  return std::any_of(
      replies_.begin() + static_cast<std::ptrdiff_t>(std::min(mark, replies_.size())),
      replies_.end(), [code](const Reply& r) { return r.code == code; });
}

bool CliSession::ChainEnded(size_t mark) const {
  Settle();
  static constexpr uint16_t kChain[] = {code::kInput, code::kHotPlug, code::kVolume,
                                        code::kEdidPreset, code::kTiming};
  size_t i = mark;
  size_t timing = replies_.size();
  for (const uint16_t code : kChain) {
    while (i < replies_.size() && replies_[i].code != code)
      ++i;
    if (i == replies_.size()) return false;
    timing = i++;
  }
  if (!replies_[timing].statusFollows) return true;  // no signal: no status is asked
  for (size_t k = timing + 1; k < replies_.size(); ++k)
    if (replies_[k].code == code::kStatus) return true;
  return false;
}

int CliSession::Connect(int port) {
  ConsoleDialog& d = *dialog_;
  d.ChoosePort(port);
  heldMessages_.emplace();
  d.ToggleLink();
  // A network port connects in the background, within its own time-out.
  if (d.connecting() && host_.RunUntil([&d] { return !d.connecting(); }, std::nullopt) ==
                            CliHost::Wait::Interrupted) {
    heldMessages_.reset();
    d.ToggleLink();  // gives the connection up
    return kExitInterrupted;
  }
  std::vector<std::string> held = std::move(*heldMessages_);
  heldMessages_.reset();
  connected_ = d.linkUp();
  if (!connected_) {
    // One line that names the port and why, instead of the console's message box text.
    const SerialPort& serial = d.serialPort();
    // A network port's problem names its address and the reason already.
    const std::string problem = serial.LastOpenProblem();
    Error(!problem.empty() ? problem
                           : "cannot open " + PortLabel() + ": " +
                                 PortFailureReason(serial.LastOpenError(), serial.LastOpenDevice(),
                                                   serial.LastOpenHolder()));
    return kExitPortUnavailable;
  }
  for (const std::string& text : held)
    if (const std::string line = OneLine(text); !line.empty())
      err_ << "signal-cli: " << line << "\n" << std::flush;
  return kExitDone;
}

const Outcome* CliSession::OutcomeSince(size_t mark, Operation operation) const {
  for (size_t i = outcomes_.size(); i > mark; --i)
    if (outcomes_[i - 1].operation == operation) return &outcomes_[i - 1];
  return nullptr;
}

int CliSession::WaitForOutcome(size_t mark, Operation operation, const std::string& what,
                               std::optional<std::chrono::milliseconds> limit) {
  return Wait([this, mark, operation] { return OutcomeSince(mark, operation) != nullptr; }, what,
              limit);
}

int CliSession::WaitForChain(size_t mark) {
  const char* what = "the box's state";
  int rc = Wait([this, mark] { return ChainEnded(mark); }, what, answerWait_, false);
  if (rc == kExitNoAnswer && Mark() > mark) {
    const size_t again = Mark();
    dialog_->SendInputQuery();
    rc = Wait([this, again] { return ChainEnded(again); }, what, answerWait_, false);
  }
  if (rc == kExitNoAnswer) ReportNoAnswer(what);
  return rc;
}

int CliSession::Wait(const std::function<bool()>& done, const std::string& what,
                     std::optional<std::chrono::milliseconds> limit, bool reportTimeOut) {
  ConsoleDialog& d = *dialog_;
  bool linkLost = false;
  const CliHost::Wait result = host_.RunUntil(
      [&] {
        if (done()) return true;
        // A device that went away (the console has said so) answers nothing more.
        linkLost = connected_ && !d.linkUp() && !d.searchActive();
        return linkLost;
      },
      limit);
  if (result == CliHost::Wait::Interrupted) return kExitInterrupted;
  if (linkLost) return kExitPortUnavailable;
  if (result == CliHost::Wait::Done) return kExitDone;
  if (reportTimeOut) ReportNoAnswer(what);
  return kExitNoAnswer;
}

void CliSession::ReportNoAnswer(const std::string& what) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%g", answerWait_.count() / 1000.0);
  Error("no box answered on " + PortLabel() + " within " + seconds + " s: no reply for " + what);
}

void CliSession::Error(const std::string& text) {
  err_ << "signal-cli: " << OneLine(text) << "\n" << std::flush;
}

std::string CliSession::PortName() const {
  return "COM" + std::to_string(dialog_->port());
}

std::string CliSession::PortLabel() const {
  if (!givenPath.empty()) return givenPath;
  return PortName() + " (" + DeviceName() + ")";
}

std::string CliSession::DeviceName() const {
  const std::string path = dialog_->ports().PathFor(dialog_->port());
  return path.empty() ? "no device" : path;
}

}  // namespace sc
