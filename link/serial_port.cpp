#include "link/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "link/line_rate.h"
#include "link/port_lock.h"

namespace sc {

namespace {

// An event the worker can wait on with poll(): set by one thread, cleared by the worker.
class Event {
 public:
  Event() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
  ~Event() {
    if (fd_ >= 0) ::close(fd_);
  }
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;
  int fd() const { return fd_; }
  void Set() {
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(fd_, &one, sizeof one);
  }
  void Reset() {
    uint64_t count;
    [[maybe_unused]] ssize_t n = ::read(fd_, &count, sizeof count);
  }

 private:
  int fd_;
};

// Set on a worker thread to the driver it serves.
thread_local const void* tlsWorkerOf = nullptr;

bool DeviceGone(int error) {
  return error == EIO || error == ENXIO || error == ENODEV;
}

struct LineSettings {
  int baud = 0;
  char parity = 'N';
  int dataBits = 8;
  int stopBits = 1;
};

// Reads "baud=%d parity=%c data=%d stop=%d" the way the serial layer builds its settings.
bool ParseConfiguration(const std::string& text, LineSettings& out) {
  LineSettings s;
  char tail = 0;
  if (std::sscanf(text.c_str(), "baud=%d parity=%c data=%d stop=%d%c", &s.baud, &s.parity,
                  &s.dataBits, &s.stopBits, &tail) != 4)
    return false;
  if (s.baud <= 0 || s.dataBits < 5 || s.dataBits > 8 || (s.stopBits != 1 && s.stopBits != 2))
    return false;
  switch (s.parity) {
    case 'N':
    case 'n':
    case 'E':
    case 'e':
    case 'O':
    case 'o':
    case 'M':
    case 'm':
    case 'S':
    case 's':
      break;
    default:
      return false;
  }
  out = s;
  return true;
}

void ApplyLineSettings(termios& tio, const LineSettings& s) {
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  static const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  tio.c_cflag |= kSizes[s.dataBits - 5];
  if (s.stopBits == 2) tio.c_cflag |= CSTOPB;
  switch (s.parity) {
    case 'E':
    case 'e':
      tio.c_cflag |= PARENB;
      break;
    case 'O':
    case 'o':
      tio.c_cflag |= PARENB | PARODD;
      break;
    case 'M':
    case 'm':
      tio.c_cflag |= PARENB | CMSPAR | PARODD;
      break;
    case 'S':
    case 's':
      tio.c_cflag |= PARENB | CMSPAR;
      break;
    default:
      break;
  }
  // With MIN 1 an empty queue reads as EAGAIN (the port is non-blocking) and a read of 0
  // means only one thing: the device hung up. MIN 0 would make both read as 0.
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
}

}  // namespace

std::string FormatPortError(const std::string& operation, int error, int port) {
  char text[512];
  std::snprintf(text, sizeof text, "WARNING:  %s Failed with the following error: \n%s\nPort: %d\n",
                operation.c_str(), std::strerror(error), port);
  return text;
}

// One notification in flight from the worker to the window thread. The worker waits until
// the window has handled it, or until shutdown is asked for: a window thread that is
// itself waiting for the worker to end (OpenPort, the destructor) must not deadlock with
// a worker waiting for the window. An abandoned notification that reaches the window
// later is dropped without touching the owner.
struct HandOffCall {
  std::mutex mutex;
  std::condition_variable done_cv;
  bool done = false;
  bool abandoned = false;
};

struct SerialPort::Impl {
  Impl(Host& h, const PortDirectory& d) : host(h), directory(d) {}

  Host& host;
  const PortDirectory& directory;

  // Covers the port's reads, writes and reconfiguration.
  std::recursive_mutex lock;
  int fd = -1;

  Event shutdownEvent;
  Event writeEvent;
  std::atomic<bool> shutdown{false};
  std::thread worker;

  PortOwner* owner = nullptr;
  int port = 0;
  unsigned eventMask = 0;
  size_t writeBufferSize = 0;
  int baud = 0;
  SerialFormat format;

