#include "console/console_dialog.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>

#include "console/control_ids.h"
#include "console/measured_signal.h"
#include "link/codes.h"

namespace sc {

namespace {

// Brings the status bar up to date when an entry point of the window returns, whichever
// way it returns.
class StatusSyncOnReturn {
 public:
  explicit StatusSyncOnReturn(std::function<void()> sync) : sync_(std::move(sync)) {}
  ~StatusSyncOnReturn() { sync_(); }

 private:
  std::function<void()> sync_;
};

std::string CurrentFolder() {
  char path[PATH_MAX];
  return ::getcwd(path, sizeof path) ? std::string(path) : std::string();
}

}  // namespace

ConsoleDialog::ConsoleDialog(Host& host, Options options)
    : timingPage(
          *this, [this] { return capture.uploadActive(); },
          [this] {
            statusBar.requests.NameNextRequest("Update status");
            SendInputQuery();
            statusBar.requests.NameNextRequest(nullptr);  // also when nothing went out
          }),
      utilityPage(*this),
      monitorPage(host, *this),
      edidPage(host, *this),
      addressDialog(host, addressBook, settingsPath,
                    {[this] { return linkUp(); },
                     [this](const uint8_t* bytes, int count) { Transmit(bytes, count); }}),
      statusBar(host),
      capture(host, *this, timingPage,
              {[this] { return linkUp(); }, [this](int rate) { ReopenAtBaud(rate); },
               [this] { SyncStatus(); },
               [this] {
                 std::string why;
                 return serialPort().CanChangeRate(&why) ? std::string() : why;
               },
               [this] { return serialPort().RateAnswer(); }}),
      host_(host),
      options_(std::move(options)),
      session_(host, *this, *this,
               {options_.ports, options_.lockDirectories, options_.connectTimeout}) {
  host_.SetTimerTarget(this);
  statusBar.deviceOf = [this](int number) { return ports().PathFor(number); };
  const OutcomeSink tell = [this](const Outcome& outcome) {
    if (onOutcome) onOutcome(outcome);
  };
  edidPage.onOutcome = tell;
  utilityPage.onOutcome = tell;
  monitorPage.onOutcome = tell;
  addressDialog.onOutcome = tell;
  capture.onOutcome = tell;
  edidPage.dialogFolder = monitorPage.dialogFolder = capture.dialogFolder = &fileDialogFolder;
}

ConsoleDialog::~ConsoleDialog() {
  host_.SetTimerTarget(nullptr);
  // The worker ends and the port closes before anything it could call on is gone.
  session_.Close();
}

// ---------------------------------------------------------------------------------------
// Network ports

std::string ConsoleDialog::SaveNetworkPorts(const NetworkPortMap& map) {
  if (networkPortsPath.empty())
    return "The network ports cannot be kept: there is no settings folder.";
  if (const std::string problem = map.Save(networkPortsPath); !problem.empty()) return problem;
  networkPorts_ = map;
  session_.SetNetworkPorts(networkPorts_.entries());
  return {};
}

std::string ConsoleDialog::MapNetworkPort(int port, const std::string& address) {
  NetworkPortMap map = networkPorts_;
  if (const std::string problem = map.Set(port, address); !problem.empty()) return problem;
  return SaveNetworkPorts(map);
}

std::string ConsoleDialog::UnmapNetworkPort(int port) {
  if (networkPorts_.entries().count(port) == 0) return {};
  NetworkPortMap map = networkPorts_;
  map.Remove(port);
  return SaveNetworkPorts(map);
}

bool ConsoleDialog::NetworkPortOverridden(int port) const {
  const auto it = networkPorts_.entries().find(port);
  return it != networkPorts_.entries().end() && ports().PathFor(port) != it->second;
}

// ---------------------------------------------------------------------------------------
// Start-up and window events

bool ConsoleDialog::Startup() {
  // The controls as the window's layout creates them.
  view().SetItems(ids::kAddressList, InitialAddressListItems());
  view().SetItems(ids::kTabControl, {"Timing", "Ultilities", "Monitor", "EDID"});
  edidPage.Create();
  utilityPage.Create();
  monitorPage.Create();

  Push();
  view().SetIcon(ids::kMainDialog, ids::kIconApp);
  targetAddress_ = {0x00, 0x00};
  capture.Startup();
  BuildReplyHandlerTable();
  view().SetSelection(ids::kAddressList, 0);
  session_.Startup();
  view().SetSelection(ids::kTabControl, 0);
  view().SetVisible(ids::kTimingPage, true);
  view().SetVisible(ids::kUtilityPage, false);
  view().SetVisible(ids::kMonitorPage, false);
  view().SetVisible(ids::kEdidPage, false);
  rx.state = FrameAssembler::kIdle;
  edidPage.Push();
  // The Timing page shows its values as constructed: zeros, no radio checked.
  timingPage.Push();
  utilityPage.PrepareHeaderRows();

  const std::string executable =
      options_.executablePath.empty() ? RunningExecutablePath() : options_.executablePath;
  settingsPath = ResolveSettingsPath(executable, options_.settingsEnvironment
                                                     ? *options_.settingsEnvironment
                                                     : SettingsEnvironment::FromProcess());
  LoadAddressBook(settingsPath, addressBook,
                  [this](const std::string& text) { ShowMessage(text); });
  RefreshAddressList();
  if (options_.networkPortMap) {
    // The network ports live beside the settings file, in a file of their own.
    networkPortsPath = NetworkPortMap::PathBeside(settingsPath);
    std::vector<std::string> problems;
    networkPorts_ = NetworkPortMap::Load(networkPortsPath, &problems);
    session_.SetNetworkPorts(networkPorts_.entries());
    if (!problems.empty()) {
      std::string text = "Some network ports were not read and are left out:";
      for (size_t i = 0; i < problems.size() && i < 10; ++i)
        text += "\n" + problems[i];
      if (problems.size() > 10) text += "\n(and " + std::to_string(problems.size() - 10) + " more)";
      ShowMessage(text);
    }
  }

  // Saved files go to the current folder.
  statusBar.SetFilesFolder(CurrentFolder());
  SyncStatus();
  return true;
}

void ConsoleDialog::Destroy() {
  for (int id :
       {kSearchTimer, kUploadEndTimer, kStatusRecheckTimer, kUploadStartTimer, kRequestWatchTimer})
    host_.StopTimer(id);
  capture.Release();
}

void ConsoleDialog::OnTabChanged() {
  static constexpr int kPages[] = {ids::kTimingPage, ids::kUtilityPage, ids::kMonitorPage,
                                   ids::kEdidPage};
  const int selected = view().GetSelection(ids::kTabControl);
  if (selected < 0 || selected > 3) return;
  for (int i = 0; i < 4; ++i)
    view().SetVisible(kPages[i], i == selected);
}

void ConsoleDialog::OnSystemCommand(unsigned command) {
  if ((command & 0xFFF0) == ids::kAboutCommand) host_.RunModalDialog(ids::kAboutDialog);
}

void ConsoleDialog::Exchange(ControlExchange& exchange) {
  exchange.Text(ids::kSearchStatus, session_.searchStatus);
  statusPanel.Exchange(exchange);
  exchange.Radio(ids::kHpdOn, hpdChoice);
  exchange.Int(ids::kVolumeBox, volumePercent);
}

void ConsoleDialog::ClearStatusPanel() {
  statusPanel.Clear();
}

void ConsoleDialog::ShowMessage(const std::string& text) {
  SyncStatus();
  host_.ShowMessage(kMessageCaption, text);
}

void ConsoleDialog::OnTimer(int id) {
  const StatusSyncOnReturn sync([this] { SyncStatus(); });
  switch (id) {
    case kSearchTimer:
      // A tick that comes while a port step shows its message (the box runs a loop of its
      // own) would run a second step on the port the first one still holds; it waits for
      // the next tick.
      if (session_.stepRunning()) break;
      session_.SearchStep();
      break;
    case kUploadEndTimer:
      if (session_.stepRunning()) break;
      capture.UploadEndStep();
      break;
    case kStatusRecheckTimer:
      StatusRecheck();
      break;
    case kUploadStartTimer:
      if (session_.stepRunning()) break;
      capture.UploadStartStep();
      break;
    case kRequestWatchTimer:
      statusBar.requests.OnTimer();
      break;
    default:
      break;
  }
}

void ConsoleDialog::OnPortMessage(unsigned message, unsigned first, int portNumber) {
  const StatusSyncOnReturn sync([this] { SyncStatus(); });
  switch (message) {
    case kMsgByte:
      HandleReceivedByte(first, portNumber);
      break;
    case kMsgPortGone:
      session_.OnPortGone(portNumber);
      break;
    default:  // write complete and line events: nothing to do
      break;
  }
}

// ---------------------------------------------------------------------------------------
// Send operations

void ConsoleDialog::SendCommand(uint16_t code) {
  if (capture.uploadActive()) return;
  BuildFrameInto(txFrame_.data(), kCommandLead, targetAddress_, code, nullptr, 0);
  if (!linkUp()) {
    ShowMessage(kLinkDownMessage);
    return;
  }
  Transmit(txFrame_.data(), static_cast<int>(kFrameOverhead));
}

void ConsoleDialog::SendCommandWithData(uint16_t code, int count, const uint8_t* bytes) {
  if (count > static_cast<int>(kMaxCommandPayload)) {
    ShowMessage(kTooMuchParameterMessage);
    return;
  }
  if (count < 0 || (count > 0 && !bytes)) return;
  BuildFrameInto(txFrame_.data(), kCommandLead, targetAddress_, code, bytes,
                 static_cast<size_t>(count));
  if (!linkUp()) {
    ShowMessage(kLinkDownMessage);
    return;
  }
  Transmit(txFrame_.data(), count + static_cast<int>(kFrameOverhead));
}

void ConsoleDialog::Transmit(const uint8_t* frame, int size, bool track) {
  // The driver discards unread input before it writes: the rest of a reply begun before
  // this request never comes, and must not swallow the start of the next answer. What
  // came of it goes to the log as bytes outside any frame.
  if (rx.state != FrameAssembler::kIdle) {
    if (traffic_) traffic_->Unframed(rx.frame.data(), static_cast<size_t>(rx.state) + 1);
    rx.state = FrameAssembler::kIdle;
  }
  serialPort().SendBytes(frame, size);
  if (traffic_) traffic_->Sent(frame, static_cast<size_t>(size));
  if (track && size >= static_cast<int>(kFrameOverhead)) {
    statusBar.requests.Sent(static_cast<uint16_t>(frame[7] | frame[8] << 8));
    SyncStatus();
  }
}

void ConsoleDialog::SetTrafficLogOpen(bool open) {
  if (open == (traffic_ != nullptr)) return;
  if (!open) {
    trafficLog.FlushUnframed();
    traffic_ = nullptr;
    return;
  }
  traffic_ = &trafficLog;
  trafficLog.Note("Log opened: " + statusBar.link() + ", " + statusBar.port() + ", " +
                  statusBar.rate());
}

ConsoleState ConsoleDialog::State() const {
  ConsoleState state;
  state.linkUp = linkUp();
  state.searchActive = searchActive();
  state.deviceFound = deviceFound();
  state.connecting = connecting();
  state.uploadActive = capture.uploadActive();
  state.previewBusy = capture.previewBusy();
  state.lineMode = capture.lineMode();
  state.inputIsSdi = inputIsSdi_;
  state.target = targetAddress_;
  state.port = session_.port();
  state.lineRate = session_.lineRate();
  return state;
}

void ConsoleDialog::SyncStatus() {
  LinkState link;
  link.port = session_.port();
  link.linkUp = linkUp();
  link.searching = searchActive();
  link.portOpen = session_.portOpen();
  link.connecting = session_.connecting() && !session_.searchActive();
  link.rate = session_.lineRate();
  link.previewBusy = capture.previewBusy();
  link.uploadActive = capture.uploadActive();
  link.lineMode = capture.lineMode();
  link.uploadProgress = timingPage.uploadProgress;
  const unsigned changed = statusBar.Update(link);
  // The log notes the link's changes and each request that went unanswered.
  const std::vector<std::string> timedOut = statusBar.requests.TakeTimedOut();
  if (traffic_) {
    if (changed &
        (StatusBarModel::kLinkField | StatusBarModel::kPortField | StatusBarModel::kRateField))
      traffic_->Note(statusBar.link() + ", " + statusBar.port() + ", " + statusBar.rate());
    for (const std::string& note : timedOut)
      traffic_->Note(note);
  }
  ShowFreshness();
  const ConsoleState state = State();
  if (toldState_ == state) return;
  toldState_ = state;
  if (onStateChanged) onStateChanged(state);
}

// ---------------------------------------------------------------------------------------
// Receive path

int ConsoleDialog::HandleReceivedByte(unsigned byte, int portNumber) {
  if (portNumber <= 0 || portNumber > kLastPort) return -1;
  if (receiving_) {
    // A handler's message box is open (its loop delivered this): the bytes wait for the
    // pass that is under way, which takes them in order once the handler has returned.
    if (heldBytes_.size() < kMaxHeldBytes) heldBytes_.push_back(static_cast<uint8_t>(byte));
    std::array<uint8_t, kDrainBufferSize> more{};
    const int n = serialPort().DrainInput(more.data());
    const size_t room = kMaxHeldBytes - std::min(kMaxHeldBytes, heldBytes_.size());
    heldBytes_.insert(
        heldBytes_.end(), more.begin(),
        more.begin() + std::min<std::ptrdiff_t>(n, static_cast<std::ptrdiff_t>(room)));
    return 0;
  }
  receiving_ = true;
  rxBatch_[0] = static_cast<uint8_t>(byte & 0xFF);
  const int drained = serialPort().DrainInput(rxBatch_.data() + 1);
  auto take = [this](uint8_t b) {
    if (searchActive()) {
      if (traffic_) traffic_->SearchByte(b);
      MatchSearchReply(b);
    } else {
      ParseReplyByte(b);
    }
  };
  for (int i = 0; i <= drained; ++i)
    take(rxBatch_[i]);
  for (size_t i = 0; i < heldBytes_.size(); ++i)
    take(heldBytes_[i]);
  heldBytes_.clear();
  if (traffic_) traffic_->FlushUnframed();
  receiving_ = false;
  return 0;
}

void ConsoleDialog::ParseReplyByte(uint8_t byte) {
  const int before = rx.state;
  const FrameAssembler::Step step = rx.Push(byte);
  if (step != FrameAssembler::Step::Complete) {
    // Only a byte that leaves the parser idle is the log's business now (noise, a frame
    // that broke off); a frame's own bytes are logged with the frame.
    if (traffic_ && rx.state == FrameAssembler::kIdle) traffic_->NotFramed(rx, before, step, byte);
    return;
  }
  const size_t size = rx.FrameSize();
  if (!FrameSumIsZero(rx.frame.data(), size)) return DropReply(rx.Code(), TrafficMark::BadSum);
  // Handlers read their payload without knowing its length: what lies past this frame
  // reads as zero, never as bytes of an earlier frame.
  std::fill(rx.frame.begin() + static_cast<std::ptrdiff_t>(size), rx.frame.end(), 0);

  uint16_t code = rx.Code();
  if (rx.frame[6] == 0xFF && rx.frame[7] == 0xFF) {
    // The box names the code it answers in the first two payload bytes.
    if (rx.PayloadSize() < 2) return DropReply(code, TrafficMark::TooShort);
    code = static_cast<uint16_t>(rx.frame[9] | rx.frame[10] << 8);
  }
  const auto entry = std::find_if(replyHandlers_.begin(), replyHandlers_.end(),
                                  [code](const ReplyHandler& h) { return h.code == code; });
  if (entry == replyHandlers_.end()) return DropReply(code, TrafficMark::UnknownCode);
  if (code != code::kAddress && !AddressFilter(targetAddress_, rx.Address()))
    return DropReply(code, TrafficMark::OtherAddress);
  if (rx.PayloadSize() < entry->minPayload) return DropReply(code, TrafficMark::TooShort);
  TakeReply(code);
  if (onDispatch) onDispatch(code);
  (this->*(entry->handler))();
  statusBar.requests.ReplyHandled();
}

void ConsoleDialog::DropReply(uint16_t code, TrafficMark mark) {
  if (traffic_) traffic_->Received(rx.frame.data(), rx.FrameSize(), code, mark);
  statusBar.requests.ReplyDropped(code, mark);
}

void ConsoleDialog::TakeReply(uint16_t code) {
  if (traffic_) traffic_->Received(rx.frame.data(), rx.FrameSize(), code, TrafficMark::None);
  statusBar.Answered(rx.Address());
  statusBar.requests.ReplyArrived(code);
  freshness.Answered(code);
}

bool ConsoleDialog::AddressFilter(DeviceAddress target, DeviceAddress frame) {
  const uint8_t g = target.group, d = target.device;
  if (g == 0x00 && d == 0x00) return true;
  if (g == 0xFF && d == 0xFF) return true;
  if (g >= 0x01 && g <= 0xFE && (d == 0x00 || d == 0xFF)) return true;
  return frame == target;
}

void ConsoleDialog::BuildReplyHandlerTable() {
  // The handlers' payload sizes are those of the records they read.
  static_assert(kTimingRecordSize == 20 && kSignalStatusSize == 10 && kMonitorRecordHeader == 10);
  const std::span<const ReplyCode> codes = ReplyCodes();
  for (size_t i = 0; i < replyHandlers_.size() && i < codes.size(); ++i) {
    const ReplyCode& reply = codes[i];
    replyHandlers_[i] = {reply.code, HandlerOf(reply.code), reply.minPayload};
  }
}

void (ConsoleDialog::*ConsoleDialog::HandlerOf(uint16_t reply))() {
  switch (reply) {
    case code::kHotPlug:
      return &ConsoleDialog::OnHpdReply;
    case code::kInput:
      return &ConsoleDialog::OnInputReply;
    case code::kVolume:
      return &ConsoleDialog::OnVolumeReply;
    case code::kEdidPreset:
      return &ConsoleDialog::OnEdidPresetReply;
    case code::kTiming:
      return &ConsoleDialog::OnTimingReply;
    case code::kStatus:
      return &ConsoleDialog::OnStatusReply;
    case code::kSignalNotice:
      return &ConsoleDialog::OnSignalNotice;
    case code::kAddress:
      return &ConsoleDialog::OnAddressReply;
    case code::kFrameChunk:
      return &ConsoleDialog::OnFrameChunk;
    case code::kPreviewChunk:
      return &ConsoleDialog::OnPreviewChunk;
    case code::kEdidData:
      return &ConsoleDialog::OnEdidData;
    case code::kAcknowledge:
      return &ConsoleDialog::OnAcknowledgement;
    case code::kInfoFrame:
      return &ConsoleDialog::OnInfoFrameData;
    case code::kMonitorRecord:
      return &ConsoleDialog::OnMonitorRecord;
    default:
      return &ConsoleDialog::OnNoAction;
  }
}

void ConsoleDialog::OnEdidData() {
  edidPage.OnEdidData(rx.Payload(), rx.PayloadSize());
}

void ConsoleDialog::OnAcknowledgement() {
  edidPage.OnAcknowledgement(rx.Payload(), rx.PayloadSize());
}

void ConsoleDialog::OnInfoFrameData() {
  utilityPage.ShowInfoFrame(rx.Payload(), rx.PayloadSize(),
                            MeasuredSignalOf(timingPage, signalStatus, inputIsSdi_));
}

void ConsoleDialog::OnMonitorRecord() {
  monitorPage.OnRecord(rx.Payload(), rx.PayloadSize());
}

void ConsoleDialog::OnAddressReply() {
  targetAddress_ = {rx.frame[9], rx.frame[10]};
  addressDialog.OnAddressRead(targetAddress_);
}

void ConsoleDialog::OnFrameChunk() {
  capture.OnFrameChunk(rx.Payload(), rx.PayloadSize());
}

void ConsoleDialog::OnPreviewChunk() {
  capture.OnPreviewChunk(rx.Payload(), rx.PayloadSize());
}

// ---------------------------------------------------------------------------------------
// Address list

void ConsoleDialog::RefreshAddressList() {
  const int selected = view().GetSelection(ids::kAddressList);
  for (int item = kAddressListFixedItems; item < kAddressListSize; ++item)
    view().SetItem(ids::kAddressList, item, AddressListItem(addressBook, item));
  view().SetSelection(ids::kAddressList, selected);
  // A changed address of the selected entry takes effect at once.
  if (selected >= kAddressListFixedItems && selected < kAddressListSize)
    targetAddress_ = addressBook[selected - kAddressListFixedItems].address;
}

void ConsoleDialog::SelectAddress() {
  const StatusSyncOnReturn sync([this] { SyncStatus(); });
  // During an upload the choice shows but the target stays.
  if (capture.uploadActive()) return;
  const std::optional<DeviceAddress> target =
      AddressListTarget(addressBook, view().GetSelection(ids::kAddressList));
  if (!target) return;
  targetAddress_ = *target;
  // A book entry is asked for its input, which starts the status chain from that box;
  // the two broadcast items send nothing.
  if (view().GetSelection(ids::kAddressList) >= kAddressListFixedItems && linkUp())
    SendInputQuery();
}

void ConsoleDialog::SelectTarget(DeviceAddress address) {
  targetAddress_ = address;
  SyncStatus();
}

void ConsoleDialog::OpenAddressManagement() {
  host_.RunModalDialog(ids::kAddressDialog);
  RefreshAddressList();
}

}  // namespace sc
