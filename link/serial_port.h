#pragma once
// The console's driver for one serial port: opens and configures the device, runs one
// worker thread (PortWorker) that waits for shutdown, write requests and line events (in
// that priority), hands every received byte to the owner on the window thread and waits
// until the owner has handled it, lets the owner drain the rest of the input queue, and
// writes the frames the owner queues. System-call failures are shown through the host
// with caption "Application Error".

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "link/network_line.h"
#include "link/port_directory.h"
#include "link/port_lock.h"
#include "window/host.h"

namespace sc {

// Notifications to the owner (message number; first parameter; the port is the second).
inline constexpr unsigned kMsgBreak = 0x0401;      // WM_USER+1, mask has BREAK
inline constexpr unsigned kMsgCts = 0x0402;        // WM_USER+2, mask has CTS
inline constexpr unsigned kMsgErr = 0x0404;        // WM_USER+4, mask has ERR
inline constexpr unsigned kMsgRing = 0x0405;       // WM_USER+5, mask has RING
inline constexpr unsigned kMsgByte = 0x0407;       // WM_USER+7, one byte received
inline constexpr unsigned kMsgRxFlag = 0x0408;     // WM_USER+8, mask has RXFLAG
inline constexpr unsigned kMsgWriteDone = 0x0409;  // WM_USER+9, a write step ended
// The device went away (hang-up, read error, adapter pulled). Sent once; the worker has
// closed the port and ended when the owner receives it.
inline constexpr unsigned kMsgPortGone = 0x040A;

// Line events of the event mask.
inline constexpr unsigned kEvRxChar = 0x0001;
inline constexpr unsigned kEvRxFlag = 0x0002;
inline constexpr unsigned kEvCts = 0x0008;
inline constexpr unsigned kEvBreak = 0x0040;
inline constexpr unsigned kEvErr = 0x0080;
inline constexpr unsigned kEvRing = 0x0100;

inline constexpr int kDrainBufferSize = 5000;

// How a port's line ended, as far as the line can tell (a network line can; a local
// device only hangs up).
struct LineEnding {
  bool inUse = false;  // a device server's words said its port is in use
  std::string text;    // for a person; "" for a local device
};

class PortOwner {
 public:
  virtual ~PortOwner() = default;
  // Runs on the window thread while the worker waits for it to return.
  virtual void OnPortMessage(unsigned message, unsigned first, int port) = 0;
};

class SerialPort {
 public:
  // The host carries notifications to the window thread and shows error messages; the
  // directory turns port numbers into devices. Both must outlive the SerialPort.
  SerialPort(Host& host, const PortDirectory& directory);
  virtual ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Ends a running worker, then opens port `port` exclusively and configures it from
  // "baud=%d parity=%c data=%d stop=%d". 1 when the port was opened (configuration
  // failures are reported but still give 1), 0 when it could not be opened (silently).
  // A port named rfc2217://HOST:PORT or tcp://HOST:PORT is connected to, which blocks up
  // to the connect time-out: the window thread uses BeginOpen instead.
  int OpenPort(PortOwner* owner, int port, int baud, char parity, int dataBits, int stopBits,
               unsigned eventMask, int writeBufferSize);

  // OpenPort without waiting on the window thread. A local device is opened at once
  // (Opened or Failed, `done` is not called). A network port is connected to in the
  // background: Pending, and `done` runs later on the window thread (through the host)
  // with the outcome, unless CancelOpen, StopWorker, another open or the destructor came
  // first. The link's state is the caller's until then.
  enum class OpenStart { Opened, Failed, Pending };
  OpenStart BeginOpen(PortOwner* owner, int port, int baud, char parity, int dataBits, int stopBits,
                      unsigned eventMask, int writeBufferSize,
                      std::function<void(bool opened)> done);
  // Gives up a connection under way; its outcome is dropped.
  void CancelOpen();
  bool OpenPending() const;
  // The longest a connection to a network port may take (kDefaultConnectTimeout).
  void SetConnectTimeout(std::chrono::milliseconds timeout);
  std::chrono::milliseconds ConnectTimeout() const;

  // The line brought to another rate with its worker running: a local device is re-opened
  // at `rate` (ReopenAtBaud), a device server is asked for it (the answer comes later,
  // RateAnswer()). 1 when done or asked, 0 when the port could not be re-opened.
  int ReopenAtRate(int rate, int writeBufferSize);
  // Whether the open line can change its rate at all; otherwise why not (for a person).
  bool CanChangeRate(std::string* why = nullptr) const;
  // The line's answer to the last rate change: a local device is at once at its rate.
  LineRateAnswer RateAnswer() const;
  // Whether the open port is a network line.
  bool IsNetworkLine() const;
  // How the last line ended (after kMsgPortGone).
  LineEnding LastLineEnding() const;
  // Why the last open failed, for a person, when the port could say more than its errno
  // (a network port: "rfc2217://rack-3:7001: connection refused"); "" otherwise.
  std::string LastOpenProblem() const { return lastOpenProblem_; }
  // The last open failed because the device server's port is in use.
  bool LastOpenInUse() const { return lastOpenInUse_; }
  // 1 when the worker thread was started, else 0 (no port open, or one already runs).
  int StartWorker();
  // Asks the worker to close the port and end; returns at once.
  void StopWorker();
  // Queues one frame for the worker to write (see the .cpp on how frames are kept apart).
  void SendBytes(const uint8_t* bytes, int count);
  // Reads every byte waiting in the input queue into buffer (kDrainBufferSize bytes at
  // least); returns their number, 0 when none wait. Called by the owner while it handles
  // a kMsgByte notification.
  int DrainInput(uint8_t* buffer);

  // Observers.
  bool IsOpen() const;
  bool WorkerRunning() const { return workerRunning_.load(); }
  int Port() const { return port_; }
  // errno of the last failed OpenPort (0 after a success) and the device it tried ("" when
  // the number maps to no device).
  int LastOpenError() const { return lastOpenError_; }
  std::string LastOpenDevice() const { return lastOpenDevice_; }
  // Input and output rate the open device reports, or 0 and 0.
  std::pair<int, int> CurrentRates() const;
  // Who holds the device when the last OpenPort was refused for that (EBUSY).
  const std::optional<PortHolder>& LastOpenHolder() const { return lastHolder_; }
  // Frames not sent (a full queue, a stalled line) and not yet reported.
  int DroppedFrames() const;
  // How often the worker woke up since the SerialPort was made.
  uint64_t WorkerWakeups() const;
  // Bytes waiting in the open port's input queue (0 when none is open).
  int InputQueued() const;

  // Where UUCP lock files are looked for and made (DefaultLockDirectories()).
  void SetLockDirectories(std::vector<std::string> directories);

 private:
  // Implementation defined in serial_port.cpp.
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::atomic<bool> workerRunning_{false};
  int port_ = 0;
  int lastOpenError_ = 0;
  std::string lastOpenDevice_;
  std::string lastOpenProblem_;
  bool lastOpenInUse_ = false;
  std::optional<PortHolder> lastHolder_;

  // Shared by both opens: ends the worker, takes the new settings, closes the old port.
  void PrepareOpen(PortOwner* owner, int port, unsigned eventMask, int writeBufferSize);
  void NoteNetworkFailure(const NetworkAddress& address, const NetworkOpenResult& result);
  void AdoptNetworkLine(std::shared_ptr<NetworkLine> line, int baud);
};

// "WARNING:  %s Failed with the following error: \n%s\nPort: %d\n"
std::string FormatPortError(const std::string& operation, int error, int port);

}  // namespace sc
