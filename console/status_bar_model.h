#pragma once
// The main window's status bar as texts: the port and its device, the line rate, the state
// of the link, the box that answered last and when, what is under way (a request, a
// preview or an upload, or a request that went unanswered), and the folder files are
// saved in. The main window hands its state over whenever something happens (a click, a
// reply, a timer step, a send); a text changes only when what it says changes, and only
// then is the window told. Nothing polls.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "console/request_tracker.h"
#include "link/frame.h"
#include "window/host.h"

namespace sc {

// The main window's state that the status bar shows.
struct LinkState {
  int port = 1;
  bool linkUp = false;
  bool searching = false;
  bool connecting = false;  // a network port is being connected to for the link
  bool portOpen = false;    // the port is open (a port chosen while the link was up stays so)
  int rate = 115200;        // the rate the port was last opened at
  // Frame capture.
  bool previewBusy = false;
  bool uploadActive = false;
  bool lineMode = false;
  double uploadProgress = 0;  // percent
};

class StatusBarModel {
 public:
  using WallClock = std::chrono::system_clock;
  // The status bar's fields, as bits of what changed.
  enum Field : unsigned {
    kPortField = 1,
    kRateField = 2,
    kLinkField = 4,
    kLastAnswerField = 8,
    kActivityField = 16,
    kFilesField = 32,
  };

  explicit StatusBarModel(Host& host) : requests(host) {}

  // The requests awaiting an answer; the main window tells it what it sends and receives.
  RequestTracker requests;
  // The device behind a COM number ("" when none).
  std::function<std::string(int port)> deviceOf;
  // The clock of "Last answer" (the system's, unless a test sets one).
  std::function<WallClock::time_point()> wallClock;
  // Told the fields that changed, after they changed.
  std::function<void(unsigned fields)> onChange;

  // The window's state now; returns the fields that changed (and tells onChange). The link
  // going down or a search beginning ends what was awaited.
  unsigned Update(const LinkState& state);
  // A reply was handled: the box that sent it answers.
  void Answered(DeviceAddress from);
  // The device went away under the link; said until the link comes up or a search begins.
  void DeviceGone() { deviceGone_ = true; }
  // The port directory was read again: the device of the port may have changed.
  void PortsChanged() { portsChanged_ = true; }
  void SetFilesFolder(const std::string& folder);

  const std::string& port() const { return port_; }        // "COM1  /dev/ttyUSB0"
  const std::string& rate() const { return rate_; }        // "115200 baud"
  const std::string& link() const { return link_; }        // "Link up"
  const std::string& lastAnswer() const { return last_; }  // "Last answer: box 0101 at 14:03:22"
  const std::string& activity() const { return activity_; }
  const std::string& files() const { return files_; }  // "Files go to /home/me/signal-console"

 private:
  void Notify(unsigned fields) {
    if (fields && onChange) onChange(fields);
  }
  static bool Set(std::string& field, std::string text) {
    if (field == text) return false;
    field = std::move(text);
    return true;
  }
  std::string LinkText(const LinkState& state) const;
  static std::string CaptureText(const LinkState& state);

  bool known_ = false;
  LinkState state_;
  bool deviceGone_ = false;
  bool linkGoneShown_ = false;
  bool portsChanged_ = true;
  uint64_t requestsVersion_ = 0;
  int progressShown_ = -1;

  bool answered_ = false;
  DeviceAddress lastFrom_;
  int64_t lastSecond_ = 0;

  std::string port_, rate_, link_, last_ = "No answer yet", activity_, files_;
};

}  // namespace sc