  // The open port's line when it is a network port (fd is then the line's socket).
  std::shared_ptr<NetworkLine> net;
  LineEnding lastEnding;
  std::chrono::milliseconds connectTimeout = kDefaultConnectTimeout;
  // The connection under way for BeginOpen; touched on the window thread only.
  struct OpenAttempt {
    bool cancelled = false;
    std::shared_ptr<NetworkLine> line;
  };
  std::shared_ptr<OpenAttempt> attempt;

  // Frames waiting for the worker. SendBytes copies a frame in and returns; the worker
  // takes one whole frame out under this small lock and writes it from its own copy, so
  // a frame queued while another is being written can neither overwrite it nor be lost.
  std::mutex queueMutex;
  std::deque<std::vector<uint8_t>> queue;
  static constexpr size_t kMaxQueuedFrames = 64;

  std::mutex callMutex;
  std::shared_ptr<HandOffCall> currentCall;

  // The line stopped taking data: a frame waited its whole time-out. Told once per stall.
  bool stalled = false;
  // Frames that were never sent: refused by a full queue, or dropped in a stall.
  std::atomic<int> droppedFrames{0};
  // Poll wake-ups of the worker (a busy loop would show here).
  std::atomic<uint64_t> wakeups{0};

  std::vector<std::string> lockDirectories = DefaultLockDirectories();
  UucpLock uucpLock;

  void RequestShutdown() {
    shutdown = true;
    shutdownEvent.Set();
    std::shared_ptr<HandOffCall> call;
    {
      std::lock_guard<std::mutex> guard(callMutex);
      call = currentCall;
    }
    if (call) {
      std::lock_guard<std::mutex> guard(call->mutex);
      call->done_cv.notify_all();
    }
  }

  void CloseFd() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (fd < 0) return;
    if (net) {
      const NetworkLine::Ending ending = net->ending();
      lastEnding = {ending.inUse, ending.text};
      net->Close();  // closes fd too
      net.reset();
      fd = -1;
      return;
    }
    lastEnding = {};
    ::ioctl(fd, TIOCNXCL);  // exclusivity on a pseudo-terminal outlives close()
    ::close(fd);
    fd = -1;
    uucpLock.Release();
  }

  // What has come in and not been read yet is thrown away: a terminal's queue by the
  // driver, a network line's socket by reading what it holds (no more: the line keeps
  // delivering meanwhile).
  void PurgeInput() {
    if (fd < 0) return;
    if (!net) {
      ::tcflush(fd, TCIFLUSH);
      return;
    }
    int queued = 0;
    if (::ioctl(fd, FIONREAD, &queued) != 0) return;
    uint8_t sink[4096];
    while (queued > 0) {
      const ssize_t n =
          ::recv(fd, sink, std::min(sizeof sink, static_cast<size_t>(queued)), MSG_DONTWAIT);
      if (n <= 0) break;
      queued -= static_cast<int>(n);
    }
  }
  void PurgeBoth() {
    if (fd >= 0 && !net) {
      ::tcflush(fd, TCIOFLUSH);
      return;
    }
    PurgeInput();
  }

  // Runs fn on the window thread and waits for it; false when shutdown cut the wait short.
  bool HandOff(std::function<void()> fn) {
    auto call = std::make_shared<HandOffCall>();
    {
      std::lock_guard<std::mutex> guard(callMutex);
      currentCall = call;
    }
    host.Post([call, fn = std::move(fn)] {
      {
        std::lock_guard<std::mutex> guard(call->mutex);
        if (call->abandoned) return;
      }
      fn();
      std::lock_guard<std::mutex> guard(call->mutex);
      call->done = true;
      call->done_cv.notify_all();
    });
    std::unique_lock<std::mutex> wait(call->mutex);
    call->done_cv.wait(wait, [&] { return call->done || shutdown.load(); });
    bool delivered = call->done;
    if (!delivered) call->abandoned = true;
    wait.unlock();
    std::lock_guard<std::mutex> guard(callMutex);
    currentCall.reset();
    return delivered;
  }

  bool Notify(unsigned message, unsigned first) {
    PortOwner* target = owner;
    int number = port;
    if (!target) return !shutdown.load();
    return HandOff(
        [target, message, first, number] { target->OnPortMessage(message, first, number); });
  }

