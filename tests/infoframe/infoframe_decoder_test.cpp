// The InfoFrame checker on packets as sources send them: every field of every type in
// words, the faults a packet can carry (checksum, reserved bits and values, length,
// version, a reply cut short) and the packet held against the measured signal.

#include "infoframe/infoframe_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sc {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Hex(const std::string& text) {
  Bytes bytes;
  for (size_t i = 0; i + 1 < text.size(); i += 3)
    bytes.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
  return bytes;
}

// The packet with one byte changed and the checksum made right again, so that only the
// change can be at fault.
Bytes WithByte(Bytes p, size_t at, uint8_t value) {
  p[at] = value;
  unsigned sum = 0;
  for (size_t i = 0; i < 4u + p[2] && i < p.size(); ++i)
    if (i != 3) sum += p[i];
  p[3] = static_cast<uint8_t>(-sum);
  return p;
}

std::string ValueOf(const InfoFrameField& f) {
  if (const auto* n = std::get_if<uint32_t>(&f.value)) return std::to_string(*n);
  return std::get<std::string>(f.value);
}

std::vector<std::string> CheckKeys(const InfoFrameDecode& d) {
  std::vector<std::string> keys;
  for (const InfoFrameCheck& c : d.checks)
    keys.push_back(c.key);
  return keys;
}

std::string ChecksText(const InfoFrameDecode& d) {
  std::string text;
  for (const InfoFrameCheck& c : d.checks)
    text += c.key + ": " + c.text + "\n";
  return text;
}

// The AVI example of the Ultilities page's reply (82 02 0D 47 and 13 data bytes):
// RGB, active format as the picture, VIC 16.
const char* const kAviExample = "82 02 0D 47 10 08 00 10 00 00 00 00 00 00 00 00 00";
const char* const kHdr10Mastering =
    "87 01 1A 91 02 00 34 21 AA 9B 96 19 FC 08 48 8A 08 39 13 3D 42 40 E8 03 32 00 E8 03 90 01";

struct Expect {
  const char* key;
  std::string value;  // a number in decimal, or the string
  std::string text;
};
struct RealPacket {
  const char* what;
  const char* hex;
  const char* name;
  std::vector<Expect> fields;
};

