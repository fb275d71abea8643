#pragma once
// Helpers of the simulator's tests: reply frames split out of a byte stream, and the
// console's end of a pseudo-terminal driven with plain open/read/write.

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "link/frame.h"

namespace sc::test {

using Bytes = std::vector<uint8_t>;

inline constexpr std::chrono::milliseconds kPatience{5000};

struct Reply {
  DeviceAddress address;
  uint16_t code = 0;
  Bytes payload;
  bool sumOk = false;
};

// Every complete reply frame in the bytes, in order (bad checksums included, marked).
inline std::vector<Reply> SplitReplies(const Bytes& bytes) {
  std::vector<Reply> replies;
  FrameAssembler a(kReplyLead);
  for (uint8_t b : bytes) {
    if (a.Push(b) != FrameAssembler::Step::Complete) continue;
    replies.push_back({a.Address(), a.Code(), Bytes(a.Payload(), a.Payload() + a.PayloadSize()),
                       FrameSumIsZero(a.frame.data(), a.FrameSize())});
  }
  return replies;
}

inline Bytes Command(DeviceAddress to, uint16_t code, Bytes payload = {}) {
  return BuildFrame(kCommandLead, to, code, payload);
}

// The console's side of a pseudo-terminal.
class SlavePort {
 public:
  explicit SlavePort(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
  ~SlavePort() { Close(); }
  SlavePort(const SlavePort&) = delete;
  SlavePort& operator=(const SlavePort&) = delete;

  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  bool Write(const Bytes& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
      } else if (n < 0 && errno == EAGAIN) {
        pollfd p{fd_, POLLOUT, 0};
        if (::poll(&p, 1, static_cast<int>(kPatience.count())) <= 0) return false;
      } else if (!(n < 0 && errno == EINTR)) {
        return false;
      }
    }
    return true;
  }

  // Reads until `want` bytes are in, the wait is over, or the line hangs up.
  Bytes Read(size_t want, std::chrono::milliseconds wait = kPatience) {
    Bytes out;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (out.size() < want) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      uint8_t buffer[1024];
      ssize_t n = ::read(fd_, buffer,
                         sizeof buffer < want - out.size() ? sizeof buffer : want - out.size());
      if (n > 0)
        out.insert(out.end(), buffer, buffer + n);
      else if (!(n < 0 && (errno == EAGAIN || errno == EINTR)))
        break;  // hung up
    }
    return out;
  }

  // Sends one command and reads the reply frame of `payloadSize` bytes.
  std::vector<Reply> Ask(const Bytes& command, size_t payloadSize) {
    if (!Write(command)) return {};
    return SplitReplies(Read(payloadSize + kFrameOverhead));
  }

 private:
  int fd_;
};

}  // namespace sc::test
