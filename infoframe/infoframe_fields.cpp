// The fields of each packet type, from the CTA-861 and HDMI field definitions, and what
// their values mean.

#include "infoframe/infoframe_fields.h"

#include <array>
#include <cstdio>

#include "video/cta_formats.h"

namespace sc::infoframe_detail {

namespace {

std::string Hex2(unsigned byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", byte & 0xFF);
  return text;
}

// "bit 7", "bits 6, 5".
std::string BitList(uint8_t bits) {
  std::string list;
  int count = 0;
  for (int bit = 7; bit >= 0; --bit) {
    if (!(bits & (1 << bit))) continue;
    list += (count++ ? ", " : "") + std::to_string(bit);
  }
  return (count > 1 ? "bits " : "bit ") + list;
}

}  // namespace

std::span<const uint8_t> FieldReader::From(int n) const {
  if (!Has(n)) return {};
  return data_.subspan(static_cast<size_t>(n - 1));
}

void FieldReader::Number(std::string key, std::string label, uint32_t value, std::string text) {
  out_.fields.push_back({std::move(key), std::move(label), value, std::move(text)});
}

void FieldReader::Named(std::string key, std::string label, uint32_t value,
                        std::initializer_list<const char*> names, bool reservedIsFault) {
  const char* name = value < names.size() ? names.begin()[value] : nullptr;
  if (!name && reservedIsFault)
    Reserved(label + " (" + key + ") holds " + std::to_string(value) +
             ", a value the standard reserves.");
  Number(std::move(key), std::move(label), value, name ? name : "reserved");
}

void FieldReader::String(std::string key, std::string label, std::string value, std::string text) {
  out_.fields.push_back({std::move(key), std::move(label), std::move(value), std::move(text)});
}

void FieldReader::Raw(std::string label, std::span<const uint8_t> bytes) {
  const std::string hex = HexBytes(bytes);
  String("body", std::move(label), hex, bytes.empty() ? "none" : hex);
}

void FieldReader::Reserved(std::string text) {
  if (checking_) out_.checks.push_back({check_key::kReserved, std::move(text)});
}

void FieldReader::ReservedBits(int n, uint8_t mask, std::string_view where) {
  const uint8_t set = Byte(n) & mask;
  if (!set) return;
  std::string text = "Data byte " + std::to_string(n) + " " + BitList(set) +
                     (set & (set - 1) ? " are" : " is") + " set";
  text += where.empty() ? std::string(": reserved.") : " (" + std::string(where) + ").";
  Reserved(std::move(text));
}

void FieldReader::Length(std::string text) {
  if (checking_) out_.checks.push_back({check_key::kLength, std::move(text)});
}

std::string Decimal(uint64_t value, int decimals) {
  uint64_t scale = 1;
  for (int i = 0; i < decimals; ++i)
    scale *= 10;
  std::string text = std::to_string(value / scale);
  std::string fraction = std::to_string(value % scale);
  fraction.insert(0, static_cast<size_t>(decimals) - fraction.size(), '0');
  while (!fraction.empty() && fraction.back() == '0')
    fraction.pop_back();
  return fraction.empty() ? text : text + "." + fraction;
}

// ---------------------------------------------------------------------------------------
// AVI InfoFrame (0x82), versions 2, 3 and 4.

void DecodeAviFields(FieldReader& r, int version) {
  const bool v2 = version <= 2;
  if (r.Has(1)) {
    const uint8_t b = r.Byte(1);
    if (v2) r.ReservedBits(1, 0x80, "reserved in version 2");
    r.Named("Y", "Colour format", v2 ? (b >> 5) & 3 : (b >> 5) & 7,
            {"RGB", "YCbCr 4:2:2", "YCbCr 4:4:4", "YCbCr 4:2:0", nullptr, nullptr, nullptr,
             "defined by the interface's own standard (IDO)"});
    r.Named("A", "Active format information", (b >> 4) & 1,
            {"not present", "present (R holds it)"});
    r.Named("B", "Bar data", (b >> 2) & 3,
            {"not present", "left and right bars (ELB, SRR)", "top and bottom bars (ETB, SBB)",
             "top, bottom, left and right bars"});
    r.Named("S", "Scan information", b & 3,
            {"no data", "overscanned (television)", "underscanned (computer)", nullptr});
  }
  if (r.Has(2)) {
    const uint8_t b = r.Byte(2);
    r.Named("C", "Colorimetry", b >> 6,
            {"no data", "SMPTE 170M (ITU-R BT.601)", "ITU-R BT.709", "extended (EC holds it)"});
    r.Named("M", "Picture aspect ratio", (b >> 4) & 3, {"no data", "4:3", "16:9", nullptr});
    // The active format as DVB's AFD codes it; meaningless while A is 0.
    const bool active = r.Has(1) && (r.Byte(1) >> 4) & 1;
    const uint32_t format = b & 0x0F;
    if (!active && format == 0)
      r.Number("R", "Active format aspect ratio", 0, "no data");
    else
      r.Named("R", "Active format aspect ratio", format,
              {nullptr, nullptr, "box 16:9 (top)", "box 14:9 (top)", "box wider than 16:9 (centre)",
               nullptr, nullptr, nullptr, "as the picture", "4:3 (centre)", "16:9 (centre)",
               "14:9 (centre)", nullptr, "4:3 (shoot and protect 14:9 centre)",
               "16:9 (shoot and protect 14:9 centre)", "16:9 (shoot and protect 4:3 centre)"},
              active);
  }
  const bool extended = r.Has(2) && (r.Byte(2) >> 6) == 3;
  if (r.Has(3)) {
    const uint8_t b = r.Byte(3);
    r.Named("ITC", "IT content", b >> 7, {"no data", "IT content (CN holds its type)"});
    // Extended colorimetry counts only with C = 3; value 7 points to ACE from version 4.
    r.Named("EC", "Extended colorimetry", (b >> 4) & 7,
            {"xvYCC601", "xvYCC709", "sYCC601", "opYCC601", "opRGB",
             "ITU-R BT.2020 YcCbcCrc (constant luminance)", "ITU-R BT.2020 RGB or YCbCr",
             version >= 4 ? "additional colorimetry (ACE holds it)" : nullptr},
            extended);
    r.Named("Q", "RGB quantization range", (b >> 2) & 3,
            {"the format's default", "limited range", "full range", nullptr});
    r.Named("SC", "Non-uniform picture scaling", b & 3,
            {"none known", "scaled horizontally", "scaled vertically",
             "scaled horizontally and vertically"});
  }
  if (r.Has(4)) {
    const uint8_t b = r.Byte(4);
    if (v2) r.ReservedBits(4, 0x80, "the VIC has seven bits in version 2");
    const uint32_t vic = v2 ? b & 0x7F : b;
    std::string text;
    if (vic == 0) {
      text = "none (the format is signalled otherwise)";
    } else if (const CtaFormat* f = FindCtaFormat(static_cast<int>(vic))) {
      text = FormatName(*f);
    } else {
      text = "not defined";
      r.Reserved("VIC " + std::to_string(vic) + " is not a format the standard defines.");
    }
    r.Number("VIC", "Video format", vic, text);
  }
  if (r.Has(5)) {
    const uint8_t b = r.Byte(5);
    r.Named("YQ", "YCC quantization range", b >> 6,
            {"limited range", "full range", nullptr, nullptr});
    const bool it = r.Has(3) && r.Byte(3) >> 7;
    r.Named("CN", "IT content type", (b >> 4) & 3,
            {it ? "graphics" : "no data", "photo", "cinema", "game"});
    const uint32_t repetition = b & 0x0F;
    if (repetition == 0)
      r.Number("PR", "Pixel repetition", 0, "none (each pixel sent once)");
    else if (repetition <= 9)
      r.Number("PR", "Pixel repetition", repetition,
               "each pixel sent " + std::to_string(repetition + 1) + " times");
    else
      r.Named("PR", "Pixel repetition", repetition, {});
  }
  // Bars: B tells which pairs hold data.
  const uint32_t bars = r.Has(1) ? (r.Byte(1) >> 2) & 3 : 0;
  struct Bar {
    int byte;
    const char* key;
    const char* label;
    const char* unit;
    bool valid;
  };
  const Bar kBars[] = {
      {6, "ETB", "End of top bar", "line", (bars & 2) != 0},
      {8, "SBB", "Start of bottom bar", "line", (bars & 2) != 0},
      {10, "ELB", "End of left bar", "pixel", (bars & 1) != 0},
      {12, "SRR", "Start of right bar", "pixel", (bars & 1) != 0},
  };
  for (const Bar& bar : kBars) {
    if (!r.Has(bar.byte + 1)) break;
    const uint32_t value = r.Word(bar.byte);
    r.Number(bar.key, bar.label, value,
             std::string(bar.unit) + " " + std::to_string(value) +
                 (bar.valid ? "" : " (not in use: see B)"));
  }
  if (version >= 4 && r.Has(14)) {
    const uint8_t b = r.Byte(14);
    const bool used = extended && r.Has(3) && ((r.Byte(3) >> 4) & 7) == 7;
    r.Named("ACE", "Additional colorimetry", b >> 4, {"DCI-P3 RGB (D65)", "DCI-P3 RGB (theater)"},
            used);
    r.ReservedBits(14, 0x0F);
    if (r.Has(15)) r.ReservedBits(15, 0xFF);
  }
}

// ---------------------------------------------------------------------------------------
// Audio InfoFrame (0x84).

namespace {

// Speaker placement by CA: the speakers of channels 8 down to 3 (channels 1 and 2 are
// always front left and front right); null for a speaker-less channel.
struct Placement {
  const char* ch[6];  // channel 8, 7, 6, 5, 4, 3
};
constexpr Placement kPlacements[] = {
    {{nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}},  // 0x00
    {{nullptr, nullptr, nullptr, nullptr, nullptr, "LFE"}},
    {{nullptr, nullptr, nullptr, nullptr, "FC", nullptr}},
    {{nullptr, nullptr, nullptr, nullptr, "FC", "LFE"}},
    {{nullptr, nullptr, nullptr, "RC", nullptr, nullptr}},  // 0x04
    {{nullptr, nullptr, nullptr, "RC", nullptr, "LFE"}},
    {{nullptr, nullptr, nullptr, "RC", "FC", nullptr}},
    {{nullptr, nullptr, nullptr, "RC", "FC", "LFE"}},
    {{nullptr, nullptr, "RR", "RL", nullptr, nullptr}},  // 0x08
    {{nullptr, nullptr, "RR", "RL", nullptr, "LFE"}},
    {{nullptr, nullptr, "RR", "RL", "FC", nullptr}},
    {{nullptr, nullptr, "RR", "RL", "FC", "LFE"}},
    {{nullptr, "RC", "RR", "RL", nullptr, nullptr}},  // 0x0C
    {{nullptr, "RC", "RR", "RL", nullptr, "LFE"}},
    {{nullptr, "RC", "RR", "RL", "FC", nullptr}},
    {{nullptr, "RC", "RR", "RL", "FC", "LFE"}},
    {{"RRC", "RLC", "RR", "RL", nullptr, nullptr}},  // 0x10
    {{"RRC", "RLC", "RR", "RL", nullptr, "LFE"}},
    {{"RRC", "RLC", "RR", "RL", "FC", nullptr}},
    {{"RRC", "RLC", "RR", "RL", "FC", "LFE"}},
    {{"FRC", "FLC", nullptr, nullptr, nullptr, nullptr}},  // 0x14
    {{"FRC", "FLC", nullptr, nullptr, nullptr, "LFE"}},
    {{"FRC", "FLC", nullptr, nullptr, "FC", nullptr}},
    {{"FRC", "FLC", nullptr, nullptr, "FC", "LFE"}},
    {{"FRC", "FLC", nullptr, "RC", nullptr, nullptr}},  // 0x18
    {{"FRC", "FLC", nullptr, "RC", nullptr, "LFE"}},
    {{"FRC", "FLC", nullptr, "RC", "FC", nullptr}},
    {{"FRC", "FLC", nullptr, "RC", "FC", "LFE"}},
    {{"FRC", "FLC", "RR", "RL", nullptr, nullptr}},  // 0x1C
    {{"FRC", "FLC", "RR", "RL", nullptr, "LFE"}},
    {{"FRC", "FLC", "RR", "RL", "FC", nullptr}},
    {{"FRC", "FLC", "RR", "RL", "FC", "LFE"}},
    {{nullptr, "FCH", "RR", "RL", "FC", nullptr}},  // 0x20
    {{nullptr, "FCH", "RR", "RL", "FC", "LFE"}},
    {{"TC", nullptr, "RR", "RL", "FC", nullptr}},
    {{"TC", nullptr, "RR", "RL", "FC", "LFE"}},
    {{"FRH", "FLH", "RR", "RL", nullptr, nullptr}},  // 0x24
    {{"FRH", "FLH", "RR", "RL", nullptr, "LFE"}},
    {{"FRW", "FLW", "RR", "RL", nullptr, nullptr}},
    {{"FRW", "FLW", "RR", "RL", nullptr, "LFE"}},
    {{"TC", "RC", "RR", "RL", "FC", nullptr}},  // 0x28
    {{"TC", "RC", "RR", "RL", "FC", "LFE"}},
    {{"FCH", "RC", "RR", "RL", "FC", nullptr}},
    {{"FCH", "RC", "RR", "RL", "FC", "LFE"}},
    {{"TC", "FCH", "RR", "RL", "FC", nullptr}},  // 0x2C
    {{"TC", "FCH", "RR", "RL", "FC", "LFE"}},
    {{"FRH", "FLH", "RR", "RL", "FC", nullptr}},
    {{"FRH", "FLH", "RR", "RL", "FC", "LFE"}},
    {{"FRW", "FLW", "RR", "RL", "FC", nullptr}},  // 0x30
    {{"FRW", "FLW", "RR", "RL", "FC", "LFE"}},
};

const char* SpeakerName(std::string_view code) {
  struct Name {
    const char* code;
    const char* name;
  };
  static constexpr Name kNames[] = {
      {"LFE", "low-frequency effects"},
      {"FC", "front centre"},
      {"RL", "rear left"},
      {"RR", "rear right"},
      {"RC", "rear centre"},
      {"RLC", "rear left centre"},
      {"RRC", "rear right centre"},
      {"FLC", "front left centre"},
      {"FRC", "front right centre"},
      {"FCH", "front centre high"},
      {"TC", "top centre"},
      {"FLH", "front left high"},
      {"FRH", "front right high"},
      {"FLW", "front left wide"},
      {"FRW", "front right wide"},
  };
  for (const Name& n : kNames)
    if (code == n.code) return n.name;
  return "?";
}

// "front left, front right, low-frequency effects, front centre", channel order.
std::string PlacementText(const Placement& p) {
  std::string text = "front left, front right";
  for (int k = 5; k >= 0; --k)
    if (p.ch[k]) text += std::string(", ") + SpeakerName(p.ch[k]);
  return text;
}

constexpr std::array<const char*, 8> kSampleRates = {"refer to the stream header",
                                                     "32 kHz",
                                                     "44.1 kHz",
                                                     "48 kHz",
                                                     "88.2 kHz",
                                                     "96 kHz",
                                                     "176.4 kHz",
                                                     "192 kHz"};

}  // namespace

void DecodeAudioFields(FieldReader& r) {
  if (r.Has(1)) {
    const uint8_t b = r.Byte(1);
    r.ReservedBits(1, 0x08);
    r.Named("CT", "Coding type", b >> 4,
            {"refer to the stream header", "L-PCM", "AC-3", "MPEG-1 (layers 1 and 2)",
             "MP3 (MPEG-1 layer 3)", "MPEG-2 multichannel", "AAC LC", "DTS", "ATRAC",
             "One Bit Audio (DSD)", "Enhanced AC-3", "DTS-HD", "MAT (MLP)", "DST", "WMA Pro",
             "refer to the extension type (CXT)"});
    const uint32_t count = b & 7;
    r.Number("CC", "Channel count", count,
             count == 0 ? "refer to the stream header" : std::to_string(count + 1) + " channels");
  }
  if (r.Has(2)) {
    const uint8_t b = r.Byte(2);
    r.ReservedBits(2, 0xE0);
    r.Named("SF", "Sample frequency", (b >> 2) & 7,
            {kSampleRates[0], kSampleRates[1], kSampleRates[2], kSampleRates[3], kSampleRates[4],
             kSampleRates[5], kSampleRates[6], kSampleRates[7]});
    r.Named("SS", "Sample size", b & 3,
            {"refer to the stream header", "16 bit", "20 bit", "24 bit"});
  }
  if (r.Has(3)) {
    const uint8_t b = r.Byte(3);
    r.ReservedBits(3, 0xE0);
    const bool extended = r.Has(1) && (r.Byte(1) >> 4) == 15;
    r.Named("CXT", "Coding extension type", b & 0x1F,
            {"refer to the coding type (CT)", nullptr, nullptr, nullptr, "MPEG-4 HE AAC",
             "MPEG-4 HE AAC v2", "MPEG-4 AAC LC", "DRA", "MPEG-4 HE AAC + MPEG Surround", nullptr,
             "MPEG-4 AAC LC + MPEG Surround", "MPEG-H 3D Audio", "AC-4", "L-PCM 3D audio",
             "Auro-Cx", "MPEG-D USAC"},
            extended);
  }
  if (r.Has(4)) {
    const uint8_t ca = r.Byte(4);
    if (ca < std::size(kPlacements)) {
      r.Number("CA", "Speaker placement", ca, PlacementText(kPlacements[ca]));
    } else {
      r.Named("CA", "Speaker placement", ca, {});
    }
  }
  if (r.Has(5)) {
    const uint8_t b = r.Byte(5);
    r.ReservedBits(5, 0x04);
    const uint32_t shift = (b >> 3) & 0x0F;
    r.Number("LSV", "Level shift", shift, std::to_string(shift) + " dB");
    r.Named("DM_INH", "Down-mixing", b >> 7, {"permitted", "prohibited"});
    r.Named("LFEPBL", "LFE playback level", b & 3, {"no information", "0 dB", "+10 dB", nullptr});
  }
  for (int n = 6; n <= 10; ++n)
    r.ReservedBits(n, 0xFF);
}

// ---------------------------------------------------------------------------------------
// Source Product Description InfoFrame (0x83).

namespace {

// The characters up to the first NUL (the standard pads with zeros). A byte that is no
// printable ASCII character shows as \xNN, so a hostile name cannot reach a terminal.
std::string NameCharacters(std::span<const uint8_t> bytes, bool* outsideAscii) {
  std::string text;
  for (const uint8_t c : bytes) {
    if (c == 0) break;
    if (c >= 0x80) *outsideAscii = true;
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      text += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      text += escaped;
    }
  }
  return text;
}

}  // namespace