const std::vector<RealPacket>& RealPackets() {
  static const std::vector<RealPacket> packets = {
      {"the page's AVI example",
       kAviExample,
       "AVI",
       {{"Y", "0", "RGB"},
        {"A", "1", "present (R holds it)"},
        {"R", "8", "as the picture"},
        {"C", "0", "no data"},
        {"VIC", "16", "1920x1080p 60 Hz 16:9"},
        {"PR", "0", "none (each pixel sent once)"}}},
      {"1080i60 YCbCr 4:2:2, BT.709, 16:9",
       "82 02 0D 92 30 A8 00 05 00 00 00 00 00 00 00 00 00",
       "AVI",
       {{"Y", "1", "YCbCr 4:2:2"},
        {"C", "2", "ITU-R BT.709"},
        {"M", "2", "16:9"},
        {"VIC", "5", "1920x1080i 60 Hz 16:9"}}},
      {"2160p60 YCbCr 4:2:0, version 3",
       "82 03 0D F5 70 A8 00 61 00 00 00 00 00 00 00 00 00",
       "AVI",
       {{"Y", "3", "YCbCr 4:2:0"}, {"VIC", "97", "3840x2160p 60 Hz 16:9"}}},
      {"version 3 with an eight-bit VIC",
       "82 03 0D 6E 10 28 00 C8 00 00 00 00 00 00 00 00 00",
       "AVI",
       {{"VIC", "200", "7680x4320p 100 Hz 16:9"}}},
      {"HDR10 source: BT.2020 colorimetry",
       "82 02 0D C7 50 E8 60 10 00 00 00 00 00 00 00 00 00",
       "AVI",
       {{"Y", "2", "YCbCr 4:4:4"},
        {"C", "3", "extended (EC holds it)"},
        {"EC", "6", "ITU-R BT.2020 RGB or YCbCr"}}},
      {"version 4, DCI-P3 through ACE",
       "82 04 0E 14 10 C8 70 10 00 00 00 00 00 00 00 00 00 00",
       "AVI",
       {{"EC", "7", "additional colorimetry (ACE holds it)"}, {"ACE", "0", "DCI-P3 RGB (D65)"}}},
      {"a letterboxed film: top and bottom bars",
       "82 02 0D E0 18 28 04 10 00 84 00 B4 03 00 00 00 00",
       "AVI",
       {{"B", "2", "top and bottom bars (ETB, SBB)"},
        {"Q", "1", "limited range"},
        {"ETB", "132", "line 132"},
        {"SBB", "948", "line 948"},
        {"ELB", "0", "pixel 0 (not in use: see B)"}}},
      {"480i, each pixel twice",
       "82 02 0D E0 30 58 00 06 01 00 00 00 00 00 00 00 00",
       "AVI",
       {{"C", "1", "SMPTE 170M (ITU-R BT.601)"},
        {"M", "1", "4:3"},
        {"VIC", "6", "1440x480i 59.94 Hz 4:3"},
        {"PR", "1", "each pixel sent 2 times"}}},
      {"audio: stereo, the rest from the stream",
       "84 01 0A 70 01 00 00 00 00 00 00 00 00 00",
       "Audio",
       {{"CT", "0", "refer to the stream header"},
        {"CC", "1", "2 channels"},
        {"SF", "0", "refer to the stream header"},
        {"CA", "0", "front left, front right"},
        {"LSV", "0", "0 dB"},
        {"DM_INH", "0", "permitted"}}},
      {"audio: 5.1",
       "84 01 0A 61 05 00 00 0B 00 00 00 00 00 00",
       "Audio",
       {{"CC", "5", "6 channels"},
        {"CA", "11",
         "front left, front right, low-frequency effects, front centre, rear left, rear right"}}},
      {"audio: 7.1 L-PCM at 192 kHz, 10 dB down, no down-mixing",
       "84 01 0A 58 17 1F 00 13 D0 00 00 00 00 00",
       "Audio",
       {{"CT", "1", "L-PCM"},
        {"CC", "7", "8 channels"},
        {"SF", "7", "192 kHz"},
        {"SS", "3", "24 bit"},
        {"CA", "19",
         "front left, front right, low-frequency effects, front centre, rear left, rear right, "
         "rear left centre, rear right centre"},
        {"LSV", "10", "10 dB"},
        {"DM_INH", "1", "prohibited"},
        {"LFEPBL", "0", "no information"}}},
      {"audio: AAC through the extension type",
       "84 01 0A 6D F1 0D 06 00 00 00 00 00 00 00",
       "Audio",
       {{"CT", "15", "refer to the extension type (CXT)"},
        {"SF", "3", "48 kHz"},
        {"SS", "1", "16 bit"},
        {"CXT", "6", "MPEG-4 AAC LC"}}},
      {"a Blu-ray player's product description",
       "83 01 19 8D 53 6F 6E 79 00 00 00 00 42 44 50 2D 53 36 37 30 30 00 00 00 00 00 00 00 0A",
       "Source Product Description",
       {{"VN", "Sony", "Sony"}, {"PD", "BDP-S6700", "BDP-S6700"}, {"SDI", "10", "Blu-ray Disc"}}},
      {"HDMI 1.4: a 4K format by its HDMI_VIC",
       "81 01 05 49 03 0C 00 20 01",
       "Vendor-specific",
       {{"OUI", "3075", "00-0C-03 (HDMI 1.4)"},
        {"HDMI_Video_Format", "1", "extended resolution (HDMI_VIC)"},
        {"HDMI_VIC", "1", "3840x2160p 30 Hz 16:9"}}},
      {"HDMI 1.4: 3D frame packing",
       "81 01 05 2A 03 0C 00 40 00",
       "Vendor-specific",
       {{"HDMI_Video_Format", "2", "3D (3D_Structure)"}, {"3D_Structure", "0", "frame packing"}}},
      {"HDMI 1.4: 3D side-by-side (half)",
       "81 01 06 A9 03 0C 00 40 80 00",
       "Vendor-specific",
       {{"3D_Structure", "8", "side-by-side (half)"},
        {"3D_Ext_Data", "0", "horizontal sub-sampling, odd/left, odd/right"}}},
      {"HDMI Forum: auto low-latency mode",
       "81 01 05 7D D8 5D C4 01 02",
       "Vendor-specific",
       {{"OUI", "12869080", "C4-5D-D8 (HDMI Forum)"},
        {"Version", "1", "1"},
        {"3D_Valid", "0", "not signalled"},
        {"ALLM", "1", "on"}}},
      {"HDR10+",
       "81 01 0A 2E 8B 84 90 01 A6 00 00 00 00 00",
       "Vendor-specific",
       {{"OUI", "9471115", "90-84-8B (HDR10+)"},
        {"body", "01 A6 00 00 00 00 00", "01 A6 00 00 00 00 00"}}},
      {"Dolby Vision",
       "81 01 1B 4A 46 D0 00 03 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
       "00 00",
       "Vendor-specific",
       {{"OUI", "53318", "00-D0-46 (Dolby Vision)"}}},
      {"MPEG source: 15 Mbit/s, an I picture",
       "85 01 0A EA C0 E1 E4 00 01 00 00 00 00 00",
       "MPEG Source",
       {{"MB", "15000000", "15 Mbit/s"},
        {"MF", "1", "I picture"},
        {"FR0", "0", "new field or picture"}}},
      {"HDR10 mastering: BT.2020 primaries green, blue, red; 1000 cd/m²",
       kHdr10Mastering,
       "Dynamic Range and Mastering",
       {{"EOTF", "2", "SMPTE ST 2084 (PQ)"},
        {"SMD_ID", "0", "Static Metadata Type 1"},
        {"display_primaries_x0", "8500", "x 0.170, y 0.797 (green)"},
        {"display_primaries_y0", "39850", "y 0.797"},
        {"display_primaries_x1", "6550", "x 0.131, y 0.046 (blue)"},
        {"display_primaries_x2", "35400", "x 0.708, y 0.292 (red)"},
        {"display_primaries_y2", "14600", "y 0.292"},
        {"white_point_x", "15635", "x 0.3127, y 0.329 (D65)"},
        {"max_display_mastering_luminance", "1000", "1000 cd/m²"},
        {"min_display_mastering_luminance", "50", "0.005 cd/m²"},
        {"MaxCLL", "1000", "1000 cd/m²"},
        {"MaxFALL", "400", "400 cd/m²"}}},
      {"HLG without mastering data",
       "87 01 1A 5B 03 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
       "00",
       "Dynamic Range and Mastering",
       {{"EOTF", "3", "hybrid log-gamma (HLG)"},
        {"display_primaries_x0", "0", "x 0.000, y 0.000"},
        {"max_display_mastering_luminance", "0", "unknown"}}},
      {"ACP: DVD-Audio",
       "04 02 00 01 02 03",
       "ACP",
       {{"ACP_Type", "2", "DVD-Audio"}, {"body", "01 02 03", "01 02 03"}}},
      {"ISRC1: a valid ISRC that goes on in ISRC2",
       "05 C1 00 55 53 52 43",
       "ISRC1",
       {{"ISRC_Cont", "1", "yes (an ISRC2 packet follows)"},
        {"ISRC_Valid", "1", "yes (status and ISRC are valid)"},
        {"ISRC_Status", "1", "starting position"},
        {"body", "55 53 52 43", "55 53 52 43"}}},
      {"ISRC2: the body alone", "06 00 00 31 37", "ISRC2", {{"body", "31 37", "31 37"}}},
      {"gamut metadata: the only packet, for the next field",
       "0A 81 31 00",
       "Gamut Metadata",
       {{"Next_Field", "1", "the next field"},
        {"GBD_profile", "0", "P0"},
        {"Affected_Gamut_Seq_Num", "1", "1"},
        {"No_Crnt_GBD", "0", "present"},
        {"Packet_Seq", "3", "only packet"},
        {"Current_Gamut_Seq_Num", "1", "1"}}},
  };
  return packets;
}

