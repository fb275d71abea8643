#pragma once
// One simulated analyzer box: its state and its side of the serial protocol. It takes
// command frames (lead 0xAA) in any chunking, ignores garbage and frames whose checksum
// is wrong, judges each frame's address the way a box on a shared line does, acts on the
// commands meant for it and answers with reply frames (lead 0xAB) that carry its own
// address. No threads, no I/O: the line and the server around it do that.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "edid/edid_decoder.h"
#include "link/frame.h"
#include "sim/box_edids.h"
#include "sim/box_faults.h"
#include "sim/box_pictures.h"
#include "sim/box_recorder.h"
#include "sim/box_signal.h"

namespace sc {

// Codes the box understands (commands) and sends (replies; a request is answered with
// its own code).
namespace box_code {
inline constexpr uint16_t kSetVolume = 0x0080;     // 1 byte: step 0..8, no reply
inline constexpr uint16_t kSetHotPlug = 0x0081;    // 1 byte: 0 on, 1 off, no reply
inline constexpr uint16_t kSetInput = 0x0082;      // 1 byte: 0 HDMI, 1 SDI, no reply
inline constexpr uint16_t kWriteAddress = 0x7801;  // 2 bytes: new group, new device
inline constexpr uint16_t kVolume = 0x8080;
inline constexpr uint16_t kHotPlug = 0x8081;
inline constexpr uint16_t kInput = 0x8082;
inline constexpr uint16_t kStatus = 0x8090;
inline constexpr uint16_t kTiming = 0x8091;
inline constexpr uint16_t kSignalNotice = 0x809F;  // sent unasked when the signal changes
inline constexpr uint16_t kReadAddress = 0xF801;
inline constexpr uint16_t kSearch = 0xF802;
inline constexpr uint16_t kSelectEdid = 0x7850;  // 1 byte: preset 0..14, no reply
inline constexpr uint16_t kWriteEdid = 0x7851;   // 257 bytes: user slot 0..9, then the EDID
inline constexpr uint16_t kEdidPreset = 0xF850;
inline constexpr uint16_t kReadEdid = 0xF851;         // 1 byte: preset 0..14; 256 bytes back
inline constexpr uint16_t kAcknowledge = 0xFFFF;      // the acknowledged code, then a status
inline constexpr uint16_t kInfoFrame = 0x8092;        // 1 byte: packet type; the packet back
inline constexpr uint16_t kMonitorSettings = 0x0096;  // 7 bytes: start a recording, no reply
inline constexpr uint16_t kMonitorRecord = 0x8096;    // the recording back
inline constexpr uint16_t kStopUpload = 0x0101;       // ends a frame transfer, no reply
inline constexpr uint16_t kBaudSwitch = 0x7879;       // 3 bytes: the line rate, little-endian
inline constexpr uint16_t kFrame = 0x8094;            // the whole frame, in chunks
inline constexpr uint16_t kPreview = 0x8095;          // the 96 x 64 preview, in chunks
}  // namespace box_code

// The rate a box speaks at when it starts, and returns to after a frame transfer.
inline constexpr int kBoxLinkRate = 115200;

// The status byte of the acknowledgement of an EDID write (0xFFFF, payload 51 78 status).
inline constexpr uint8_t kEdidWriteOk = 0x00;
inline constexpr uint8_t kEdidWriteRefused = 0x01;     // the box's write fault is on
inline constexpr uint8_t kEdidWriteBadRequest = 0x02;  // slot above 9 or not 257 bytes

// The box's front panel.
struct FrontPanel {
  uint8_t input = kHdmiInput;  // kHdmiInput or kSdiInput
  uint8_t hotPlug = 0;         // 0 on, 1 off
  uint8_t volumeStep = 4;      // 0..8
  uint8_t edidPreset = 0;      // 0..14, the EDID the box presents on its input
};

// A command the box acted on.
struct ReceivedCommand {
  uint16_t code = 0;
  DeviceAddress target;
  std::vector<uint8_t> payload;
  bool answerExpected = false;  // false for FF/FF
};

// How a box with address `own` treats a command addressed to `target`: 00/00 reaches
// every box and every box answers; FF/FF reaches every box and none answers; XX/00 (XX
// 01..FE) reaches the boxes of group XX, which answer; any other XX/YY reaches only the
// box with that address. 00 or FF as group with any other device is not a valid address
// and reaches nobody.
enum class AddressVerdict { Ignore, ActSilently, ActAndAnswer };
AddressVerdict JudgeAddress(DeviceAddress own, DeviceAddress target);

class SimulatedBox {
 public:
  explicit SimulatedBox(DeviceAddress address = {0x01, 0x01});

  // Feeds command bytes; returns the reply bytes they caused (whole frames, in order).
  std::vector<uint8_t> Receive(const uint8_t* bytes, size_t count);
  std::vector<uint8_t> Receive(const std::vector<uint8_t>& bytes) {
    return Receive(bytes.data(), bytes.size());
  }

  DeviceAddress address() const { return address_; }
  void SetAddress(DeviceAddress address) { address_ = address; }

  // Plain state, free to change between frames (values are not checked here, so a test
  // can make the box report anything).
  FrontPanel& panel() { return panel_; }
  const FrontPanel& panel() const { return panel_; }
  BoxFaults& faults() { return faults_; }
  const BoxFaults& faults() const { return faults_; }

  // The EDID of preset 0..14 (5..14 are the user slots USER1..USER10).
  EdidImage& edid(int preset) { return edids_.at(static_cast<size_t>(preset)); }
  const EdidImage& edid(int preset) const { return edids_.at(static_cast<size_t>(preset)); }

