#pragma once
// The InfoFrame checker. The box answers 0x8092 with the packet it captured: type,
// version, length L, checksum and data bytes 1..L for an InfoFrame (types 0x80 and up);
// for the data-island packets ACP, ISRC1, ISRC2 and gamut metadata the two bytes after the
// type are the packet header's own fields and the rest is the body. DecodeInfoFrame reads
// every field the CTA-861 and HDMI standards define for the type, says what each value
// means, checks the packet against the standard and, when given what the console measured
// of the signal, against that. Toolkit-free: the Ultilities page and signal-cli show the
// same record.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace sc {

namespace infoframe_type {
inline constexpr uint8_t kNone = 0x00;  // the box's answer when it captured no such packet
inline constexpr uint8_t kAcp = 0x04;
inline constexpr uint8_t kIsrc1 = 0x05;
inline constexpr uint8_t kIsrc2 = 0x06;
inline constexpr uint8_t kGamut = 0x0A;
inline constexpr uint8_t kVendor = 0x81;
inline constexpr uint8_t kAvi = 0x82;
inline constexpr uint8_t kSourceProduct = 0x83;
inline constexpr uint8_t kAudio = 0x84;
inline constexpr uint8_t kMpeg = 0x85;
inline constexpr uint8_t kDynamicRange = 0x87;
}  // namespace infoframe_type

// The keys of the checks, fixed: scripts read them.
namespace check_key {
inline constexpr const char* kChecksum = "checksum";
inline constexpr const char* kReserved = "reserved";
inline constexpr const char* kLength = "length";
inline constexpr const char* kVersion = "version";
inline constexpr const char* kVicTiming = "vic_timing";
inline constexpr const char* kColourFormat = "colour_format";
inline constexpr const char* kAudio = "audio";
}  // namespace check_key

// The most data bytes an InfoFrame can carry: the packet body holds 28 bytes, the
// checksum and 27 data bytes.
inline constexpr int kInfoFrameDataLimit = 27;
// A data-island packet's body (PB0..PB27).
inline constexpr size_t kPacketBodySize = 28;

struct InfoFrameField {
  std::string key;    // the standard's name of the field: "Y", "VIC", "display_primaries_x0"
  std::string label;  // "Colour format"
  // The raw unsigned value; a string for the name fields (VN, PD) and for bytes shown raw
  // ("body": hexadecimal bytes separated by spaces).
  std::variant<uint32_t, std::string> value;
  std::string text;  // the value in words: "YCbCr 4:2:2", "1000 cd/m²"
};

struct InfoFrameCheck {
  std::string key;   // one of check_key
  std::string text;  // a sentence that names the fault
};

struct InfoFrameChecksum {
  uint8_t received = 0;
  uint8_t expected = 0;  // the checksum that brings the sum of the packet's bytes to 0
  bool ok = false;
};

struct InfoFrameDecode {
  enum class Kind {
    None,       // type 0 or no bytes: the box captured no packet of the type asked for
    InfoFrame,  // type 0x80 and up: version, length and checksum in the header
    Packet,     // a data-island packet: header fields of its own, no checksum
  };
  Kind kind = Kind::None;
  uint8_t type = 0;
  std::string name;  // "AVI", "Vendor-specific", "ACP"
  // InfoFrames only, as far as the reply carries them.
  std::optional<uint8_t> version;
  std::optional<uint8_t> length;
  // Only when the reply carries all L data bytes.
  std::optional<InfoFrameChecksum> checksum;
  // Data bytes the length announces that the reply does not carry.
  size_t missingBytes = 0;
  std::vector<InfoFrameField> fields;
  std::vector<InfoFrameCheck> checks;
  // Which checks ran (check_key values), so that a clean packet can say what was checked.
  std::vector<std::string> checked;

  const InfoFrameField* Field(std::string_view key) const;
  bool HasCheck(std::string_view key) const;
};

// What the console measured of the signal, for the checks that hold a packet against it:
// the Timing page's decoded timing and the status panel's colour space and audio.
struct MeasuredSignal {
  // The picture as the Timing page shows it; width 0: no timing measured.
  int width = 0;
  int height = 0;  // of the frame
  bool interlaced = false;
  double fieldRateHz = 0;  // fields a second when interlaced, frames otherwise
  // Status byte 9: each pixel is sent n + 1 times (the Timing page divided the width by it).
  int pixelRepetition = 0;
  // Status byte 0: 0 RGB, 1 YCbCr 4:2:2, 2 YCbCr 4:4:4, 3 YCbCr 4:2:0; -1 not stated.
  int colourSpace = -1;
  // Status byte 4, numbered like the Audio InfoFrame's SF (1 32 kHz ... 7 192 kHz); 0 not stated.
  int sampleRateCode = 0;
  // Status byte 6 + 1; 0 not stated.
  int channelCount = 0;
};

// Decodes the payload of reply 0x8092. Reads nothing past the payload; bytes after the
// packet's length are not part of it. With `measured`, the AVI, Audio and vendor-specific
// InfoFrames are also held against the signal.
InfoFrameDecode DecodeInfoFrame(std::span<const uint8_t> payload,
                                const MeasuredSignal* measured = nullptr);

// The texts a person reads, shared by the page and signal-cli.
// "AVI InfoFrame (0x82), version 2, 13 data bytes, checksum 0x47 right"
std::string InfoFrameHeadline(const InfoFrameDecode& decode);
// "Colour format (Y): YCbCr 4:2:2 (1)"; a string field without its raw value.
std::string FieldRow(const InfoFrameField& field);
// The headline, then one row per field.
std::vector<std::string> DecodedRows(const InfoFrameDecode& decode);
// One row per check; a packet without a finding says so, and what was checked.
std::vector<std::string> CheckRows(const InfoFrameDecode& decode);

// "00 0C 1F": upper-case hexadecimal bytes separated by spaces.
std::string HexBytes(std::span<const uint8_t> bytes);

}  // namespace sc