TEST(InfoFrameDecoder, RealPacketsOfEveryTypeReadInWordsAndPassEveryCheck) {
  for (const RealPacket& p : RealPackets()) {
    const InfoFrameDecode d = DecodeInfoFrame(Hex(p.hex));
    EXPECT_EQ(d.name, p.name) << p.what;
    EXPECT_TRUE(d.checks.empty()) << p.what << "\n" << ChecksText(d);
    for (const Expect& e : p.fields) {
      const InfoFrameField* f = d.Field(e.key);
      ASSERT_NE(f, nullptr) << p.what << ": " << e.key;
      EXPECT_EQ(ValueOf(*f), e.value) << p.what << ": " << e.key;
      EXPECT_EQ(f->text, e.text) << p.what << ": " << e.key;
    }
    if (d.kind == InfoFrameDecode::Kind::InfoFrame) {
      ASSERT_TRUE(d.checksum) << p.what;
      EXPECT_TRUE(d.checksum->ok) << p.what;
    } else {
      EXPECT_EQ(d.kind, InfoFrameDecode::Kind::Packet) << p.what;
      EXPECT_FALSE(d.version || d.length || d.checksum) << p.what;
    }
  }
}

TEST(InfoFrameDecoder, AWrongChecksumNamesTheRightOne) {
  for (const RealPacket& p : RealPackets()) {
    Bytes bytes = Hex(p.hex);
    if (bytes[0] < 0x80) {
      // A packet's header bytes are fields, not a checksum: nothing to find.
      bytes[3] ^= 0xFF;
      EXPECT_TRUE(DecodeInfoFrame(bytes).checks.empty()) << p.what;
      continue;
    }
    const uint8_t right = bytes[3];
    for (const int delta : {1, 0x80}) {
      bytes[3] = static_cast<uint8_t>(right + delta);
      const InfoFrameDecode d = DecodeInfoFrame(bytes);
      EXPECT_EQ(CheckKeys(d), std::vector<std::string>{"checksum"}) << p.what;
      ASSERT_TRUE(d.checksum);
      EXPECT_FALSE(d.checksum->ok);
      EXPECT_EQ(d.checksum->received, bytes[3]);
      EXPECT_EQ(d.checksum->expected, right) << p.what;
    }
  }
}