  // Shows a system-call failure; on the worker thread it waits for the window like any
  // notification.
  void Report(const std::string& operation, int error, const std::string& note = "") {
    Show(FormatPortError(operation, error, port) + note);
  }

  void Show(const std::string& text) {
    Host* h = &host;
    if (tlsWorkerOf == this) {
      HandOff([h, text] { h->ShowMessage("Application Error", text); });
    } else {
      host.ShowMessage("Application Error", text);
    }
  }

  enum class Outcome { Continue, Shutdown, Gone };

  // Writes the whole frame, waiting for room within `limitMs`; the port's lock is held
  // only while bytes are written, never while waiting, and shutdown ends the wait at once.
  // 0, ECANCELED on shutdown, ETIMEDOUT when the line took no data in time, or the errno.
  int WriteFrame(const std::vector<uint8_t>& frame, int limitMs) {
    size_t done = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (done < frame.size()) {
      int portFd;
      {
        std::lock_guard<std::recursive_mutex> guard(lock);
        portFd = fd;
        if (portFd < 0) return EBADF;
        const ssize_t n = ::write(portFd, frame.data() + done, frame.size() - done);
        if (n > 0) {
          done += static_cast<size_t>(n);
          continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return errno;
      }
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return ETIMEDOUT;
      pollfd fds[2] = {{shutdownEvent.fd(), POLLIN, 0}, {portFd, POLLOUT, 0}};
      const int r = ::poll(fds, 2, static_cast<int>(left.count()));
      ++wakeups;
      if (r < 0 && errno != EINTR) return errno;
      if (fds[0].revents || shutdown.load()) return ECANCELED;
      if (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) return EIO;
    }
    return 0;
  }

  int DropQueuedFrames() {
    std::lock_guard<std::mutex> guard(queueMutex);
    const int n = static_cast<int>(queue.size());
    queue.clear();
    return n;
  }

  Outcome WriteStep() {
    writeEvent.Reset();
    for (;;) {
      std::vector<uint8_t> frame;
      {
        std::lock_guard<std::mutex> guard(queueMutex);
        if (queue.empty()) return Outcome::Continue;
        frame = std::move(queue.front());
        queue.pop_front();
      }
      {
        std::lock_guard<std::recursive_mutex> guard(lock);
        if (fd < 0) return Outcome::Continue;
        // Input not read yet is discarded before every write. Output is left alone: a
        // frame still on its way out must not be cut short by the next one.
        PurgeInput();
      }
      // Time for the bytes at the line rate, plus a second.
      const int rate = baud > 0 ? baud : 115200;
      const int limit = 1000 + static_cast<int>(frame.size() * 10000 / rate);
      const int error = WriteFrame(frame, limit);
      if (error == ECANCELED) return Outcome::Shutdown;
      if (error && DeviceGone(error)) return Outcome::Gone;
      if (error == ETIMEDOUT) {
        // The far end takes nothing. What waits behind this frame would wait a second
        // each for the same answer: it goes, and the person hears of it once.
        droppedFrames += 1 + DropQueuedFrames();
        if (!stalled) {
          stalled = true;
          Report("WriteFile()", error,
                 "The line takes no data: frames sent until it does are dropped.\n");
        }
      } else if (error) {
        Report("WriteFile()", error);
      } else {
        stalled = false;
        if (const int dropped = droppedFrames.exchange(0)) ReportDropped(dropped);
      }
      if (!Notify(kMsgWriteDone, 0)) return Outcome::Shutdown;
    }
  }

  void ReportDropped(int count) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "WARNING:  %d frame%s dropped: the line did not take %s in time.\nPort: %d\n",
                  count, count == 1 ? " was" : "s were", count == 1 ? "it" : "them", port);
    Show(text);
  }

  // Hands each received byte to the owner, one at a time; the owner drains the rest of
  // the queue while it handles the first.
  Outcome ReceiveStep() {
    for (;;) {
      uint8_t byte = 0;
      ssize_t n;
      int error = 0;
      {
        std::lock_guard<std::recursive_mutex> guard(lock);
        if (fd < 0) return Outcome::Continue;
        n = ::read(fd, &byte, 1);
        if (n < 0) error = errno;
      }
      if (n == 1) {
        if (!Notify(kMsgByte, byte)) return Outcome::Shutdown;
        continue;
      }
      if (n == 0 || DeviceGone(error)) return Outcome::Gone;  // hang-up
      if (error == EINTR) continue;
      // EAGAIN: the queue is empty. Any other failure has nothing to pass on.
      return Outcome::Continue;
    }
  }

  void Run(std::atomic<bool>& running) {
    tlsWorkerOf = this;
    bool gone = false;
    while (!shutdown.load()) {
      int portFd;
      {
        std::lock_guard<std::recursive_mutex> guard(lock);
        portFd = fd;
      }
      // Without the received-character event nothing reads the port, so it is not watched.
      if (!(eventMask & kEvRxChar)) portFd = -1;
      pollfd fds[3] = {
          {shutdownEvent.fd(), POLLIN, 0}, {writeEvent.fd(), POLLIN, 0}, {portFd, POLLIN, 0}};
      int r = ::poll(fds, portFd >= 0 ? 3 : 2, -1);
      ++wakeups;
      if (r < 0) {
        if (errno == EINTR) continue;
        Report("WaitCommEvent()", errno);
        break;
      }
      // Served in priority order: shutdown, write, line event.
      if (fds[0].revents) break;
      Outcome outcome = Outcome::Continue;
      if (fds[1].revents) {
        outcome = WriteStep();
      } else if (portFd >= 0 && fds[2].revents) {
        outcome = ReceiveStep();
        if (outcome == Outcome::Continue && (fds[2].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
          outcome = Outcome::Gone;
        if (outcome == Outcome::Continue) outcome = NotifyLineEvents();
      }
      if (outcome == Outcome::Shutdown) break;
      if (outcome == Outcome::Gone) {
        gone = true;
        break;
      }
    }
    CloseFd();
    // Told once, after the port is closed; the owner decides what the link does now.
    if (gone && !shutdown.load()) Notify(kMsgPortGone, 0);
    running = false;
  }

  Outcome NotifyLineEvents() {
    struct Entry {
      unsigned event;
      unsigned message;
    };
    static constexpr Entry kOrder[] = {{kEvCts, kMsgCts},
                                       {kEvBreak, kMsgBreak},
                                       {kEvErr, kMsgErr},
                                       {kEvRing, kMsgRing},
                                       {kEvRxFlag, kMsgRxFlag}};
    for (const auto& e : kOrder) {
      if ((eventMask & e.event) && !Notify(e.message, 0)) return Outcome::Shutdown;
    }
    return Outcome::Continue;
  }

  void JoinWorker() {
    if (worker.joinable() && std::this_thread::get_id() != worker.get_id()) worker.join();
  }
};

SerialPort::SerialPort(Host& host, const PortDirectory& directory)
    : impl_(std::make_unique<Impl>(host, directory)) {}

SerialPort::~SerialPort() {
  CancelOpen();
  impl_->RequestShutdown();
  impl_->JoinWorker();
  impl_->CloseFd();
}

void SerialPort::PrepareOpen(PortOwner* owner, int port, unsigned eventMask, int writeBufferSize) {
  Impl& p = *impl_;
  CancelOpen();
  // End any running worker first; it closes its port on the way out.
  p.RequestShutdown();
  p.JoinWorker();
  p.shutdown = false;
  p.shutdownEvent.Reset();
  p.writeEvent.Reset();
  {
    std::lock_guard<std::mutex> guard(p.queueMutex);
    p.queue.clear();
  }
  p.owner = owner;
  p.port = port;
  p.stalled = false;
  p.eventMask = eventMask;
  p.writeBufferSize = writeBufferSize > 0 ? static_cast<size_t>(writeBufferSize) : 0;
  port_ = port;
  std::lock_guard<std::recursive_mutex> guard(p.lock);
  p.CloseFd();
  lastHolder_.reset();
  lastOpenProblem_.clear();
  lastOpenInUse_ = false;
  lastOpenDevice_ = p.directory.PathFor(port);
}

void SerialPort::NoteNetworkFailure(const NetworkAddress& address,
                                    const NetworkOpenResult& result) {
  using Failure = NetworkOpenResult::Failure;
  switch (result.failure) {
    case Failure::NameNotFound:
      lastOpenError_ = ENOENT;
      break;
    case Failure::Refused:
      lastOpenError_ = ECONNREFUSED;
      break;
    case Failure::Unreachable:
      lastOpenError_ = EHOSTUNREACH;
      break;
    case Failure::NoAnswer:
    case Failure::NotNegotiated:
      lastOpenError_ = ETIMEDOUT;
      break;
    case Failure::InUse:
      lastOpenError_ = EBUSY;
      break;
    case Failure::Closed:
      lastOpenError_ = ECONNRESET;
      break;
    case Failure::Settings:
      lastOpenError_ = EINVAL;
      break;
    case Failure::Cancelled:
      lastOpenError_ = ECANCELED;
      break;
    default:
      lastOpenError_ = EIO;
      break;
  }
  lastOpenProblem_ = DescribeOpenFailure(address, result);
  lastOpenInUse_ = result.failure == Failure::InUse;
}

void SerialPort::AdoptNetworkLine(std::shared_ptr<NetworkLine> line, int baud) {
  Impl& p = *impl_;
  std::lock_guard<std::recursive_mutex> guard(p.lock);
  p.fd = line->fd();
  p.net = std::move(line);
  p.baud = baud;
  p.lastEnding = {};
  lastOpenError_ = 0;
  p.PurgeBoth();
}

int SerialPort::OpenPort(PortOwner* owner, int port, int baud, char parity, int dataBits,
                         int stopBits, unsigned eventMask, int writeBufferSize) {
  Impl& p = *impl_;
  PrepareOpen(owner, port, eventMask, writeBufferSize);
  p.format = {baud, parity, dataBits, stopBits};
  const std::string path = lastOpenDevice_;
  if (path.empty()) {
    lastOpenError_ = ENOENT;
    return 0;
  }
  if (IsNetworkPortName(path)) {
    std::string problem;
    const auto address = ParseNetworkAddress(path, &problem);
    if (!address) {
      lastOpenError_ = EINVAL;
      lastOpenProblem_ = path + ": " + problem;
      return 0;
    }
    NetworkOpenResult result;
    auto line = NetworkLine::ConnectAndWait(*address, p.format, p.connectTimeout, result);
    if (!result.ok()) {
      NoteNetworkFailure(*address, result);
      return 0;
    }
    AdoptNetworkLine(std::move(line), baud);
    return 1;
  }

  std::lock_guard<std::recursive_mutex> guard(p.lock);
  // Exclusive open keeps out only those who come later: a program that has the device
  // already (a terminal program, another console) is looked for first, by its lock file
  // and among the open files of every process.
  if (auto holder = FindLockHolder(path, p.lockDirectories)) {
    lastHolder_ = holder;
  } else if (auto opener = FindOtherOpener(path)) {
    lastHolder_ = opener;
  }
  if (lastHolder_) {
    lastOpenError_ = EBUSY;
    return 0;
  }
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    lastOpenError_ = errno;
    return 0;
  }
  // Not shared: TIOCEXCL keeps other users off (root ignores it), the lock keeps a second
  // console off even when it runs as root.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    lastOpenError_ = errno == EWOULDBLOCK ? EBUSY : errno;
    ::close(fd);
    return 0;
  }
  // And the lock file announces us to the programs that come later.
  if (auto holder = p.uucpLock.Take(path, p.lockDirectories)) {
    lastHolder_ = holder;
    lastOpenError_ = EBUSY;
    ::close(fd);
    return 0;
  }
  ::ioctl(fd, TIOCEXCL);
  lastOpenError_ = 0;
  p.fd = fd;
  p.baud = baud;

  // Time-outs and the event mask are kept by this driver; nothing can fail there.
  char config[96];
  std::snprintf(config, sizeof config, "baud=%d parity=%c data=%d stop=%d", baud, parity, dataBits,
                stopBits);
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) {
    p.Report("GetCommState()", errno);
  } else {
    // RTS held on while the port is open; pseudo-terminals have no modem lines.
    int rts = TIOCM_RTS;
    ::ioctl(fd, TIOCMBIS, &rts);
    LineSettings settings;
    if (!ParseConfiguration(config, settings)) {
      p.Report("BuildCommDCB()", EINVAL);
    } else {
      ApplyLineSettings(tio, settings);
      int error = 0;
      if (::tcsetattr(fd, TCSANOW, &tio) != 0) error = errno;
      if (!error) error = SetLineRate(fd, settings.baud);
      if (error) p.Report("SetCommState()", error);
    }
  }
  p.PurgeBoth();
  return 1;
}

