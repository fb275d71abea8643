// signal-cli's commands: each uses the console's own operations (the front panel, the
// pages, frame capture, the address dialog) and ends when the reply it waits for, or the
// status chain that reads the setting back, has been handled.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "cli/cli_session.h"
#include "cli/edid_print.h"
#include "cli/file_output.h"
#include "cli/infoframe_command.h"
#include "cli/png_writer.h"
#include "cli/signal_cli.h"
#include "cli/status_report.h"
#include "cli/text_output.h"
#include "cli/watch_command.h"
#include "console/control_ids.h"
#include "console/traffic_log.h"
#include "edid/edid_file.h"
#include "infoframe/utility_page.h"
#include "link/codes.h"
#include "monitor/monitor_page.h"
#include "monitor/monitor_report.h"
#include "timing/bitmap_writer.h"

namespace sc {

namespace {

namespace fs = std::filesystem;

constexpr char kVersion[] = "signal-cli 1.19\n";

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Refuses an output that cannot be written before anything is asked of the box.
std::string CheckOutput(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
    return "Cannot write " + path + ": not a regular file";
  const std::string directory = DirectoryOf(path);
  if (::access(directory.c_str(), W_OK | X_OK) != 0)
    return "Cannot write " + path + ": " + std::strerror(errno);
  return {};
}

class ProgressBar {
 public:
  ProgressBar(std::ostream& err, bool shown) : err_(err), shown_(shown) {}
  ~ProgressBar() { Finish(); }
  void Show(double percent) {
    if (!shown_) return;
    const int whole = static_cast<int>(std::clamp(std::floor(percent), 0.0, 100.0));
    if (whole == last_) return;
    last_ = whole;
    constexpr int kWidth = 40;
    const int filled = whole * kWidth / 100;
    err_ << "\r[" << std::string(static_cast<size_t>(filled), '#')
         << std::string(static_cast<size_t>(kWidth - filled), '-') << "] ";
    char number[8];
    std::snprintf(number, sizeof number, "%3d%%", whole);
    err_ << number << std::flush;
  }
  void Finish() {
    if (shown_ && last_ >= 0) err_ << "\n" << std::flush;
    last_ = -1;
  }

 private:
  std::ostream& err_;
  bool shown_;
  int last_ = -1;
};

class Commands {
 public:
  Commands(const CliRequest& r, CliSession& s, const CliEnvironment& e)
      : r_(r), s_(s), d_(s.dialog()), env_(e), out_(*e.out), err_(*e.err) {}

  int Run() {
    const std::string& c = r_.command;
    if (c == "search") return Search();
    if (c == "edid" && r_.action == "write") return EdidWrite();
    if ((c == "edid" && r_.action == "read") || c == "preview" || c == "capture") {
      if (!r_.output.empty()) {
        if (const std::string problem = CheckOutput(r_.output); !problem.empty()) {
          s_.Error(problem);
          return kExitFileError;
        }
      }
    }
    if (c == "address") return Address();
    if (c == "infoframe" && r_.action == "decode") {
      // A packet from the command line: no box to ask.
      const InfoFrameDecode decode = DecodeInfoFrame(r_.payload);
      out_ << (r_.json ? InfoFrameJson(decode) : InfoFrameDecodeText(decode));
      return kExitDone;
    }
    if (c == "log") return Log();
    if (int rc = ConnectAndRead(); rc != kExitDone) return rc;
    if (c == "status") return Status();
    if (c == "hpd") return Hpd();
    if (c == "volume") return Volume();
    if (c == "input") return Input();
    if (c == "edid") return Edid();
    if (c == "infoframe") return InfoFrame();
    if (c == "monitor") return Monitor();
    if (c == "preview") return Preview();
    if (c == "capture") return Capture();
    return kExitBadArgument;  // the parser admits no other command
  }

  int port = 1;

 private:
  // Opens the link and waits for the status chain it starts, so that every value the
  // console shows is in place (and no reply of the chain can be mistaken for a later one).
  int ConnectAndRead() {
    const size_t mark = s_.Mark();
    if (int rc = s_.Connect(port); rc != kExitDone) return rc;
    return s_.WaitForChain(mark);
  }