TEST(InfoFrameDecoder, SetReservedBitsAndReservedValuesAreNamed) {
  const Bytes avi = Hex(kAviExample);
  const Bytes avi3 = Hex("82 03 0D F5 70 A8 00 61 00 00 00 00 00 00 00 00 00");
  const Bytes avi4 = Hex("82 04 0E 14 10 C8 70 10 00 00 00 00 00 00 00 00 00 00");
  const Bytes audio = Hex("84 01 0A 70 01 00 00 00 00 00 00 00 00 00");
  const Bytes spd = Hex(RealPackets()[12].hex);
  const Bytes vs = Hex("81 01 06 A9 03 0C 00 40 80 00");
  const Bytes mpeg = Hex("85 01 0A EA C0 E1 E4 00 01 00 00 00 00 00");
  const Bytes drm = Hex(kHdr10Mastering);
  struct Case {
    const char* what;
    Bytes packet;
    size_t at;
    uint8_t value;
    std::string text;  // empty: no finding
  };
  const Case cases[] = {
      {"AVI v2: Y's third bit is reserved", avi, 4, 0x90,
       "Data byte 1 bit 7 is set (reserved in version 2)."},
      {"AVI v3: Y = 4", avi3, 4, 0x90, "Colour format (Y) holds 4, a value the standard reserves."},
      {"S = 3", avi, 4, 0x13, "Scan information (S) holds 3, a value the standard reserves."},
      {"M = 3", avi, 5, 0x38, "Picture aspect ratio (M) holds 3, a value the standard reserves."},
      {"R = 5 with A = 1", avi, 5, 0x05,
       "Active format aspect ratio (R) holds 5, a value the standard reserves."},
      {"R = 5 with A = 0: not in use", WithByte(avi, 4, 0x00), 5, 0x05, ""},
      {"Q = 3", avi, 6, 0x0C, "RGB quantization range (Q) holds 3, a value the standard reserves."},
      {"EC = 7 before version 4, with C = 3", WithByte(avi, 5, 0xC8), 6, 0x70,
       "Extended colorimetry (EC) holds 7, a value the standard reserves."},
      {"EC = 7 while C is not 3: not in use", avi, 6, 0x70, ""},
      {"AVI v2: the VIC's eighth bit", avi, 7, 0x90,
       "Data byte 4 bit 7 is set (the VIC has seven bits in version 2)."},
      {"AVI v3: VIC 128 is undefined", avi3, 7, 128,
       "VIC 128 is not a format the standard defines."},
      {"YQ = 2", avi, 8, 0x80,
       "YCC quantization range (YQ) holds 2, a value the standard reserves."},
      {"PR = 10", avi, 8, 0x0A, "Pixel repetition (PR) holds 10, a value the standard reserves."},
      {"AVI v4: ACE = 2", avi4, 17, 0x20,
       "Additional colorimetry (ACE) holds 2, a value the standard reserves."},
      {"AVI v4: the low bits of byte 14", avi4, 17, 0x03,
       "Data byte 14 bits 1, 0 are set: reserved."},
      {"audio: byte 1 bit 3", audio, 4, 0x09, "Data byte 1 bit 3 is set: reserved."},
      {"audio: byte 2 bits 7..5", audio, 5, 0xE0, "Data byte 2 bits 7, 6, 5 are set: reserved."},
      {"audio: CA 0x32", audio, 7, 0x32,
       "Speaker placement (CA) holds 50, a value the standard reserves."},
      {"audio: LFEPBL = 3", audio, 8, 0x03,
       "LFE playback level (LFEPBL) holds 3, a value the standard reserves."},
      {"audio: a byte after the fields", audio, 12, 0x01, "Data byte 9 bit 0 is set: reserved."},
      {"audio: CXT 9 with CT 15", WithByte(audio, 4, 0xF1), 6, 0x09,
       "Coding extension type (CXT) holds 9, a value the standard reserves."},
      {"SPD: a vendor name that is not ASCII", spd, 5, 0xC3,
       "Vendor name (VN) holds a byte that is not a 7-bit ASCII character."},
      {"SPD: source information 14", spd, 28, 14,
       "Source information (SDI) holds 14, a value the standard reserves."},
      {"VSIF: HDMI_Video_Format 3", vs, 7, 0x60,
       "Video format extension (HDMI_Video_Format) holds 3, a value the standard reserves."},
      {"VSIF: HDMI_VIC 5", Hex("81 01 05 49 03 0C 00 20 01"), 8, 5,
       "HDMI_VIC 5 is not a format the standard defines."},
      {"VSIF: 3D_Structure 7", vs, 8, 0x70, "3D_Structure holds 7, a value the standard reserves."},
      {"VSIF: 3D_Ext_Data 8", vs, 9, 0x80, "3D_Ext_Data holds 8, a value the standard reserves."},
      {"MPEG: byte 5 bit 7", mpeg, 8, 0x81, "Data byte 5 bit 7 is set: reserved."},
      {"DRM: EOTF 4", drm, 4, 0x04,
       "Transfer function (EOTF) holds 4, a value the standard reserves."},
      {"DRM: byte 1 bit 3", drm, 4, 0x0A, "Data byte 1 bit 3 is set: reserved."},
      {"DRM: a chromaticity above 1.0", drm, 7, 0xEA,
       "display_primaries_x0 holds 59956: above 50000 (1.0), a value the standard reserves."},
  };
  for (const Case& c : cases) {
    const InfoFrameDecode d = DecodeInfoFrame(WithByte(c.packet, c.at, c.value));
    if (c.text.empty()) {
      EXPECT_TRUE(d.checks.empty()) << c.what << "\n" << ChecksText(d);
      continue;
    }
    ASSERT_EQ(CheckKeys(d), std::vector<std::string>{"reserved"}) << c.what << "\n"
                                                                  << ChecksText(d);
    EXPECT_EQ(d.checks[0].text, c.text) << c.what;
  }
  // Another descriptor than type 1: its bytes shown as they are.
  const InfoFrameDecode other = DecodeInfoFrame(WithByte(drm, 5, 0x01));
  EXPECT_EQ(CheckKeys(other), std::vector<std::string>{"reserved"});
  ASSERT_NE(other.Field("body"), nullptr);
  EXPECT_EQ(other.Field("display_primaries_x0"), nullptr);
  EXPECT_EQ(ValueOf(*other.Field("body")).substr(0, 11), "34 21 AA 9B");
}

