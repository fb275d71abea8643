#pragma once
// Why a port could not be opened, in a few words for a one-line message: signal-cli says
// "cannot open /dev/ttyUSB0: permission denied (...)" with it.

#include <optional>
#include <string>

#include "link/port_lock.h"

namespace sc {

// What the user can do about a device the group dialout may open.
inline constexpr const char* kDialoutHint =
    "add your user to the dialout group (sudo usermod -aG dialout $USER), then log in again";

// "no such device", "no device for this COM number", "permission denied; add your user
// to ...", "held by minicom (process 1234)", "locked by minicom (process 1234):
// /run/lock/LCK..ttyUSB0", "in use by another program", or the system's text for the error.
std::string PortFailureReason(int error, const std::string& device,
                              const std::optional<PortHolder>& holder);

}  // namespace sc
