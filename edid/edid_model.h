#pragma once
// The whole EDID as typed values: the base block and every extension, each CTA-861
// extension with every data block by its tag and extended tag, and its detailed timings.
// Beside the page's own simple reports (edid_decoder.h), which stay as they are.
//
// Every decoded item keeps where its bytes lie (block, offset in the block, length), so a
// comparison can show the bytes that differ and an editor can rebuild the data block
// collection and carry the bytes it does not model over unchanged. Reading is guarded
// everywhere: a data block that claims more bytes than lie before the DTD offset (or the
// end of its block) is read only as far as those bytes go and marked cut; nothing is read
// past the bytes given. Blocks and data blocks nobody here knows stay in the model with
// their bytes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace sc {

inline constexpr size_t kEdidBlockSize = 128;
// EDID files may hold up to 32 blocks (the base block and 31 extensions).
inline constexpr size_t kMaxEdidBlocks = 32;

// Where an item's bytes lie: block number, offset inside that block, length in bytes.
struct EdidSpan {
  uint8_t block = 0;
  uint8_t offset = 0;
  uint8_t length = 0;

  size_t begin() const { return size_t{block} * kEdidBlockSize + offset; }
  size_t end() const { return begin() + length; }
  bool operator==(const EdidSpan&) const = default;
};

// ---------------------------------------------------------------------------------------
// Timings

// An 18-byte detailed timing descriptor.
struct EdidDetailedTiming {
  EdidSpan span;
  uint32_t pixelClockKhz = 0;
  uint16_t hActive = 0, hBlank = 0, hFront = 0, hSync = 0;
  // Lines of one field for an interlaced timing, as the descriptor holds them.
  uint16_t vActive = 0, vBlank = 0, vFront = 0, vSync = 0;
  uint16_t hImageMm = 0, vImageMm = 0;
  uint8_t hBorder = 0, vBorder = 0;
  bool interlaced = false;
  uint8_t flags = 0;  // byte 17: stereo, sync type and polarities

  // The frame's height: 1080 for 1920x1080i.
  uint32_t frameHeight() const { return interlaced ? 2u * vActive : vActive; }
  // Fields (interlaced) or frames a second; 0 when a total is 0.
  double refreshHz() const;
  // Digital separate sync (the usual case): the polarities.
  bool digitalSeparateSync() const { return (flags & 0x18) == 0x18; }
  bool hSyncPositive() const { return (flags & 0x02) != 0; }
  bool vSyncPositive() const { return (flags & 0x04) != 0; }
  int hBack() const { return int{hBlank} - hFront - hSync; }
  int vBack() const { return int{vBlank} - vFront - vSync; }
};

// A timing named by a table (established timings) or by a standard timing code.
struct EdidNamedTiming {
  uint16_t width = 0, height = 0;
  uint8_t refreshHz = 0;
  bool interlaced = false;
  bool reducedBlanking = false;
  bool operator==(const EdidNamedTiming&) const = default;
};

// Two bytes of a standard timing: the width, the aspect ratio and the refresh rate.
struct EdidStandardTiming {
  EdidSpan span;
  EdidNamedTiming timing;
  const char* aspect = "";  // "16:10", "4:3", "5:4", "16:9", "1:1"
};

// Range limits (descriptor tag 0xFD).
struct EdidRangeLimits {
  uint16_t vMinHz = 0, vMaxHz = 0, hMinKhz = 0, hMaxKhz = 0;
  uint16_t maxClockMhz = 0;
  uint8_t support = 0;  // byte 10: 0 default GTF, 1 range limits only, 2 secondary GTF, 4 CVT
};

// One of the four 18-byte descriptors of the base block, or one of a CTA extension's.
struct EdidDescriptor {
  enum class Kind { Timing, Display };
  Kind kind = Kind::Timing;
  EdidSpan span;
  EdidDetailedTiming timing;  // Kind::Timing
  uint8_t tag = 0;            // Kind::Display: byte 3
  // 0xFC name, 0xFF serial number, 0xFE data string: the text up to the 0x0A that ends it.
  std::string text;
  EdidRangeLimits range;                     // 0xFD
  std::vector<EdidStandardTiming> standard;  // 0xFA
  std::vector<EdidNamedTiming> established;  // 0xF7
};