int SerialPort::StartWorker() {
  Impl& p = *impl_;
  if (workerRunning_.load()) return 0;
  p.JoinWorker();  // a worker that ended on its own (hang-up)
  {
    // A new worker starts with both queues empty; done here rather than on the new
    // thread, so that nothing that arrives after StartWorker returns can be thrown away.
    std::lock_guard<std::recursive_mutex> guard(p.lock);
    if (p.fd < 0) return 0;
    p.PurgeBoth();
  }
  p.shutdown = false;
  p.shutdownEvent.Reset();
  workerRunning_ = true;
  try {
    p.worker = std::thread([this] { impl_->Run(workerRunning_); });
  } catch (const std::system_error&) {
    workerRunning_ = false;
    return 0;
  }
  // Frames queued before the worker existed go out now.
  p.writeEvent.Set();
  return 1;
}

void SerialPort::StopWorker() {
  CancelOpen();
  impl_->RequestShutdown();
}

SerialPort::OpenStart SerialPort::BeginOpen(PortOwner* owner, int port, int baud, char parity,
                                            int dataBits, int stopBits, unsigned eventMask,
                                            int writeBufferSize,
                                            std::function<void(bool opened)> done) {
  Impl& p = *impl_;
  const std::string path = p.directory.PathFor(port);
  if (!IsNetworkPortName(path)) {
    return OpenPort(owner, port, baud, parity, dataBits, stopBits, eventMask, writeBufferSize)
               ? OpenStart::Opened
               : OpenStart::Failed;
  }
  PrepareOpen(owner, port, eventMask, writeBufferSize);
  p.format = {baud, parity, dataBits, stopBits};
  lastOpenError_ = 0;
  std::string problem;
  const auto address = ParseNetworkAddress(path, &problem);
  if (!address) {
    lastOpenError_ = EINVAL;
    lastOpenProblem_ = path + ": " + problem;
    return OpenStart::Failed;
  }
  auto attempt = std::make_shared<Impl::OpenAttempt>();
  p.attempt = attempt;
  Host* host = &p.host;
  attempt->line = NetworkLine::Connect(*address, p.format, p.connectTimeout,
                                       [this, host, attempt, address = *address, baud,
                                        done = std::move(done)](const NetworkOpenResult& result) {
                                         // On the line's thread: the outcome goes to the window
                                         // thread. A cancelled attempt (the SerialPort may be gone
                                         // by then) is dropped there.
                                         host->Post([this, attempt, address, baud, done, result] {
                                           if (attempt->cancelled) return;
                                           impl_->attempt.reset();
                                           std::shared_ptr<NetworkLine> line =
                                               std::move(attempt->line);
                                           if (result.ok()) {
                                             AdoptNetworkLine(std::move(line), baud);
                                           } else {
                                             NoteNetworkFailure(address, result);
                                             if (line) line->Close();
                                           }
                                           if (done) done(result.ok());
                                         });
                                       });
  return OpenStart::Pending;
}

