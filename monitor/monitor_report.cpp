#include "monitor/monitor_report.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "storage/safe_file.h"

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
  // What a killed save left beside any report goes now.
  RemoveStaleTemporariesIn(directory, "TQ5R_StatusRecord");
  const std::string text = MonitorReportText(report);
  // The report appears (or replaces number 99) only whole; a new name is taken
  // exclusively, so a report another save made meanwhile is never overwritten.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = FirstFreeReportName(directory);
    const std::string path = JoinPath(directory, name);
    const bool taken = NameExists(path);
    const SafeWriteResult written =
        taken ? ReplaceFileSafely(path, text) : CreateFileSafely(path, text);
    if (written.error == EEXIST && !taken) continue;
    if (!written.created) {
      result.message = kReportCreateFailed;
      return result;
    }
    if (written.error != 0) {
      result.message = "Failed to write " + name + " (" + std::strerror(written.error) + ")";
      return result;
    }
    if (!NameExists(path)) {
      result.message = kReportMissingAfterCreate;
      return result;
    }
    result.ok = true;
    result.fileName = name;
    result.message = kReportSavedPrefix + name;
    return result;
  }
  result.message = kReportCreateFailed;
  return result;
}

}  // namespace sc
