#include "monitor/monitor_report.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "storage/numbered_file.h"

namespace sc {

namespace {

constexpr size_t kDigitsPerRow = 100;

constexpr char kReportPattern[] = "TQ5R_StatusRecord%02d.txt";

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
  return FirstFreeNumberedName(directory, kReportPattern);
}

ReportSaveResult SaveMonitorReport(const MonitorReport& report, const std::string& directory) {
  ReportSaveResult result;
  const NumberedFileResult written =
      WriteNumberedFile(directory, kReportPattern, MonitorReportText(report));
  if (!written.ok()) {
    result.message = written.FailureMessage();
    return result;
  }
  result.ok = true;
  result.fileName = written.name;
  result.message = kReportSavedPrefix + written.name;
  return result;
}

}  // namespace sc
