#pragma once
// The InfoFrames a box captures from its received signal, as it answers 0x8092 (one byte:
// the packet type). They are derived from what the box measures (the timing record, the
// status bytes and the signal's name), so they follow the signal whenever it changes:
//   0x82 AVI      version 2, 13 bytes: colour space, colorimetry, picture shape (4:3, 16:9), the
//                 video code of the active size, rate and scan, pixel repetition
//   0x84 audio    version 1, 10 bytes: coding type, channel count, sample rate and size,
//                 speaker allocation
//   0x83 SPD      version 1, 25 bytes: vendor "SIGBOX", the signal's name as product
//   0x81 vendor:  the HDMI one (OUI 00-0C-03) with the HDMI_VIC of a 4K format
//                 that has one, or the 3D structure of a 3D signal; the HDMI Forum one
//                 (OUI C4-5D-D8) for the 4K formats at 50 and 60 Hz
//   0x87 HDR      version 1, 26 bytes, while the source sends HDR10: SMPTE ST 2084 and a
//                 typical mastering display; the AVI InfoFrame then says BT.2020 (C = 3,
//                 EC = 6)
// The picture's size is the measured one, a 4:2:0 signal's width doubled; a frame-packed
// one measured as its whole frame gets the code of one view.
// A DVI or SDI signal, no signal, or a type the signal does not carry (ACP, ISRC, gamut, MPEG,
// a vendor one for a plain 2D format, HDR without HDR10) is answered with four zero bytes,
// which the console shows as no packet.

#include <cstdint>
#include <vector>

#include "sim/simulated_box.h"

namespace sc {

namespace packet_type {
inline constexpr uint8_t kVendor = 0x81;
inline constexpr uint8_t kAvi = 0x82;
inline constexpr uint8_t kSourceProduct = 0x83;
inline constexpr uint8_t kAudio = 0x84;
inline constexpr uint8_t kDynamicRange = 0x87;
}  // namespace packet_type

// The video codes of the signal's format: the CTA-861 VIC the AVI InfoFrame carries and
// the HDMI_VIC of the HDMI vendor InfoFrame (0 when the format has none).
struct VideoCodes {
  uint8_t vic = 0;
  uint8_t hdmiVic = 0;
  uint8_t shape = 0;  // 1 4:3, 2 16:9, 0 unknown
};
VideoCodes FindVideoCodes(const BoxSignal& signal);

// The payload of the box's answer to 0x8092 for `type`: type, version, length L, check
// sum and L data bytes (the check sum brings the sum of all of them to 0), or four zero
// bytes for a packet not captured.
std::vector<uint8_t> CapturedInfoFrame(const BoxSignal& signal, uint8_t type);

}  // namespace sc
