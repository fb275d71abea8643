#include "monitor/monitor_report.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

namespace sc {

namespace {

constexpr size_t kDigitsPerRow = 100;

std::string JoinPath(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  if (directory.back() == '/') return directory + name;
  return directory + "/" + name;
}

bool NameExists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

std::string ReportName(int number) {
  char name[40];
  std::snprintf(name, sizeof name, "TQ5R_StatusRecord%02d.txt", number);
  return name;
}

// A new file beside `name` that nobody else uses; its descriptor and name, or nothing.
std::optional<std::pair<int, std::string>> CreateBeside(const std::string& directory,
                                                        const std::string& name) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string temporary = "." + name + "." + std::to_string(::getpid()) + "." +
                                  std::to_string(counter.fetch_add(1)) + ".tmp";
    const std::string path = JoinPath(directory, temporary);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return std::make_pair(fd, path);
    if (errno != EEXIST) return std::nullopt;
  }
  return std::nullopt;
}

// Writes all of bytes; 0 or the error.
int WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : ENOSPC;
    done += static_cast<size_t>(n);
  }
  return 0;
}

}  // namespace

std::string MonitorReportText(const MonitorReport& r) {
  char line[160];
  std::string text;
  std::snprintf(line, sizeof line, "Time slot:%u\r\n", r.slotLength);
  text += line;
  text += r.slotUnit == 0 ? "seconds \r\n" : "minutes \r\n";
  text += "Triggle mode: ";
  text += r.triggerMode == 0 ? "triggled by image content changed or signal lost \r\n"
                             : "triggled by lost of signal \r\n";
  text += "Start from: \r\n";
  std::snprintf(line, sizeof line, "Y:%dM:%dD:%d Time:%d:%d:%d\r\n", r.start.year, r.start.month,
                r.start.day, r.start.hour, r.start.minute, r.start.second);
  text += line;
  text += "Total time: " + r.totalTime + " \r\n";
  text += "Recording status: ";
  text += r.workingStatus == 0 ? "Status monitor is still working(not finished)\r\n\r\n"
                               : "Stoped \r\n\r\n";
  for (size_t i = 0; i < r.record.size(); ++i) {
    text += r.record[i];
    if ((i + 1) % kDigitsPerRow == 0) text += "\r\n";
  }
  return text;
}

std::string FirstFreeReportName(const std::string& directory) {
  for (int n = 0; n < 100; ++n) {
    std::string name = ReportName(n);
    if (!NameExists(JoinPath(directory, name))) return name;
  }
  return ReportName(99);
}

ReportSaveResult SaveMonitorReport(const MonitorReport& report, const std::string& directory) {
  ReportSaveResult result;
  const std::string name = FirstFreeReportName(directory);
  const auto created = CreateBeside(directory, name);
  if (!created) {
    result.message = kReportCreateFailed;
    return result;
  }
  const auto& [fd, temporary] = *created;
  if (!NameExists(temporary)) {
    ::close(fd);
    result.message = kReportMissingAfterCreate;
    return result;
  }
  int error = WriteAll(fd, MonitorReportText(report));
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temporary.c_str(), JoinPath(directory, name).c_str()) != 0)
    error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    result.message = "Failed to write " + name + " (" + std::strerror(error) + ")";
    return result;
  }
  result.ok = true;
  result.fileName = name;
  result.message = kReportSavedPrefix + name;
  return result;
}

}  // namespace sc