  // The status chain again, from its first request: the box's word on what was just set.
  int ReadBack() {
    const size_t mark = s_.Mark();
    d_.SendInputQuery();
    return s_.WaitForChain(mark);
  }

  int Refused(const std::string& text) {
    s_.Error(text);
    return kExitFailed;
  }

  int Search() {
    d_.SearchDevice();
    if (!d_.searchActive()) return kExitPortUnavailable;  // no port could be opened at all
    const size_t mark = s_.Mark();
    int rc = s_.Wait([this] { return !d_.searchActive(); }, "the search", std::nullopt);
    if (rc != kExitDone) return rc;
    // The console has said so. Network ports are tried in the background: a search whose
    // ports all failed to connect found no port that opens.
    if (!d_.linkUp())
      return d_.portSession().searchOpenedAPort() ? kExitNoAnswer : kExitPortUnavailable;
    s_.NoteLinkUp();
    // The chain the search starts tells the address of the box that answered.
    if ((rc = s_.WaitForChain(mark)) != kExitDone) return rc;
    out_ << s_.PortName() << " " << PrintableLine(s_.DeviceName()) << " "
         << FormatAddress(d_.TargetAddress()) << "\n";
    return kExitDone;
  }

  int Status() {
    StatusReport report = ReadStatusReport(d_);
    report.port = s_.PortName();
    report.device = s_.DeviceName();
    report.address = FormatAddress(d_.TargetAddress());
    out_ << (r_.json ? FormatStatusJson(report) : FormatStatusText(report));
    return kExitDone;
  }

  int Hpd() {
    if (d_.inputIsSdi()) return Refused("The SDI input has no hot-plug line: select HDMI first");
    const bool on = r_.action == "on";
    on ? d_.HpdOn() : d_.HpdOff();
    if (int rc = ReadBack(); rc != kExitDone) return rc;
    if (d_.hpdChoice != (on ? 0 : 1))
      return Refused(std::string("The box reports HPD ") + (on ? "OFF" : "ON"));
    out_ << "HPD " << (on ? "ON" : "OFF") << "\n";
    return kExitDone;
  }

  int Volume() {
    const int wanted = kVolumePercent[r_.number];
    // The console's "-" and "+", one step at a time, as a user would press them.
    for (int presses = 0; presses < kVolumeSteps && d_.volumePercent != wanted; ++presses) {
      d_.volumePercent < wanted ? d_.VolumeUp() : d_.VolumeDown();
    }
    if (int rc = ReadBack(); rc != kExitDone) return rc;
    if (d_.volumePercent != wanted)
      return Refused("The box reports volume " + std::to_string(d_.volumePercent) + " %");
    out_ << "Volume " << wanted << " %\n";
    return kExitDone;
  }

  int Input() {
    const bool sdi = r_.action == "sdi";
    sdi ? d_.SelectSdiInput() : d_.SelectHdmiInput();
    if (int rc = ReadBack(); rc != kExitDone) return rc;
    if (d_.inputIsSdi() != sdi)
      return Refused(std::string("The box reports input ") + (d_.inputIsSdi() ? "SDI" : "HDMI"));
    out_ << "Input " << (sdi ? "SDI" : "HDMI") << "\n";
    return kExitDone;
  }

  int ActivePreset() const { return d_.edidPage.activePreset; }

