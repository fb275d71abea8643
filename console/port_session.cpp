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

void PortSession::RefreshPorts() {
  // The numbers found before stand: a selected COM number keeps its device.
  const PortDirectory found = options_.ports ? options_.ports() : PortDirectory::FromSystem();
  ports_ = found.KeepingNumbersOf(ports_);
  owner_.PortsRefreshed();
  for (int n = kFirstPort; n <= kLastPort; ++n)
    window_.view().SetItemTip(ids::kCommList, n - 1, ports_.PathFor(n));
}

int PortSession::OpenCurrentPort(int baudRate, int writeBufferSize) {
  const int opened = serial_->OpenPort(&owner_, port_, baudRate, parity_, dataBits_, stopBits_,
                                       eventMask_, writeBufferSize);
  if (opened) lineRate_ = baudRate;
  return opened;
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
  if (serial_->IsOpen()) serial_->StopWorker();
  const int selected = window_.view().GetSelection(ids::kCommList);
  if (selected >= 0 && selected < kLastPort) port_ = selected + 1;
  RefreshPorts();
  if (!OpenCurrentPort(baud_, kWriteBufferSize)) {
    // The old port is closed by now: a link flagged up would swallow every command.
    SetLinkUp(false);
    ShowPortUnavailable();
    return;
  }
  if (linkUp_) {
    // The new port stays open without a worker; choosing it again brings the link up.
    SetLinkUp(false);
    return;
  }
  serial_->StartWorker();
  SetLinkUp(true);
  owner_.LinkCameUp();
}

void PortSession::ToggleLink(bool uploadActive) {
  const Step step(*this);
  if (uploadActive) return;
  if (linkUp_) {
    linkUp_ = false;
    serial_->StopWorker();
    SetLinkIcon(false);
    return;
  }
  RefreshPorts();
  if (OpenCurrentPort(baud_, kWriteBufferSize)) {
    serial_->StartWorker();
    SetLinkUp(true);
    owner_.LinkCameUp();
    return;
  }
  linkUp_ = false;
  ShowPortUnavailable();
  SetLinkIcon(false);
}

bool PortSession::ProbeFrom(int firstPort) {
  for (int n = firstPort; n <= kLastPort; ++n) {
    port_ = n;
    // Stray bytes of the port before (the start of a frame) must not eat this one's answer.
    owner_.ResetReceiver();
    if (!OpenCurrentPort(baud_, kWriteBufferSize)) continue;
    serial_->StartWorker();
    // The search has its own wait: the probe is logged, not tracked.
    owner_.TransmitProbe(searchProbe_.data(), static_cast<int>(searchProbe_.size()));
    return true;
  }
  return false;
}

void PortSession::SearchDevice(bool uploadActive) {
  const Step step(*this);
  if (uploadActive) return;
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
  if (ProbeFrom(1)) {
    searchActive_ = true;
    searchStatus = kSearchingText;
    window_.Push();
    host_.StartTimer(kSearchTimer, kFirstProbeWait);
    return;
  }
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
  if (port_ < kLastPort && ProbeFrom(port_ + 1)) {
    host_.StartTimer(kSearchTimer, kProbeWait);
    return;
  }
  EndSearch();
  owner_.ShowSessionMessage(kNoDeviceMessage);
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
  if (OpenCurrentPort(rate, kReopenWriteBufferSize)) serial_->StartWorker();
}

void PortSession::OnPortGone(int portNumber) {
  // During a search the step moves on to the next port by itself.
  if (searchActive_ || !linkUp_ || portNumber != port_) return;
  SetLinkUp(false);
  owner_.DeviceWentAway();
  const std::string device = serial_->LastOpenDevice();
  char text[256];
  std::snprintf(text, sizeof text,
                "The device on COM%d (%s) has gone away. Check the cable or adapter, then click "
                "the link icon to connect again.",
                portNumber, device.c_str());
  owner_.ShowSessionMessage(text);
}

}  // namespace sc
