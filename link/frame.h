#pragma once
// The frame both ends of the line speak: lead byte (0xAA from the console, 0xAB from the
// box), 0x01, 0x00, a 16-bit little-endian length L counting the bytes after these five
// (address, code, payload and checksum), group and device address, a 16-bit
// little-endian code, the payload, and a checksum that brings the byte sum of the whole
// frame to 0. Payload byte k is frame byte 9 + k.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sc {

inline constexpr uint8_t kCommandLead = 0xAA;
inline constexpr uint8_t kReplyLead = 0xAB;
inline constexpr size_t kFrameOverhead = 10;       // header 9 + checksum 1
inline constexpr size_t kMaxCommandPayload = 290;  // the console's 300-byte transmit buffer
inline constexpr int kMinFrameLength = 5;          // address, code and checksum
inline constexpr int kMaxFrameLength = 500;        // the longest frame the console accepts
inline constexpr size_t kFrameBufferSize = 520;    // 505 bytes and some slack

struct DeviceAddress {
  uint8_t group = 0;
  uint8_t device = 0;
  friend bool operator==(const DeviceAddress&, const DeviceAddress&) = default;
  // Group high byte, device low byte, as the address book keeps it.
  uint16_t Word() const { return static_cast<uint16_t>(group << 8 | device); }
  static DeviceAddress FromWord(uint16_t word) {
    return {static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word & 0xFF)};
  }
};

// Two's complement of the 8-bit sum of the bytes.
uint8_t FrameChecksum(const uint8_t* bytes, size_t count);
// True when the 8-bit sum of all bytes, checksum included, is 0.
bool FrameSumIsZero(const uint8_t* bytes, size_t count);

// Writes a whole frame (count + 10 bytes) into out, which must hold that many bytes.
// Returns the frame size.
size_t BuildFrameInto(uint8_t* out, uint8_t lead, DeviceAddress address, uint16_t code,
                      const uint8_t* payload, size_t count);
std::vector<uint8_t> BuildFrame(uint8_t lead, DeviceAddress address, uint16_t code,
                                const uint8_t* payload = nullptr, size_t count = 0);
inline std::vector<uint8_t> BuildFrame(uint8_t lead, DeviceAddress address, uint16_t code,
                                       const std::vector<uint8_t>& payload) {
  return BuildFrame(lead, address, code, payload.data(), payload.size());
}

// Assembles frames from a byte stream, one byte at a time. Resynchronises only from the
// idle state: a lead byte inside a frame is ordinary data. A wrong second or third byte,
// a length high byte other than 0 or 1, or a length outside 5..500 drops the frame at
// that byte, so a frame is never read past the buffer nor completed on bytes of an
// earlier one.
class FrameAssembler {
 public:
  static constexpr int kIdle = -1;
  enum class Step { Pending, Complete, Dropped };

  explicit FrameAssembler(uint8_t lead) : lead_(lead) {}

  Step Push(uint8_t byte);

  // The frame being assembled (or just completed): frame byte i at index i.
  std::array<uint8_t, kFrameBufferSize> frame{};
  int length = 0;     // the length field of the frame being assembled
  int state = kIdle;  // -1 idle, else the index of the last byte stored minus one

  size_t FrameSize() const { return static_cast<size_t>(length) + 5; }
  uint16_t Code() const { return static_cast<uint16_t>(frame[7] | frame[8] << 8); }
  DeviceAddress Address() const { return {frame[5], frame[6]}; }
  const uint8_t* Payload() const { return frame.data() + 9; }
  size_t PayloadSize() const { return static_cast<size_t>(length) - 5; }

 private:
  uint8_t lead_;
};

}  // namespace sc
