#pragma once
// The "Monitor" tab page (dialog 187): the box's unattended signal monitor. It starts a
// recording of 2040 time slots with a slot length, a trigger mode and the local time,
// reads the recording back as a field of "0" and "1" digits (1 = triggered), and saves
// it as a text report in the working directory.

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

#include "monitor/monitor_timeline.h"
#include "window/command_sender.h"
#include "window/host.h"
#include "window/outcome.h"
#include "window/save_as.h"
#include "window/view.h"

namespace sc {

struct MonitorReport;

namespace monitor_ids {
inline constexpr int kSeconds = 1001;  // slot unit radios: Seconds, Minutes
inline constexpr int kMinutes = 1002;
inline constexpr int kImageAndLoss = 1003;  // trigger mode radios
inline constexpr int kLossOnly = 1004;
inline constexpr int kWorking = 1005;  // working status radios (display only)
inline constexpr int kStopped = 1006;
inline constexpr int kRecord = 1101;
inline constexpr int kSlotLength = 1208;
inline constexpr int kNewStart = 1209;
inline constexpr int kReadRecord = 1210;
inline constexpr int kTotalTime = 1211;
inline constexpr int kStartDay = 1212;
inline constexpr int kStartHour = 1213;
inline constexpr int kStartMinute = 1214;
inline constexpr int kStartSecond = 1215;
inline constexpr int kStartMonth = 1216;
inline constexpr int kSave = 1222;
// Not in the layout: "Save As...", beside "Save".
inline constexpr int kSaveAs = 1223;
}  // namespace monitor_ids

// The page's messages (caption "TQ-KVAD").
inline constexpr char kSlotLengthMessage[] = "Time slot must be 1~255.";
inline constexpr char kNotAPositiveIntegerMessage[] = "Please enter a positive integer.";
inline constexpr char kNothingToSaveMessage[] = "No recorded data need to be saved";

inline constexpr int kMonitorSlots = 2040;
// The record reply: ten bytes of header before the 255 bytes of slot flags.
inline constexpr size_t kMonitorRecordHeader = 10;
inline constexpr size_t kMonitorFlagBytes = 255;

// The page's total-time text for a unit index (0 seconds, anything else minutes) and a
// slot length: " 34Minutes", " 2Hours 50Minutes", "6Days 30Minutes", "1Day 10Hours";
// empty for a slot length of 0 or above 255.
std::string FormatTotalTime(int unitIndex, unsigned slotLength);

// The four bytes t0..t3 that carry a start date and time. The year is the year modulo
// 100, of which the box keeps the low five bits.
std::array<uint8_t, 4> PackStartTime(const StartTime& time);
StartTime UnpackStartTime(const uint8_t* t);

// The record's digits from a reply payload of `size` bytes: eight digits for each of the
// N whole flag bytes, bits 0 to 7, then M digits of byte N ("1" where the bit is clear,
// triggered). Only flag bytes inside the payload are read.
std::string RecordDigits(const uint8_t* payload, size_t size);

class MonitorPage : public CoreWindow {
 public:
  MonitorPage(Host& host, CommandSender& sender);

  // The page's dialog initialisation: seconds, loss-and-difference trigger, slot length 0,
  // start time 0, pushed.
  void Create();

  // Controls.
  void NewStart();                // "New Start"
  void ReadStatusRecord();        // "Read Status Record from Device"
  void Save();                    // "Save"
  void SaveAs();                  // "Save As...": the report to a file of the person's choosing
  void OnSlotUnitClicked();       // "Seconds" or "Minutes"
  void OnSlotLengthEnter();       // Enter in the slot length box
  void OnWorkingStatusClicked();  // the display-only working status radios

  // Reply 0x8096, the recording.
  void OnRecord(const uint8_t* payload, size_t size);

  // The recording as the timeline draws it.
  MonitorTimeline Timeline() const;

  // Exchanged members.
  int slotUnit = -1;  // 0 seconds, 1 minutes
  unsigned slotLength = 0;
  int triggerMode = -1;  // 0 image difference and loss of signal, 1 loss of signal only
  int startMonth = 0, startDay = 0, startHour = 0, startMinute = 0, startSecond = 0;
  int startYear = 0;  // two digits; shown only in the report
  std::string totalTime;
  std::string record;
  int workingStatus = -1;  // 0 working, 1 stopped

  // Told how New Start, the read and Save ended.
  OutcomeSink onOutcome;

  // Where "Save" writes: the process's current directory.
  std::string workingDirectory = ".";
  // The folder the console's file dialogs start in (the main window's), if any.
  FileDialogFolder* dialogFolder = nullptr;
  // The local date and time "New Start" stamps the recording with.
  std::function<std::tm()> localTime;

 protected:
  void Exchange(ControlExchange& exchange) override;

 private:
  // Reads the controls; false (after saying so, as the outcome of `operation` when one is
  // under way) when the slot length box holds anything but an unsigned number.
  bool PullChecked(const Operation* operation = nullptr);
  void ShowMessage(const std::string& text);
  void Finish(const Outcome& outcome);
  // The report of what the page shows.
  MonitorReport Report() const;

  Host& host_;
  CommandSender& sender_;
  bool slotLengthUnreadable_ = false;
};

}  // namespace sc