// ---------------------------------------------------------------------------------------
// The base block

struct EdidBaseBlock {
  bool headerOk = false;
  std::string manufacturer;  // three letters from bytes 8-9
  uint16_t product = 0;
  uint32_t serial = 0;
  uint8_t week = 0;   // 0: not given; 0xFF: the year is a model year
  uint16_t year = 0;  // 1990 + byte 17
  uint8_t version = 0, revision = 0;

  uint8_t input = 0;  // byte 20
  bool digital() const { return (input & 0x80) != 0; }
  uint8_t hSizeCm = 0, vSizeCm = 0;
  uint8_t gamma = 0;  // byte 23: (gamma * 100) - 100; 0xFF: given by an extension
  uint8_t features = 0;
  // Red, green, blue and white, x then y, in 1/1024.
  std::array<uint16_t, 8> chromaticity{};

  std::vector<EdidNamedTiming> established;  // bytes 35-37, in bit order
  uint8_t manufacturerTimings = 0;           // byte 37 bits 6-0
  std::vector<EdidStandardTiming> standard;  // bytes 38-53, the slots in use
  std::vector<EdidDescriptor> descriptors;   // bytes 54-125, four
  uint8_t extensionCount = 0;                // byte 126
};

// ---------------------------------------------------------------------------------------
// CTA-861 data blocks

// A Short Video Descriptor: one byte of a Video Data Block or of a YCbCr 4:2:0 Video
// Data Block.
struct CtaSvd {
  EdidSpan span;
  uint8_t code = 0;  // the byte
  int vic = 0;       // 0 for the reserved bytes 0x00 and 0x80
  bool native = false;
  bool reserved() const { return vic == 0; }
};

// A Short Audio Descriptor (three bytes).
struct CtaSad {
  EdidSpan span;
  std::array<uint8_t, 3> bytes{};
  uint8_t format = 0;           // bits 6-3 of byte 1
  uint8_t extendedType = 0;     // bits 7-3 of byte 3, for format 15
  uint8_t channels = 0;         // bits 2-0 of byte 1, plus one
  uint8_t rates = 0;            // byte 2, bits 6-0: 32, 44.1, 48, 88.2, 96, 176.4, 192 kHz
  uint8_t sizes = 0;            // LPCM: byte 3 bits 2-0: 16, 20, 24 bits
  uint16_t maxBitrateKbps = 0;  // formats 2-8: byte 3 times 8
};

struct CtaVideoBlock {
  std::vector<CtaSvd> svds;
};

struct CtaAudioBlock {
  std::vector<CtaSad> sads;
  uint8_t leftover = 0;  // bytes after the last whole descriptor
};

struct CtaSpeakerBlock {
  EdidSpan span;      // the allocation bytes present
  uint32_t mask = 0;  // byte 1 in bits 7-0, byte 2 in 15-8, byte 3 in 23-16
};

// Vendor-Specific Data Block of HDMI Licensing (OUI 00-0C-03).
struct HdmiVsdb {
  std::optional<std::array<uint8_t, 4>> physicalAddress;  // block offsets 4-5
  std::optional<uint8_t> flags;                           // offset 6: AI, deep colour, DVI dual
  std::optional<uint16_t> maxTmdsMhz;                     // offset 7 times 5, when not 0
  std::optional<uint8_t> latencyFlags;                    // offset 8
  std::optional<uint8_t> videoLatency, audioLatency;
  std::optional<uint8_t> interlacedVideoLatency, interlacedAudioLatency;
  bool hdmiVideoPresent = false;
  std::optional<uint8_t> videoFlags;  // 3D_present, 3D_Multi_present, Image_Size
  struct HdmiVic {
    EdidSpan span;
    uint8_t vic = 0;
  };
  std::vector<HdmiVic> hdmiVics;
  uint8_t hdmiVicLength = 0;             // as claimed
  uint8_t hdmi3dLength = 0;              // as claimed
  std::optional<uint16_t> structureAll;  // 3D_Structure_ALL_15..0
  std::optional<uint16_t> mask;          // 3D_MASK_15..0
  struct Structure3d {
    EdidSpan span;
    uint8_t svdIndex = 0;  // 2D_VIC_order
    uint8_t structure = 0;
    std::optional<uint8_t> detail;  // 3D_Detail, for structures 8 and above
  };
  std::vector<Structure3d> structures;
  bool listsCut = false;  // the HDMI VICs or the 3D fields claim more bytes than the block holds