void DecodeSourceProductFields(FieldReader& r) {
  struct Name {
    int first, count;
    const char* key;
    const char* label;
  };
  for (const Name& n :
       {Name{1, 8, "VN", "Vendor name"}, Name{9, 16, "PD", "Product description"}}) {
    if (!r.Has(n.first)) return;
    std::span<const uint8_t> bytes = r.From(n.first);
    if (bytes.size() > static_cast<size_t>(n.count))
      bytes = bytes.first(static_cast<size_t>(n.count));
    bool outside = false;
    const std::string value = NameCharacters(bytes, &outside);
    if (outside)
      r.Reserved(std::string(n.label) + " (" + n.key +
                 ") holds a byte that is not a 7-bit ASCII character.");
    r.String(n.key, n.label, value, value.empty() ? "(empty)" : value);
  }
  if (r.Has(25))
    r.Named("SDI", "Source information", r.Byte(25),
            {"unknown", "digital set-top box", "DVD player", "D-VHS", "HDD video recorder",
             "digital video camera", "digital still camera", "Video CD", "game", "PC (general)",
             "Blu-ray Disc", "Super Audio CD", "HD DVD", "portable media player"});
}

// ---------------------------------------------------------------------------------------
// Vendor-specific InfoFrame (0x81): the OUI, then what that vendor defines.