  int Edid() {
    if (r_.action == "list") {
      const int active = ActivePreset();
      for (int i = 0; i < kPresetCount; ++i)
        out_ << (i == active ? "* " : "  ") << kEdidPresetNames[static_cast<size_t>(i)] << "\n";
      return kExitDone;
    }
    if (r_.action == "select") {
      s_.edidView.SetSelection(edid_ids::kSelectionList, r_.number);
      d_.edidPage.SelectEdidPreset();
      if (int rc = ReadBack(); rc != kExitDone) return rc;
      if (ActivePreset() != r_.number)
        return Refused("The box presents preset " + std::to_string(ActivePreset()));
      out_ << kEdidPresetNames[static_cast<size_t>(r_.number)] << "\n";
      return kExitDone;
    }
    // read
    s_.edidView.SetSelection(edid_ids::kSelectionList, r_.number);
    const size_t mark = s_.Mark();
    d_.edidPage.ReadEdidFromDevice();
    if (int rc = s_.WaitForReply(mark, code::kEdidData,
                                 "the EDID of preset " + std::to_string(r_.number));
        rc != kExitDone)
      return rc;
    const EdidImage& image = d_.edidPage.image;
    if (!r_.output.empty()) {
      const bool text = r_.output.size() >= 4 && r_.output.substr(r_.output.size() - 4) == ".txt";
      const std::string bytes =
          text ? FormatEdidTextFile(image)
               : std::string(reinterpret_cast<const char*>(image.data()), image.size());
      if (const std::string problem = WriteFileWhole(r_.output, bytes); !problem.empty()) {
        s_.Error(problem);
        return kExitFileError;
      }
      out_ << r_.output << "\n";
      return kExitDone;
    }
    const EdidTexts texts = ShowEdid(image);
    const std::string name = kEdidPresetNames[static_cast<size_t>(r_.number)];
    out_ << (r_.json ? FormatEdidJson(name, texts) : FormatEdidReadable(name, texts));
    return kExitDone;
  }

  int EdidWrite() {
    // The file first: nothing goes to the box when it cannot be read.
    s_.host().fileChoice = r_.file;
    size_t mark = s_.OutcomeMark();
    d_.edidPage.OpenEdidFile();
    const Outcome* opened = s_.OutcomeSince(mark, Operation::kEdidOpen);
    if (!opened || !opened->done()) return kExitFileError;
    if (int rc = ConnectAndRead(); rc != kExitDone) return rc;
    s_.edidView.SetSelection(edid_ids::kSelectionList, kFirstUserPreset + r_.number - 1);
    mark = s_.OutcomeMark();
    d_.edidPage.WriteUserEdid();
    // Refused before anything was sent ("There is no valid EDID data !"), or the box's word.
    if (!s_.OutcomeSince(mark, Operation::kEdidWrite)) {
      const int rc = s_.WaitForOutcome(mark, Operation::kEdidWrite,
                                       "the EDID written to USER" + std::to_string(r_.number));
      if (rc != kExitDone) return rc;
    }
    return s_.OutcomeSince(mark, Operation::kEdidWrite)->done() ? kExitDone : kExitFailed;
  }

  int InfoFrame() {
    s_.utilityView.SetSelection(utility_ids::kPacketList, r_.number);
    const size_t mark = s_.Mark();
    d_.utilityPage.ReadInfoFrame();
    const std::string name = kPacketListEntries[static_cast<size_t>(r_.number)];
    if (int rc = s_.WaitForReply(mark, code::kInfoFrame, "the InfoFrame " + name); rc != kExitDone)
      return rc;
    if (!d_.utilityPage.packet) return Refused("No InfoFrame came");
    PrintInfoFramePacket(out_, name, *d_.utilityPage.packet, r_.json);
    return kExitDone;
  }

  static std::string StartText(const MonitorPage& m) {
    char text[64];
    std::snprintf(text, sizeof text, "%02d-%02d %02d:%02d:%02d (year %02d)", m.startMonth,
                  m.startDay, m.startHour, m.startMinute, m.startSecond, m.startYear);
    return text;
  }

  static std::string SettingsText(const MonitorPage& m) {
    return std::to_string(m.slotLength) + (m.slotUnit ? " Minutes" : " Seconds") + " a slot, " +
           (m.triggerMode ? "loss of signal only" : "image difference and loss of signal") +
           " (2040 slots:" + m.totalTime + ")";
  }

