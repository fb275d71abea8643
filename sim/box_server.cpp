#include "sim/box_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <utility>

#include "link/line_rate.h"

namespace sc {

namespace {

using Clock = std::chrono::steady_clock;

// While the line reports a hang-up we cannot clear, look again this often.
constexpr std::chrono::milliseconds kBackOff{50};
// Output nobody reads is dropped beyond this, oldest first.
constexpr size_t kMaxPendingBytes = 1 << 20;
// A frame transfer is topped up below this much pending output, by about the second figure.
constexpr size_t kStreamLowWater = 4096;
constexpr size_t kStreamBatch = 8192;
// Paced, a line with bytes waiting that was held up (the server thread or the reader kept
// waiting by the machine) may catch up on at most this much time at once, so that the
// host's scheduling does not slow the line down; a wait for the line lasts until this many
// bytes may go.
constexpr std::chrono::milliseconds kPaceSlack{250};
constexpr size_t kPaceBatch = 256;

// How long the line takes for one byte: a start bit, eight data bits and a stop bit.
Clock::duration ByteTime(int rate) {
  using namespace std::chrono;
  return duration_cast<Clock::duration>(nanoseconds(10'000'000'000LL / std::max(rate, 50)));
}

void SetError(std::string* error, const std::string& text) {
  if (error) *error = text;
}

void Signal(int eventFd) {
  uint64_t one = 1;
  ssize_t n = ::write(eventFd, &one, sizeof one);
  (void)n;  // a full counter is still readable
}

void Drain(int eventFd) {
  uint64_t count;
  ssize_t n = ::read(eventFd, &count, sizeof count);
  (void)n;
}

int OpenSerialDevice(const std::string& path, int baud, std::string* error) {
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    SetError(error, path + ": " + std::strerror(errno));
    return -1;
  }
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) {
    SetError(error, path + ": not a serial device (" + std::strerror(errno) + ")");
    ::close(fd);
    return -1;
  }
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  int err = tcsetattr(fd, TCSANOW, &tio) == 0 ? SetLineRate(fd, baud) : errno;
  if (err != 0) {
    SetError(error,
             path + ": cannot set " + std::to_string(baud) + " baud (" + std::strerror(err) + ")");
    ::close(fd);
    return -1;
  }
  tcflush(fd, TCIOFLUSH);
  return fd;
}

}  // namespace

struct BoxServer::Pending {
  Clock::time_point due;
  std::vector<uint8_t> bytes;
  size_t written = 0;
  int rate = kBoxLinkRate;
};

BoxServer::BoxServer(const std::vector<DeviceAddress>& addresses) : line_(addresses) {
  wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  stateFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

BoxServer::~BoxServer() {
  Stop();
  if (wakeFd_ >= 0) ::close(wakeFd_);
  if (stateFd_ >= 0) ::close(stateFd_);
}

bool BoxServer::StartOnPty(std::string* error) {
  if (thread_.joinable()) {
    SetError(error, "already serving");
    return false;
  }
  auto pty = std::make_unique<PtyMaster>();
  if (!pty->ok()) {
    SetError(error, std::string("cannot create a pseudo-terminal: ") + std::strerror(pty->error()));
    return false;
  }
  // Our own slave stays open for as long as we serve: when the console closes the port,
  // the master then keeps waiting quietly instead of reporting a hang-up on every poll.
  int slave = ::open(pty->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (slave < 0) {
    SetError(error, pty->SlavePath() + ": " + std::strerror(errno));
    return false;
  }
  heldSlaveFd_ = slave;
  path_ = pty->SlavePath();
  const int fd = pty->fd();
  pty_ = std::move(pty);
  return Launch(fd, true, error);
}

bool BoxServer::StartOnDevice(const std::string& path, int baud, std::string* error) {
  if (thread_.joinable()) {
    SetError(error, "already serving");
    return false;
  }
  if (baud <= 0) {
    SetError(error, "bad baud rate " + std::to_string(baud));
    return false;
  }
  int fd = OpenSerialDevice(path, baud, error);
  if (fd < 0) return false;
  path_ = path;
  deviceRate_ = baud;
  return Launch(fd, false, error);
}

bool BoxServer::Launch(int lineFd, bool isPty, std::string* error) {
  if (wakeFd_ < 0 || stateFd_ < 0) {
    SetError(error, "cannot create an eventfd");
    lineFd_ = lineFd;
    CloseLine();
    return false;
  }
  lineFd_ = lineFd;
  isPty_ = isPty;
  {
    std::lock_guard lock(mutex_);
    stopRequested_ = false;
    hangUpRequested_ = false;
  }
  SetState(State::Serving);
  thread_ = std::thread([this] { Run(); });
  return true;
}

void BoxServer::CloseLine() {
  if (pty_) {
    pty_->Close();
    pty_.reset();
  } else if (lineFd_ >= 0) {
    ::close(lineFd_);
  }
  lineFd_ = -1;
  if (heldSlaveFd_ >= 0) ::close(heldSlaveFd_);
  heldSlaveFd_ = -1;
}

void BoxServer::Wake() {
  if (wakeFd_ >= 0) Signal(wakeFd_);
  changed_.notify_all();
}

void BoxServer::SetState(State s) {
  {
    std::lock_guard lock(mutex_);
    if (state_ == s) return;
    state_ = s;
  }
  changed_.notify_all();
  if (stateFd_ >= 0) Signal(stateFd_);
}

BoxServer::State BoxServer::state() const {
  std::lock_guard lock(mutex_);
  return state_;
}

uint64_t BoxServer::wakeups() const {
  std::lock_guard lock(mutex_);
  return wakeups_;
}

bool BoxServer::WaitUntil(const std::function<bool(BoxLine&)>& done,
                          std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return done(line_); });
}

void BoxServer::SetDeaf(bool deaf) {
  {
    std::lock_guard lock(mutex_);
    deaf_ = deaf;
  }
  Wake();
}

void BoxServer::HangUp() {
  std::unique_lock lock(mutex_);
  if (!thread_.joinable() || state_ != State::Serving) return;
  hangUpRequested_ = true;
  lock.unlock();
  Wake();
  lock.lock();
  changed_.wait(lock, [&] { return state_ != State::Serving; });
}

void BoxServer::Stop() {
  if (thread_.joinable()) {
    {
      std::lock_guard lock(mutex_);
      stopRequested_ = true;
    }
    Wake();
    thread_.join();
  }
  CloseLine();
  std::lock_guard lock(mutex_);
  if (state_ != State::NotStarted && state_ != State::Stopped) {
    state_ = State::Stopped;
    changed_.notify_all();
    if (stateFd_ >= 0) Signal(stateFd_);
  }
}

void BoxServer::Run() {
  std::deque<Pending> out;
  size_t outBytes = 0;
  Clock::time_point lastDue{};
  bool backOff = false;  // the line reports a hang-up: look again only after kBackOff
  bool writeBlocked = false;
  Clock::time_point lineFreeAt{};  // paced: when the line has carried what was written
  Clock::time_point paceUntil{};   // paced: no write before then
  int lineRate = kBoxLinkRate;
  // A serial device follows the boxes' rate once what was sent at the old one has gone.
  auto followRate = [&](int rate) {
    if (isPty_ || lineFd_ < 0 || rate == deviceRate_) return;
    tcdrain(lineFd_);
    if (SetLineRate(lineFd_, rate) == 0) deviceRate_ = rate;
  };

  // Called without the lock held, except where noted.
  auto enqueue = [&](std::vector<LineOutput> outputs) {
    for (LineOutput& o : outputs) {
      // Frames keep their order even when a later one has a shorter delay.
      lastDue = std::max(Clock::now() + o.delay, lastDue);
      // A line that had nothing to send starts sending when the bytes are due: idle time
      // is no credit.
      if (out.empty()) lineFreeAt = std::max(lineFreeAt, lastDue);
      outBytes += o.bytes.size();
      out.push_back({lastDue, std::move(o.bytes), 0, o.rate});
    }
    while (outBytes > kMaxPendingBytes && out.size() > 1) {
      outBytes -= out.front().bytes.size() - out.front().written;
      out.pop_front();
    }
  };
  auto lose = [&](State why) {
    CloseLine();
    out.clear();
    outBytes = 0;
    writeBlocked = false;
    backOff = false;
    SetState(why);
  };

  for (;;) {
    bool hangUp = false;
    bool deaf = false;
    std::vector<LineOutput> notices;
    std::optional<std::chrono::milliseconds> boxEvent;
    {
      std::lock_guard lock(mutex_);
      if (stopRequested_) return;
      deaf = deaf_;
      hangUp = std::exchange(hangUpRequested_, false);
      // Notices of boxes whose line is closed go nowhere.
      notices = line_.TakeUnsolicited();
      // A frame under way goes out a little at a time, as the line takes it.
      if (lineFd_ >= 0 && outBytes < kStreamLowWater) {
        std::vector<LineOutput> streamed = line_.TakeStreamed(kStreamBatch);
        notices.insert(notices.end(), std::make_move_iterator(streamed.begin()),
                       std::make_move_iterator(streamed.end()));
      }
      lineRate = line_.LineRate();
      boxEvent = line_.TimeToNextEvent();
    }
    if (hangUp && lineFd_ >= 0) lose(State::HungUp);
    if (lineFd_ >= 0) enqueue(std::move(notices));
    if (out.empty()) followRate(lineRate);

    int timeout = -1;
    if (lineFd_ >= 0 && !out.empty() && !writeBlocked) {
      const Clock::time_point next = std::max(out.front().due, paceUntil);
      auto left = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now());
      timeout = static_cast<int>(std::max<int64_t>(0, left.count()));
    }
    if (boxEvent) {
      // A box's own event (a lost signal coming back) wakes the line when it falls due.
      const int wait = static_cast<int>(std::max<int64_t>(1, boxEvent->count()));
      timeout = timeout < 0 ? wait : std::min(timeout, wait);
    }
    if (backOff) {
      const int wait = static_cast<int>(kBackOff.count());
      timeout = timeout < 0 ? wait : std::min(timeout, wait);
    }
    pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {lineFd_, 0, 0}};
    nfds_t count = 1;
    if (lineFd_ >= 0 && !backOff) {
      fds[1].events = static_cast<short>((deaf ? 0 : POLLIN) | (writeBlocked ? POLLOUT : 0));
      count = 2;
    }
    const int ready = ::poll(fds, count, timeout);
    {
      std::lock_guard lock(mutex_);
      ++wakeups_;
    }
    backOff = false;
    if (ready < 0) {
      if (errno != EINTR) backOff = true;
      continue;
    }
    if (fds[0].revents & POLLIN) Drain(wakeFd_);