TEST(InfoFrameDecoder, LengthsAndVersionsTheStandardDoesNotDefine) {
  const Bytes avi = Hex(kAviExample);
  auto withLength = [](Bytes p, int length) {
    p.resize(4 + static_cast<size_t>(length), 0);
    return WithByte(p, 2, static_cast<uint8_t>(length));
  };
  struct Case {
    const char* what;
    Bytes packet;
    std::vector<std::string> keys;
    std::string first;
  };
  const Case cases[] = {
      {"AVI v2 of 12 bytes",
       withLength(avi, 12),
       {"length"},
       "Length 12 differs from the 13 data bytes of the AVI InfoFrame, version 2."},
      {"AVI v2 of 14 bytes", withLength(avi, 14), {"length"}, ""},
      {"AVI v4 of 15 bytes is right", withLength(WithByte(avi, 1, 4), 15), {}, ""},
      {"AVI v4 of 13 bytes",
       WithByte(avi, 1, 4),
       {"length"},
       "Length 13 differs from the 14 or 15 data bytes of the AVI InfoFrame, version 4."},
      {"more than an InfoFrame can carry",
       withLength(Hex("83 01 19 00"), 28),
       {"length"},
       "Length 28 is more than an InfoFrame can carry (27 data bytes)."},
      {"AVI version 5",
       WithByte(withLength(avi, 14), 1, 5),
       {"version"},
       "Version 5 of the AVI InfoFrame is not one this decoder knows (it knows 2, 3 and 4): its "
       "fields are read as version 4 lays them out."},
      {"audio version 2",
       WithByte(Hex("84 01 0A 70 01 00 00 00 00 00 00 00 00 00"), 1, 2),
       {"version"},
       ""},
      {"a vendor InfoFrame without room for its OUI",
       withLength(Hex("81 01 05 00 03 0C"), 2),
       {"length"},
       "The vendor-specific InfoFrame is too short for its OUI: it needs 3 data bytes."},
      {"an HDMI_VIC announced but not sent",
       withLength(Hex("81 01 05 49 03 0C 00 20 01"), 4),
       {"length"},
       "The vendor-specific InfoFrame is too short for HDMI_VIC: it needs 5 data bytes."},
      {"a vendor InfoFrame longer than its fields",
       withLength(Hex("81 01 05 49 03 0C 00 20 01"), 9),
       {},
       ""},
  };
  for (const Case& c : cases) {
    const InfoFrameDecode d = DecodeInfoFrame(c.packet);
    EXPECT_EQ(CheckKeys(d), c.keys) << c.what << "\n" << ChecksText(d);
    if (!c.first.empty() && !d.checks.empty()) {
      EXPECT_EQ(d.checks[0].text, c.first) << c.what;
    }
  }
  // Version 5 is still read: with version 4's layout, ACE included.
  EXPECT_NE(DecodeInfoFrame(cases[5].packet).Field("ACE"), nullptr);
}

