#include "console/port_session.h"

#include <cerrno>
#include <cstdio>

#include "console/control_ids.h"

namespace sc {

namespace {
constexpr int kWriteBufferSize = 512;
constexpr int kReopenWriteBufferSize = 1024;
}  // namespace

// Marks a port step as under way for as long as it runs, message boxes included, and tells
// the owner when it ends, whichever way it ends.
class PortSession::Step {
 public:
  explicit Step(PortSession& session) : session_(session), outer_(session.stepRunning_) {
    session_.stepRunning_ = true;
  }
  ~Step() {
    session_.stepRunning_ = outer_;
    session_.owner_.SessionChanged();
  }
  Step(const Step&) = delete;
  Step& operator=(const Step&) = delete;

 private:
  PortSession& session_;
  bool outer_;
};

PortSession::PortSession(Host& host, PortSessionOwner& owner, CoreWindow& window, Options options)
    : host_(host),
      owner_(owner),
      window_(window),
      options_(std::move(options)),
      serial_(std::make_unique<SerialPort>(host, ports_)) {
  if (options_.lockDirectories) serial_->SetLockDirectories(*options_.lockDirectories);
  serial_->SetConnectTimeout(options_.connectTimeout);
}

PortSession::~PortSession() {
  // The SerialPort's destructor ends the worker and closes the port.
  serial_.reset();
}

void PortSession::Startup() {
  std::vector<std::string> items;
  for (int n = kFirstPort; n <= kLastPort; ++n)
    items.push_back("COM" + std::to_string(n));
  window_.view().SetItems(ids::kCommList, items);
  commItems_ = items;  // RefreshPorts changes the items that differ from these
  linkUp_ = false;
  baud_ = 115200;
  port_ = 1;
  parity_ = 'N';
  dataBits_ = 8;
  stopBits_ = 1;
  eventMask_ = 3;
  SetLinkIcon(false);
  RefreshPorts();
  window_.view().SetSelection(ids::kCommList, port_ - 1);
  searchStatus = " ";
  searchActive_ = false;
  deviceFound_ = false;
}

bool PortSession::portOpen() const {
  // A port open without its worker is one chosen while the link was up. (A worker told to
  // stop closes its port before it ends.) The port's lock is only asked for while the link
  // is down, never per received byte.
  return linkUp_ || searchActive_ || (!serial_->WorkerRunning() && serial_->IsOpen());
}

bool PortSession::connecting() const {
  return serial_ && serial_->OpenPending();
}

void PortSession::SetNetworkPorts(std::map<int, std::string> mapped) {
  networkPorts_ = std::move(mapped);
  RefreshPorts();
  owner_.SessionChanged();
}

void PortSession::RefreshPorts() {
  // The numbers found before stand: a selected COM number keeps its device. Network ports
  // take the numbers they are mapped to, unless SIGNAL_CONSOLE_PORTS names them.
  const PortDirectory found = options_.ports ? options_.ports() : PortDirectory::FromSystem();
  ports_ = found.WithMapped(networkPorts_).KeepingNumbersOf(ports_);
  owner_.PortsRefreshed();
  commItems_.resize(kLastPort);
  for (int n = kFirstPort; n <= kLastPort; ++n) {
    const std::string device = ports_.PathFor(n);
    window_.view().SetItemTip(ids::kCommList, n - 1, device);
    // A network port shows its address in the list: "COM5  rfc2217://rack-3:7001".
    std::string item = "COM" + std::to_string(n);
    if (IsNetworkPortName(device)) item += "  " + device;
    if (commItems_[n - 1] != item) {
      commItems_[n - 1] = item;
      window_.view().SetItem(ids::kCommList, n - 1, item);
    }
  }
}

void PortSession::OpenThen(int rate, int writeBufferSize, std::function<void(bool)> then) {
  const SerialPort::OpenStart start =
      serial_->BeginOpen(&owner_, port_, rate, parity_, dataBits_, stopBits_, eventMask_,
                         writeBufferSize, [this, rate, then](bool opened) {
                           const Step step(*this);
                           if (opened) lineRate_ = rate;
                           then(opened);
                         });
  if (start == SerialPort::OpenStart::Pending) return;
  const bool opened = start == SerialPort::OpenStart::Opened;
  if (opened) lineRate_ = rate;
  then(opened);
}

void PortSession::AbandonConnect() {
  if (!serial_->OpenPending()) return;
  serial_->CancelOpen();
  if (searchActive_) EndSearch();
}

void PortSession::SetLinkUp(bool up) {
  linkUp_ = up;
  SetLinkIcon(up);
}

void PortSession::SetLinkIcon(bool up) {
  window_.view().SetIcon(ids::kLinkIcon, up ? ids::kIconLinkUp : ids::kIconLinkDown);
}

void PortSession::ShowPortUnavailable() {
  std::string text = kPortUnavailableMessage;
  // A network port says what went wrong: the address and the reason.
  if (const std::string problem = serial_->LastOpenProblem(); !problem.empty())
    text += "\n" + problem + ".";
  if (serial_->LastOpenError() == EACCES) {
    text += "\nNo permission to open " + serial_->LastOpenDevice() +
            ": add your user to the dialout group (sudo usermod -aG dialout $USER), then log in "
            "again.";
  }
  if (const auto& holder = serial_->LastOpenHolder()) {
    const std::string who =
        (holder->program.empty() ? std::string("a program") : holder->program) +
        (holder->pid > 0 ? " (process " + std::to_string(holder->pid) + ")" : "");
    if (holder->lockFile.empty())
      text += "\n" + serial_->LastOpenDevice() + " is open in " + who + ".";
    else
      text += "\n" + serial_->LastOpenDevice() + " is locked by " + who + ": " + holder->lockFile;
  }
  owner_.ShowSessionMessage(text);
}

void PortSession::SelectComPort() {
  const Step step(*this);
  AbandonConnect();
  if (serial_->IsOpen()) serial_->StopWorker();
  const int selected = window_.view().GetSelection(ids::kCommList);
  if (selected >= 0 && selected < kLastPort) port_ = selected + 1;
  RefreshPorts();
  const bool wasUp = linkUp_;
  // The old port is closed by now: a link flagged up would swallow every command. (A
  // network port is down while it connects.)
  if (wasUp) SetLinkUp(false);
  OpenThen(baud_, kWriteBufferSize, [this, wasUp](bool opened) {
    if (!opened) {
      SetLinkUp(false);
      ShowPortUnavailable();
      return;
    }
    // Chosen while the link was up, the new port stays open without a worker; choosing
    // it again brings the link up.
    if (wasUp) return;
    serial_->StartWorker();
    SetLinkUp(true);
    owner_.LinkCameUp();
  });
}

void PortSession::ToggleLink(bool uploadActive) {
  const Step step(*this);
  if (uploadActive) return;
  if (connecting() && !searchActive_) {
    // A click while the link's port connects gives the connection up.
    AbandonConnect();
    SetLinkUp(false);
    return;
  }
  if (linkUp_) {
    linkUp_ = false;
    serial_->StopWorker();
    SetLinkIcon(false);
    return;
  }
  AbandonConnect();
  RefreshPorts();
  OpenThen(baud_, kWriteBufferSize, [this](bool opened) {
    if (opened) {
      serial_->StartWorker();
      SetLinkUp(true);
      owner_.LinkCameUp();
      return;
    }
    linkUp_ = false;
    ShowPortUnavailable();
    SetLinkIcon(false);
  });
}

PortSession::Probe PortSession::ProbeFrom(int firstPort, int wait) {
  for (int n = firstPort; n <= kLastPort; ++n) {
    port_ = n;
    // Stray bytes of the port before (the start of a frame) must not eat this one's answer.
    owner_.ResetReceiver();
    const SerialPort::OpenStart start = serial_->BeginOpen(
        &owner_, port_, baud_, parity_, dataBits_, stopBits_, eventMask_, kWriteBufferSize,
        [this, wait](bool opened) { ProbeOpened(opened, wait); });
    if (start == SerialPort::OpenStart::Failed) continue;
    if (start == SerialPort::OpenStart::Pending) {
      // No step runs until the connection is up or has failed.
      host_.StopTimer(kSearchTimer);
      return Probe::Waiting;
    }
    lineRate_ = baud_;
    SendProbe(wait);
    return Probe::Sent;
  }
  return Probe::None;
}

void PortSession::SendProbe(int wait) {
  probedAny_ = true;
  serial_->StartWorker();
  // The search has its own wait: the probe is logged, not tracked.
  owner_.TransmitProbe(searchProbe_.data(), static_cast<int>(searchProbe_.size()));
  host_.StartTimer(kSearchTimer, wait);
}

void PortSession::ProbeOpened(bool opened, int wait) {
  const Step step(*this);
  if (!searchActive_) return;
  if (opened) {
    lineRate_ = baud_;
    SendProbe(wait);
    return;
  }
  // Ports that cannot be opened are skipped at once.
  if (port_ < kLastPort && ProbeFrom(port_ + 1, kProbeWait) != Probe::None) return;
  SearchFoundNothing();
}

void PortSession::SearchFoundNothing() {
  const bool anyOpened = probedAny_;
  EndSearch();
  // After a search in which no port opened the port is COM1; after one in which ports
  // opened but none answered, the one used before the search.
  if (!anyOpened) port_ = 1;
  owner_.ShowSessionMessage(kNoDeviceMessage);
}

void PortSession::SearchDevice(bool uploadActive) {
  const Step step(*this);
  if (uploadActive) return;
  AbandonConnect();
  BuildFrameInto(searchProbe_.data(), kCommandLead, owner_.ProbeTarget(), 0xF802, nullptr, 0);
  linkUp_ = false;
  serial_->StopWorker();
  SetLinkIcon(false);
  deviceFound_ = false;
  savedPort_ = port_;
  port_ = 1;
  // A frame left half-read would leave the matcher in a state it does not know.
  owner_.ResetReceiver();
  owner_.SearchStarted();
  RefreshPorts();
  probedAny_ = false;
  // Set before the first port is tried: a network port's connection comes back to a
  // search under way.
  searchActive_ = true;
  if (ProbeFrom(1, kFirstProbeWait) != Probe::None) {
    searchStatus = kSearchingText;
    window_.Push();
    return;
  }
  searchActive_ = false;
  port_ = 1;
  searchStatus = " ";
  window_.Push();
  owner_.ShowSessionMessage(kNoDeviceMessage);
}

void PortSession::SearchStep() {
  const Step step(*this);
  if (!searchActive_) {
    host_.StopTimer(kSearchTimer);
    return;
  }
  if (deviceFound_) {
    SetLinkUp(true);
    window_.view().SetSelection(ids::kCommList, port_ - 1);
    searchStatus = " ";
    searchActive_ = false;
    owner_.ResetReceiver();
    // Shown at once: "Please wait....." must not outlive the search.
    window_.Push();
    owner_.LinkCameUp();
    host_.StopTimer(kSearchTimer);
    return;
  }
  serial_->StopWorker();
  if (port_ < kLastPort && ProbeFrom(port_ + 1, kProbeWait) != Probe::None) return;
  SearchFoundNothing();
}

void PortSession::EndSearch() {
  host_.StopTimer(kSearchTimer);
  searchActive_ = false;
  owner_.ResetReceiver();
  port_ = savedPort_;
  searchStatus = " ";
  window_.Push();
  owner_.SessionChanged();
}

void PortSession::MatchSearchReply(FrameAssembler& rx, uint8_t byte) {
  const int s = rx.state;
  // While a reply is arriving the search step waits for it.
  if (s != FrameAssembler::kIdle) host_.StartTimer(kSearchTimer, kReplyByteWait);
  if (byte == kReplyLead && s == FrameAssembler::kIdle) {
    rx.state = 0;
    return;
  }
  // The answer is AB 01 00 07 00 gg dd 02 F8 01 00 from any address; its checksum is not
  // looked at (it arrives in the idle state and is ignored).
  static constexpr int kAnyByte = -1;
  static constexpr int kExpected[10] = {0x01,     0x00, 0x07, 0x00, kAnyByte,
                                        kAnyByte, 0x02, 0xF8, 0x01, 0x00};
  if (s < 0 || s > 9) return;
  const bool match = kExpected[s] == kAnyByte || kExpected[s] == byte;
  if (s == 9) {
    if (match) deviceFound_ = true;
    rx.state = FrameAssembler::kIdle;
    return;
  }
  rx.state = match ? s + 1 : FrameAssembler::kIdle;
}

void PortSession::ReopenAtBaud(int rate) {
  const Step step(*this);
  // One call on the line: a local device is re-opened at the rate, a device server asked
  // for it (its answer is the capture's to check).
  if (serial_->ReopenAtRate(rate, kReopenWriteBufferSize)) lineRate_ = rate;
}

void PortSession::OnPortGone(int portNumber) {
  // During a search the step moves on to the next port by itself.
  if (searchActive_ || !linkUp_ || portNumber != port_) return;
  SetLinkUp(false);
  owner_.DeviceWentAway();
  const std::string device = serial_->LastOpenDevice();
  const LineEnding ending = serial_->LastLineEnding();
  if (ending.inUse) {
    // A device server that hung up after saying its port is in use never gave us the line.
    owner_.ShowSessionMessage(std::string(kPortUnavailableMessage) + "\n" + device + " is " +
                              ending.text + ".");
    return;
  }
  if (IsNetworkPortName(device)) {
    owner_.ShowSessionMessage("The connection to " + device + " on COM" +
                              std::to_string(portNumber) + " has ended: " + ending.text +
                              ". Check the device server and the network, then click the link "
                              "icon to connect again.");
    return;
  }
  char text[256];
  std::snprintf(text, sizeof text,
                "The device on COM%d (%s) has gone away. Check the cable or adapter, then click "
                "the link icon to connect again.",
                portNumber, device.c_str());
  owner_.ShowSessionMessage(text);
}

}  // namespace sc