namespace {

constexpr uint32_t kHdmiOui = 0x000C03;
constexpr uint32_t kHdmiForumOui = 0xC45DD8;
constexpr uint32_t kHdr10PlusOui = 0x90848B;
constexpr uint32_t kDolbyOui = 0x00D046;

std::string OuiText(uint32_t oui) {
  char text[16];
  std::snprintf(text, sizeof text, "%02X-%02X-%02X", (oui >> 16) & 0xFF, (oui >> 8) & 0xFF,
                oui & 0xFF);
  return text;
}

// The length a vendor's fields need, when the packet is shorter. (A reply that lacks bytes
// the length takes in is a finding of its own.)
void NeedLength(FieldReader& r, int needed, const std::string& what) {
  if (r.Declares(needed)) return;
  r.Length("The vendor-specific InfoFrame is too short for " + what + ": it needs " +
           std::to_string(needed) + " data bytes.");
}

const char* const k3dStructures[] = {"frame packing",
                                     "field alternative",
                                     "line alternative",
                                     "side-by-side (full)",
                                     "L + depth",
                                     "L + depth + graphics + graphics-depth",
                                     "top-and-bottom",
                                     nullptr,
                                     "side-by-side (half)",
                                     nullptr,
                                     nullptr,
                                     nullptr,
                                     nullptr,
                                     nullptr,
                                     nullptr,
                                     nullptr};

void ThreeDStructure(FieldReader& r, const char* key, uint32_t value) {
  const char* name = k3dStructures[value & 15];
  if (!name)
    r.Reserved(std::string(key) + " holds " + std::to_string(value) +
               ", a value the standard reserves.");
  r.Number(key, "3D structure", value, name ? name : "reserved");
}

void ThreeDExtData(FieldReader& r, const char* key, uint32_t value) {
  static const char* const kSubSampling[] = {"horizontal sub-sampling, odd/left, odd/right",
                                             "horizontal sub-sampling, odd/left, even/right",
                                             "horizontal sub-sampling, even/left, odd/right",
                                             "horizontal sub-sampling, even/left, even/right",
                                             "quincunx matrix, odd/left, odd/right",
                                             "quincunx matrix, odd/left, even/right",
                                             "quincunx matrix, even/left, odd/right",
                                             "quincunx matrix, even/left, even/right"};
  if (value >= 8)
    r.Reserved(std::string(key) + " holds " + std::to_string(value) +
               ", a value the standard reserves.");
  r.Number(key, "3D sub-sampling", value, value < 8 ? kSubSampling[value] : "reserved");
}

void DecodeHdmiVendorFields(FieldReader& r) {
  NeedLength(r, 4, "HDMI_Video_Format");
  if (!r.Has(4)) return;
  const uint32_t format = r.Byte(4) >> 5;
  r.ReservedBits(4, 0x1F);
  r.Named("HDMI_Video_Format", "Video format extension", format,
          {"no additional format", "extended resolution (HDMI_VIC)", "3D (3D_Structure)"});
  if (format == 1) {
    NeedLength(r, 5, "HDMI_VIC");
    if (!r.Has(5)) return;
    const uint32_t vic = r.Byte(5);
    const CtaFormat* f = FindHdmiVicFormat(static_cast<int>(vic));
    if (!f)
      r.Reserved("HDMI_VIC " + std::to_string(vic) + " is not a format the standard defines.");
    r.Number("HDMI_VIC", "HDMI video format", vic, f ? FormatName(*f) : "not defined");
  } else if (format == 2) {
    NeedLength(r, 5, "3D_Structure");
    if (!r.Has(5)) return;
    const uint32_t structure = r.Byte(5) >> 4;
    r.ReservedBits(5, 0x07);
    ThreeDStructure(r, "3D_Structure", structure);
    if (structure >= 8) {
      NeedLength(r, 6, "3D_Ext_Data");
      if (!r.Has(6)) return;
      ThreeDExtData(r, "3D_Ext_Data", r.Byte(6) >> 4);
      r.ReservedBits(6, 0x0F);
    }
  }
}

void DecodeHdmiForumVendorFields(FieldReader& r) {
  NeedLength(r, 5, "Version, 3D_Valid and ALLM");
  if (r.Has(4))
    r.Number("Version", "HDMI Forum VSIF version", r.Byte(4), std::to_string(r.Byte(4)));
  if (!r.Has(5)) return;
  const uint8_t b = r.Byte(5);
  const bool valid3d = b & 1;
  r.Named("3D_Valid", "3D", b & 1, {"not signalled", "signalled (3D_F_Structure follows)"});
  r.Named("ALLM", "Auto low-latency mode", (b >> 1) & 1, {"off", "on"});
  if (!valid3d) return;
  NeedLength(r, 6, "3D_F_Structure");
  if (!r.Has(6)) return;
  const uint8_t f = r.Byte(6);
  ThreeDStructure(r, "3D_F_Structure", f >> 4);
  r.Named("3D_Additional_Info_Present", "3D additional information", (f >> 3) & 1,
          {"absent", "present"});
  r.Named("3D_Disparity_Data_Present", "3D disparity data", (f >> 2) & 1, {"absent", "present"});
  r.Named("3D_Meta_Present", "3D metadata", (f >> 1) & 1, {"absent", "present"});
  r.ReservedBits(6, 0x01);
  if ((f >> 4) >= 8) {
    NeedLength(r, 7, "3D_F_Ext_Data");
    if (r.Has(7)) ThreeDExtData(r, "3D_F_Ext_Data", r.Byte(7) >> 4);
  }
}

}  // namespace

