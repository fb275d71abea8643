#include "edid/edid_names.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace sc {

std::string FormatEdidText(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

namespace {

constexpr EdidNamedTiming kEstablished[] = {
    // byte 35, bit 7 first
    {720, 400, 70},
    {720, 400, 88},
    {640, 480, 60},
    {640, 480, 67},
    {640, 480, 72},
    {640, 480, 75},
    {800, 600, 56},
    {800, 600, 60},
    // byte 36
    {800, 600, 72},
    {800, 600, 75},
    {832, 624, 75},
    {1024, 768, 87, true},
    {1024, 768, 60},
    {1024, 768, 70},
    {1024, 768, 75},
    {1280, 1024, 75},
    // byte 37 bit 7
    {1152, 870, 75},
};

constexpr EdidNamedTiming kEstablishedIII[] = {
    // byte 6, bit 7 first
    {640, 350, 85},
    {640, 400, 85},
    {720, 400, 85},
    {640, 480, 85},
    {848, 480, 60},
    {800, 600, 85},
    {1024, 768, 85},
    {1152, 864, 75},
    // byte 7
    {1280, 768, 60, false, true},
    {1280, 768, 60},
    {1280, 768, 75},
    {1280, 768, 85},
    {1280, 960, 60},
    {1280, 960, 85},
    {1280, 1024, 60},
    {1280, 1024, 85},
    // byte 8
    {1360, 768, 60},
    {1440, 900, 60, false, true},
    {1440, 900, 60},
    {1440, 900, 75},
    {1440, 900, 85},
    {1400, 1050, 60, false, true},
    {1400, 1050, 60},
    {1400, 1050, 75},
    // byte 9
    {1400, 1050, 85},
    {1680, 1050, 60, false, true},
    {1680, 1050, 60},
    {1680, 1050, 75},
    {1680, 1050, 85},
    {1600, 1200, 60},
    {1600, 1200, 65},
    {1600, 1200, 70},
    // byte 10
    {1600, 1200, 75},
    {1600, 1200, 85},
    {1792, 1344, 60},
    {1792, 1344, 75},
    {1856, 1392, 60},
    {1856, 1392, 75},
    {1920, 1200, 60, false, true},
    {1920, 1200, 60},
    // byte 11, bits 7-4
    {1920, 1200, 75},
    {1920, 1200, 85},
    {1920, 1440, 60},
    {1920, 1440, 75},
};

constexpr const char* kAudioFormats[16] = {"Reserved",
                                           "Linear PCM",
                                           "AC-3",
                                           "MPEG 1 (Layers 1 & 2)",
                                           "MPEG 1 Layer 3 (MP3)",
                                           "MPEG2 (multichannel)",
                                           "AAC LC",
                                           "DTS",
                                           "ATRAC",
                                           "One Bit Audio",
                                           "Enhanced AC-3 (DD+)",
                                           "DTS-HD",
                                           "MAT (MLP)",
                                           "DST",
                                           "WMA Pro",
                                           "Extended"};
constexpr const char* kAudioShortNames[16] = {
    "Reserved", "LPCM", "AC-3",   "MPEG-1", "MP3", "MPEG-2", "AAC LC",  "DTS",
    "ATRAC",    "DSD",  "E-AC-3", "DTS-HD", "MAT", "DST",    "WMA Pro", "Extended"};

// Extended audio type codes (byte 3 bits 7-3 of format 15).
const char* ExtendedAudioName(uint8_t code) {
  switch (code) {
    case 1:
      return "HE AAC (Obsolete)";
    case 2:
      return "HE AAC v2 (Obsolete)";
    case 3:
      return "MPEG Surround (Obsolete)";
    case 4:
      return "MPEG-4 HE AAC";
    case 5:
      return "MPEG-4 HE AAC v2";
    case 6:
      return "MPEG-4 AAC LC";
    case 7:
      return "DRA";
    case 8:
      return "MPEG-4 HE AAC + MPEG Surround";
    case 10:
      return "MPEG-4 AAC LC + MPEG Surround";
    case 11:
      return "MPEG-H 3D Audio";
    case 12:
      return "AC-4";
    case 13:
      return "L-PCM 3D Audio";
    case 14:
      return "Auro-Cx";
    case 15:
      return "MPEG-D USAC";
    default:
      return nullptr;
  }
}

constexpr double kRates[] = {32, 44.1, 48, 88.2, 96, 176.4, 192};
constexpr int kSizes[] = {16, 20, 24};

constexpr SpeakerName kSpeakers[] = {
    {"FL/FR", "Front Left/Right"},
    {"LFE1", "Low Frequency Effects 1"},
    {"FC", "Front Center"},
    {"BL/BR", "Back Left/Right"},
    {"BC", "Back Center"},
    {"FLc/FRc", "Front Left/Right of Center"},
    {"RLC/RRC", "Rear Left/Right of Center (Deprecated)"},
    {"FLw/FRw", "Front Left/Right Wide"},
    {"TpFL/TpFR", "Top Front Left/Right"},
    {"TpC", "Top Center"},
    {"TpFC", "Top Front Center"},
    {"LS/RS", "Left/Right Surround"},
    {"LFE2", "Low Frequency Effects 2"},
    {"TpBC", "Top Back Center"},
    {"SiL/SiR", "Side Left/Right"},
    {"TpSiL/TpSiR", "Top Side Left/Right"},
    {"TpBL/TpBR", "Top Back Left/Right"},
    {"BtFC", "Bottom Front Center"},
    {"BtFL/BtFR", "Bottom Front Left/Right"},
    {"TpLS/TpRS", "Top Left/Right Surround (Deprecated for CTA-861)"},
    {"LSd/RSd", "Left/Right Surround Direct (HDMI only)"},
};

constexpr FlagName kHdmiFlags[] = {{0x80, "Supports_AI"}, {0x40, "DC_48bit"}, {0x20, "DC_36bit"},
                                   {0x10, "DC_30bit"},    {0x08, "DC_Y444"},  {0x01, "DVI_Dual"}};
constexpr FlagName kColorimetry[] = {{0x01, "xvYCC601"},  {0x02, "xvYCC709"}, {0x04, "sYCC601"},
                                     {0x08, "opYCC601"},  {0x10, "opRGB"},    {0x20, "BT2020cYCC"},
                                     {0x40, "BT2020YCC"}, {0x80, "BT2020RGB"}};
constexpr FlagName kColorimetryMetadata[] = {{0x01, "MD0"},      {0x02, "MD1"},  {0x04, "MD2"},
                                             {0x08, "MD3"},      {0x20, "sRGB"}, {0x40, "ICtCp"},
                                             {0x80, "ST2113RGB"}};
constexpr FlagName kEotfShort[] = {{0x01, "SDR"}, {0x02, "HDR"}, {0x04, "PQ"}, {0x08, "HLG"}};
constexpr FlagName kEotfLong[] = {{0x01, "Traditional gamma - SDR luminance range"},
                                  {0x02, "Traditional gamma - HDR luminance range"},
                                  {0x04, "SMPTE ST2084"},
                                  {0x08, "Hybrid Log-Gamma"}};
constexpr FlagName kCtaFlags[] = {{0x80, "underscans IT video formats by default"},
                                  {0x40, "basic audio"},
                                  {0x20, "YCbCr 4:4:4"},
                                  {0x10, "YCbCr 4:2:2"}};

constexpr FlagName kForumScdc[] = {{0x80, "SCDC present"},
                                   {0x40, "SCDC read request"},
                                   {0x20, "cable status"},
                                   {0x10, "colour content bits per component indication"},
                                   {0x08, "scrambling at 340 Mcsc and below"},
                                   {0x04, "3D independent view"},
                                   {0x02, "3D dual view"},
                                   {0x01, "3D OSD disparity"}};
constexpr FlagName kForumDeep[] = {{0x08, "UHD VIC"},
                                   {0x04, "4:2:0 at 16 bits"},
                                   {0x02, "4:2:0 at 12 bits"},
                                   {0x01, "4:2:0 at 10 bits"}};
constexpr FlagName kForumVrr[] = {{0x20, "M delta"},
                                  {0x10, "CinemaVRR"},
                                  {0x08, "negative M VRR"},
                                  {0x04, "fast vactive"},
                                  {0x02, "auto low-latency mode"},
                                  {0x01, "FAPA start location"}};
constexpr FlagName kForumDsc[] = {{0x80, "DSC 1.2a"},    {0x40, "DSC native 4:2:0"},
                                  {0x08, "DSC all bpp"}, {0x04, "DSC 16 bpc"},
                                  {0x02, "DSC 12 bpc"},  {0x01, "DSC 10 bpc"}};

}  // namespace

std::span<const FlagName> HdmiForumFlagNames(size_t field) {
  switch (field) {
    case 0:
      return kForumScdc;
    case 1:
      return kForumDeep;
    case 2:
      return kForumVrr;
    case 5:
      return kForumDsc;
    default:
      return {};
  }
}

std::span<const EdidNamedTiming> EstablishedTimings() {
  return kEstablished;
}
std::span<const EdidNamedTiming> EstablishedTimingsIII() {
  return kEstablishedIII;
}

std::string NamedTimingText(const EdidNamedTiming& t) {
  char text[48];
  std::snprintf(text, sizeof text, "%ux%u%s %u Hz%s", unsigned{t.width}, unsigned{t.height},
                t.interlaced ? "i" : "", unsigned{t.refreshHz}, t.reducedBlanking ? " RB" : "");
  return text;
}

std::string AudioFormatName(const CtaSad& sad) {
  if (sad.format == 0) return "Reserved (0x00)";
  if (sad.format != 15) return kAudioFormats[sad.format & 0x0F];
  if (const char* name = ExtendedAudioName(sad.extendedType)) return name;
  char text[40];
  std::snprintf(text, sizeof text, "Unknown Audio Ext Format (0x%02x)", sad.extendedType);
  return text;
}

std::string AudioFormatShortName(const CtaSad& sad) {
  if (sad.format != 15) return kAudioShortNames[sad.format & 0x0F];
  return AudioFormatName(sad);
}

std::string SampleRatesText(uint8_t rates) {
  std::string text;
  for (size_t bit = 0; bit < std::size(kRates); ++bit) {
    if (!(rates >> bit & 1)) continue;
    if (!text.empty()) text += ' ';
    char value[16];
    std::snprintf(value, sizeof value, "%g", kRates[bit]);
    text += value;
  }
  return text;
}

std::span<const double> SampleRatesKhz() {
  return kRates;
}
std::span<const int> SampleSizesBits() {
  return kSizes;
}
std::span<const SpeakerName> SpeakerNames() {
  return kSpeakers;
}

std::string CtaBlockName(uint8_t tag, int extendedTag) {
  switch (tag) {
    case 1:
      return "Audio Data Block";
    case 2:
      return "Video Data Block";
    case 3:
      return "Vendor-Specific Data Block";
    case 4:
      return "Speaker Allocation Data Block";
    case 5:
      return "VESA Display Transfer Characteristics Data Block";
    case 6:
      return "Reserved Data Block (tag 6)";
    case 7:
      break;
    default:
      return "Reserved Data Block (tag 0)";
  }
  switch (extendedTag) {
    case -1:
      return "Extended-tag Data Block without its extended tag";
    case 0:
      return "Video Capability Data Block";
    case 1:
      return "Vendor-Specific Video Data Block";
    case 2:
      return "VESA Video Display Device Data Block";
    case 3:
      return "VESA Video Timing Block Extension";
    case 4:
      return "Reserved for HDMI Video Data Block";
    case 5:
      return "Colorimetry Data Block";
    case 6:
      return "HDR Static Metadata Data Block";
    case 7:
      return "HDR Dynamic Metadata Data Block";
    case 8:
      return "Native Video Resolution Data Block";
    case 13:
      return "Video Format Preference Data Block";
    case 14:
      return "YCbCr 4:2:0 Video Data Block";
    case 15:
      return "YCbCr 4:2:0 Capability Map Data Block";
    case 16:
      return "Reserved for CTA-861 Miscellaneous Audio Fields";
    case 17:
      return "Vendor-Specific Audio Data Block";
    case 18:
      return "HDMI Audio Data Block";
    case 19:
      return "Room Configuration Data Block";
    case 20:
      return "Speaker Location Data Block";
    case 32:
      return "InfoFrame Data Block";
    case 34:
      return "DisplayID Type VII Video Timing Data Block";
    case 35:
      return "DisplayID Type VIII Video Timing Data Block";
    case 42:
      return "DisplayID Type X Video Timing Data Block";
    case 120:
      return "HDMI Forum EDID Extension Override Data Block";
    case 121:
      return "HDMI Forum Sink Capability Data Block";
    default:
      break;
  }
  char text[48];
  std::snprintf(text, sizeof text, "Reserved Data Block (extended tag %d)", extendedTag);
  return text;
}

std::string OuiName(uint32_t oui) {
  switch (oui) {
    case 0x000C03:
      return "HDMI";
    case 0xC45DD8:
      return "HDMI Forum";
    case 0x90848B:
      return "HDR10+";
    case 0x00D046:
      return "Dolby";
    case 0x00001A:
      return "AMD";
    case 0x0000F0:
      return "Microsoft";
    default:
      return "";
  }
}

std::string OuiText(uint32_t oui) {
  char text[16];
  std::snprintf(text, sizeof text, "%02X-%02X-%02X", oui >> 16 & 0xFF, oui >> 8 & 0xFF, oui & 0xFF);
  return text;
}

std::string ExtensionName(uint8_t tag) {
  switch (tag) {
    case 0x02:
      return "CTA-861 extension";
    case 0x10:
      return "Video Timing Block extension";
    case 0x20:
      return "EDID 2.0 extension";
    case 0x30:
      return "Color Information extension";
    case 0x40:
      return "Display Information extension (DI-EXT)";
    case 0x50:
      return "Localized String extension";
    case 0x60:
      return "Digital Packet Video Link extension";
    case 0x70:
      return "DisplayID extension";
    case 0xA7:
    case 0xAF:
    case 0xBF:
      return "Display Transfer Characteristics extension";
    case 0xF0:
      return "Block Map";
    case 0xFF:
      return "Manufacturer-defined extension";
    default:
      break;
  }
  char text[40];
  std::snprintf(text, sizeof text, "Unknown extension (tag 0x%02X)", tag);
  return text;
}

std::span<const FlagName> HdmiVsdbFlagNames() {
  return kHdmiFlags;
}
std::span<const FlagName> ColorimetryNames() {
  return kColorimetry;
}
std::span<const FlagName> ColorimetryMetadataNames() {
  return kColorimetryMetadata;
}
std::span<const FlagName> HdrEotfShortNames() {
  return kEotfShort;
}
std::span<const FlagName> HdrEotfNames() {
  return kEotfLong;
}
std::span<const FlagName> CtaFlagNames() {
  return kCtaFlags;
}

const char* DigitalInterfaceName(uint8_t code) {
  switch (code) {
    case 1:
      return "DVI";
    case 2:
      return "HDMI-a";
    case 3:
      return "HDMI-b";
    case 4:
      return "MDDI";
    case 5:
      return "DisplayPort";
    default:
      return "";
  }
}

double HdrMaxLuminance(uint8_t code) {
  return 50.0 * std::pow(2.0, code / 32.0);
}

double HdrMinLuminance(uint8_t maxCode, uint8_t minCode) {
  const double ratio = minCode / 255.0;
  return HdrMaxLuminance(maxCode) * ratio * ratio / 100.0;
}

std::string EdidHexList(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 3);
  for (const uint8_t b : bytes) {
    if (!text.empty()) text += ' ';
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
  }
  return text;
}

}  // namespace sc