    if (count == 2 && fds[1].revents != 0) {
      const short events = fds[1].revents;
      if (events & POLLOUT) writeBlocked = false;
      size_t got = 0;
      bool failed = false;
      if (events & POLLIN) {
        uint8_t buffer[4096];
        for (;;) {
          ssize_t n = ::read(lineFd_, buffer, sizeof buffer);
          if (n > 0) {
            got += static_cast<size_t>(n);
            if (pacing_ && halfDuplex_)
              lineFreeAt = std::max(lineFreeAt, Clock::now()) + ByteTime(lineRate) * n;
            std::vector<LineOutput> replies;
            {
              std::lock_guard lock(mutex_);
              replies = line_.Receive(buffer, static_cast<size_t>(n));
            }
            changed_.notify_all();
            enqueue(std::move(replies));
            continue;
          }
          if (n < 0 && errno == EINTR) continue;
          // A terminal without VMIN reads 0 when it is empty, like EAGAIN.
          if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK) break;
          failed = true;  // EIO: nobody at the other end
          break;
        }
      }
      const bool hungUp = events & (POLLHUP | POLLERR | POLLNVAL);
      if (failed || (got == 0 && hungUp)) {
        if (isPty_)
          backOff = true;  // wait for the console to open the port again
        else
          lose(State::LineLost);
      } else if (got == 0 && (events & POLLIN)) {
        backOff = true;  // readable with nothing to read: do not spin on it
      }
    }

    while (lineFd_ >= 0 && !writeBlocked && !out.empty() && out.front().due <= Clock::now()) {
      Pending& p = out.front();
      size_t count = p.bytes.size() - p.written;
      followRate(p.rate);
      const bool paced = pacing_;
      const Clock::duration byteTime = ByteTime(p.rate);
      if (paced) {
        // What the line can have carried since it was last busy, never more.
        const Clock::time_point now = Clock::now();
        lineFreeAt = std::max(lineFreeAt, now - kPaceSlack);
        const auto carried =
            static_cast<size_t>(std::max<int64_t>(0, (now - lineFreeAt) / byteTime));
        if (carried == 0) {
          paceUntil = lineFreeAt + byteTime * static_cast<int64_t>(std::min(count, kPaceBatch));
          break;
        }
        count = std::min(count, carried);
      }
      ssize_t n = ::write(lineFd_, p.bytes.data() + p.written, count);
      if (n > 0) {
        if (paced) lineFreeAt += byteTime * n;
        p.written += static_cast<size_t>(n);
        outBytes -= static_cast<size_t>(n);
        if (p.written == p.bytes.size()) out.pop_front();
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        writeBlocked = true;
        break;
      }
      if (isPty_) {
        // Nobody to hear it: what was to be said is lost, as on an unplugged cable.
        out.clear();
        outBytes = 0;
        backOff = true;
      } else {
        lose(State::LineLost);
      }
      break;
    }
  }
}

}  // namespace sc