void SerialPort::CancelOpen() {
  Impl& p = *impl_;
  if (!p.attempt) return;
  p.attempt->cancelled = true;
  std::shared_ptr<NetworkLine> line = std::move(p.attempt->line);
  p.attempt.reset();
  if (line) line->Close();
}

bool SerialPort::OpenPending() const {
  return impl_->attempt != nullptr;
}

void SerialPort::SetConnectTimeout(std::chrono::milliseconds timeout) {
  impl_->connectTimeout = timeout;
}

std::chrono::milliseconds SerialPort::ConnectTimeout() const {
  return impl_->connectTimeout;
}

int SerialPort::ReopenAtRate(int rate, int writeBufferSize) {
  Impl& p = *impl_;
  {
    std::lock_guard<std::recursive_mutex> guard(p.lock);
    if (p.net) {
      // The connection stays; the device server is asked for the rate.
      p.writeBufferSize = std::max(p.writeBufferSize, static_cast<size_t>(writeBufferSize));
      p.baud = rate;
      p.format.baud = rate;
      p.net->RequestRate(rate);
      return 1;
    }
  }
  // A network port whose line has gone is not connected to again here: that would hold
  // the window thread. The re-open fails, silently, as any failed re-open does.
  if (IsNetworkPortName(p.directory.PathFor(port_))) return 0;
  const SerialFormat f = p.format;
  if (!OpenPort(p.owner, port_, rate, f.parity, f.dataBits, f.stopBits, p.eventMask,
                writeBufferSize))
    return 0;
  StartWorker();
  return 1;
}

