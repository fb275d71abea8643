#include "sim/simulated_box.h"

#include <algorithm>
#include <utility>

#include "sim/box_infoframes.h"

namespace sc {

namespace {

bool IsBoxAddressByte(uint8_t b) {
  return b >= 0x01 && b <= 0xFE;
}

}  // namespace

AddressVerdict JudgeAddress(DeviceAddress own, DeviceAddress target) {
  if (target.group == 0x00 && target.device == 0x00) return AddressVerdict::ActAndAnswer;
  if (target.group == 0xFF && target.device == 0xFF) return AddressVerdict::ActSilently;
  if (target.group == 0x00 || target.group == 0xFF) return AddressVerdict::Ignore;
  if (target.device == 0x00)
    return own.group == target.group ? AddressVerdict::ActAndAnswer : AddressVerdict::Ignore;
  return own == target ? AddressVerdict::ActAndAnswer : AddressVerdict::Ignore;
}

SimulatedBox::SimulatedBox(DeviceAddress address) : address_(address) {
  for (int preset = 0; preset < kBoxEdidCount; ++preset)
    edid(preset) = preset < kBuiltInEdidCount ? BuiltInEdid(preset) : InitialUserEdid();
}

std::vector<uint8_t> SimulatedBox::Receive(const uint8_t* bytes, size_t count) {
  RunDue();
  std::vector<uint8_t> out;
  for (size_t i = 0; i < count; ++i)
    if (assembler_.Push(bytes[i]) == FrameAssembler::Step::Complete) HandleFrame(out);
  return out;
}

void SimulatedBox::HandleFrame(std::vector<uint8_t>& out) {
  const FrameAssembler& a = assembler_;
  if (!FrameSumIsZero(a.frame.data(), a.FrameSize())) {
    ++counters_.badChecksum;
    return;
  }
  ++counters_.frames;
  const AddressVerdict verdict = JudgeAddress(address_, a.Address());
  if (verdict == AddressVerdict::Ignore) {
    ++counters_.notForMe;
    return;
  }
  ReceivedCommand command;
  command.code = a.Code();
  command.target = a.Address();
  command.payload.assign(a.Payload(), a.Payload() + a.PayloadSize());
  command.answerExpected = verdict == AddressVerdict::ActAndAnswer;
  if (commands_.size() == kCommandRecordLimit) commands_.pop_front();
  commands_.push_back(command);
  Execute(commands_.back(), out);
}

// One case per code; requests answer with their own code (an EDID write with the
// acknowledgement 0xFFFF), settings change the panel silently. A setting with a missing or
// out-of-range value is ignored, as is a code the box does not know.
void SimulatedBox::Execute(const ReceivedCommand& command, std::vector<uint8_t>& out) {
  const std::vector<uint8_t>& p = command.payload;
  auto reply = [&](std::initializer_list<uint8_t> payload) {
    if (command.answerExpected) Reply(command.code, payload.begin(), payload.size(), out);
  };
  auto replyBytes = [&](const auto& payload) {
    if (command.answerExpected) Reply(command.code, payload.data(), payload.size(), out);
  };
  switch (command.code) {
    case box_code::kSearch:
      reply({0x01, 0x00});
      break;
    case box_code::kInput:
      reply({panel_.input});
      break;
    case box_code::kHotPlug:
      reply({panel_.hotPlug});
      break;
    case box_code::kVolume:
      reply({panel_.volumeStep});
      break;
    case box_code::kEdidPreset:
      reply({panel_.edidPreset});
      break;
    case box_code::kReadEdid:
      // An unknown preset gets no answer, as an unknown request does.
      if (!p.empty() && p[0] < kBoxEdidCount) replyBytes(edid(p[0]));
      break;
    case box_code::kSelectEdid:
      if (!p.empty() && p[0] < kBoxEdidCount) panel_.edidPreset = p[0];
      break;
    case box_code::kWriteEdid: {
      // Acknowledged with the written code, low byte first, and the outcome.
      const uint8_t ack[3] = {box_code::kWriteEdid & 0xFF, box_code::kWriteEdid >> 8,
                              WriteUserEdid(p)};
      if (command.answerExpected) Reply(box_code::kAcknowledge, ack, sizeof ack, out);
      break;
    }
    case box_code::kTiming:
      replyBytes(signal().timing.Bytes());
      break;
    case box_code::kStatus:
      replyBytes(signal().status.Bytes());
      break;
    case box_code::kInfoFrame:
      if (!p.empty()) {
        const auto own = infoFrames_.find(p[0]);
        replyBytes(own != infoFrames_.end() ? own->second : CapturedInfoFrame(signal(), p[0]));
      }
      break;
    case box_code::kMonitorSettings:
      recorder_.Start(p, Now(), signal().Present());
      break;
    case box_code::kMonitorRecord:
      replyBytes(recorder_.Record(Now()));
      break;
    case box_code::kReadAddress:
      reply({address_.group, address_.device});
      break;
    case box_code::kPreview:
      if (command.answerExpected)
        for (const auto& chunk : PreviewChunks(TakePicture()))
          Reply(box_code::kPreview, chunk.data(), chunk.size(), out);
      break;
    case box_code::kFrame:
      // Sent from the stream as the line takes it (TakeStreamed); without a signal there
      // is no frame to send.
      if (command.answerExpected && signal().Present()) frameStream_.Start(TakePicture());
      break;
    case box_code::kBaudSwitch:
      if (p.size() >= 3) {
        const int rate = p[0] | p[1] << 8 | p[2] << 16;
        if (rate >= 1200 && rate <= 4000000) lineRate_ = rate;
      }
      break;
    case box_code::kStopUpload:
      frameStream_.Stop();
      lineRate_ = kBoxLinkRate;
      break;
    case box_code::kSetVolume:
      if (!p.empty() && p[0] <= 8) panel_.volumeStep = p[0];
      break;
    case box_code::kSetHotPlug:
      if (!p.empty() && p[0] <= 1) SetHotPlug(p[0], true);
      break;
    case box_code::kSetInput:
      if (!p.empty() && p[0] <= 1) SetInput(p[0], true);
      break;
    case box_code::kWriteAddress:
      // An address a box can carry, or 00/00, which clears it.
      if (p.size() >= 2 &&
          ((IsBoxAddressByte(p[0]) && IsBoxAddressByte(p[1])) || (p[0] == 0x00 && p[1] == 0x00)))
        address_ = {p[0], p[1]};
      break;
    default:
      break;
  }
}

uint8_t SimulatedBox::WriteUserEdid(const std::vector<uint8_t>& p) {
  if (p.size() != 1 + kEdidSize || p[0] >= kUserEdidSlots) return kEdidWriteBadRequest;
  if (faults_.failEdidWrites) return kEdidWriteRefused;
  std::copy(p.begin() + 1, p.end(), edid(kBuiltInEdidCount + p[0]).begin());
  return kEdidWriteOk;
}

void SimulatedBox::Reply(uint16_t code, const uint8_t* payload, size_t count,
                         std::vector<uint8_t>& out) {
  Send(BuildFrame(kReplyLead, address_, code, payload, count), out);
}

void SimulatedBox::Send(std::vector<uint8_t> frame, std::vector<uint8_t>& out) {
  std::vector<uint8_t> now;
  std::vector<DelayedFrame> later;
  SendWithFaults(std::move(frame), faults_, counters_, now, &later);
  // One frame goes after another on the line: what the box sends after a frame held back
  // waits behind it.
  if (!now.empty()) {
    if (delayed_.empty())
      out.insert(out.end(), now.begin(), now.end());
    else
      delayed_.emplace_back(delayed_.back().first, std::move(now));
  }
  for (DelayedFrame& f : later) {
    Clock::time_point due = Now() + f.delay;
    if (!delayed_.empty()) due = std::max(due, delayed_.back().first);
    delayed_.emplace_back(due, std::move(f.bytes));
  }
}

BoxSignal SimulatedBox::signal() const {
  return sources_.Received(panel_.input, panel_.hotPlug == 0);
}

template <class F>
void SimulatedBox::ChangeReceived(F&& change, bool notify, std::optional<Clock::time_point> when) {
  const BoxSignal before = signal();
  change();
  const BoxSignal after = signal();
  if (after.SameAs(before)) return;
  const Clock::time_point at = when ? *when : Now();
  if (before.Present() && !after.Present())
    recorder_.OnSignalLost(at);
  else if (!before.Present() && after.Present())
    recorder_.OnSignalBack(at);
  else if (after.Present())
    recorder_.OnFormatChange(at);
  if (!notify) return;
  const uint8_t present = after.Present() ? 1 : 0;
  Send(BuildFrame(kReplyLead, address_, box_code::kSignalNotice, &present, 1), unsolicited_);
}

void SimulatedBox::SetSignal(const BoxSignal& signal, bool notify) {
  const uint8_t input = signal.Present() ? signal.input : panel_.input;
  ChangeReceived([&] { sources_.SetSource(input, signal); }, notify);
}

void SimulatedBox::SetSourceConnected(uint8_t input, bool connected, bool notify) {
  // Whoever handles the cable ends a timed loss.
  restoreAt_.reset();
  ChangeReceived([&] { sources_.SetConnected(input, connected); }, notify);
}

void SimulatedBox::SetInput(uint8_t input, bool notify) {
  ChangeReceived([&] { panel_.input = input; }, notify);
}

void SimulatedBox::SetHotPlug(uint8_t hotPlug, bool notify) {
  ChangeReceived([&] { panel_.hotPlug = hotPlug; }, notify);
}

void SimulatedBox::SetHdcp(uint8_t input, uint8_t hdcp, bool notify) {
  BoxSignal source = sources_.Source(input);
  if (!source.Present()) return;
  source.status.hdcp = hdcp;
  ChangeReceived([&] { sources_.SetSource(input, source); }, notify);
}

void SimulatedBox::SetHdr10(uint8_t input, bool on) {
  BoxSignal source = sources_.Source(input);
  source.hdr10 = on;
  sources_.SetSource(input, source);
}

void SimulatedBox::SetInfoFrame(uint8_t type, std::vector<uint8_t> payload) {
  payload.insert(payload.begin(), type);
  infoFrames_[type] = std::move(payload);
}

std::vector<uint8_t> SimulatedBox::TakeUnsolicited() {
  // Held frames only go out here, with what was sent after them: a reply sent meanwhile
  // waits behind them (Send), never before.
  ReleaseDue();
  RunDue();
  return std::exchange(unsolicited_, {});
}

BoxPicture SimulatedBox::TakePicture() {
  lastPicture_ = PictureOf(signal(), picturesTaken_++);
  return lastPicture_;
}

std::vector<uint8_t> SimulatedBox::TakeStreamed(size_t maxBytes) {
  std::vector<uint8_t> out;
  if (!frameStream_.active()) return out;
  std::vector<uint8_t> payload;
  // The picture waits behind a frame held back, as any frame does (Send): made meanwhile,
  // its chunks would pile up behind it unpaced, past the point where a stop could end them.
  while (out.size() < maxBytes && frameStream_.active() && delayed_.empty()) {
    if (faults_.stallFrameAfter == 0) {
      // The transfer dies here: nothing more comes, and the box is back at its link rate.
      faults_.stallFrameAfter = -1;
      frameStream_.Stop();
      break;
    }
    if (!frameStream_.NextChunk(payload)) break;
    if (faults_.stallFrameAfter > 0) --faults_.stallFrameAfter;
    Reply(box_code::kFrame, payload.data(), payload.size(), out);
  }
  if (!frameStream_.active()) lineRate_ = kBoxLinkRate;
  return out;
}

void SimulatedBox::LoseSignalFor(std::chrono::milliseconds span) {
  if (restoreAt_) {
    restoreAt_ = Now() + span;
    return;
  }
  const uint8_t input = panel_.input;
  if (!sources_.Connected(input)) return;
  ChangeReceived([&] { sources_.SetConnected(input, false); }, true);
  restoreInput_ = input;
  restoreAt_ = Now() + span;
}

void SimulatedBox::ReleaseDue() {
  const Clock::time_point now = Now();
  while (!delayed_.empty() && delayed_.front().first <= now) {
    const std::vector<uint8_t>& bytes = delayed_.front().second;
    unsolicited_.insert(unsolicited_.end(), bytes.begin(), bytes.end());
    delayed_.pop_front();
  }
}

void SimulatedBox::RunDue() {
  const Clock::time_point now = Now();
  if (!restoreAt_ || now < *restoreAt_) return;
  // The signal came back when it was due, however late the box looks.
  const Clock::time_point due = *restoreAt_;
  restoreAt_.reset();
  ChangeReceived([&] { sources_.SetConnected(restoreInput_, true); }, true, due);
}

std::optional<SimulatedBox::Clock::duration> SimulatedBox::TimeToNextEvent() const {
  std::optional<Clock::time_point> next = restoreAt_;
  if (!delayed_.empty() && (!next || delayed_.front().first < *next)) next = delayed_.front().first;
  if (!next) return std::nullopt;
  return std::max(Clock::duration::zero(), *next - Now());
}

std::vector<uint16_t> SimulatedBox::CommandCodes() const {
  std::vector<uint16_t> codes;
  codes.reserve(commands_.size());
  for (const ReceivedCommand& c : commands_)
    codes.push_back(c.code);
  return codes;
}

void SimulatedBox::ClearRecords() {
  commands_.clear();
  counters_ = {};
}

}  // namespace sc
