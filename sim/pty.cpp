#include "sim/pty.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace sc {

PtyMaster::PtyMaster() {
  int fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0 || grantpt(fd) != 0 || unlockpt(fd) != 0) {
    error_ = errno;
    if (fd >= 0) ::close(fd);
    return;
  }
  char name[128];
  if (ptsname_r(fd, name, sizeof name) != 0) {
    error_ = errno;
    ::close(fd);
    return;
  }
  // Raw from the start: before this, bytes are translated (CR to LF) and echoed.
  termios tio{};
  if (tcgetattr(fd, &tio) == 0) {
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &tio);
  }
  fd_ = fd;
  slavePath_ = name;
}

PtyMaster::~PtyMaster() {
  Close();
}

void PtyMaster::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool PtyMaster::Write(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    if (fd_ < 0) return false;
    ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      pollfd p{fd_, POLLOUT, 0};
      if (::poll(&p, 1, 1000) <= 0) return false;
      continue;
    }
    return false;
  }
  return true;
}

std::vector<uint8_t> PtyMaster::Read(size_t want, std::chrono::milliseconds wait) {
  std::vector<uint8_t> out;
  const auto deadline = std::chrono::steady_clock::now() + wait;
  uint8_t buffer[4096];
  while (fd_ >= 0 && out.size() < want) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd_, POLLIN, 0};
    int r = ::poll(&p, 1, static_cast<int>(left.count()));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    if (!(p.revents & POLLIN)) {
      // Slave closed (POLLHUP): nothing to read until it is opened again.
      ::usleep(2000);
      continue;
    }
    ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, want - out.size()));
    if (n > 0)
      out.insert(out.end(), buffer, buffer + n);
    else if (n < 0 && errno != EAGAIN && errno != EINTR)
      ::usleep(2000);
  }
  return out;
}

}  // namespace sc