bool SerialPort::CanChangeRate(std::string* why) const {
  std::lock_guard<std::recursive_mutex> guard(impl_->lock);
  if (!impl_->net || impl_->net->CanChangeRate()) return true;
  if (why)
    *why = FormatNetworkAddress(impl_->net->address()) +
           " passes raw bytes, so the device server's line rate cannot be changed from here "
           "(an rfc2217:// port's can)";
  return false;
}

LineRateAnswer SerialPort::RateAnswer() const {
  std::lock_guard<std::recursive_mutex> guard(impl_->lock);
  if (impl_->net) {
    LineRateAnswer answer = impl_->net->RateAnswer();
    if (!answer.problem.empty())
      answer.problem = FormatNetworkAddress(impl_->net->address()) + ": " + answer.problem;
    return answer;
  }
  LineRateAnswer answer;
  answer.asked = answer.answered = impl_->baud;
  return answer;
}

bool SerialPort::IsNetworkLine() const {
  std::lock_guard<std::recursive_mutex> guard(impl_->lock);
  return impl_->net != nullptr;
}

LineEnding SerialPort::LastLineEnding() const {
  std::lock_guard<std::recursive_mutex> guard(impl_->lock);
  return impl_->lastEnding;
}

void SerialPort::SendBytes(const uint8_t* bytes, int count) {
  Impl& p = *impl_;
  if (count <= 0 || static_cast<size_t>(count) > p.writeBufferSize) return;
  {
    std::lock_guard<std::mutex> guard(p.queueMutex);
    if (p.queue.size() >= Impl::kMaxQueuedFrames) {
      ++p.droppedFrames;  // told by the worker, once the line takes data again
      return;
    }
    p.queue.emplace_back(bytes, bytes + count);
  }
  p.writeEvent.Set();
}