TEST(InfoFrameDecoder, ARepliesCutShortIsReadAsFarAsItGoesAndNamed) {
  for (const RealPacket& p : RealPackets()) {
    const Bytes whole = Hex(p.hex);
    if (whole[0] < 0x80) continue;
    for (size_t size = 0; size < whole.size(); ++size) {
      const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
      const InfoFrameDecode d = DecodeInfoFrame(cut);
      if (size == 0) {
        EXPECT_EQ(d.kind, InfoFrameDecode::Kind::None);
        continue;
      }
      EXPECT_EQ(d.name, p.name);
      EXPECT_FALSE(d.checksum) << p.what << " cut to " << size;
      EXPECT_EQ(CheckKeys(d), std::vector<std::string>{"length"}) << p.what << " cut to " << size;
      if (size >= 3) {
        EXPECT_EQ(d.missingBytes, whole.size() - size) << p.what;
      }
      // Nothing is made up for the bytes that did not come.
      EXPECT_LE(d.fields.size(), DecodeInfoFrame(whole).fields.size()) << p.what;
    }
  }
  const InfoFrameDecode d = DecodeInfoFrame(Hex("82 02 0D 47 10 08"));
  EXPECT_EQ(d.checks[0].text,
            "The reply ends 11 bytes short of the 13 data bytes and checksum the length announces: "
            "the checksum cannot be checked.");
  EXPECT_NE(d.Field("M"), nullptr);
  EXPECT_EQ(d.Field("ITC"), nullptr);
  // Bytes after the packet's length are not part of it.
  Bytes longer = Hex(kAviExample);
  longer.insert(longer.end(), {0xFF, 0xFF, 0xFF});
  EXPECT_TRUE(DecodeInfoFrame(longer).checks.empty());
}

