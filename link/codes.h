#pragma once
// The codes on the line, in one table each: every command the console sends (its name,
// and the reply that answers it), and every reply code the console takes (its name, the
// shortest payload its handler reads, and which part of the console handles it), in the
// order of the main window's reply handler table. The dispatcher, the request tracker, the
// traffic log and signal-cli read these tables.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace sc {

namespace code {
// Commands without a reply.
inline constexpr uint16_t kSetVolume = 0x0080;
inline constexpr uint16_t kSetHotPlug = 0x0081;
inline constexpr uint16_t kSetInput = 0x0082;
inline constexpr uint16_t kStartMonitor = 0x0096;
inline constexpr uint16_t kStopUpload = 0x0101;
inline constexpr uint16_t kWriteAddress = 0x7801;
inline constexpr uint16_t kSelectEdid = 0x7850;
inline constexpr uint16_t kWriteEdid = 0x7851;  // answered by an acknowledgement
inline constexpr uint16_t kSwitchBaud = 0x7879;
inline constexpr uint16_t kSearchProbe = 0xF802;
// Requests, each answered with its own code, and the notice the box sends unasked.
inline constexpr uint16_t kVolume = 0x8080;
inline constexpr uint16_t kHotPlug = 0x8081;
inline constexpr uint16_t kInput = 0x8082;
inline constexpr uint16_t kStatus = 0x8090;
inline constexpr uint16_t kTiming = 0x8091;
inline constexpr uint16_t kInfoFrame = 0x8092;
inline constexpr uint16_t kFrameChunk = 0x8094;
inline constexpr uint16_t kPreviewChunk = 0x8095;
inline constexpr uint16_t kMonitorRecord = 0x8096;
inline constexpr uint16_t kSignalNotice = 0x809F;
inline constexpr uint16_t kAddress = 0xF801;
inline constexpr uint16_t kEdidPreset = 0xF850;
inline constexpr uint16_t kEdidData = 0xF851;
inline constexpr uint16_t kAcknowledge = 0xFFFF;
}  // namespace code

// Which part of the console acts on a reply.
enum class ReplyTaker : uint8_t {
  kNobody,         // taken and ignored
  kStatusChain,    // the main window: the status chain, the front panel, the status panel
  kEdidPage,       // EDID data, the preset, the write's acknowledgement
  kUtilityPage,    // InfoFrames
  kMonitorPage,    // the recording
  kFrameCapture,   // preview and frame chunks
  kAddressDialog,  // the address read back
};

struct ReplyCode {
  uint16_t code;
  const char* name;  // "EDID data"; "no action" for the codes nobody acts on
  // Payload bytes the handler reads; a shorter reply is dropped rather than read short.
  // The EDID data, the acknowledgement and the InfoFrame look at their length themselves.
  size_t minPayload;
  ReplyTaker taker;
};

struct CommandCode {
  uint16_t code;
  const char* name;  // "Read EDID"
  // The reply that answers it; nothing for a command the box does not answer (the search
  // probe's answer goes to the search, not to a handler).
  std::optional<uint16_t> reply;
};

// The 35 reply codes the console takes, in the order of its handler table.
std::span<const ReplyCode> ReplyCodes();
std::span<const CommandCode> CommandCodes();
const ReplyCode* FindReplyCode(uint16_t code);
const CommandCode* FindCommandCode(uint16_t code);

// The command's name ("Read EDID"), or nullptr for a code the console never sends.
const char* CommandName(uint16_t code);
// The reply's name ("EDID data"); "no action" for the codes the console takes without
// acting on them; nullptr for a code it does not take.
const char* ReplyName(uint16_t code);
// The reply code that answers `command`, or nothing.
std::optional<uint16_t> ExpectedReply(uint16_t command);

}  // namespace sc
