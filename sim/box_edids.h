#pragma once
// The EDIDs a simulated box keeps: five built-in presets and ten user slots, 15 in all,
// numbered as the box's preset numbers (0..4 built in, 5..14 the user slots USER1..USER10).
//
// The built-in ones are built here so that each holds what its name promises:
//   0 "0-4K60HZ-3D-2CH(PCM)"                3840x2160 at 60 Hz (594 MHz) preferred, 3D, 2ch LPCM
//   1 "1-4K60HZ(YUV420)-3D-48BIT-2CH(PCM)"  4K30 preferred, 4K60/50 as YCbCr 4:2:0 only,
//                                           48-bit deep colour, 3D, 2ch LPCM
//   2 "2-4K30HZ_3D_48BIT_2CH(PCM)"          4K30 preferred, 48-bit deep colour, 3D, 2ch LPCM
//   3 "3-1080P-3D-24BIT-2CH(PCM)"           1080p60 preferred, 3D, no deep colour, 2ch LPCM
//   4 "4-1080P-24BIT-2CH(PCM)"              1080p60 preferred, no 3D, no deep colour, 2ch LPCM
// Each is an E-EDID 1.3 base block and one CEA-861 extension with an HDMI vendor block
// (and, for the 4K60 ones, an HDMI Forum block), both checksums right.

#include <array>
#include <cstddef>
#include <string_view>

#include "edid/edid_decoder.h"

namespace sc {

inline constexpr int kBuiltInEdidCount = 5;
inline constexpr int kUserEdidSlots = 10;
inline constexpr int kBoxEdidCount = kBuiltInEdidCount + kUserEdidSlots;

// The built-in EDID of preset 0..4.
const EdidImage& BuiltInEdid(int preset);

// The display product name each built-in EDID carries (name descriptor, 0xFC).
std::string_view BuiltInEdidProductName(int preset);

// What a new box holds in its user slots: a copy of the plain 1080p preset (4), so that a
// slot read before anything was written still decodes.
const EdidImage& InitialUserEdid();

}  // namespace sc
