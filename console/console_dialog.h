#pragma once
// The console's main window (dialog 102) as a plain object: it owns the serial link, the
// send operations, the reply parser and its handler table, connection and search, the
// address book, the status texts and the four tab pages. The Qt main window binds its
// widgets to it through a View and forwards clicks, selections and timer ticks.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "addressing/address_book.h"
#include "addressing/address_dialog.h"
#include "console/front_panel.h"
#include "console/status_bar_model.h"
#include "console/status_panel.h"
#include "console/traffic_log.h"
#include "edid/edid_page.h"
#include "infoframe/utility_page.h"
#include "link/frame.h"
#include "link/port_directory.h"
#include "link/serial_port.h"
#include "monitor/monitor_page.h"
#include "timing/frame_capture.h"
#include "timing/timing_page.h"
#include "window/command_sender.h"
#include "window/host.h"
#include "window/view.h"

namespace sc {

// Texts the main window shows (caption "TQ-KVAD").
inline constexpr const char* kMessageCaption = "TQ-KVAD";
inline constexpr const char* kWindowCaption = "Signal Analyzer V1.19";
inline constexpr const char* kLinkDownMessage = "Com port is not on yet.";
inline constexpr const char* kTooMuchParameterMessage = "Too much parameter.";
inline constexpr const char* kPortUnavailableMessage =
    "Can not find this port or used by other application";
inline constexpr const char* kNoDeviceMessage = "Can not find available device for this console!";
inline constexpr const char* kSearchingText = "Please wait.....";
inline constexpr const char* kAboutMenuText = "&About TQ5RCONSOLE...";

// Timers of the main window (6 and 8, the upload's, are frame capture's).
inline constexpr int kSearchTimer = 4;
inline constexpr int kStatusRecheckTimer = 7;

// The one repeat of the status request after a status reply with HDCP off (ms).
inline constexpr int kStatusRecheckWait = 2000;

// Search step periods (ms): first port, each further port, each byte of a reply.
inline constexpr int kFirstProbeWait = 300;
inline constexpr int kProbeWait = 400;
inline constexpr int kReplyByteWait = 200;

class ConsoleDialog : public CoreWindow,
                      public CommandSender,
                      public PortOwner,
                      public TimerTarget {
 public:
  struct Options {
    // Full path of the running program; empty means /proc/self/exe.
    std::string executablePath;
    // Where the settings file may fall back to; nothing means this process's environment.
    std::optional<SettingsEnvironment> settingsEnvironment;
    // How to find the serial ports; empty means SIGNAL_CONSOLE_PORTS and this machine's.
    std::function<PortDirectory()> ports;
    // Where UUCP lock files are looked for and made; nothing means /run/lock, /var/lock.
    std::optional<std::vector<std::string>> lockDirectories;
  };

  ConsoleDialog(Host& host, Options options);
  explicit ConsoleDialog(Host& host) : ConsoleDialog(host, Options{}) {}
  ~ConsoleDialog() override;

  // Start-up, once the window's controls exist and before it is shown.
  bool Startup();
  // Window destruction: releases the frame-data buffer and stops the timers.
  void Destroy();

  // Window events.
  void OnTabChanged();
  void OnSystemCommand(unsigned command);
  void SelectComPort();
  void ToggleLink();
  void SearchDevice();
  void OnTimer(int id) override;
  void OnPortMessage(unsigned message, unsigned first, int port) override;

  // Send operations.
  void SendCommand(uint16_t code) override;
  void SendCommandWithData(uint16_t code, int count, const uint8_t* bytes) override;

  // Receive path.
  int HandleReceivedByte(unsigned byte, int port);
  void ParseReplyByte(uint8_t byte);
  void MatchSearchReply(uint8_t byte);
  // Whether a reply from `frame` passes while the console addresses `target`.
  static bool AddressFilter(DeviceAddress target, DeviceAddress frame);

  // Re-opens the current port at another rate (uploads); failures are silent.
  void ReopenAtBaud(int rate);

  // The address list's book items rebuilt from the book; re-targets a selected entry.
  void RefreshAddressList();
  // An item of the "Address:" list was chosen.
  void SelectAddress();
  // "Address Management": the address dialog runs modally, then the list is refreshed.
  void OpenAddressManagement();

  // Front-panel controls (front_panel.cpp): the HPD radios, volume "-" and "+", the HDMI
  // and SDI lamps and texts.
  void HpdOn();
  void HpdOff();
  void VolumeDown();
  void VolumeUp();
  void SelectHdmiInput();
  void SelectSdiInput();

  struct ReplyHandler {
    uint16_t code;
    void (ConsoleDialog::*handler)();
    // Payload bytes the handler reads; a shorter reply is dropped rather than read short.
    size_t minPayload = 0;
  };
  static constexpr int kReplyHandlerCount = 35;
  const std::array<ReplyHandler, kReplyHandlerCount>& ReplyHandlerTable() const {
    return replyHandlers_;
  }

  // Told each reply code just before its handler runs (diagnostics and tests).
  std::function<void(uint16_t code)> onDispatch;

  // Link and capture flags.
  bool linkUp = false;
  bool uploadActive = false;
  bool previewBusy = false;
  bool lineMode = false;
  bool searchActive = false;
  bool deviceFound = false;
  bool inputIsSdi = false;
  bool statusRecheckArmed = false;
  // Which half of an upload start timer 8 runs next.
  int uploadStep = 0;

  // Port settings.
  int baud = 115200;
  int port = 1;
  char parity = 'N';
  int dataBits = 8;
  int stopBits = 1;
  unsigned eventMask = 3;
  int savedPort = 1;

  DeviceAddress TargetAddress;
  AddressBook addressBook;
  std::string settingsPath;

  // Exchanged values.
  std::string searchStatus;
  // The "Received Signal info" panel's ten texts.
  StatusPanel statusPanel;
  int hpdChoice = -1;  // 0 "ON", 1 "OFF", -1 neither
  int volumePercent = 0;

  // The reply being assembled: rxFrame, rxLength and rxState.
  FrameAssembler rx{kReplyLead};

  // Pages.
  TimingPage timingPage;
  UtilityPage utilityPage;
  MonitorPage monitorPage;
  EdidPage edidPage;
  AddressDialog addressDialog;

  // The status bar's texts and the requests awaiting an answer.
  StatusBarModel statusBar;
  // The traffic log's entries. Frames are recorded only while the log is open: closed, the
  // send and receive paths pay one pointer test.
  TrafficLog trafficLog;
  void SetTrafficLogOpen(bool open);
  bool trafficLogOpen() const { return traffic_ != nullptr; }
  // Brings the status bar up to date with the window's flags. Clicks, replies, timer steps
  // and sends do so by themselves; frame capture calls it after it changes previewBusy,
  // uploadActive, lineMode or the Timing page's upload progress anywhere else.
  void CaptureStateChanged() { SyncStatus(); }

  // The preview, the whole-frame and line captures: their buffers and the capture's part
  // of timers 6 and 8.
  FrameCapture capture;

  SerialPort& serialPort() { return *serial_; }
  const PortDirectory& ports() const { return ports_; }
  Host& host() { return host_; }

  // Empties the ten status texts.
  void ClearStatusPanel();

  // The status chain from its first request, 0x8082 (which first resets the Timing page's
  // upload progress): the link coming up, a book entry chosen, signal-cli reading back
  // what it set.
  void SendInputQuery();

 protected:
  void Exchange(ControlExchange& exchange) override;

 private:
  void BuildReplyHandlerTable();
  // Shows a message box; the status bar is brought up to date first.
  void ShowMessage(const std::string& text);
  void SyncStatus();
  // Hands a frame to the serial driver and tells the traffic log and, when `track`, the
  // request tracker.
  void Transmit(const uint8_t* frame, int size, bool track = true);
  // The parser's verdict on a complete reply: dropped (and why), or taken.
  void DropReply(uint16_t code, TrafficMark mark);
  void TakeReply(uint16_t code);
  // The query 0x8081 first resets the Timing page's upload progress.
  void SendHpdQuery();
  void RefreshPorts();
  int OpenCurrentPort(int baudRate, int writeBufferSize);
  void SetLinkIcon(bool up);
  void ShowPortUnavailable();
  // Tries port, port+1 ... 99 for the search; true when one opened (probe sent).
  bool ProbeFrom(int firstPort);
  void SearchStep();
  void OnPortGone(int port);

  // Timer steps.
  void UploadEndStep();    // timer 6
  void StatusRecheck();    // timer 7
  void UploadStartStep();  // timer 8

  // Front panel.
  void SetHotPlug(int choice);
  void SetVolume(const VolumeSetting& setting);
  void ShowInput(bool sdi);

  // Reply handlers.
  void OnNoAction() {}
  void OnHpdReply();
  void OnInputReply();
  void OnVolumeReply();
  void OnEdidPresetReply();
  void OnTimingReply();
  void OnStatusReply();
  void OnSignalNotice();
  // The panel's timing text from the Timing page's decoded fields.
  void ShowTimingText();
  void OnEdidData();
  void OnAcknowledgement();
  void OnInfoFrameData();
  void OnMonitorRecord();
  void OnAddressReply();
  void OnFrameChunk();
  void OnPreviewChunk();

  // Marks a port step (a port choice, the link icon, a search or one of its steps) as
  // under way for as long as it runs, message boxes included.
  class PortStep {
   public:
    explicit PortStep(bool& flag) : flag_(flag), outer_(flag) { flag_ = true; }
    ~PortStep() { flag_ = outer_; }
    PortStep(const PortStep&) = delete;
    PortStep& operator=(const PortStep&) = delete;

   private:
    bool& flag_;
    bool outer_;
  };
  bool portStepRunning_ = false;
  // Bytes that came while a reply handler's message box was open.
  bool receiving_ = false;
  std::vector<uint8_t> heldBytes_;
  static constexpr size_t kMaxHeldBytes = 1 << 16;

  Host& host_;
  Options options_;
  PortDirectory ports_;
  std::unique_ptr<SerialPort> serial_;
  TrafficLog* traffic_ = nullptr;
  // The rate the port was last opened at (115200, or 512000 during an upload).
  int lineRate_ = 115200;
  std::array<ReplyHandler, kReplyHandlerCount> replyHandlers_{};
  std::array<uint8_t, 300> txFrame_{};
  std::array<uint8_t, 1 + kDrainBufferSize> rxBatch_{};
  std::array<uint8_t, kFrameOverhead> searchProbe_{};
};

}  // namespace sc
