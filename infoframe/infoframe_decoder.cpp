#include "infoframe/infoframe_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "infoframe/infoframe_fields.h"
#include "video/cta_formats.h"

namespace sc {

namespace {

using infoframe_detail::FieldReader;

std::string Hex2(unsigned byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", byte & 0xFF);
  return text;
}

// The InfoFrames this decoder knows: their name, versions and lengths.
struct TypeInfo {
  uint8_t type;
  const char* name;
  int firstVersion, lastVersion;
};
constexpr TypeInfo kInfoFrames[] = {
    {infoframe_type::kVendor, "Vendor-specific", 1, 1},
    {infoframe_type::kAvi, "AVI", 2, 4},
    {infoframe_type::kSourceProduct, "Source Product Description", 1, 1},
    {infoframe_type::kAudio, "Audio", 1, 1},
    {infoframe_type::kMpeg, "MPEG Source", 1, 1},
    {infoframe_type::kDynamicRange, "Dynamic Range and Mastering", 1, 1},
};

const TypeInfo* FindInfoFrame(uint8_t type) {
  for (const TypeInfo& t : kInfoFrames)
    if (t.type == type) return &t;
  return nullptr;
}

const char* PacketName(uint8_t type) {
  switch (type) {
    case infoframe_type::kAcp:
      return "ACP";
    case infoframe_type::kIsrc1:
      return "ISRC1";
    case infoframe_type::kIsrc2:
      return "ISRC2";
    case infoframe_type::kGamut:
      return "Gamut Metadata";
    default:
      return "Unknown packet";
  }
}

// The data bytes the type defines at a version: {low, high}; {0, 0} for no fixed length.
std::pair<int, int> DefinedLength(uint8_t type, int version) {
  switch (type) {
    case infoframe_type::kAvi:
      return version >= 4 ? std::pair{14, 15} : std::pair{13, 13};
    case infoframe_type::kAudio:
    case infoframe_type::kMpeg:
      return {10, 10};
    case infoframe_type::kSourceProduct:
      return {25, 25};
    case infoframe_type::kDynamicRange:
      return {26, 26};
    default:
      return {0, 0};
  }
}

std::string VersionList(const TypeInfo& t) {
  std::string list;
  for (int v = t.firstVersion; v <= t.lastVersion; ++v) {
    if (v > t.firstVersion) list += v == t.lastVersion ? " and " : ", ";
    list += std::to_string(v);
  }
  return list;
}

void AddCheck(InfoFrameDecode& d, const char* key, std::string text) {
  d.checks.push_back({key, std::move(text)});
}

void Checked(InfoFrameDecode& d, const char* key) {
  if (std::find(d.checked.begin(), d.checked.end(), key) == d.checked.end())
    d.checked.emplace_back(key);
}

uint32_t NumberOf(const InfoFrameField& field) {
  const auto* value = std::get_if<uint32_t>(&field.value);
  return value ? *value : 0;
}

// ---------------------------------------------------------------------------------------
// The packet against the measured signal.

std::string MeasuredFormat(const MeasuredSignal& m) {
  return std::to_string(m.width) + "x" + std::to_string(m.height) + (m.interlaced ? "i " : "p ") +
         RateText(m.fieldRateHz) + " Hz";
}

// A video code's format against the Timing page: active size, scan and rate (within
// 0.5 %, so that 59.94 Hz passes for 60).
void CompareFormat(InfoFrameDecode& d, const std::string& code, const CtaFormat& f,
                   const MeasuredSignal& m) {
  if (m.width <= 0 || m.height <= 0) return;
  Checked(d, check_key::kVicTiming);
  // The Timing page shows a pixel-repeated picture at its own width; the format counts
  // the pixels on the wire.
  const int repetition = std::clamp(m.pixelRepetition, 0, 9);
  const bool widthOk =
      m.width == f.hActive ||
      (repetition > 0 && std::abs(m.width * (repetition + 1) - int{f.hActive}) <= repetition);
  std::vector<std::string> differences;
  if (!widthOk || m.height != f.vActive)
    differences.push_back("the active size is " + std::to_string(m.width) + "x" +
                          std::to_string(m.height) + ", not " + std::to_string(f.hActive) + "x" +
                          std::to_string(f.vActive));
  if (m.interlaced != f.interlaced)
    differences.push_back(m.interlaced ? "the scan is interlaced, not progressive"
                                       : "the scan is progressive, not interlaced");
  const double rate = f.fieldRateHz();
  if (!(std::fabs(m.fieldRateHz - rate) <= 0.005 * rate))
    differences.push_back("the rate is " + RateText(m.fieldRateHz) + " Hz, not " + RateText(rate) +
                          " Hz");
  if (differences.empty()) return;
  std::string text =
      code + " is " + FormatName(f) + ", but the box measures " + MeasuredFormat(m) + ": ";
  for (size_t i = 0; i < differences.size(); ++i)
    text += (i ? "; " : "") + differences[i];
  AddCheck(d, check_key::kVicTiming, text + ".");
}

const char* ColourName(uint32_t code) {
  static const char* const kNames[] = {"RGB", "YCbCr 4:2:2", "YCbCr 4:4:4", "YCbCr 4:2:0"};
  return code < 4 ? kNames[code] : "?";
}

const char* RateName(uint32_t code) {
  static const char* const kNames[] = {"",         "32 kHz", "44.1 kHz",  "48 kHz",
                                       "88.2 kHz", "96 kHz", "176.4 kHz", "192 kHz"};
  return code < 8 ? kNames[code] : "?";
}

void CompareWithSignal(InfoFrameDecode& d, const MeasuredSignal& m) {
  if (d.type == infoframe_type::kAvi) {
    if (const InfoFrameField* vic = d.Field("VIC")) {
      if (const CtaFormat* f = FindCtaFormat(static_cast<int>(NumberOf(*vic))))
        CompareFormat(d, "VIC " + std::to_string(NumberOf(*vic)), *f, m);
    }
    const InfoFrameField* y = d.Field("Y");
    if (y && NumberOf(*y) < 4 && m.colourSpace >= 0 && m.colourSpace < 4) {
      Checked(d, check_key::kColourFormat);
      if (NumberOf(*y) != static_cast<uint32_t>(m.colourSpace))
        AddCheck(d, check_key::kColourFormat,
                 std::string("Y says ") + ColourName(NumberOf(*y)) + ", but the box measures " +
                     ColourName(static_cast<uint32_t>(m.colourSpace)) + ".");
    }
  } else if (d.type == infoframe_type::kVendor) {
    if (const InfoFrameField* vic = d.Field("HDMI_VIC")) {
      if (const CtaFormat* f = FindHdmiVicFormat(static_cast<int>(NumberOf(*vic))))
        CompareFormat(d, "HDMI_VIC " + std::to_string(NumberOf(*vic)), *f, m);
    }
  } else if (d.type == infoframe_type::kAudio) {
    // 0 in either means "refer to the stream header": nothing stated to compare.
    const InfoFrameField* cc = d.Field("CC");
    if (cc && NumberOf(*cc) != 0 && m.channelCount > 0) {
      Checked(d, check_key::kAudio);
      const uint32_t count = NumberOf(*cc) + 1;
      if (count != static_cast<uint32_t>(m.channelCount))
        AddCheck(d, check_key::kAudio,
                 "CC says " + std::to_string(count) + " channels, but the box measures " +
                     std::to_string(m.channelCount) + ".");
    }
    const InfoFrameField* sf = d.Field("SF");
    if (sf && NumberOf(*sf) != 0 && m.sampleRateCode >= 1 && m.sampleRateCode <= 7) {
      Checked(d, check_key::kAudio);
      if (NumberOf(*sf) != static_cast<uint32_t>(m.sampleRateCode))
        AddCheck(d, check_key::kAudio,
                 std::string("SF says ") + RateName(NumberOf(*sf)) + ", but the box measures " +
                     RateName(static_cast<uint32_t>(m.sampleRateCode)) + ".");
    }
  }
}

// ---------------------------------------------------------------------------------------

InfoFrameDecode DecodePacket(std::span<const uint8_t> payload) {
  InfoFrameDecode d;
  d.kind = InfoFrameDecode::Kind::Packet;
  d.type = payload[0];
  d.name = PacketName(d.type);
  const uint8_t hb1 = payload.size() > 1 ? payload[1] : 0;
  const uint8_t hb2 = payload.size() > 2 ? payload[2] : 0;
  std::span<const uint8_t> body =
      payload.size() > 3 ? payload.subspan(3) : std::span<const uint8_t>();
  if (body.size() > kPacketBodySize) body = body.first(kPacketBodySize);
  FieldReader r(d, body, static_cast<int>(body.size()), false);
  infoframe_detail::DecodePacketFields(r, d.type, hb1, hb2);
  return d;
}

}  // namespace

const InfoFrameField* InfoFrameDecode::Field(std::string_view key) const {
  for (const InfoFrameField& f : fields)
    if (f.key == key) return &f;
  return nullptr;
}

bool InfoFrameDecode::HasCheck(std::string_view key) const {
  return std::any_of(checks.begin(), checks.end(),
                     [&](const InfoFrameCheck& c) { return c.key == key; });
}

std::string HexBytes(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (const uint8_t b : bytes) {
    if (!text.empty()) text += ' ';
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

InfoFrameDecode DecodeInfoFrame(std::span<const uint8_t> payload, const MeasuredSignal* measured) {
  InfoFrameDecode d;
  if (payload.empty() || payload[0] == infoframe_type::kNone) {
    d.name = "No packet";
    return d;
  }
  if (payload[0] < 0x80) return DecodePacket(payload);

  d.kind = InfoFrameDecode::Kind::InfoFrame;
  d.type = payload[0];
  const TypeInfo* info = FindInfoFrame(d.type);
  d.name = info ? info->name : "Unknown InfoFrame";
  if (payload.size() >= 2) d.version = payload[1];
  if (payload.size() < 3) {
    Checked(d, check_key::kLength);
    AddCheck(d, check_key::kLength,
             "The reply ends after " + std::to_string(payload.size()) +
                 " bytes, inside the InfoFrame's header.");
    return d;
  }
  const int length = payload[2];
  d.length = static_cast<uint8_t>(length);
  const size_t whole = 4 + static_cast<size_t>(length);
  d.missingBytes = payload.size() < whole ? whole - payload.size() : 0;
  const size_t carried = payload.size() > 4 ? std::min(payload.size() - 4, size_t(length)) : 0;

  // The checksum makes the header, the checksum and the L data bytes sum to 0.
  Checked(d, check_key::kChecksum);
  if (d.missingBytes == 0) {
    unsigned sum = 0;
    for (size_t i = 0; i < whole; ++i)
      if (i != 3) sum += payload[i];
    InfoFrameChecksum c;
    c.received = payload[3];
    c.expected = static_cast<uint8_t>(-sum);
    c.ok = c.received == c.expected;
    d.checksum = c;
    if (!c.ok)
      AddCheck(d, check_key::kChecksum,
               "Checksum " + Hex2(c.received) + " is wrong: " + Hex2(c.expected) +
                   " would make the packet's bytes sum to 0.");
  }

  Checked(d, check_key::kLength);
  if (d.missingBytes > 0)
    AddCheck(d, check_key::kLength,
             "The reply ends " + std::to_string(d.missingBytes) + " byte" +
                 (d.missingBytes == 1 ? "" : "s") + " short of the " + std::to_string(length) +
                 " data bytes and checksum the length announces: the checksum cannot be checked.");
  const int version = d.version.value_or(0);
  if (length > kInfoFrameDataLimit) {
    AddCheck(d, check_key::kLength,
             "Length " + std::to_string(length) + " is more than an InfoFrame can carry (" +
                 std::to_string(kInfoFrameDataLimit) + " data bytes).");
  } else if (const auto [low, high] = DefinedLength(d.type, version);
             low > 0 && (length < low || length > high)) {
    AddCheck(d, check_key::kLength,
             "Length " + std::to_string(length) + " differs from the " + std::to_string(low) +
                 (high > low ? " or " + std::to_string(high) : "") + " data bytes of the " +
                 d.name + " InfoFrame, version " + std::to_string(version) + ".");
  }

  FieldReader r(d, payload.subspan(4, carried), length, true);
  if (!info) {
    r.Raw("Data bytes", payload.subspan(4, carried));
  } else {
    Checked(d, check_key::kVersion);
    if (version < info->firstVersion || version > info->lastVersion)
      AddCheck(d, check_key::kVersion,
               "Version " + std::to_string(version) + " of the " + d.name +
                   " InfoFrame is not one this decoder knows (it knows " + VersionList(*info) +
                   "): its fields are read as version " +
                   std::to_string(std::clamp(version, info->firstVersion, info->lastVersion)) +
                   " lays them out.");
    Checked(d, check_key::kReserved);
    switch (d.type) {
      case infoframe_type::kAvi:
        infoframe_detail::DecodeAviFields(r, std::clamp(version, 2, 4));
        break;
      case infoframe_type::kAudio:
        infoframe_detail::DecodeAudioFields(r);
        break;
      case infoframe_type::kSourceProduct:
        infoframe_detail::DecodeSourceProductFields(r);
        break;
      case infoframe_type::kVendor:
        infoframe_detail::DecodeVendorFields(r);
        break;
      case infoframe_type::kMpeg:
        infoframe_detail::DecodeMpegFields(r);
        break;
      case infoframe_type::kDynamicRange:
        infoframe_detail::DecodeDynamicRangeFields(r);
        break;
      default:
        break;
    }
  }
  if (measured) CompareWithSignal(d, *measured);
  return d;
}

// ---------------------------------------------------------------------------------------
// Texts.

std::string InfoFrameHeadline(const InfoFrameDecode& d) {
  switch (d.kind) {
    case InfoFrameDecode::Kind::None:
      return "No packet: the box has captured none of this type.";
    case InfoFrameDecode::Kind::Packet: {
      const InfoFrameField* body = d.Field("body");
      const std::string* hex = body ? std::get_if<std::string>(&body->value) : nullptr;
      const size_t bytes = hex && !hex->empty() ? (hex->size() + 1) / 3 : 0;
      return d.name + " packet (" + Hex2(d.type) + "), " + std::to_string(bytes) + " body bytes";
    }
    case InfoFrameDecode::Kind::InfoFrame:
      break;
  }
  std::string text = d.name + " InfoFrame (" + Hex2(d.type) + ")";
  if (!d.length) return text + ", its header cut short";
  text += ", version " + std::to_string(*d.version) + ", " + std::to_string(*d.length) +
          " data bytes, ";
  if (d.checksum)
    text += "checksum " + Hex2(d.checksum->received) + (d.checksum->ok ? " right" : " wrong");
  else
    text += std::to_string(d.missingBytes) + " bytes missing";
  return text;
}

std::string FieldRow(const InfoFrameField& field) {
  std::string row = field.label + " (" + field.key + "): " + field.text;
  if (const auto* number = std::get_if<uint32_t>(&field.value))
    row += " (" + std::to_string(*number) + ")";
  return row;
}

std::vector<std::string> DecodedRows(const InfoFrameDecode& decode) {
  std::vector<std::string> rows = {InfoFrameHeadline(decode)};
  for (const InfoFrameField& field : decode.fields)
    rows.push_back(FieldRow(field));
  return rows;
}

std::vector<std::string> CheckRows(const InfoFrameDecode& decode) {
  switch (decode.kind) {
    case InfoFrameDecode::Kind::None:
      return {"No packet to check."};
    case InfoFrameDecode::Kind::Packet:
      return {decode.name +
              " packets have no version, length or checksum: the checks apply to InfoFrames only."};
    case InfoFrameDecode::Kind::InfoFrame:
      break;
  }
  std::vector<std::string> rows;
  for (const InfoFrameCheck& check : decode.checks)
    rows.push_back(check.text);
  if (!rows.empty()) return rows;
  struct Phrase {
    const char* key;
    const char* text;
  };
  static constexpr Phrase kPhrases[] = {
      {check_key::kChecksum, "the checksum"},
      {check_key::kLength, "the length"},
      {check_key::kVersion, "the version"},
      {check_key::kReserved, "reserved bits and values"},
      {check_key::kVicTiming, "the video format against the measured timing"},
      {check_key::kColourFormat, "the colour format against the measured one"},
      {check_key::kAudio, "the audio against the measured audio"},
  };
  std::string text = "No problem found. Checked: ";
  int count = 0;
  for (const Phrase& p : kPhrases)
    if (std::find(decode.checked.begin(), decode.checked.end(), p.key) != decode.checked.end())
      text += std::string(count++ ? ", " : "") + p.text;
  return {text + "."};
}

}  // namespace sc
