#include "storage/safe_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>

namespace sc {
namespace {

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Join(const std::string& directory, const std::string& name) {
  return directory == "/" ? "/" + name : directory + "/" + name;
}

// A fresh temporary beside `path` that no one else is writing.
int CreateTemporary(const std::string& path, std::string& tempPath) {
  static std::atomic<unsigned> counter{0};
  const std::string stem = Join(DirectoryOf(path), "." + BaseNameOf(path) + ".");
  const auto ticks =
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = stem + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
               std::to_string(ticks % 1000000007ULL);
    const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

void SyncDirectory(const std::string& path) {
  const int dir = ::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return;
  ::fsync(dir);
  ::close(dir);
}

// Puts the temporary under its name without replacing anything there. The exclusive
// rename is atomic; file systems without it get a hard link, which is exclusive too.
int PlaceExclusively(const std::string& tempPath, const std::string& path) {
  if (::renameat2(AT_FDCWD, tempPath.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0)
    return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  if (::link(tempPath.c_str(), path.c_str()) != 0) return errno;
  ::unlink(tempPath.c_str());
  return 0;
}

enum class Placement { Replace, CreateNew };

SafeWriteResult WriteSafely(const std::string& path, std::string_view bytes, Placement placement) {
  SafeWriteResult result;
  RemoveStaleTemporaries(path);
  struct stat old {};
  const bool exists = ::lstat(path.c_str(), &old) == 0;
  if (exists && (placement == Placement::CreateNew || !S_ISREG(old.st_mode))) {
    result.error = EEXIST;
    return result;
  }
  std::string tempPath;
  const int fd = CreateTemporary(path, tempPath);
  if (fd < 0) {
    result.error = errno;
    return result;
  }
  result.created = true;
  int error = 0;
  if (exists && ::fchmod(fd, old.st_mode & 07777) != 0) error = errno;
  if (!error) error = WriteAll(fd, bytes.data(), bytes.size());
  if (!error && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && !error) error = errno;
  if (!error) {
    if (placement == Placement::Replace)
      error = ::rename(tempPath.c_str(), path.c_str()) == 0 ? 0 : errno;
    else
      error = PlaceExclusively(tempPath, path);
  }
  if (error) {
    ::unlink(tempPath.c_str());
    result.error = error;
    return result;
  }
  // Make the new name itself durable; the file is in place either way.
  SyncDirectory(path);
  return result;
}

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

std::string JoinPath(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  if (directory.back() == '/') return directory + name;
  return directory + "/" + name;
}

bool PathExists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

int WriteAll(int fd, const void* bytes, size_t count) {
  const auto* at = static_cast<const char*>(bytes);
  size_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(fd, at + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return ENOSPC;
    done += static_cast<size_t>(n);
  }
  return 0;
}

bool ParseTemporaryName(std::string_view name, std::string_view* target, long* pid) {
  // "." target "." digits "-" digits "-" digits
  const size_t dot = name.rfind('.');
  if (name.size() < 3 || name[0] != '.' || dot == std::string_view::npos || dot < 2) return false;
  std::string_view rest = name.substr(dot + 1);
  std::string_view parts[3];
  for (int i = 0; i < 3; ++i) {
    const size_t dash = i < 2 ? rest.find('-') : rest.size();
    if (dash == std::string_view::npos) return false;
    parts[i] = rest.substr(0, dash);
    if (!AllDigits(parts[i])) return false;
    rest = i < 2 ? rest.substr(dash + 1) : std::string_view();
  }
  if (parts[0].size() > 9) return false;
  if (target) *target = name.substr(1, dot - 1);
  if (pid) *pid = std::stol(std::string(parts[0]));
  return true;
}

namespace {

template <class Ours>
int RemoveStale(const std::string& directory, const Ours& ours) {
  // Nothing of ours can be in a directory we may not write (/usr/bin beside an installed
  // program, with thousands of names to read for nothing).
  if (::access(directory.c_str(), W_OK | X_OK) != 0) return 0;
  DIR* dir = ::opendir(directory.c_str());
  if (!dir) return 0;
  int removed = 0;
  while (const dirent* entry = ::readdir(dir)) {
    std::string_view target;
    long pid = 0;
    if (!ParseTemporaryName(entry->d_name, &target, &pid) || !ours(target)) continue;
    // A live writer (this process, or another console saving right now) keeps its file.
    if (pid <= 0 || pid == ::getpid() || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
      continue;
    const std::string full = Join(directory, entry->d_name);
    struct stat st {};
    if (::lstat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (::unlink(full.c_str()) == 0) ++removed;
  }
  ::closedir(dir);
  return removed;
}

}  // namespace

int RemoveStaleTemporaries(const std::string& path) {
  const std::string name = BaseNameOf(path);
  return RemoveStale(DirectoryOf(path), [&](std::string_view target) { return target == name; });
}

int RemoveStaleTemporariesIn(const std::string& directory, std::string_view prefix) {
  return RemoveStale(directory.empty() ? "." : directory, [&](std::string_view target) {
    return target.substr(0, prefix.size()) == prefix;
  });
}

int CreateTemporaryBeside(const std::string& path, std::string& tempPath) {
  return CreateTemporary(path, tempPath);
}

int PlaceTemporary(const std::string& tempPath, const std::string& path, bool replace) {
  struct stat old {};
  if (::lstat(path.c_str(), &old) == 0 && (!replace || !S_ISREG(old.st_mode))) return EEXIST;
  const int error = replace ? (::rename(tempPath.c_str(), path.c_str()) == 0 ? 0 : errno)
                            : PlaceExclusively(tempPath, path);
  if (error == 0) SyncDirectory(path);
  return error;
}

SafeWriteResult ReplaceFileSafely(const std::string& path, std::string_view bytes) {
  return WriteSafely(path, bytes, Placement::Replace);
}

SafeWriteResult CreateFileSafely(const std::string& path, std::string_view bytes) {
  return WriteSafely(path, bytes, Placement::CreateNew);
}

SafeWriteResult CopyFileSafely(const std::string& source, const std::string& path) {
  SafeWriteResult result;
  auto readFailure = [&](int error) {
    result.readFailed = true;
    result.error = error;
    return result;
  };
  // Non-blocking, so that a FIFO cannot hold the window at the open.
  const int in = ::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (in < 0) return readFailure(errno);
  struct stat info {};
  const int statError = ::fstat(in, &info) != 0  ? errno
                        : S_ISDIR(info.st_mode)  ? EISDIR
                        : !S_ISREG(info.st_mode) ? EINVAL
                                                 : 0;
  if (statError) {
    ::close(in);
    return readFailure(statError);
  }
  RemoveStaleTemporaries(path);
  struct stat old {};
  if (::lstat(path.c_str(), &old) == 0 && !S_ISREG(old.st_mode)) {
    ::close(in);
    result.error = EEXIST;
    return result;
  }
  std::string tempPath;
  const int out = CreateTemporary(path, tempPath);
  if (out < 0) {
    result.error = errno;
    ::close(in);
    return result;
  }
  result.created = true;
  int error = 0;
  char buffer[64 * 1024];
  while (!error) {
    const ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = errno;
      result.readFailed = true;
      break;
    }
    if (n == 0) break;
    error = WriteAll(out, buffer, static_cast<size_t>(n));
  }
  ::close(in);
  if (!error && ::fsync(out) != 0) error = errno;
  if (::close(out) != 0 && !error) error = errno;
  if (!error) error = ::rename(tempPath.c_str(), path.c_str()) == 0 ? 0 : errno;
  if (error) {
    ::unlink(tempPath.c_str());
    result.error = error;
    return result;
  }
  SyncDirectory(path);
  return result;
}

}  // namespace sc
