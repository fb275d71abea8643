#include "storage/numbered_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "storage/safe_file.h"

namespace sc {

namespace {

std::string NumberedName(const char* pattern, int number) {
  char name[96];
  std::snprintf(name, sizeof name, pattern, number);
  return name;
}

NumberedFileResult Failed(NumberedFileResult::Status status, std::string name, int error = 0) {
  NumberedFileResult result;
  result.status = status;
  result.name = std::move(name);
  result.error = error;
  return result;
}

}  // namespace

std::string NumberedFileResult::FailureMessage() const {
  switch (status) {
    case Status::kSaved:
      return {};
    case Status::kCreateFailed:
      return kCreateFailedMessage;
    case Status::kMissingAfterCreate:
      return kMissingAfterCreateMessage;
    case Status::kWriteFailed:
      break;
  }
  return "Failed to write " + name + " (" + std::strerror(error) + ")";
}

std::string FirstFreeNumberedName(const std::string& directory, const char* pattern,
                                  bool* allTaken) {
  if (allTaken) *allTaken = false;
  for (int n = 0; n < 100; ++n) {
    std::string name = NumberedName(pattern, n);
    if (!PathExists(JoinPath(directory, name))) return name;
  }
  if (allTaken) *allTaken = true;
  return NumberedName(pattern, 99);
}

NumberedFileResult WriteNumberedFile(const std::string& directory, const char* pattern,
                                     std::string_view bytes) {
  return WriteNumberedFile(directory, pattern,
                           [bytes](int fd) { return WriteAll(fd, bytes.data(), bytes.size()); });
}

NumberedFileResult WriteNumberedFile(const std::string& directory, const char* pattern,
                                     const std::function<int(int fd)>& write) {
  using Status = NumberedFileResult::Status;
  // What a killed save of this kind left behind goes now.
  const std::string_view kind(pattern, std::string_view(pattern).find('%'));
  RemoveStaleTemporariesIn(directory, kind);

  bool allTaken = false;
  std::string name = FirstFreeNumberedName(directory, pattern, &allTaken);
  // Number 99 is replaced only as a regular file, never a FIFO (the window would wait on
  // it), a device, or a link whose target would be written instead.
  struct stat at {};
  if (allTaken && (::lstat(JoinPath(directory, name).c_str(), &at) != 0 || !S_ISREG(at.st_mode)))
    return Failed(Status::kCreateFailed, name);

  std::string tempPath;
  const int fd = CreateTemporaryBeside(JoinPath(directory, name), tempPath);
  if (fd < 0) return Failed(Status::kCreateFailed, name);
  int error = write(fd);
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;

  // A name chosen as free is taken only while it is still free: when another program or
  // another save took it meanwhile, the next free one is taken.
  for (int attempt = 0; error == 0 && attempt <= 100; ++attempt) {
    error = PlaceTemporary(tempPath, JoinPath(directory, name), allTaken);
    if (error != EEXIST || allTaken) break;
    error = 0;
    name = FirstFreeNumberedName(directory, pattern, &allTaken);
  }
  if (error != 0) {
    ::unlink(tempPath.c_str());
    return Failed(error == EEXIST && allTaken ? Status::kCreateFailed : Status::kWriteFailed, name,
                  error);
  }
  if (!PathExists(JoinPath(directory, name))) return Failed(Status::kMissingAfterCreate, name);
  NumberedFileResult result;
  result.status = Status::kSaved;
  result.name = name;
  return result;
}

}  // namespace sc
