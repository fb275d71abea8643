#include "sim/serial_rate.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>

#include <cerrno>

// <sys/ioctl.h> would pull in <termios.h>'s structures; the prototype is all we need.
extern "C" int ioctl(int fd, unsigned long request, ...);

namespace sc {

int SetSerialRate(int fd, int baud) {
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return errno;
  tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD);
  // Input speed bits left at 0: the input follows the output rate.
  tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD << IBSHIFT);
  tio.c_cflag |= BOTHER;
  tio.c_ispeed = static_cast<speed_t>(baud);
  tio.c_ospeed = static_cast<speed_t>(baud);
  if (ioctl(fd, TCSETS2, &tio) != 0) return errno;
  return 0;
}

}  // namespace sc