TEST(InfoFrameDecoder, NoPacketAndTypesOfNoKnownLayout) {
  const InfoFrameDecode none = DecodeInfoFrame(Bytes(4, 0));
  EXPECT_EQ(none.kind, InfoFrameDecode::Kind::None);
  EXPECT_TRUE(none.fields.empty());
  EXPECT_EQ(CheckRows(none), std::vector<std::string>{"No packet to check."});

  const InfoFrameDecode unknown = DecodeInfoFrame(Hex("86 01 03 70 01 02 03"));
  EXPECT_EQ(unknown.name, "Unknown InfoFrame");
  ASSERT_TRUE(unknown.checksum);
  EXPECT_TRUE(unknown.checksum->ok);
  ASSERT_NE(unknown.Field("body"), nullptr);
  EXPECT_EQ(unknown.Field("body")->text, "01 02 03");

  const InfoFrameDecode packet = DecodeInfoFrame(Hex("03 10 00 00 01"));
  EXPECT_EQ(packet.name, "Unknown packet");
  EXPECT_EQ(ValueOf(*packet.Field("HB1")), "16");
  EXPECT_EQ(packet.Field("HB1")->text, "0x10");
  // A packet's body is 28 bytes at most, however long the reply.
  Bytes acp = Hex("04 00 00");
  acp.resize(40, 0xAB);
  EXPECT_EQ(ValueOf(*DecodeInfoFrame(acp).Field("body")).size(), 28u * 3 - 1);
}

