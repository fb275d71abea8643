#pragma once
// The EDID decoder: turns the 256 bytes the box holds for one preset (base block and
// first extension) into the five texts of the EDID page: a status text (header and
// checksum verdict), a hex dump and the Video, Audio and General reports.
//
// The decoder reads only the fields it needs, in its own simple way: the base block's
// header, IDs, input type and its four 18-byte descriptors; the first extension as a
// CEA-861 timing extension with its data block collection (the first block is taken as
// the video block whatever its tag), the HDMI vendor block and the 4:2:0 blocks. It never
// reads past byte 255: a field that would lie beyond the image counts as absent.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sc {

inline constexpr size_t kEdidSize = 256;
using EdidImage = std::array<uint8_t, kEdidSize>;

enum class EdidSection { Video, Audio, General };

// Names used by the reports, indexed from 0: audio format names by CEA audio format code
// 0-15, sample rate names for bits 0-6 of a short audio descriptor's second byte (16-22),
// sample size names for bits 0-2 of its third byte (23-25), video format names for VIC
// 1-107 (index VIC + 25).
inline constexpr size_t kEdidTextCount = 133;
inline constexpr size_t kAudioFormatText = 0;
inline constexpr size_t kSampleRateText = 16;
inline constexpr size_t kSampleSizeText = 23;
inline constexpr size_t kVicText = 25;  // VIC v is at kVicText + v
inline constexpr int kMaxNamedVic = 107;
extern const std::array<std::string_view, kEdidTextCount> EdidTextTable;

// The five texts of the EDID page. Report lines end in CR LF; the status text separates
// its parts with a bare CR.
struct EdidTexts {
  std::string status;
  std::string hex;
  std::string video;
  std::string audio;
  std::string general;
};

// Bytes 0-7 are 00 FF FF FF FF FF FF 00.
bool EdidHeaderOk(const EdidImage& image);

// "HDMI EDID..." or "DVI EDID..." with the checksum verdict (no header test).
std::string EdidChecksumStatus(const EdidImage& image);

// The full evaluation after a read from the box: header test, then status, hex text
// and the Video, Audio and General reports. A wrong header gives only the status
// "EDID data header error !".
EdidTexts ShowEdid(const EdidImage& image);

// Every byte as two upper-case hex digits and a space, 768 characters, no line breaks.
std::string FormatEdidHex(const EdidImage& image);

// Appends the report of one section to text.
void DecodeEdid(const EdidImage& image, EdidSection section, std::string& text);

}  // namespace sc