int SerialPort::DrainInput(uint8_t* buffer) {
  Impl& p = *impl_;
  std::lock_guard<std::recursive_mutex> guard(p.lock);
  if (p.fd < 0) return 0;
  int total = 0;
  while (total < kDrainBufferSize) {
    ssize_t n = ::read(p.fd, buffer + total, static_cast<size_t>(kDrainBufferSize - total));
    if (n > 0) {
      total += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    break;  // empty (EAGAIN), or the device went away: the worker sees that next
  }
  return total;
}

void SerialPort::SetLockDirectories(std::vector<std::string> directories) {
  impl_->lockDirectories = std::move(directories);
}

int SerialPort::DroppedFrames() const {
  return impl_->droppedFrames.load();
}

uint64_t SerialPort::WorkerWakeups() const {
  return impl_->wakeups.load();
}

int SerialPort::InputQueued() const {
  std::lock_guard<std::recursive_mutex> guard(impl_->lock);
  int queued = 0;
  if (impl_->fd < 0 || ::ioctl(impl_->fd, FIONREAD, &queued) != 0) return 0;
  return queued;
}

bool SerialPort::IsOpen() const {
  std::lock_guard<std::recursive_mutex> guard(impl_->lock);
  return impl_->fd >= 0;
}

std::pair<int, int> SerialPort::CurrentRates() const {
  std::lock_guard<std::recursive_mutex> guard(impl_->lock);
  if (impl_->fd < 0) return {0, 0};
  if (impl_->net) return {impl_->net->rate(), impl_->net->rate()};
  return GetLineRates(impl_->fd);
}

}  // namespace sc