void DecodeVendorFields(FieldReader& r) {
  if (!r.Declares(3))
    r.Length("The vendor-specific InfoFrame is too short for its OUI: it needs 3 data bytes.");
  if (!r.Has(3)) return;
  // Sent least significant byte first.
  const uint32_t oui = r.Byte(1) | uint32_t{r.Byte(2)} << 8 | uint32_t{r.Byte(3)} << 16;
  switch (oui) {
    case kHdmiOui:
      r.Number("OUI", "IEEE OUI", oui, OuiText(oui) + " (HDMI 1.4)");
      DecodeHdmiVendorFields(r);
      break;
    case kHdmiForumOui:
      r.Number("OUI", "IEEE OUI", oui, OuiText(oui) + " (HDMI Forum)");
      DecodeHdmiForumVendorFields(r);
      break;
    case kHdr10PlusOui:
      r.Number("OUI", "IEEE OUI", oui, OuiText(oui) + " (HDR10+)");
      r.Raw("HDR10+ data", r.From(4));
      break;
    case kDolbyOui:
      r.Number("OUI", "IEEE OUI", oui, OuiText(oui) + " (Dolby Vision)");
      r.Raw("Dolby Vision data", r.From(4));
      break;
    default:
      r.Number("OUI", "IEEE OUI", oui, OuiText(oui) + " (a vendor this decoder does not know)");
      r.Raw("Vendor data", r.From(4));
      break;
  }
}