  EdidSpan physicalAddressSpan, flagsSpan, maxTmdsSpan;
  bool has3d() const { return videoFlags && (*videoFlags & 0x80); }
};

// Vendor-Specific Data Block of the HDMI Forum (OUI C4-5D-D8), also the HDMI Forum Sink
// Capability Data Block (extended tag 0x79), which carries the same fields.
struct HdmiForumVsdb {
  uint8_t version = 0;
  uint16_t maxTmdsCharacterRateMhz = 0;  // 0: not above 340 Mcsc
  // Block offsets 6 onward (SCDC and its friends; FRL and 4:2:0 deep colour; VRR and
  // ALLM; VRR min and max; DSC), as far as the block holds them.
  std::vector<uint8_t> fields;
  EdidSpan maxRateSpan;

  uint8_t Field(size_t index) const { return index < fields.size() ? fields[index] : 0; }
  uint8_t maxFrlRate() const { return Field(1) >> 4; }
  unsigned vrrMin() const { return Field(3) & 0x3F; }
  unsigned vrrMax() const { return (Field(3) >> 6) << 8 | Field(4); }
};

struct CtaVideoCapabilityBlock {
  uint8_t flags = 0;
};

struct CtaColorimetryBlock {
  uint8_t colorimetry = 0;
  uint8_t metadata = 0;  // bits 3-0: gamut metadata profiles; bits 5-7: sRGB, ICtCp, ST2113RGB
};

struct CtaHdrStaticBlock {
  uint8_t eotfs = 0;     // bit 0 SDR, 1 HDR, 2 PQ (SMPTE ST 2084), 3 HLG
  uint8_t metadata = 0;  // bit 0: static metadata type 1
  std::optional<uint8_t> maxLuminance, maxFrameAverage, minLuminance;  // code values
};

struct CtaY420VideoBlock {
  std::vector<CtaSvd> svds;
};

struct CtaY420MapBlock {
  EdidSpan span;                // the bitmap bytes
  std::vector<uint8_t> bitmap;  // empty: every SVD supports 4:2:0
  bool allSvds() const { return bitmap.empty(); }
  bool Has(size_t svdIndex) const {
    if (allSvds()) return true;
    return svdIndex / 8 < bitmap.size() && (bitmap[svdIndex / 8] >> (svdIndex % 8) & 1);
  }
};

enum class CtaBlockKind {
  Video,
  Audio,
  SpeakerAllocation,
  Hdmi,
  HdmiForum,
  VendorSpecific,  // another OUI
  VideoCapability,
  Colorimetry,
  HdrStatic,
  Y420Video,
  Y420CapabilityMap,
  Other,  // named by its tag and shown with its bytes
};

struct CtaDataBlock {
  EdidSpan span;  // the header byte and the payload bytes present
  uint8_t tag = 0;
  int extendedTag = -1;       // tag 7 with a payload: block offset 1
  uint8_t claimedLength = 0;  // bits 4-0 of the header
  // The payload claims more bytes than lie before the DTD offset (or before the block's
  // checksum); only what lies before is read.
  enum class Cut { None, PastDtdOffset, PastBlockEnd };
  Cut cut = Cut::None;
  std::optional<uint32_t> oui;  // vendor-specific blocks: OUI as written 00-0C-03 = 0x000C03
  CtaBlockKind kind = CtaBlockKind::Other;
  std::string name;  // "Video Data Block", "Vendor-Specific Data Block (HDMI)", ...

