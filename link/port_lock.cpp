#include "link/port_lock.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sc {
namespace {

constexpr unsigned kPtyMasterMajor = 5;  // /dev/ptmx is 5,2
constexpr unsigned kPtmxMinor = 2;
constexpr unsigned kFirstPtySlaveMajor = 136;  // /dev/pts/N: majors 136..143
constexpr unsigned kLastPtySlaveMajor = 143;

std::string ReadSmallFile(const std::string& path, size_t limit = 4096) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return {};
  std::string text(limit, '\0');
  ssize_t n;
  do {
    n = ::read(fd, text.data(), limit);
  } while (n < 0 && errno == EINTR);
  ::close(fd);
  text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return text;
}

std::string ProgramName(const std::string& procRoot, pid_t pid) {
  std::string name = ReadSmallFile(procRoot + "/" + std::to_string(pid) + "/comm", 64);
  while (!name.empty() && (name.back() == '\n' || name.back() == '\0'))
    name.pop_back();
  return name;
}

bool ProcessLives(pid_t pid) {
  return pid > 0 && (::kill(pid, 0) == 0 || errno != ESRCH);
}

std::string Canonical(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

// The process id a lock file holds: ten ASCII characters (leading blanks) and a newline
// is the usual form; any decimal number with white space around it is taken. 0 when none.
pid_t LockOwner(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
    ++i;
  long value = 0;
  size_t digits = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 10) {
    value = value * 10 + (text[i] - '0');
    ++i;
    ++digits;
  }
  if (digits == 0) return 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n'))
    ++i;
  if (i != text.size() || value > INT_MAX) return 0;
  return static_cast<pid_t>(value);
}

// The index N of a pseudo-terminal slave /dev/pts/N, or -1 for any other device.
long PtyIndex(dev_t device) {
  const unsigned major = ::major(device);
  if (major < kFirstPtySlaveMajor || major > kLastPtySlaveMajor) return -1;
  return static_cast<long>((major - kFirstPtySlaveMajor) * 256 + ::minor(device));
}

bool IsPtmx(dev_t device) {
  return ::major(device) == kPtyMasterMajor && ::minor(device) == kPtmxMinor;
}

// The "tty-index:" of a /dev/ptmx descriptor's fdinfo, or -1.
long FdinfoTtyIndex(const std::string& fdinfoPath) {
  const std::string text = ReadSmallFile(fdinfoPath);
  const size_t at = text.find("tty-index:");
  if (at == std::string::npos) return -1;
  char* end = nullptr;
  const long index = std::strtol(text.c_str() + at + 10, &end, 10);
  return end == text.c_str() + at + 10 ? -1 : index;
}

}  // namespace

std::vector<std::string> DefaultLockDirectories() {
  return {"/run/lock", "/var/lock"};
}

std::string UucpLockName(const std::string& devicePath) {
  std::string path = Canonical(devicePath);
  if (path.rfind("/dev/", 0) == 0) {
    path = path.substr(5);
  } else {
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos) path = path.substr(slash + 1);
  }
  for (char& c : path)
    if (c == '/') c = '_';
  return "LCK.." + path;
}

std::optional<PortHolder> FindLockHolder(const std::string& devicePath,
                                         const std::vector<std::string>& directories) {
  const std::string name = UucpLockName(devicePath);
  for (const std::string& directory : directories) {
    const std::string path = directory + "/" + name;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) continue;
    const pid_t owner = LockOwner(ReadSmallFile(path, 64));
    if (owner == ::getpid()) continue;
    if (owner > 0 && !ProcessLives(owner)) {
      ::unlink(path.c_str());  // stale: its program has ended
      continue;
    }
    // A live owner, or a lock that names none: held either way.
    return PortHolder{owner, owner > 0 ? ProgramName("/proc", owner) : std::string(), path};
  }
  return std::nullopt;
}

std::optional<PortHolder> FindOtherOpener(const std::string& devicePath,
                                          const std::string& procRoot) {
  struct stat target {};
  if (::stat(devicePath.c_str(), &target) != 0 || !S_ISCHR(target.st_mode)) return std::nullopt;
  const long ptyIndex = PtyIndex(target.st_rdev);
  const pid_t self = ::getpid();
  DIR* proc = ::opendir(procRoot.c_str());
  if (!proc) return std::nullopt;
  std::optional<PortHolder> found;
  while (const dirent* entry = ::readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (*end != '\0' || pid <= 0 || pid == self) continue;
    const std::string base = procRoot + "/" + entry->d_name;
    DIR* fds = ::opendir((base + "/fd").c_str());
    if (!fds) continue;  // ended meanwhile, or not ours to look at
    bool opens = false;
    bool farEnd = false;
    while (const dirent* fd = ::readdir(fds)) {
      if (fd->d_name[0] == '.') continue;
      struct stat st {};
      if (::stat((base + "/fd/" + fd->d_name).c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) continue;
      if (st.st_rdev == target.st_rdev) opens = true;
      if (ptyIndex >= 0 && IsPtmx(st.st_rdev) &&
          FdinfoTtyIndex(base + "/fdinfo/" + fd->d_name) == ptyIndex)
        farEnd = true;
    }
    ::closedir(fds);
    if (opens && !farEnd) {
      found =
          PortHolder{static_cast<pid_t>(pid), ProgramName(procRoot, static_cast<pid_t>(pid)), ""};
      break;
    }
  }
  ::closedir(proc);
  return found;
}

std::optional<PortHolder> UucpLock::Take(const std::string& devicePath,
                                         const std::vector<std::string>& directories) {
  Release();
  const std::string name = UucpLockName(devicePath);
  char text[16];
  std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(::getpid()));
  const size_t length = std::strlen(text);
  for (const std::string& directory : directories) {
    const std::string path = directory + "/" + name;
    for (int attempt = 0; attempt < 3; ++attempt) {
      // Exclusive: a lock another program makes at the same moment is never overwritten.
      const int fd =
          ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
      if (fd >= 0) {
        const ssize_t n = ::write(fd, text, length);
        ::close(fd);
        if (n == static_cast<ssize_t>(length)) {
          path_ = path;
          return std::nullopt;
        }
        ::unlink(path.c_str());
        break;
      }
      if (errno != EEXIST) break;  // this directory takes no lock files from us
      const pid_t owner = LockOwner(ReadSmallFile(path, 64));
      if (owner == ::getpid() || (owner > 0 && !ProcessLives(owner))) {
        ::unlink(path.c_str());  // our own from before, or stale
        continue;
      }
      return PortHolder{owner, owner > 0 ? ProgramName("/proc", owner) : std::string(), path};
    }
  }
  // No directory takes lock files (none there, or not ours to write): go on without.
  return std::nullopt;
}

void UucpLock::Release() {
  if (path_.empty()) return;
  // Only a lock that is still ours is removed.
  if (LockOwner(ReadSmallFile(path_, 64)) == ::getpid()) ::unlink(path_.c_str());
  path_.clear();
}

}  // namespace sc