// ---------------------------------------------------------------------------------------
// MPEG Source InfoFrame (0x85).

void DecodeMpegFields(FieldReader& r) {
  if (r.Has(4)) {
    const uint32_t rate = r.Byte(1) | uint32_t{r.Byte(2)} << 8 | uint32_t{r.Byte(3)} << 16 |
                          uint32_t{r.Byte(4)} << 24;
    std::string text = "unknown";
    if (rate >= 1000000)
      text = Decimal(rate / 1000, 3) + " Mbit/s";
    else if (rate >= 1000)
      text = Decimal(rate, 3) + " kbit/s";
    else if (rate > 0)
      text = std::to_string(rate) + " bit/s";
    r.Number("MB", "MPEG bit rate", rate, text);
  }
  if (r.Has(5)) {
    const uint8_t b = r.Byte(5);
    r.ReservedBits(5, 0xEC);
    r.Named("MF", "MPEG frame", b & 3, {"unknown", "I picture", "B picture", "P picture"});
    r.Named("FR0", "Field repeat", (b >> 4) & 1, {"new field or picture", "repeated field"});
  }
  for (int n = 6; n <= 10; ++n)
    r.ReservedBits(n, 0xFF);
}

// ---------------------------------------------------------------------------------------
// Dynamic Range and Mastering InfoFrame (0x87).

