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
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "edid/edid_decoder.h"
#include "link/frame.h"
#include "sim/box_edids.h"
#include "sim/box_faults.h"

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
inline constexpr uint16_t kReadEdid = 0xF851;     // 1 byte: preset 0..14; 256 bytes back
inline constexpr uint16_t kAcknowledge = 0xFFFF;  // the acknowledged code, then a status
}  // namespace box_code

// The status byte of the acknowledgement of an EDID write (0xFFFF, payload 51 78 status).
inline constexpr uint8_t kEdidWriteOk = 0x00;
inline constexpr uint8_t kEdidWriteRefused = 0x01;     // the box's write fault is on
inline constexpr uint8_t kEdidWriteBadRequest = 0x02;  // slot above 9 or not 257 bytes

// The raw timing the box measures, as it goes out in reply 0x8091: 20 bytes, byte 0
// unused, then the 16-bit values little-endian. Interlaced signals give field values.
struct BoxTiming {
  uint16_t pixelClock = 0;  // units of 10 kHz
  uint8_t flags = 0;        // bit 0 interlaced, bit 1 H sync positive, bit 2 V sync positive
  uint16_t hActive = 0;
  uint16_t hBlank = 0;
  uint16_t hSyncOffset = 0;
  uint16_t hSyncWidth = 0;
  uint16_t vActive = 0;
  uint16_t vBlank = 0;
  uint16_t vSyncOffset = 0;
  uint16_t vSyncWidth = 0;

  std::array<uint8_t, 20> Bytes() const;
};

// The box's account of the received signal, reply 0x8090 (10 bytes, one per field).
struct BoxSignalStatus {
  uint8_t colourSpace = 0;  // 0 RGB 4:4:4, 1 YUV 4:2:2, 2 YUV 4:4:4, 3 YUV 4:2:0
  uint8_t colourDepth = 0;  // 0 24 bit, 1 30, 2 36, 3 48
  uint8_t hdcp = 0;         // 0 off, 1 HDCP 1.4, 2 HDCP 2.2
  uint8_t signalType = 0;   // 0 DVI, 1 HDMI
  uint8_t sampleRate = 0;   // 1 32 kHz, 2 44.1, 3 48, 4 88.2, 5 96, 6 176.4, 7 192
  uint8_t sampleSize = 0;   // 1 16 bit, 2 20, 3 24
  uint8_t channels = 0;     // channel count minus one
  uint8_t audioType = 0;    // CEA-861 audio coding type, 1 PCM
  uint8_t structure3d = 0;  // 0 2D, 1 frame packing, 2 top-bottom, 3 side-by-side
  uint8_t pixelRepetition = 0;

  std::array<uint8_t, 10> Bytes() const;
};

// A received signal: what the box measures and reports about it.
struct BoxSignal {
  std::string name;
  BoxTiming timing;
  BoxSignalStatus status;

  // No signal is reported as an active width of 0.
  bool Present() const { return timing.hActive != 0; }
};

// The named signals the simulator knows; "1080p60" is a new box's signal.
const std::vector<BoxSignal>& BoxSignalPresets();
std::optional<BoxSignal> FindBoxSignal(std::string_view name);
inline constexpr std::string_view kDefaultSignal = "1080p60";

// The box's front panel.
struct FrontPanel {
  uint8_t input = 0;       // 0 HDMI, 1 SDI
  uint8_t hotPlug = 0;     // 0 on, 1 off
  uint8_t volumeStep = 4;  // 0..8
  uint8_t edidPreset = 0;  // 0..14, the EDID the box presents on its input
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

  const BoxSignal& signal() const { return signal_; }
  // Changes the received signal. With `notify` the box queues the notice 0x809F (payload
  // byte 0: 0 when the signal is gone, 1 otherwise) for TakeUnsolicited.
  void SetSignal(const BoxSignal& signal, bool notify);
  // Frames the box sends on its own (already through the fault injection).
  std::vector<uint8_t> TakeUnsolicited();

  const BoxCounters& counters() const { return counters_; }
  // The commands acted on, oldest first (the last kCommandRecordLimit of them).
  const std::deque<ReceivedCommand>& commands() const { return commands_; }
  std::vector<uint16_t> CommandCodes() const;
  void ClearRecords();
  static constexpr size_t kCommandRecordLimit = 4096;

 private:
  void HandleFrame(std::vector<uint8_t>& out);
  void Execute(const ReceivedCommand& command, std::vector<uint8_t>& out);
  uint8_t WriteUserEdid(const std::vector<uint8_t>& payload);
  void Reply(uint16_t code, const uint8_t* payload, size_t count, std::vector<uint8_t>& out);
  void Send(std::vector<uint8_t> frame, std::vector<uint8_t>& out);

  DeviceAddress address_;
  FrontPanel panel_;
  BoxSignal signal_;
  BoxFaults faults_;
  std::array<EdidImage, kBoxEdidCount> edids_;
  BoxCounters counters_;
  FrameAssembler assembler_{kCommandLead};
  std::deque<ReceivedCommand> commands_;
  std::vector<uint8_t> unsolicited_;
};

}  // namespace sc
