#include "sim/simulated_box.h"

#include <algorithm>
#include <utility>

namespace sc {

namespace {

void PutWord(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value & 0xFF);
  at[1] = static_cast<uint8_t>(value >> 8);
}

// Audio 48 kHz, 24 bit, 2 channels of PCM, RGB 4:4:4 at 24 bit, HDMI, HDCP off, 2D.
constexpr BoxSignalStatus kPlainHdmi{0, 0, 0, 1, 3, 3, 1, 1, 0, 0};

std::vector<BoxSignal> MakePresets() {
  BoxSignalStatus hdcp22 = kPlainHdmi;
  hdcp22.hdcp = 2;
  return {
      {"none", {}, {}},
      {"480p60", {2700, 0x00, 720, 138, 16, 62, 480, 45, 9, 6}, kPlainHdmi},
      {"720p60", {7425, 0x06, 1280, 370, 110, 40, 720, 30, 5, 5}, kPlainHdmi},
      {"1080i60", {7425, 0x07, 1920, 280, 88, 44, 540, 22, 2, 5}, kPlainHdmi},
      {"1080p50", {14850, 0x06, 1920, 720, 528, 44, 1080, 45, 4, 5}, kPlainHdmi},
      {"1080p60", {14850, 0x06, 1920, 280, 88, 44, 1080, 45, 4, 5}, kPlainHdmi},
      {"2160p60", {59400, 0x06, 3840, 560, 176, 88, 2160, 90, 8, 10}, hdcp22},
  };
}

bool IsBoxAddressByte(uint8_t b) {
  return b >= 0x01 && b <= 0xFE;
}

}  // namespace

std::array<uint8_t, 20> BoxTiming::Bytes() const {
  std::array<uint8_t, 20> b{};
  PutWord(&b[1], pixelClock);
  b[3] = flags;
  PutWord(&b[4], hActive);
  PutWord(&b[6], hBlank);
  PutWord(&b[8], hSyncOffset);
  PutWord(&b[10], hSyncWidth);
  PutWord(&b[12], vActive);
  PutWord(&b[14], vBlank);
  PutWord(&b[16], vSyncOffset);
  PutWord(&b[18], vSyncWidth);
  return b;
}

std::array<uint8_t, 10> BoxSignalStatus::Bytes() const {
  return {colourSpace, colourDepth, hdcp,      signalType,  sampleRate,
          sampleSize,  channels,    audioType, structure3d, pixelRepetition};
}

const std::vector<BoxSignal>& BoxSignalPresets() {
  static const std::vector<BoxSignal> presets = MakePresets();
  return presets;
}

std::optional<BoxSignal> FindBoxSignal(std::string_view name) {
  for (const BoxSignal& s : BoxSignalPresets())
    if (s.name == name) return s;
  return std::nullopt;
}

AddressVerdict JudgeAddress(DeviceAddress own, DeviceAddress target) {
  if (target.group == 0x00 && target.device == 0x00) return AddressVerdict::ActAndAnswer;
  if (target.group == 0xFF && target.device == 0xFF) return AddressVerdict::ActSilently;
  if (target.group == 0x00 || target.group == 0xFF) return AddressVerdict::Ignore;
  if (target.device == 0x00)
    return own.group == target.group ? AddressVerdict::ActAndAnswer : AddressVerdict::Ignore;
  return own == target ? AddressVerdict::ActAndAnswer : AddressVerdict::Ignore;
}

SimulatedBox::SimulatedBox(DeviceAddress address)
    : address_(address), signal_(*FindBoxSignal(kDefaultSignal)) {
  for (int preset = 0; preset < kBoxEdidCount; ++preset)
    edid(preset) = preset < kBuiltInEdidCount ? BuiltInEdid(preset) : InitialUserEdid();
}

std::vector<uint8_t> SimulatedBox::Receive(const uint8_t* bytes, size_t count) {
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
      replyBytes(signal_.timing.Bytes());
      break;
    case box_code::kStatus:
      replyBytes(signal_.status.Bytes());
      break;
    case box_code::kReadAddress:
      reply({address_.group, address_.device});
      break;
    case box_code::kSetVolume:
      if (!p.empty() && p[0] <= 8) panel_.volumeStep = p[0];
      break;
    case box_code::kSetHotPlug:
      if (!p.empty() && p[0] <= 1) panel_.hotPlug = p[0];
      break;
    case box_code::kSetInput:
      if (!p.empty() && p[0] <= 1) panel_.input = p[0];
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
  SendWithFaults(std::move(frame), faults_, counters_, out);
}

void SimulatedBox::SetSignal(const BoxSignal& signal, bool notify) {
  signal_ = signal;
  if (!notify) return;
  const uint8_t present = signal_.Present() ? 1 : 0;
  Send(BuildFrame(kReplyLead, address_, box_code::kSignalNotice, &present, 1), unsolicited_);
}

std::vector<uint8_t> SimulatedBox::TakeUnsolicited() {
  return std::exchange(unsolicited_, {});
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
