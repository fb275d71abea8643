#pragma once
// Serves a line of simulated boxes on a pseudo-terminal (or a real serial device) from
// a thread of its own: what the console writes is fed to the boxes, their answers are
// written back after each box's reply delay, and their own notices go out as they come.
// A frame transfer is taken from its box a few chunks at a time, as the line drains, so
// the server keeps answering commands (a stop among them) while it streams. Paced, the
// server sends no faster than the line's rate would carry the bytes (ten bits a byte):
// a pseudo-terminal does not pace them itself.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/box_line.h"
#include "sim/pty.h"

namespace sc {

class BoxServer {
 public:
  enum class State {
    NotStarted,
    Serving,
    HungUp,    // HangUp() closed the line
    LineLost,  // the serial device went away (unplugged adapter, read error)
    Stopped,
  };

  explicit BoxServer(const std::vector<DeviceAddress>& addresses = {{0x01, 0x01}});
  ~BoxServer();
  BoxServer(const BoxServer&) = delete;
  BoxServer& operator=(const BoxServer&) = delete;

  // Serves on a new pseudo-terminal; path() is its slave side, which the console opens.
  bool StartOnPty(std::string* error = nullptr);
  // Serves on an existing serial device, raw, 8 data bits, no parity, 1 stop bit.
  bool StartOnDevice(const std::string& path, int baud, std::string* error = nullptr);
  const std::string& path() const { return path_; }

  // Runs f(line) under the server's lock and then lets the thread send whatever the boxes
  // queued meanwhile (a signal notice, for instance). Safe from any thread.
  template <class F>
  decltype(auto) WithLine(F&& f) {
    struct WakeAfterUnlock {
      BoxServer* server;
      ~WakeAfterUnlock() { server->Wake(); }
    } wake{this};
    std::lock_guard lock(mutex_);
    return f(line_);
  }

  // Waits until done(line) holds (checked under the lock whenever the line changes) or
  // the time-out passes; returns the last verdict.
  bool WaitUntil(const std::function<bool(BoxLine&)>& done, std::chrono::milliseconds timeout);

  // A deaf server reads nothing from the line: what the console writes piles up until its
  // writes stall. Replies already due still go out.
  void SetDeaf(bool deaf);

  // Closes the line, so that the console sees a hang-up; the boxes keep their state but
  // nothing more is served. Returns once the line is closed.
  void HangUp();
  // Ends the thread and closes the line. Also done by the destructor.
  void Stop();

  // Sending at the line's rate (off unless set; may change while serving).
  void SetPacing(bool on) { pacing_ = on; }
  bool pacing() const { return pacing_; }
  // Paced, the console's bytes take the line's time too, as on a two-wire line that
  // carries both ways (boxes on an RS-485 bus): a box answers once the request would have
  // crossed the line, and the line carries one direction at a time.
  void SetHalfDuplex(bool on) { halfDuplex_ = on; }

  State state() const;
  // An eventfd that becomes readable whenever the state changes.
  int stateFd() const { return stateFd_; }
  // How often the thread woke up: a line that keeps waking it would show here.
  uint64_t wakeups() const;

 private:
  struct Pending;
  bool Launch(int lineFd, bool isPty, std::string* error);
  void Run();
  void Wake();
  void SetState(State s);
  void CloseLine();

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  BoxLine line_;
  State state_ = State::NotStarted;
  bool stopRequested_ = false;
  bool hangUpRequested_ = false;
  bool deaf_ = false;
  uint64_t wakeups_ = 0;

  std::unique_ptr<PtyMaster> pty_;
  int lineFd_ = -1;       // the master of the pseudo-terminal, or the serial device
  int heldSlaveFd_ = -1;  // our own open slave: the master sees no hang-up between sessions
  bool isPty_ = false;
  int deviceRate_ = 0;  // the rate a serial device is set to (a pseudo-terminal has none)
  std::atomic<bool> pacing_{false};
  std::atomic<bool> halfDuplex_{false};
  int wakeFd_ = -1;
  int stateFd_ = -1;
  std::string path_;
  std::thread thread_;
};

}  // namespace sc
