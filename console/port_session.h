#pragma once
// The main window's serial port: which COM port, opening it (and again at another rate for
// uploads), the link icon, the search of COM1..COM99 for a box, and a port whose device
// went away. The main window keeps the receive path and the send operations; the session
// owns the link's state (link up, searching, box found, the open port's rate), which it
// alone changes and which others read through its accessors.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/frame.h"
#include "link/network_line.h"
#include "link/port_directory.h"
#include "link/serial_port.h"
#include "window/host.h"
#include "window/view.h"

namespace sc {

// Texts of the connection and the search (caption "TQ-KVAD").
inline constexpr const char* kPortUnavailableMessage =
    "Can not find this port or used by other application";
inline constexpr const char* kNoDeviceMessage = "Can not find available device for this console!";
inline constexpr const char* kSearchingText = "Please wait.....";

// The search step's timer (4) and its periods (ms): first port, each further port, each
// byte of a reply.
inline constexpr int kSearchTimer = 4;
inline constexpr int kFirstProbeWait = 300;
inline constexpr int kProbeWait = 400;
inline constexpr int kReplyByteWait = 200;

// What the session asks of the main window that owns it.
class PortSessionOwner : public PortOwner {
 public:
  // The link came up (a port chosen, the link icon, a box found): the status chain begins.
  virtual void LinkCameUp() = 0;
  // A message box of the session's (the status bar is brought up to date first).
  virtual void ShowSessionMessage(const std::string& text) = 0;
  // The search's probe, logged but not awaited as a request.
  virtual void TransmitProbe(const uint8_t* frame, int size) = 0;
  // The reply parser starts again from its idle state (a new port, a search beginning).
  virtual void ResetReceiver() = 0;
  virtual void SearchStarted() = 0;
  // The port directory was read again.
  virtual void PortsRefreshed() = 0;
  // The device of the link's port went away.
  virtual void DeviceWentAway() = 0;
  // The session's state changed (link up or down, search, rate).
  virtual void SessionChanged() = 0;
  // The target of the search probe.
  virtual DeviceAddress ProbeTarget() const = 0;
};

class PortSession {
 public:
  struct Options {
    // How to find the serial ports; empty means SIGNAL_CONSOLE_PORTS and this machine's.
    std::function<PortDirectory()> ports;
    // Where UUCP lock files are looked for and made; nothing means /run/lock, /var/lock.
    std::optional<std::vector<std::string>> lockDirectories;
    // The longest a connection to a network port (rfc2217://, tcp://) may take.
    std::chrono::milliseconds connectTimeout = kDefaultConnectTimeout;
  };

  // `window` is the main window, whose view shows the link icon, the "Comm:" list and the
  // search text.
  PortSession(Host& host, PortSessionOwner& owner, CoreWindow& window, Options options);
  ~PortSession();
  PortSession(const PortSession&) = delete;
  PortSession& operator=(const PortSession&) = delete;

  // Ends the worker and closes the port for good (the main window's destruction).
  void Close() { serial_.reset(); }

  // Start-up: COM1 at 115200 baud, 8 data bits, no parity, one stop bit; the link down.
  void Startup();

  // Window events.
  void SelectComPort();                  // an item of the "Comm:" list was chosen
  void ToggleLink(bool uploadActive);    // the link icon
  void SearchDevice(bool uploadActive);  // "Search Machine"
  void SearchStep();                     // timer 4
  // A byte that came while the search runs: the matcher looks for the search's answer.
  void MatchSearchReply(FrameAssembler& rx, uint8_t byte);
  // Re-opens the current port at another rate (uploads); failures are silent.
  void ReopenAtBaud(int rate);
  // The device of `port` went away (the worker has ended).
  void OnPortGone(int port);
  // The COM port the link icon opens, without opening it (signal-cli's choice).
  void ChoosePort(int port) { port_ = port; }
  // COM numbers mapped to network ports ("Link > Network port..."); SIGNAL_CONSOLE_PORTS
  // wins over them. The ports are read again.
  void SetNetworkPorts(std::map<int, std::string> mapped);

  // State.
  bool linkUp() const { return linkUp_; }
  bool searchActive() const { return searchActive_; }
  bool deviceFound() const { return deviceFound_; }
  // Whether the last search opened any port (one that did not found none that opens).
  bool searchOpenedAPort() const { return probedAny_; }
  int port() const { return port_; }
  int baud() const { return baud_; }
  // The rate the port was last opened at (115200, or 512000 during an upload).
  int lineRate() const { return lineRate_; }
  // A port step (a port choice, the link icon, a search or one of its steps, a re-open) is
  // under way, message boxes included.
  bool stepRunning() const { return stepRunning_; }
  // A port is open: the link's, a search's, or one chosen while the link was up.
  bool portOpen() const;
  // A network port is being connected to, for the link or for the search (off the window
  // thread; the window goes on meanwhile).
  bool connecting() const;
  // The text beside "Search Machine" ("Please wait....." during a search).
  std::string searchStatus;

  SerialPort& serialPort() { return *serial_; }
  const PortDirectory& ports() const { return ports_; }

 private:
  class Step;
  void RefreshPorts();
  // Opens the current port at `rate`: a local device at once, a network port in the
  // background. `then(opened)` runs when the outcome is known: before this returns for a
  // local device, later (as a port step of its own) for a network port, and never when
  // the connection is given up first.
  void OpenThen(int rate, int writeBufferSize, std::function<void(bool opened)> then);
  // A connection under way is given up; a search waiting for it ends.
  void AbandonConnect();
  void SetLinkUp(bool up);
  void SetLinkIcon(bool up);
  void ShowPortUnavailable();
  // Tries port, port+1 ... 99 for the search: the first that opens gets the probe and
  // timer 4 runs `wait` ms. Sent, Waiting (a network port is being connected to; the
  // search goes on when the connection is up or has failed) or None (no port left).
  enum class Probe { Sent, Waiting, None };
  Probe ProbeFrom(int firstPort, int wait);
  void SendProbe(int wait);
  // A network port of the search connected (or did not).
  void ProbeOpened(bool opened, int wait);
  // The search found no port that answered: the message, and the port it began with (or
  // COM1 when no port opened at all).
  void SearchFoundNothing();
  void EndSearch();

  friend struct ConsoleTestAccess;

  Host& host_;
  PortSessionOwner& owner_;
  CoreWindow& window_;
  Options options_;
  PortDirectory ports_;
  std::unique_ptr<SerialPort> serial_;

  bool linkUp_ = false;
  bool searchActive_ = false;
  bool deviceFound_ = false;
  bool stepRunning_ = false;
  bool probedAny_ = false;  // a port of the search opened
  std::map<int, std::string> networkPorts_;
  std::vector<std::string> commItems_;  // the "Comm:" list's texts as last set
  int port_ = 1;
  int savedPort_ = 1;
  int baud_ = 115200;
  char parity_ = 'N';
  int dataBits_ = 8;
  int stopBits_ = 1;
  unsigned eventMask_ = 3;
  int lineRate_ = 115200;
  std::array<uint8_t, kFrameOverhead> searchProbe_{};
};

}  // namespace sc