  int Monitor() {
    MonitorPage& m = d_.monitorPage;
    if (r_.action == "start") {
      if (env_.localTime) m.localTime = env_.localTime;
      s_.monitorView.SetRadio(monitor_ids::kSeconds, r_.slotUnit);
      s_.monitorView.SetText(monitor_ids::kSlotLength, std::to_string(r_.number));
      s_.monitorView.SetRadio(monitor_ids::kImageAndLoss, r_.triggerMode);
      const size_t started = s_.OutcomeMark();
      m.NewStart();
      const Outcome* start = s_.OutcomeSince(started, Operation::kMonitorStart);
      if (!start || !start->done()) return kExitBadArgument;
      const StartTime sent{m.startYear, m.startMonth,  m.startDay,
                           m.startHour, m.startMinute, m.startSecond};
      const size_t mark = s_.Mark();
      m.ReadStatusRecord();
      if (int rc = s_.WaitForReply(mark, code::kMonitorRecord, "the recording's settings");
          rc != kExitDone)
        return rc;
      // The box keeps five bits of the year.
      const bool taken = static_cast<int>(m.slotLength) == r_.number && m.slotUnit == r_.slotUnit &&
                         m.triggerMode == r_.triggerMode && m.startMonth == sent.month &&
                         m.startDay == sent.day && m.startHour == sent.hour &&
                         m.startMinute == sent.minute && m.startSecond == sent.second &&
                         (m.startYear & 31) == (sent.year & 31);
      if (!taken) return Refused("The box did not take the recording's settings");
      out_ << "Recording from " << StartText(m) << ": " << SettingsText(m) << "\n";
      return kExitDone;
    }
    const size_t mark = s_.Mark();
    m.ReadStatusRecord();
    if (int rc = s_.WaitForReply(mark, code::kMonitorRecord, "the recording"); rc != kExitDone)
      return rc;
    const MonitorTimeline timeline = m.Timeline();
    out_ << "Start:     " << StartText(m) << "\n"
         << "Settings:  " << SettingsText(m) << "\n"
         << "Status:    " << (m.workingStatus == 0 ? "Working" : "Stopped") << "\n"
         << "Slots:     " << m.record.size() << " recorded, " << timeline.triggered().size()
         << " triggered\n";
    for (const int slot : timeline.triggered())
      out_ << "  " << timeline.SlotText(slot) << "\n";
    for (size_t row = 0; row * 100 < m.record.size(); ++row) {
      std::string label = std::to_string(row * 100 + 1);
      label.insert(0, label.size() < 4 ? 4 - label.size() : 0, ' ');
      out_ << label << " " << m.record.substr(row * 100, 100) << "\n";
    }
    if (!r_.save) return kExitDone;
    const size_t saving = s_.OutcomeMark();
    m.Save();
    const Outcome* saved = s_.OutcomeSince(saving, Operation::kMonitorSave);
    if (!saved || saved->result == Result::kFileError) return kExitFileError;
    return saved->done() ? kExitDone : kExitFailed;  // nothing recorded to save
  }

  int Preview() {
    const size_t mark = s_.OutcomeMark();
    d_.capture.UpdateImage();
    if (const Outcome* refused = s_.OutcomeSince(mark, Operation::kPreview); refused)
      return Refused("The preview could not be asked for");
    // The capture gives a preview up by itself when none comes.
    if (int rc = s_.WaitForOutcome(mark, Operation::kPreview, "the preview", std::nullopt);
        rc != kExitDone)
      return rc;
    if (!s_.OutcomeSince(mark, Operation::kPreview)->done()) {
      s_.Error("no box answered on " + s_.PortLabel() + ": no preview came");
      return kExitNoAnswer;
    }
    const PreviewImage& picture = d_.capture.previewImage;
    const bool bitmap = PreviewFormatOf(r_.output) == PreviewFormat::kBmp;
    if (const std::string problem = WriteFileWhole(
            r_.output, bitmap ? EncodePreviewBmp(picture) : EncodePreviewPng(picture));
        !problem.empty()) {
      s_.Error(problem);
      return kExitFileError;
    }
    out_ << r_.output << "\n";
    return kExitDone;
  }