  // The signal the box receives now: the source on its selected input (see BoxSources).
  BoxSignal signal() const;
  const BoxSources& sources() const { return sources_; }
  // Changes of what the box receives. Each one that changes the received signal queues,
  // with `notify`, the notice 0x809F (payload byte 0: 0 when the signal is gone, 1
  // otherwise) for TakeUnsolicited. The box's own commands 0x0081 and 0x0082 notify.
  // A source's new signal: a format goes to the connector it arrives on, "none" (no
  // signal) to the selected input's.
  void SetSignal(const BoxSignal& signal, bool notify);
  // Pulls or plugs the cable of an input.
  void SetSourceConnected(uint8_t input, bool connected, bool notify);
  void SetInput(uint8_t input, bool notify);
  void SetHotPlug(uint8_t hotPlug, bool notify);
  // The HDCP state the source on `input` reports (status byte 2).
  void SetHdcp(uint8_t input, uint8_t hdcp, bool notify);
  // Whether the source on `input` sends HDR10 (BoxSignal::hdr10).
  void SetHdr10(uint8_t input, bool on);

  // Makes the box answer 0x8092 for `type` with the type byte and `payload` (an
  // InfoFrame's version, length, checksum and data bytes; an ACP, ISRC or gamut packet's
  // two header bytes and body), whatever the signal, until ClearInfoFrame(type).
  void SetInfoFrame(uint8_t type, std::vector<uint8_t> payload);
  void ClearInfoFrame(uint8_t type) { infoFrames_.erase(type); }
  const std::map<uint8_t, std::vector<uint8_t>>& infoFrames() const { return infoFrames_; }
  // The selected input's cable comes out (with the notice) and goes back in by itself
  // after `span`, when the box next runs its due events; a second loss meanwhile extends
  // the first, and plugging or pulling a cable ends it. Nothing happens while that cable
  // is out already.
  void LoseSignalFor(std::chrono::milliseconds span);

  // The box's clock (steady; tests may set a manual one).
  using Clock = std::chrono::steady_clock;
  void SetClock(std::function<Clock::time_point()> clock) { clock_ = std::move(clock); }
  Clock::time_point Now() const { return clock_ ? clock_() : Clock::now(); }
  // Does what has fallen due by now (a lost signal coming back); Receive and
  // TakeUnsolicited do so first. How long until the next such event, if any.
  // Frames the chaos delayed, and all sent after them, go out with the notices when they
  // fall due (TakeUnsolicited).
  void RunDue();
  std::optional<Clock::duration> TimeToNextEvent() const;

  const BoxRecorder& recorder() const { return recorder_; }

  // Frames the box sends on its own (already through the fault injection).
  std::vector<uint8_t> TakeUnsolicited();

  // The frame transfer (reply 0x8094) runs as a stream, made as the line takes it: the
  // next chunk frames, whole, until at least maxBytes (through the fault injection).
  // When the frame is out, or stalls, the box returns to its link rate.
  std::vector<uint8_t> TakeStreamed(size_t maxBytes);
  bool Streaming() const { return frameStream_.active(); }
  // The rate the box speaks at: 115200, or what 0x7879 set until the transfer ends.
  int lineRate() const { return lineRate_; }
  // The last picture taken (preview or frame) and how many have been taken.
  const BoxPicture& lastPicture() const { return lastPicture_; }
  uint32_t picturesTaken() const { return picturesTaken_; }

  const BoxCounters& counters() const { return counters_; }
  // The commands acted on, oldest first (the last kCommandRecordLimit of them).
  const std::deque<ReceivedCommand>& commands() const { return commands_; }
  std::vector<uint16_t> CommandCodes() const;
  void ClearRecords();
  static constexpr size_t kCommandRecordLimit = 4096;

 private:
  // Moves the held frames whose time has come to the unsolicited bytes.
  void ReleaseDue();
  void HandleFrame(std::vector<uint8_t>& out);
  void Execute(const ReceivedCommand& command, std::vector<uint8_t>& out);
  uint8_t WriteUserEdid(const std::vector<uint8_t>& payload);
  BoxPicture TakePicture();
  void Reply(uint16_t code, const uint8_t* payload, size_t count, std::vector<uint8_t>& out);
  void Send(std::vector<uint8_t> frame, std::vector<uint8_t>& out);
  // Runs change() and sends the notice if the received signal changed; the recorder
  // notes the change as made at `when` (now, unless given).
  template <class F>
  void ChangeReceived(F&& change, bool notify, std::optional<Clock::time_point> when = {});

  DeviceAddress address_;
  FrontPanel panel_;
  BoxSources sources_;
  BoxFaults faults_;
  std::array<EdidImage, kBoxEdidCount> edids_;
  BoxCounters counters_;
  FrameAssembler assembler_{kCommandLead};
  std::deque<ReceivedCommand> commands_;
  std::vector<uint8_t> unsolicited_;
  BoxRecorder recorder_;
  std::function<Clock::time_point()> clock_;
  // When a timed loss gives the cable of `restoreInput_` back.
  std::optional<Clock::time_point> restoreAt_;
  uint8_t restoreInput_ = kHdmiInput;
  // Frames the chaos holds back, and every frame sent after them, in the order sent, each
  // with when it may go out (never before the one ahead of it).
  std::deque<std::pair<Clock::time_point, std::vector<uint8_t>>> delayed_;
  FrameStream frameStream_;
  std::map<uint8_t, std::vector<uint8_t>> infoFrames_;
  BoxPicture lastPicture_;
  uint32_t picturesTaken_ = 0;
  int lineRate_ = kBoxLinkRate;
};

}  // namespace sc
