#include "link/line_rate.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace sc {

int SetLineRate(int fd, int rate) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return errno;
  t.c_cflag &= ~CBAUD;
  t.c_cflag |= BOTHER;
  // Input-speed bits left at 0 mean "same as output"; a leftover BOTHER there would keep
  // the input at the old rate after a later switch.
  t.c_cflag &= ~(CBAUD << IBSHIFT);
  t.c_ospeed = static_cast<speed_t>(rate);
  t.c_ispeed = static_cast<speed_t>(rate);
  if (ioctl(fd, TCSETS2, &t) != 0) return errno;
  return 0;
}

std::pair<int, int> GetLineRates(int fd) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return {0, 0};
  return {static_cast<int>(t.c_ispeed), static_cast<int>(t.c_ospeed)};
}

}  // namespace sc