void DecodeDynamicRangeFields(FieldReader& r) {
  if (r.Has(1)) {
    r.ReservedBits(1, 0xF8);
    r.Named("EOTF", "Transfer function", r.Byte(1) & 7,
            {"traditional gamma, SDR luminance range", "traditional gamma, HDR luminance range",
             "SMPTE ST 2084 (PQ)", "hybrid log-gamma (HLG)"});
  }
  if (!r.Has(2)) return;
  r.ReservedBits(2, 0xF8);
  const uint32_t descriptor = r.Byte(2) & 7;
  r.Named("SMD_ID", "Static metadata descriptor", descriptor, {"Static Metadata Type 1"});
  if (descriptor != 0) {
    r.Raw("Static metadata", r.From(3));
    return;
  }
  // Chromaticities come in units of 0.00002; 50000 is 1.0 and anything above it reserved.
  std::array<uint32_t, 8> xy{};
  const int have = [&] {
    int n = 0;
    while (n < 8 && r.Has(3 + 2 * n + 1)) {
      xy[static_cast<size_t>(n)] = r.Word(3 + 2 * n);
      ++n;
    }
    return n;
  }();
  // At least three decimals, as chromaticities are written: "0.170".
  auto coordinate = [](uint32_t v) {
    std::string text = Decimal(uint64_t{v} * 2, 5);
    const size_t point = text.find('.');
    const size_t decimals = point == std::string::npos ? 0 : text.size() - point - 1;
    if (point == std::string::npos) text += '.';
    return text + std::string(decimals < 3 ? 3 - decimals : 0, '0');
  };
  // The standard suggests the order green, blue, red; the colour is told by the values,
  // the one furthest right being red and the highest of the others green.
  std::array<const char*, 3> colour{};
  if (have >= 6) {
    size_t red = 0;
    for (size_t k = 1; k < 3; ++k)
      if (xy[2 * k] > xy[2 * red]) red = k;
    size_t a = (red + 1) % 3, b = (red + 2) % 3;
    if (xy[2 * b + 1] > xy[2 * a + 1]) std::swap(a, b);
    colour[red] = "red";
    colour[a] = "green";
    colour[b] = "blue";
  }
  static const char* const kKeys[8] = {"display_primaries_x0", "display_primaries_y0",
                                       "display_primaries_x1", "display_primaries_y1",
                                       "display_primaries_x2", "display_primaries_y2",
                                       "white_point_x",        "white_point_y"};
  for (int n = 0; n < have; ++n) {
    const size_t k = static_cast<size_t>(n);
    const bool isX = n % 2 == 0;
    const bool white = n >= 6;
    std::string label = white ? "White point " : "Display primary " + std::to_string(n / 2) + " ";
    label += isX ? "x" : "y";
    std::string text;
    if (isX && r.Has(3 + 2 * n + 3)) {
      // The point in words on its x row: "x 0.708, y 0.292 (red)".
      text = "x " + coordinate(xy[k]) + ", y " + coordinate(xy[k + 1]);
      if (white && xy[k] == 15635 && xy[k + 1] == 16450) text += " (D65)";
      if (!white && colour[k / 2] && xy[k] && xy[k + 1])
        text += std::string(" (") + colour[k / 2] + ")";
    } else {
      text = (isX ? "x " : "y ") + coordinate(xy[k]);
    }
    if (xy[k] > 50000)
      r.Reserved(std::string(kKeys[n]) + " holds " + std::to_string(xy[k]) +
                 ": above 50000 (1.0), a value the standard reserves.");
    r.Number(kKeys[n], label, xy[k], text);
  }
  auto luminance = [&](int byte, const char* key, const char* label, bool tenThousandths) {
    if (!r.Has(byte + 1)) return false;
    const uint32_t v = r.Word(byte);
    std::string text;
    if (v == 0)
      text = "unknown";
    else
      text = (tenThousandths ? Decimal(v, 4) : std::to_string(v)) + " cd/m²";
    r.Number(key, label, v, text);
    return true;
  };
  if (!luminance(19, "max_display_mastering_luminance", "Mastering display maximum luminance",
                 false))
    return;
  if (!luminance(21, "min_display_mastering_luminance", "Mastering display minimum luminance",
                 true))
    return;
  if (!luminance(23, "MaxCLL", "Maximum content light level", false)) return;
  luminance(25, "MaxFALL", "Maximum frame-average light level", false);
}

