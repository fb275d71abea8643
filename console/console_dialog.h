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
#include "console/port_session.h"
#include "console/signal_freshness.h"
#include "console/status_bar_model.h"
#include "console/status_panel.h"
#include "console/traffic_log.h"
#include "edid/edid_page.h"
#include "infoframe/utility_page.h"
#include "link/frame.h"
#include "link/network_port_map.h"
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
inline constexpr const char* kAboutMenuText = "&About TQ5RCONSOLE...";

// The status chain's one-shot repeat of the status request (timer 7).
inline constexpr int kStatusRecheckTimer = 7;
// The one repeat of the status request after a status reply with HDCP off (ms).
inline constexpr int kStatusRecheckWait = 2000;

// The link and capture state of the main window, as its observers are told it.
struct ConsoleState {
  bool linkUp = false;
  bool searchActive = false;
  bool deviceFound = false;
  bool connecting = false;
  bool uploadActive = false;
  bool previewBusy = false;
  bool lineMode = false;
  bool inputIsSdi = false;
  DeviceAddress target;
  int port = 1;
  int lineRate = 115200;
  friend bool operator==(const ConsoleState&, const ConsoleState&) = default;
};

class ConsoleDialog : public CoreWindow,
                      public CommandSender,
                      public PortSessionOwner,
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
    // The longest a connection to a network port may take.
    std::chrono::milliseconds connectTimeout = kDefaultConnectTimeout;
    // Whether the COM numbers mapped to network ports (the file beside the settings)
    // count; signal-cli given a port of its own leaves them out.
    bool networkPortMap = true;
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
  void SelectComPort() { session_.SelectComPort(); }
  void ToggleLink() { session_.ToggleLink(capture.uploadActive()); }
  void SearchDevice() { session_.SearchDevice(capture.uploadActive()); }
  void OnTimer(int id) override;
  void OnPortMessage(unsigned message, unsigned first, int port) override;

  // Send operations.
  void SendCommand(uint16_t code) override;
  void SendCommandWithData(uint16_t code, int count, const uint8_t* bytes) override;

  // Receive path.
  int HandleReceivedByte(unsigned byte, int port);
  void ParseReplyByte(uint8_t byte);
  void MatchSearchReply(uint8_t byte) { session_.MatchSearchReply(rx, byte); }
  // Whether a reply from `frame` passes while the console addresses `target`.
  static bool AddressFilter(DeviceAddress target, DeviceAddress frame);

  // Re-opens the current port at another rate (uploads); failures are silent.
  void ReopenAtBaud(int rate) { session_.ReopenAtBaud(rate); }

  // The address list's book items rebuilt from the book; re-targets a selected entry.
  void RefreshAddressList();
  // An item of the "Address:" list was chosen.
  void SelectAddress();
  // "Address Management": the address dialog runs modally, then the list is refreshed.
  void OpenAddressManagement();
  // Commands go to `address` from now on (signal-cli's --address, as an entry of the
  // address list would).
  void SelectTarget(DeviceAddress address);
  // The COM port the link icon opens, without opening it.
  void ChoosePort(int number) { session_.ChoosePort(number); }

  // "Link > Network port...": COM numbers mapped to network ports, kept in their file
  // beside the settings file (networkPortsPath). Mapping checks the address, writes the
  // file and reads the ports again; "" when done, else why not (nothing changed then).
  const NetworkPortMap& networkPorts() const { return networkPorts_; }
  std::string MapNetworkPort(int port, const std::string& address);
  std::string UnmapNetworkPort(int port);
  std::string networkPortsPath;
  // Whether the network port mapped to COM `port` gives way to another entry of that
  // number (SIGNAL_CONSOLE_PORTS wins over the map).
  bool NetworkPortOverridden(int port) const;

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

  // The link and capture state. Only the core changes it; onStateChanged hears of each
  // change once, after the entry point that made it (a click, a reply, a timer step).
  bool linkUp() const { return session_.linkUp(); }
  bool searchActive() const { return session_.searchActive(); }
  bool deviceFound() const { return session_.deviceFound(); }
  // A network port is being connected to (the link's, or the search's).
  bool connecting() const { return session_.connecting(); }
  bool uploadActive() const { return capture.uploadActive(); }
  bool previewBusy() const { return capture.previewBusy(); }
  bool lineMode() const { return capture.lineMode(); }
  bool inputIsSdi() const { return inputIsSdi_; }
  DeviceAddress TargetAddress() const { return targetAddress_; }
  // The input the lamps show (true: SDI), nothing while neither is lit.
  std::optional<bool> shownInputIsSdi() const { return shownInput_; }
  int port() const { return session_.port(); }
  ConsoleState State() const;
  std::function<void(const ConsoleState&)> onStateChanged;

  AddressBook addressBook;
  std::string settingsPath;

  // The status the box last reported (reply 0x8090), nothing before the first.
  std::optional<SignalStatus> signalStatus;
  // Whether the status panel and the Timing page show live values (status_chain.cpp).
  SignalFreshness freshness;
  // Where the pages' file dialogs start: the folder the last one chose.
  FileDialogFolder fileDialogFolder;
  // Told how each operation of the pages, the capture and the address dialog ended.
  std::function<void(const Outcome&)> onOutcome;

  // Exchanged values.
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

  // The preview, the whole-frame and line captures: their buffers, their flags and the
  // capture's part of timers 6 and 8.
  FrameCapture capture;

  PortSession& portSession() { return session_; }
  SerialPort& serialPort() { return session_.serialPort(); }
  const PortDirectory& ports() const { return session_.ports(); }
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
  // The handler of a reply code of the code table (OnNoAction for the codes nobody acts on).
  static void (ConsoleDialog::*HandlerOf(uint16_t reply))();
  // Shows a message box; the status bar is brought up to date first.
  void ShowMessage(const std::string& text);
  // Brings the status bar up to date and tells onStateChanged of a changed state.
  void SyncStatus();
  // Hands a frame to the serial driver and tells the traffic log and, when `track`, the
  // request tracker.
  void Transmit(const uint8_t* frame, int size, bool track = true);
  // The parser's verdict on a complete reply: dropped (and why), or taken.
  void DropReply(uint16_t code, TrafficMark mark);
  void TakeReply(uint16_t code);
  // The query 0x8081 first resets the Timing page's upload progress.
  void SendHpdQuery();
  // Marks the panel and the Timing page as not live, or live again, when that changed.
  void ShowFreshness();

  // What the port session asks of the window.
  void LinkCameUp() override { SendInputQuery(); }
  void ShowSessionMessage(const std::string& text) override { ShowMessage(text); }
  void TransmitProbe(const uint8_t* frame, int size) override { Transmit(frame, size, false); }
  void ResetReceiver() override { rx.state = FrameAssembler::kIdle; }
  void SearchStarted() override { trafficLog.SearchStarted(); }
  void PortsRefreshed() override { statusBar.PortsChanged(); }
  void DeviceWentAway() override { statusBar.DeviceGone(); }
  void SessionChanged() override { SyncStatus(); }
  DeviceAddress ProbeTarget() const override { return targetAddress_; }

  // The status chain (status_chain.cpp).
  void StatusRecheck();  // timer 7

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

  friend struct ConsoleTestAccess;

  // Bytes that came while a reply handler's message box was open.
  bool receiving_ = false;
  std::vector<uint8_t> heldBytes_;
  static constexpr size_t kMaxHeldBytes = 1 << 16;

  Host& host_;
  Options options_;
  PortSession session_;
  bool inputIsSdi_ = false;
  std::optional<bool> shownInput_;
  bool statusRecheckArmed_ = false;
  // The status request in flight is the re-check's: its reply stands alone, without a
  // timing before it.
  bool statusRecheckAsked_ = false;
  NetworkPortMap networkPorts_;
  std::string SaveNetworkPorts(const NetworkPortMap& map);
  DeviceAddress targetAddress_;
  std::optional<ConsoleState> toldState_;
  TrafficLog* traffic_ = nullptr;
  std::array<ReplyHandler, kReplyHandlerCount> replyHandlers_{};
  std::array<uint8_t, 300> txFrame_{};
  std::array<uint8_t, 1 + kDrainBufferSize> rxBatch_{};
};

}  // namespace sc