  int Capture() {
    if (d_.timingPage.hActive == 0)
      return Refused("The box receives no signal: nothing to capture");
    // With -o the numbered file is made in a folder of its own beside FILE and then takes
    // FILE's name: no numbered file of the user's is touched.
    std::string folder = ".";
    if (!r_.output.empty()) {
      if (const std::string problem = CheckOutput(r_.output); !problem.empty()) {
        s_.Error(problem);
        return kExitFileError;
      }
      std::string pattern = DirectoryOf(r_.output) + "/.signal-cli-XXXXXX";
      if (!::mkdtemp(pattern.data())) {
        s_.Error("Cannot write " + r_.output + ": " + std::strerror(errno));
        return kExitFileError;
      }
      folder = pattern;
    }
    struct FolderCleanup {
      std::string folder;
      ~FolderCleanup() {
        if (folder == ".") return;
        std::error_code ignored;
        fs::remove_all(folder, ignored);
      }
    } cleanup{folder};
    d_.capture.workingDirectory = folder;
    const bool line = r_.action == "line";
    const Operation operation = line ? Operation::kLineCapture : Operation::kFrameCapture;
    // The numbered name in that folder is not the file's: the result line names it.
    if (folder != ".")
      s_.hideMessageOf = [operation](const Outcome& o) {
        return o.operation == operation && !o.files.empty();
      };
    if (line) s_.timingView.SetInt(timing_ids::kLineNumber, r_.number);

    const size_t mark = s_.OutcomeMark();
    line ? d_.capture.AnalyseLine() : d_.capture.UploadWholeImage();
    // Refused before anything was sent; a refusal that says why (a raw network port, whose
    // rate cannot change) has said so.
    if (const Outcome* refused = s_.OutcomeSince(mark, operation))
      return refused->message.empty() ? Refused("The capture could not start") : kExitFailed;
    ProgressBar bar(err_, env_.errIsTerminal);
    // Done once the outcome is told and the port is back at 115200 baud.
    const auto ended = [&] {
      bar.Show(d_.timingPage.uploadProgress);
      return s_.OutcomeSince(mark, operation) && !d_.capture.rateRestorePending;
    };
    int rc = s_.Wait(ended, "the capture", std::nullopt);
    bar.Finish();
    if (rc == kExitInterrupted) {
      // Stop the box's transfer and let timer 6 bring the port back to 115200 baud.
      s_.host().ClearInterrupt();
      d_.capture.CancelUpload();
      s_.Wait([this] { return !d_.capture.rateRestorePending; }, "the end of the capture",
              std::chrono::milliseconds(kUploadStartWait + 1000));
      return kExitInterrupted;
    }
    if (rc != kExitDone) return rc;

    const Outcome& outcome = *s_.OutcomeSince(mark, operation);
    if (outcome.files.empty()) {
      switch (outcome.result) {
        case Result::kNoAnswer:
          s_.Error("no box answered on " + s_.PortLabel() + ": no picture came");
          return kExitNoAnswer;
        case Result::kFileError:
          return line ? kExitFailed : kExitFileError;
        default:
          return kExitFailed;  // the line never came, or the box's data did not fit
      }
    }
    std::string written = outcome.files.front();
    if (!r_.output.empty()) {
      if (::rename((folder + "/" + written).c_str(), r_.output.c_str()) != 0) {
        s_.Error("Cannot write " + r_.output + ": " + std::strerror(errno));
        return kExitFileError;
      }
      written = r_.output;
    }
    out_ << written << "\n";
    return outcome.done() ? kExitDone : kExitFailed;
  }

  int Address() {
    if (int rc = s_.Connect(port); rc != kExitDone) return rc;
    if (r_.action == "write") {
      char group[3], device[3];
      std::snprintf(group, sizeof group, "%02X", r_.newAddress.group);
      std::snprintf(device, sizeof device, "%02X", r_.newAddress.device);
      s_.addressView.SetText(address_ids::kNewGroup, group);
      s_.addressView.SetText(address_ids::kNewDevice, device);
      const size_t writing = s_.OutcomeMark();
      d_.addressDialog.WriteAddressToDevice();
      const Outcome* written = s_.OutcomeSince(writing, Operation::kAddressWrite);
      if (!written || written->result == Result::kBadInput) return kExitBadArgument;
      if (!written->done()) return kExitPortUnavailable;  // the link went down
    }
    const size_t mark = s_.OutcomeMark();
    d_.addressDialog.ReadAddressFromDevice();
    if (int rc = s_.WaitForOutcome(mark, Operation::kAddressRead, "the address read");
        rc != kExitDone)
      return rc;
    if (r_.action == "write" && !(d_.TargetAddress() == r_.newAddress))
      return Refused("The box reports address " + FormatAddress(d_.TargetAddress()));
    out_ << FormatAddress(d_.TargetAddress()) << "\n";
    return kExitDone;
  }