TEST(InfoFrameDecoder, HeldAgainstTheMeasuredSignal) {
  auto measured = [](int w, int h, bool interlaced, double rate, int colour = -1) {
    MeasuredSignal m;
    m.width = w;
    m.height = h;
    m.interlaced = interlaced;
    m.fieldRateHz = rate;
    m.colourSpace = colour;
    return m;
  };
  auto audioMeasured = [](int rateCode, int channels) {
    MeasuredSignal m;
    m.sampleRateCode = rateCode;
    m.channelCount = channels;
    return m;
  };
  const Bytes vic4 = WithByte(Hex(kAviExample), 7, 4);
  const char* const k2160p60 = "82 03 0D F5 70 A8 00 61 00 00 00 00 00 00 00 00 00";
  struct Case {
    const char* what;
    Bytes packet;
    MeasuredSignal m;
    std::vector<std::string> checks;  // "key: text"
    std::vector<std::string> checked;
  };
  const Case cases[] = {
      {"VIC 16 on 1080p59.94",
       Hex(kAviExample),
       measured(1920, 1080, false, 59.94),
       {},
       {"checksum", "length", "version", "reserved", "vic_timing"}},
      {"VIC 16 on 1080i60",
       Hex(kAviExample),
       measured(1920, 1080, true, 60),
       {"vic_timing: VIC 16 is 1920x1080p 60 Hz 16:9, but the box measures 1920x1080i 60 Hz: the "
        "scan is interlaced, not progressive."},
       {}},
      {"VIC 16 on 1080p50",
       Hex(kAviExample),
       measured(1920, 1080, false, 50),
       {"vic_timing: VIC 16 is 1920x1080p 60 Hz 16:9, but the box measures 1920x1080p 50 Hz: the "
        "rate is 50 Hz, not 60 Hz."},
       {}},
      {"VIC 16 on 1080p60.4: 0.7 % off",
       Hex(kAviExample),
       measured(1920, 1080, false, 60.4),
       {"vic_timing: VIC 16 is 1920x1080p 60 Hz 16:9, but the box measures 1920x1080p 60.4 Hz: "
        "the rate is 60.4 Hz, not 60 Hz."},
       {}},
      {"2160p60 4:2:0 where the box measures RGB",
       Hex(k2160p60),
       measured(3840, 2160, false, 60, 0),
       {"colour_format: Y says YCbCr 4:2:0, but the box measures RGB."},
       {}},
      {"no timing measured",
       vic4,
       MeasuredSignal{},
       {},
       {"checksum", "length", "version", "reserved"}},
      {"HDMI_VIC 1 on 2160p24",
       Hex("81 01 05 49 03 0C 00 20 01"),
       measured(3840, 2160, false, 24),
       {"vic_timing: HDMI_VIC 1 is 3840x2160p 30 Hz 16:9, but the box measures 3840x2160p 24 Hz: "
        "the rate is 24 Hz, not 30 Hz."},
       {}},
      {"5.1 where the box measures stereo",
       Hex("84 01 0A 61 05 00 00 0B 00 00 00 00 00 00"),
       audioMeasured(3, 2),
       {"audio: CC says 6 channels, but the box measures 2."},
       {"checksum", "length", "version", "reserved", "audio"}},
      {"192 kHz where the box measures 48",
       Hex("84 01 0A 58 17 1F 00 13 D0 00 00 00 00 00"),
       audioMeasured(3, 8),
       {"audio: SF says 192 kHz, but the box measures 48 kHz."},
       {}},
      {"channels from the stream: nothing to hold against",
       WithByte(Hex("84 01 0A 70 01 00 00 00 00 00 00 00 00 00"), 4, 0x00),
       audioMeasured(3, 8),
       {},
       {"checksum", "length", "version", "reserved"}},
  };
  for (const Case& c : cases) {
    const InfoFrameDecode d = DecodeInfoFrame(c.packet, &c.m);
    std::vector<std::string> checks;
    for (const InfoFrameCheck& check : d.checks)
      checks.push_back(check.key + ": " + check.text);
    EXPECT_EQ(checks, c.checks) << c.what;
    if (!c.checked.empty()) {
      EXPECT_EQ(d.checked, c.checked) << c.what;
    }
  }
}

TEST(InfoFrameDecoder, RowsAsThePageAndSignalCliShowThem) {
  // The headline and a clean packet's checks read in signal-cli's end-to-end test.
  const InfoFrameDecode d =
      DecodeInfoFrame(Hex("82 02 0D 92 30 A8 00 05 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(DecodedRows(d).size(), 1 + d.fields.size());
  EXPECT_EQ(DecodedRows(d).at(1), "Colour format (Y): YCbCr 4:2:2 (1)");
  const InfoFrameDecode spd = DecodeInfoFrame(Hex(RealPackets()[12].hex));
  EXPECT_EQ(FieldRow(*spd.Field("VN")), "Vendor name (VN): Sony");
  const InfoFrameDecode acp = DecodeInfoFrame(Hex("04 02 00 01 02 03"));
  EXPECT_EQ(DecodedRows(acp)[0], "ACP packet (0x04), 3 body bytes");
  EXPECT_EQ(CheckRows(acp), std::vector<std::string>{
                                "ACP packets have no version, length or checksum: the checks apply "
                                "to InfoFrames only."});
  const InfoFrameDecode cut = DecodeInfoFrame(Hex("82 02 0D 47 10"));
  EXPECT_EQ(InfoFrameHeadline(cut),
            "AVI InfoFrame (0x82), version 2, 13 data bytes, 12 bytes missing");
  // A name from the packet cannot carry control characters to a terminal or a list.
  const InfoFrameDecode hostile = DecodeInfoFrame(WithByte(Hex(RealPackets()[12].hex), 5, 0x1B));
  EXPECT_EQ(hostile.Field("VN")->text, "S\\x1Bny");
}

}  // namespace
}  // namespace sc
