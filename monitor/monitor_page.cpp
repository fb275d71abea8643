#include "monitor/monitor_page.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>

#include "monitor/monitor_report.h"
#include "storage/safe_file.h"

namespace sc {

namespace {

constexpr uint16_t kMonitorSettingsCommand = 0x0096;
constexpr uint16_t kReadRecordCommand = 0x8096;

std::tm SystemLocalTime() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

// An unsigned number as the slot length box takes it: digits, blanks around them allowed.
std::optional<unsigned> ParseUnsigned(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::nullopt;
  const size_t last = text.find_last_not_of(" \t");
  unsigned long long value = 0;
  for (size_t i = first; i <= last; ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
    if (value > 0xFFFFFFFFull) return std::nullopt;
  }
  return static_cast<unsigned>(value);
}

}  // namespace

std::string FormatTotalTime(int unitIndex, unsigned slotLength) {
  if (slotLength == 0 || slotLength > 255) return {};
  const long total = (unitIndex != 0 ? 60L : 1L) * slotLength * kMonitorSlots;
  const long d = total / 86400;
  const long h = (total - 86400 * d) / 3600;
  const long m = (total - 3600 * (24 * d + h)) / 60;
  const long s = total - 3600 * (24 * d + h) - 60 * m;
  std::string text;
  char part[32];
  if (d != 0) {
    std::snprintf(part, sizeof part, "%ldDay", d);
    text += part;
    if (d > 1) text += "s";
  }
  if (h != 0) {
    std::snprintf(part, sizeof part, " %ldHour", h);
    text += part;
    if (h > 1) text += "s";
  }
  if (m != 0) {
    if (unitIndex == 1) text += " and";
    std::snprintf(part, sizeof part, " %ldMinute", m);
    text += part;
    if (m > 1) text += "s";
  }
  if (s != 0) {
    std::snprintf(part, sizeof part, " and %ldSecond", s);
    text += part;
    if (s > 1) text += "s";
  }
  return text;
}

std::array<uint8_t, 4> PackStartTime(const StartTime& t) {
  return {static_cast<uint8_t>(t.day | (t.year & 0xFC) << 3),
          static_cast<uint8_t>(t.hour | t.year << 6),
          static_cast<uint8_t>(t.minute | (t.month & 0xFC) << 4),
          static_cast<uint8_t>(t.second | t.month << 6)};
}

StartTime UnpackStartTime(const uint8_t* t) {
  StartTime time;
  time.day = t[0] & 0x1F;
  time.hour = t[1] & 0x3F;
  time.minute = t[2] & 0x3F;
  time.second = t[3] & 0x3F;
  time.year = ((t[0] >> 3) & 0x1C) | ((t[1] >> 6) & 3);
  time.month = ((t[2] >> 4) & 0x0C) | ((t[3] >> 6) & 3);
  return time;
}

std::string RecordDigits(const uint8_t* payload, size_t size) {
  std::string digits;
  if (size < kMonitorRecordHeader) return digits;
  const size_t wholeBytes = payload[0];
  // Byte N holds at most seven more slots, and there is no byte after the 255th.
  const size_t more = wholeBytes < kMonitorFlagBytes ? std::min<size_t>(payload[1], 7) : 0;
  const size_t flagsPresent = size - kMonitorRecordHeader;
  const uint8_t* flags = payload + kMonitorRecordHeader;
  digits.reserve(wholeBytes * 8 + more);
  auto append = [&](size_t byte, size_t bits) {
    for (size_t bit = 0; bit < bits; ++bit)
      digits += (flags[byte] >> bit & 1) ? '0' : '1';
  };
  for (size_t k = 0; k < wholeBytes && k < flagsPresent; ++k)
    append(k, 8);
  if (more > 0 && wholeBytes < flagsPresent) append(wholeBytes, more);
  return digits;
}

MonitorPage::MonitorPage(Host& host, CommandSender& sender)
    : localTime(SystemLocalTime), host_(host), sender_(sender) {}

void MonitorPage::Create() {
  slotUnit = 0;
  slotLength = 0;
  triggerMode = 0;
  startMonth = startDay = startHour = startMinute = startSecond = startYear = 0;
  Push();
}

void MonitorPage::Exchange(ControlExchange& exchange) {
  exchange.Radio(monitor_ids::kSeconds, slotUnit);
  if (exchange.pulling()) {
    const auto value = ParseUnsigned(view().GetText(monitor_ids::kSlotLength));
    slotLengthUnreadable_ = !value;
    if (value) slotLength = *value;
  } else {
    view().SetText(monitor_ids::kSlotLength, std::to_string(slotLength));
  }
  exchange.Radio(monitor_ids::kImageAndLoss, triggerMode);
  exchange.Int(monitor_ids::kStartMonth, startMonth);
  exchange.Int(monitor_ids::kStartDay, startDay);
  exchange.Int(monitor_ids::kStartHour, startHour);
  exchange.Int(monitor_ids::kStartMinute, startMinute);
  exchange.Int(monitor_ids::kStartSecond, startSecond);
  exchange.Text(monitor_ids::kTotalTime, totalTime);
  exchange.Radio(monitor_ids::kWorking, workingStatus);
  // Last, so that whoever shows the record sees the other members already in place.
  exchange.Text(monitor_ids::kRecord, record);
}

void MonitorPage::ShowMessage(const std::string& text) {
  host_.ShowMessage("TQ-KVAD", text);
}

void MonitorPage::Finish(const Outcome& outcome) {
  Conclude(onOutcome, outcome, [this](const std::string& text) { ShowMessage(text); });
}

bool MonitorPage::PullChecked(const Operation* operation) {
  Pull();
  if (!slotLengthUnreadable_) return true;
  if (operation)
    Finish(Outcome(*operation, Result::kBadInput, kNotAPositiveIntegerMessage));
  else
    ShowMessage(kNotAPositiveIntegerMessage);
  return false;
}

void MonitorPage::OnSlotUnitClicked() {
  if (!PullChecked()) return;
  totalTime = FormatTotalTime(slotUnit, slotLength);
  Push();
}

void MonitorPage::OnSlotLengthEnter() {
  OnSlotUnitClicked();
}

void MonitorPage::OnWorkingStatusClicked() {
  // The radios show the box's state; the user cannot change it.
  Push();
}

void MonitorPage::NewStart() {
  const Operation start = Operation::kMonitorStart;
  if (!PullChecked(&start)) return;
  const std::tm now = localTime();
  if (slotLength == 0 || slotLength > 255)
    return Finish(Outcome(start, Result::kBadInput, kSlotLengthMessage));
  StartTime at;
  at.year = now.tm_year % 100;
  at.month = now.tm_mon + 1;
  at.day = now.tm_mday;
  at.hour = now.tm_hour;
  at.minute = now.tm_min;
  at.second = std::min(now.tm_sec, 59);  // a leap second is stamped as :59
  const std::array<uint8_t, 4> packed = PackStartTime(at);
  const uint8_t settings[7] = {static_cast<uint8_t>(slotUnit != 0 ? 1 : 0),
                               static_cast<uint8_t>(slotLength),
                               static_cast<uint8_t>(triggerMode != 0 ? 1 : 0),
                               packed[0],
                               packed[1],
                               packed[2],
                               packed[3]};
  startMonth = at.month;
  startDay = at.day;
  startHour = at.hour;
  startMinute = at.minute;
  startSecond = at.second;
  startYear = at.year;
  totalTime = FormatTotalTime(slotUnit, slotLength);
  workingStatus = 0;
  // The digits of the last recording do not belong to this one: a report saved now must
  // not pair them with the new start.
  record.clear();
  Push();
  sender_.SendCommandWithData(kMonitorSettingsCommand, sizeof settings, settings);
  // The box does not answer the settings: the recording is read back to see them taken.
  Finish(Outcome(start));
}

void MonitorPage::ReadStatusRecord() {
  sender_.SendCommand(kReadRecordCommand);
}

void MonitorPage::OnRecord(const uint8_t* payload, size_t size) {
  if (size < kMonitorRecordHeader) return;
  // The reply replaces the slot length, so an unreadable box is no reason to complain.
  Pull();
  const StartTime start = UnpackStartTime(payload + 6);
  startDay = start.day;
  startHour = start.hour;
  startMinute = start.minute;
  startSecond = start.second;
  startYear = start.year;
  startMonth = start.month;
  slotUnit = payload[3] != 0 ? 1 : 0;
  slotLength = payload[4];
  triggerMode = payload[5] != 0 ? 1 : 0;
  totalTime = FormatTotalTime(slotUnit, slotLength);
  workingStatus = payload[2] == 0 ? 0 : 1;
  record = RecordDigits(payload, size);
  Push();
  Finish(Outcome(Operation::kMonitorRead));
}

MonitorReport MonitorPage::Report() const {
  MonitorReport report;
  report.slotLength = slotLength;
  report.slotUnit = slotUnit;
  report.triggerMode = triggerMode;
  report.start = {startYear, startMonth, startDay, startHour, startMinute, startSecond};
  report.totalTime = totalTime;
  report.workingStatus = workingStatus;
  report.record = record;
  return report;
}

void MonitorPage::Save() {
  if (record.empty())
    return Finish(Outcome(Operation::kMonitorSave, Result::kRefused, kNothingToSaveMessage));
  const ReportSaveResult saved = SaveMonitorReport(Report(), workingDirectory);
  Outcome outcome(Operation::kMonitorSave, saved.ok ? Result::kDone : Result::kFileError,
                  saved.message);
  if (saved.ok) outcome.WithFile(saved.fileName);
  Finish(outcome);
}

void MonitorPage::SaveAs() {
  if (record.empty())
    return Finish(Outcome(Operation::kMonitorSaveAs, Result::kRefused, kNothingToSaveMessage));
  const std::optional<std::string> chosen =
      ChooseSavePath(host_, dialogFolder, "text file(*.txt)|*.txt|all file(*.*)|*.*||",
                     workingDirectory, "TQ5R_StatusRecord.txt");
  if (!chosen) return Finish(Outcome(Operation::kMonitorSaveAs, Result::kCancelled));
  // A text report under any name; one without an extension gets ".txt".
  std::string target = *chosen;
  if (FileExtension(target).empty()) target += ".txt";
  const SafeWriteResult written = ReplaceFileSafely(target, MonitorReportText(Report()));
  if (!written.ok())
    return Finish(Outcome(Operation::kMonitorSaveAs, Result::kFileError,
                          WriteFailedMessage(target, written.error))
                      .WithFile(target));
  Finish(Outcome(Operation::kMonitorSaveAs).WithFile(target));
}

MonitorTimeline MonitorPage::Timeline() const {
  return MonitorTimeline({startYear, startMonth, startDay, startHour, startMinute, startSecond},
                         slotUnit, slotLength, record);
}

}  // namespace sc
