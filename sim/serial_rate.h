#pragma once
// Sets a serial device's line rate to any value (512000 included). Kept apart from the
// rest because the kernel's termios2 header clashes with <termios.h>.

namespace sc {

// Returns 0, or the errno of the failed call.
int SetSerialRate(int fd, int baud);

}  // namespace sc
