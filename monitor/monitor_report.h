#pragma once
// The signal monitor's text report, "TQ5R_StatusRecord%02d.txt": a header of the
// recording's settings, start and state, an empty line, then the digits in rows of 100,
// each full row ended by CR LF.

#include <string>

#include "monitor/monitor_timeline.h"

namespace sc {

// The report goes to the current folder; its name is shown as a Linux user reads it there.
inline constexpr char kReportSavedPrefix[] = "Save EDID data to ./";

// What the report says, as the page holds it.
struct MonitorReport {
  unsigned slotLength = 0;
  int slotUnit = 0;     // 0 seconds, else minutes
  int triggerMode = 0;  // 0 image difference and loss of signal, else loss of signal only
  StartTime start;
  std::string totalTime;
  int workingStatus = 0;  // 0 still working, else stopped
  std::string record;
};

// The whole file's bytes.
std::string MonitorReportText(const MonitorReport& report);

// "TQ5R_StatusRecord%02d.txt" for the first number 00..99 whose name does not exist in
// directory; 99 when all exist.
std::string FirstFreeReportName(const std::string& directory);

struct ReportSaveResult {
  bool ok = false;
  std::string message;  // the success text or the failure message
  std::string fileName;
};

// Writes the report under the first free name in directory. The bytes go to a new file
// beside it, which is renamed into place only once all of them are on the disk
// (storage/safe_file), so a failure or a kill leaves no partial report (and an overwritten
// number 99 keeps its old content); only a regular file is replaced as number 99.
// Failures: "Faild to create file" when no file can be created there, "failed" when it is
// missing right after creation, "Failed to write NAME (reason)" when the bytes do not all
// reach the disk or the rename fails.
ReportSaveResult SaveMonitorReport(const MonitorReport& report, const std::string& directory);

}  // namespace sc
