#include "console/port_failure.h"

#include <cerrno>
#include <cstring>

namespace sc {

std::string PortFailureReason(int error, const std::string& device,
                              const std::optional<PortHolder>& holder) {
  if (holder) {
    const std::string who =
        (holder->program.empty() ? std::string("another program") : holder->program) +
        (holder->pid > 0 ? " (process " + std::to_string(holder->pid) + ")" : std::string());
    return holder->lockFile.empty() ? "held by " + who
                                    : "locked by " + who + ": " + holder->lockFile;
  }
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return device.empty() ? "no device for this COM number" : "no such device";
    case EACCES:
    case EPERM:
      return std::string("permission denied; ") + kDialoutHint;
    case EBUSY:
      return "in use by another program";
    case 0:
      return "it could not be opened";
    default:
      return std::strerror(error);
  }
}

}  // namespace sc
