#include "link/frame.h"

#include <cstring>

namespace sc {

uint8_t FrameChecksum(const uint8_t* bytes, size_t count) {
  uint8_t sum = 0;
  for (size_t i = 0; i < count; ++i)
    sum = static_cast<uint8_t>(sum + bytes[i]);
  return static_cast<uint8_t>(0x100 - sum);
}

bool FrameSumIsZero(const uint8_t* bytes, size_t count) {
  return FrameChecksum(bytes, count) == 0;
}

size_t BuildFrameInto(uint8_t* out, uint8_t lead, DeviceAddress address, uint16_t code,
                      const uint8_t* payload, size_t count) {
  const size_t length = count + 5;
  out[0] = lead;
  out[1] = 0x01;
  out[2] = 0x00;
  out[3] = static_cast<uint8_t>(length & 0xFF);
  out[4] = static_cast<uint8_t>(length >> 8);
  out[5] = address.group;
  out[6] = address.device;
  out[7] = static_cast<uint8_t>(code & 0xFF);
  out[8] = static_cast<uint8_t>(code >> 8);
  if (count) std::memcpy(out + 9, payload, count);
  out[9 + count] = FrameChecksum(out, 9 + count);
  return count + kFrameOverhead;
}

std::vector<uint8_t> BuildFrame(uint8_t lead, DeviceAddress address, uint16_t code,
                                const uint8_t* payload, size_t count) {
  std::vector<uint8_t> frame(count + kFrameOverhead);
  BuildFrameInto(frame.data(), lead, address, code, payload, count);
  return frame;
}

FrameAssembler::Step FrameAssembler::Push(uint8_t byte) {
  switch (state) {
    case kIdle:
      if (byte == lead_) {
        frame[0] = byte;
        state = 0;
      }
      return Step::Pending;
    case 0:
      if (byte != 0x01) break;
      frame[1] = byte;
      state = 1;
      return Step::Pending;
    case 1:
      if (byte != 0x00) break;
      frame[2] = byte;
      state = 2;
      return Step::Pending;
    case 2:
      frame[3] = byte;
      length = byte;
      state = 3;
      return Step::Pending;
    case 3:
      frame[4] = byte;
      if (byte > 0x01) break;
      length += 256 * byte;
      // Below 5 there is no room for address, code and checksum.
      if (length > kMaxFrameLength || length < kMinFrameLength) break;
      state = 4;
      return Step::Pending;
    default:
      frame[static_cast<size_t>(state) + 1] = byte;
      if (state + 2 != length + 5) {
        ++state;
        return Step::Pending;
      }
      state = kIdle;
      return Step::Complete;
  }
  state = kIdle;
  return Step::Dropped;
}

}  // namespace sc