  std::variant<std::monostate, CtaVideoBlock, CtaAudioBlock, CtaSpeakerBlock, HdmiVsdb,
               HdmiForumVsdb, CtaVideoCapabilityBlock, CtaColorimetryBlock, CtaHdrStaticBlock,
               CtaY420VideoBlock, CtaY420MapBlock>
      contents;

  // The payload present (block offsets 1...), for blocks shown as bytes.
  EdidSpan payload() const {
    return {span.block, static_cast<uint8_t>(span.offset + 1),
            static_cast<uint8_t>(span.length ? span.length - 1 : 0)};
  }
};

struct CtaExtension {
  uint8_t revision = 0;
  uint8_t dtdOffset = 0;  // byte 2
  uint8_t flags = 0;      // byte 3: underscan, basic audio, YCbCr 4:4:4, 4:2:2, native DTDs
  std::vector<CtaDataBlock> blocks;
  // Revision 1 and 2 have no data block collection: what lies between byte 4 and the
  // DTD offset there.
  EdidSpan reserved;
  std::vector<EdidDescriptor> descriptors;  // from the DTD offset
  EdidSpan padding;                         // after the last descriptor, before the checksum
  bool paddingNonZero = false;

  bool underscan() const { return flags & 0x80; }
  bool basicAudio() const { return flags & 0x40; }
  bool ycbcr444() const { return flags & 0x20; }
  bool ycbcr422() const { return flags & 0x10; }
  int nativeDtds() const { return flags & 0x0F; }

  // The SVDs of every Video Data Block, in order (the 4:2:0 capability map and the HDMI
  // block's 3D lists count them this way).
  std::vector<const CtaSvd*> Svds() const;
  template <class T>
  const T* First() const {
    for (const CtaDataBlock& block : blocks)
      if (const T* contents = std::get_if<T>(&block.contents)) return contents;
    return nullptr;
  }
};

// ---------------------------------------------------------------------------------------
// Blocks and the whole EDID

struct EdidBlock {
  uint8_t index = 0;
  uint8_t tag = 0;  // byte 0 (extensions)
  uint8_t checksum = 0;
  bool checksumOk = false;
  std::string name;  // "Base EDID", "CTA-861 extension", "DisplayID extension", ...
  std::optional<CtaExtension> cta;
};

struct EdidModel {
  std::vector<uint8_t> bytes;      // what was decoded, whole blocks and any bytes after them
  size_t wholeBlocks = 0;          // blocks present (at most kMaxEdidBlocks)
  size_t trailingBytes = 0;        // bytes after the last whole block (none decoded)
  bool moreThanMaxBlocks = false;  // the source held more than 32 blocks
  EdidBaseBlock base;              // when wholeBlocks >= 1
  std::vector<EdidBlock> blocks;   // every whole block, base first

  std::span<const uint8_t> Bytes(const EdidSpan& span) const;
  std::vector<const CtaExtension*> CtaExtensions() const;
  // Every detailed timing, in EDID order over every block.
  std::vector<const EdidDetailedTiming*> DetailedTimings() const;
  // The base block's monitor name (descriptor 0xFC), or the first in an extension.
  const std::string* MonitorName() const;
};

// Decodes bytes (any length: whole 128-byte blocks are decoded, up to 32 of them; what
// follows is kept but not decoded). moreThanMaxBlocks says that the source held more.
EdidModel DecodeEdidModel(std::span<const uint8_t> bytes, bool moreThanMaxBlocks = false);

// The part of the EDID page's 256-byte image that is the EDID: the base block alone when
// byte 126 says there is no extension, both blocks otherwise.
std::span<const uint8_t> PageEdidBytes(std::span<const uint8_t, 256> image);

}  // namespace sc
