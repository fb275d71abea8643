#pragma once
// The console's driver for one serial port: opens and configures the device, runs one
// worker thread (PortWorker) that waits for shutdown, write requests and line events (in
// that priority), hands every received byte to the owner on the window thread and waits
// until the owner has handled it, lets the owner drain the rest of the input queue, and
// writes the frames the owner queues. System-call failures are shown through the host
// with caption "Application Error".

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

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
  int OpenPort(PortOwner* owner, int port, int baud, char parity, int dataBits, int stopBits,
               unsigned eventMask, int writeBufferSize);
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
  std::optional<PortHolder> lastHolder_;
};

// "WARNING:  %s Failed with the following error: \n%s\nPort: %d\n"
std::string FormatPortError(const std::string& operation, int error, int port);

}  // namespace sc
