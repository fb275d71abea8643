#pragma once
// Who else holds a serial device. Serial programs on Linux announce the device they use
// with a UUCP lock file, "LCK..ttyUSB0" in /run/lock (or /var/lock), holding the owner's
// process id as ten ASCII characters and a newline; a lock whose process has ended is
// stale. Programs that take no lock are found among the open files of /proc, as fuser
// finds them. The far end of a pseudo-terminal is no other user: the process that holds
// a terminal's master (the simulated box keeps its own end of the terminal open too)
// shows in /proc/PID/fdinfo of its /dev/ptmx descriptor as "tty-index: N" for /dev/pts/N.

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace sc {

// Where lock files are looked for and made, in that order.
std::vector<std::string> DefaultLockDirectories();

// "LCK..ttyUSB0" for /dev/ttyUSB0 (also when reached through a link such as
// /dev/serial/by-id/...); "LCK..pts_4" for /dev/pts/4.
std::string UucpLockName(const std::string& devicePath);

struct PortHolder {
  pid_t pid = 0;         // 0 when a lock file names no readable process id
  std::string program;   // its name (/proc/PID/comm), "" when unknown
  std::string lockFile;  // the lock file that names it, "" for an open descriptor
};

// The live lock on the device in one of `directories`, if any. A lock whose process has
// ended is removed on the way; a lock of this process is no other holder.
std::optional<PortHolder> FindLockHolder(const std::string& devicePath,
                                         const std::vector<std::string>& directories);

// A process other than this one that has the device open, apart from the process that
// holds the master of the same pseudo-terminal. Processes whose descriptors this user may
// not look at are not seen.
std::optional<PortHolder> FindOtherOpener(const std::string& devicePath,
                                          const std::string& procRoot = "/proc");

// The lock this program takes while it has a device open.
class UucpLock {
 public:
  UucpLock() = default;
  ~UucpLock() { Release(); }
  UucpLock(const UucpLock&) = delete;
  UucpLock& operator=(const UucpLock&) = delete;

  // Makes the lock file in the first of `directories` that takes it. Returns the holder
  // when another live process has the lock; nothing otherwise (also when no directory
  // takes a lock file: a machine without a lock directory still works).
  std::optional<PortHolder> Take(const std::string& devicePath,
                                 const std::vector<std::string>& directories);
  void Release();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace sc