// ---------------------------------------------------------------------------------------
// Data-island packets: their header bytes carry fields of their own.

void DecodePacketFields(FieldReader& r, uint8_t type, uint8_t hb1, uint8_t hb2) {
  switch (type) {
    case infoframe_type::kAcp:
      r.Named("ACP_Type", "Content protection type", hb1,
              {"generic audio", "IEC 60958-identified audio", "DVD-Audio", "Super Audio CD"});
      break;
    case infoframe_type::kIsrc1:
      r.Named("ISRC_Cont", "Continued", hb1 >> 7,
              {"no (the ISRC ends in this packet)", "yes (an ISRC2 packet follows)"});
      r.Named("ISRC_Valid", "Valid", (hb1 >> 6) & 1,
              {"no (status and ISRC are not valid)", "yes (status and ISRC are valid)"});
      r.Named("ISRC_Status", "Track position", hb1 & 7,
              {nullptr, "starting position", "intermediate position", nullptr, "ending position"});
      break;
    case infoframe_type::kGamut:
      r.Named("Next_Field", "Applies to", hb1 >> 7, {"the current field", "the next field"});
      r.Named("GBD_profile", "Gamut boundary profile", (hb1 >> 4) & 7, {"P0", "P1", "P2", "P3"});
      r.Number("Affected_Gamut_Seq_Num", "Affected gamut sequence number", hb1 & 15,
               std::to_string(hb1 & 15));
      r.Named("No_Crnt_GBD", "Current gamut boundary data", hb2 >> 7,
              {"present", "none (no current gamut boundary data)"});
      r.Named("Packet_Seq", "Packet sequence", (hb2 >> 4) & 3,
              {"intermediate packet", "first packet", "last packet", "only packet"});
      r.Number("Current_Gamut_Seq_Num", "Current gamut sequence number", hb2 & 15,
               std::to_string(hb2 & 15));
      break;
    case infoframe_type::kIsrc2:
      break;  // its header carries no fields
    default:
      r.Number("HB1", "Header byte 1", hb1, Hex2(hb1));
      r.Number("HB2", "Header byte 2", hb2, Hex2(hb2));
      break;
  }
  r.Raw("Packet body", r.From(1));
}

}  // namespace sc::infoframe_detail
