#pragma once
// Any line rate, 512000 included, through the kernel's termios2 interface. Kept apart
// from <termios.h>, whose struct termios clashes with the kernel's.

#include <utility>

namespace sc {

// Sets input and output rate of the open terminal fd to `rate` bits per second.
// Returns 0, or the errno of the failing call.
int SetLineRate(int fd, int rate);
// Input and output rate the terminal reports, or 0 and 0 when they cannot be read.
std::pair<int, int> GetLineRates(int fd);

}  // namespace sc
