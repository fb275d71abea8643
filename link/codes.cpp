#include "link/codes.h"

#include <algorithm>

namespace sc {

namespace {

using T = ReplyTaker;

constexpr ReplyCode kReplies[] = {
    {0x0061, "no action", 0, T::kNobody},
    {0x0062, "no action", 0, T::kNobody},
    {0x0063, "no action", 0, T::kNobody},
    {0x0064, "no action", 0, T::kNobody},
    {0x0065, "no action", 0, T::kNobody},
    {0x0066, "no action", 0, T::kNobody},
    {0x0067, "no action", 0, T::kNobody},
    {0x0068, "no action", 0, T::kNobody},
    {0x0069, "no action", 0, T::kNobody},
    {0x006A, "no action", 0, T::kNobody},
    {0x00A0, "no action", 0, T::kNobody},
    {0x00A8, "no action", 0, T::kNobody},
    {0x7801, "no action", 0, T::kNobody},
    {0x7802, "no action", 0, T::kNobody},
    {0x7878, "no action", 0, T::kNobody},
    {code::kHotPlug, "Hot-plug state", 1, T::kStatusChain},
    {code::kInput, "Input", 1, T::kStatusChain},
    {0x8063, "no action", 0, T::kNobody},
    {0x8064, "no action", 0, T::kNobody},
    {0x8065, "no action", 0, T::kNobody},
    {0x8066, "no action", 0, T::kNobody},
    {0x8067, "no action", 0, T::kNobody},
    {0x8068, "no action", 0, T::kNobody},
    {code::kVolume, "Volume", 1, T::kStatusChain},
    {code::kFrameChunk, "Frame chunk", 3, T::kFrameCapture},      // two bytes and the flags
    {code::kPreviewChunk, "Preview chunk", 3, T::kFrameCapture},  // likewise
    {code::kTiming, "Timing record", 20, T::kStatusChain},
    {code::kMonitorRecord, "Monitor record", 10, T::kMonitorPage},  // the record's header
    {code::kStatus, "Signal status", 10, T::kStatusChain},
    {code::kInfoFrame, "InfoFrame data", 0, T::kUtilityPage},
    {code::kSignalNotice, "Signal change notice", 1, T::kStatusChain},
    {code::kAddress, "Address", 2, T::kAddressDialog},
    {code::kEdidPreset, "EDID preset", 1, T::kEdidPage},
    {code::kEdidData, "EDID data", 0, T::kEdidPage},
    {code::kAcknowledge, "Acknowledgement", 0, T::kEdidPage},
};

constexpr CommandCode kCommands[] = {
    {code::kSetVolume, "Set volume", std::nullopt},
    {code::kSetHotPlug, "Set hot-plug", std::nullopt},
    {code::kSetInput, "Select input", std::nullopt},
    {code::kStartMonitor, "Start monitor", std::nullopt},
    {code::kStopUpload, "Stop upload", std::nullopt},
    {code::kWriteAddress, "Write address", std::nullopt},
    {code::kSelectEdid, "Select EDID", std::nullopt},
    {code::kWriteEdid, "Write USER EDID", code::kAcknowledge},
    {code::kSwitchBaud, "Switch baud rate", std::nullopt},
    {code::kVolume, "Volume query", code::kVolume},
    {code::kHotPlug, "Hot-plug query", code::kHotPlug},
    {code::kInput, "Input query", code::kInput},
    {code::kStatus, "Status query", code::kStatus},
    {code::kTiming, "Timing query", code::kTiming},
    {code::kInfoFrame, "Read InfoFrame", code::kInfoFrame},
    {code::kFrameChunk, "Frame request", code::kFrameChunk},
    {code::kPreviewChunk, "Preview request", code::kPreviewChunk},
    {code::kMonitorRecord, "Read record", code::kMonitorRecord},
    {code::kAddress, "Read address", code::kAddress},
    {code::kSearchProbe, "Search probe", std::nullopt},
    {code::kEdidPreset, "EDID preset query", code::kEdidPreset},
    {code::kEdidData, "Read EDID", code::kEdidData},
};

}  // namespace

std::span<const ReplyCode> ReplyCodes() {
  return kReplies;
}

std::span<const CommandCode> CommandCodes() {
  return kCommands;
}

const ReplyCode* FindReplyCode(uint16_t code) {
  const auto it = std::find_if(std::begin(kReplies), std::end(kReplies),
                               [code](const ReplyCode& r) { return r.code == code; });
  return it == std::end(kReplies) ? nullptr : &*it;
}

const CommandCode* FindCommandCode(uint16_t code) {
  const auto it = std::find_if(std::begin(kCommands), std::end(kCommands),
                               [code](const CommandCode& c) { return c.code == code; });
  return it == std::end(kCommands) ? nullptr : &*it;
}

const char* CommandName(uint16_t code) {
  const CommandCode* command = FindCommandCode(code);
  return command ? command->name : nullptr;
}

const char* ReplyName(uint16_t code) {
  if (code == code::kSearchProbe) return "Search answer";
  const ReplyCode* reply = FindReplyCode(code);
  return reply ? reply->name : nullptr;
}

std::optional<uint16_t> ExpectedReply(uint16_t command) {
  const CommandCode* found = FindCommandCode(command);
  return found ? found->reply : std::nullopt;
}

}  // namespace sc