  // The console's traffic log, open from before the link comes up, printed a batch at a
  // time as the rows follow it.
  int Log() {
    TrafficLog& log = d_.trafficLog;
    log.SetFilter(r_.filter);  // the parser has checked it
    d_.SetTrafficLogOpen(true);
    size_t printed = 0;
    const auto print = [&] {
      log.FlushUnframed();
      const TrafficLog::RowChange change = log.Sync();
      printed -= std::min(printed, change.removedFront);
      if (printed == log.RowCount()) return;
      for (; printed < log.RowCount(); ++printed)
        out_ << PrintableLine(FormatTrafficLine(log.Row(printed))) << "\n";
      out_ << std::flush;
    };
    // A port that does not open has logged nothing worth printing: the message says why.
    if (int rc = s_.Connect(port); rc != kExitDone) return rc;
    int rc = s_.Wait(
        [&] {
          print();
          return false;
        },
        "the log", r_.duration, false);
    // The time asked for is over, or Ctrl+C: both are the log's normal end.
    if (rc == kExitNoAnswer || rc == kExitInterrupted) rc = kExitDone;
    print();
    d_.SetTrafficLogOpen(false);
    return rc;
  }

  const CliRequest& r_;
  CliSession& s_;
  ConsoleDialog& d_;
  const CliEnvironment& env_;
  std::ostream& out_;
  std::ostream& err_;
};

}  // namespace

CliPort ChooseCliPort(const std::string& text, const CliEnvironment& environment) {
  CliPort chosen;
  if (text.empty() || ParseComPort(text)) {
    if (!text.empty()) chosen.number = *ParseComPort(text);
    chosen.name = "COM" + std::to_string(chosen.number);
    chosen.ports = environment.systemPorts
                       ? environment.systemPorts
                       : std::function<PortDirectory()>(PortDirectory::FromSystem);
  } else {
    const std::string path = text.find('/') == std::string::npos ? "/dev/" + text : text;
    chosen.name = path;
    chosen.ports = [path] { return PortDirectory::Build("", {path}); };
    // The port given is COM1, whatever the console's map of network ports says.
    chosen.networkPortMap = false;
  }
  return chosen;
}

int RunSignalCli(const std::vector<std::string>& args, const CliEnvironment& environment) {
  std::ostream& out = *environment.out;
  std::ostream& err = *environment.err;
  const CliParse parse = ParseCommandLine(args);
  if (!parse.request) {
    err << "signal-cli: " << parse.error << "\n";
    return kExitBadArgument;
  }
  const CliRequest& r = *parse.request;
  if (r.version) {
    out << kVersion;
    return kExitDone;
  }
  if (r.help) {
    out << (r.command.empty() ? ProgramHelp() : CommandHelp(r.command));
    return kExitDone;
  }
  // The watcher runs a loop of its own on the line, without the console's window.
  if (r.command == "watch") return RunWatch(r, environment);

  // The port: a COM number of the console's list, or a device of its own as COM1.
  ConsoleDialog::Options options;
  options.executablePath = environment.executablePath;
  options.settingsEnvironment = environment.settingsEnvironment;
  const CliPort chosen = ChooseCliPort(r.port, environment);
  const int port = chosen.number;
  options.ports = chosen.ports;
  options.networkPortMap = chosen.networkPortMap;
  // Messages call a device given by its path by that path, not by the COM1 it stands in.
  const std::string givenPath =
      chosen.name == "COM" + std::to_string(chosen.number) ? std::string() : chosen.name;

  // A device server has as long to answer the connection as the box has to answer.
  options.connectTimeout = r.timeout;
  CliHost ownHost;
  CliHost& host = environment.host ? *environment.host : ownHost;
  CliSession session(host, std::move(options), err, r.timeout);
  session.givenPath = givenPath;
  if (r.address) session.dialog().SelectTarget(*r.address);
  Commands commands(r, session, environment);
  commands.port = port;
  const int rc = commands.Run();
  out << std::flush;
  return rc;
}

}  // namespace sc
