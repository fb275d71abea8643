#include "edid/edid_model.h"

#include <algorithm>

#include "edid/edid_names.h"

namespace sc {

namespace {

constexpr uint8_t kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
constexpr size_t kChecksumOffset = 127;

// One 128-byte block, read by offset; every read is inside the block.
class BlockReader {
 public:
  BlockReader(std::span<const uint8_t> block, uint8_t index) : block_(block), index_(index) {}
  uint8_t operator[](size_t offset) const { return block_[offset]; }
  EdidSpan Span(size_t offset, size_t length) const {
    return {index_, static_cast<uint8_t>(offset), static_cast<uint8_t>(length)};
  }
  std::span<const uint8_t> Bytes(size_t offset, size_t length) const {
    return block_.subspan(offset, length);
  }
  uint8_t index() const { return index_; }

 private:
  std::span<const uint8_t> block_;
  uint8_t index_;
};

EdidDetailedTiming DecodeTiming(const BlockReader& r, size_t at) {
  EdidDetailedTiming t;
  t.span = r.Span(at, 18);
  auto b = [&](size_t i) { return unsigned{r[at + i]}; };
  t.pixelClockKhz = (b(0) | b(1) << 8) * 10u;
  t.hActive = static_cast<uint16_t>(b(2) | (b(4) >> 4) << 8);
  t.hBlank = static_cast<uint16_t>(b(3) | (b(4) & 0x0F) << 8);
  t.vActive = static_cast<uint16_t>(b(5) | (b(7) >> 4) << 8);
  t.vBlank = static_cast<uint16_t>(b(6) | (b(7) & 0x0F) << 8);
  t.hFront = static_cast<uint16_t>(b(8) | (b(11) >> 6 & 3) << 8);
  t.hSync = static_cast<uint16_t>(b(9) | (b(11) >> 4 & 3) << 8);
  t.vFront = static_cast<uint16_t>((b(10) >> 4) | (b(11) >> 2 & 3) << 4);
  t.vSync = static_cast<uint16_t>((b(10) & 0x0F) | (b(11) & 3) << 4);
  t.hImageMm = static_cast<uint16_t>(b(12) | (b(14) >> 4) << 8);
  t.vImageMm = static_cast<uint16_t>(b(13) | (b(14) & 0x0F) << 8);
  t.hBorder = r[at + 15];
  t.vBorder = r[at + 16];
  t.flags = r[at + 17];
  t.interlaced = (t.flags & 0x80) != 0;
  return t;
}

// Text of a string descriptor: bytes 5-17 up to the 0x0A that ends it.
std::string DescriptorText(const BlockReader& r, size_t at) {
  std::string text;
  for (size_t i = 5; i < 18 && r[at + i] != 0x0A; ++i)
    text += static_cast<char>(r[at + i]);
  return text;
}

std::optional<EdidStandardTiming> DecodeStandardTiming(const BlockReader& r, size_t at,
                                                       bool before13) {
  const uint8_t first = r[at], second = r[at + 1];
  // 01 01 marks an unused slot; 00 00 (and a first byte of 0) is not a timing either.
  if ((first == 0x01 && second == 0x01) || first == 0x00) return std::nullopt;
  EdidStandardTiming st;
  st.span = r.Span(at, 2);
  const unsigned width = (first + 31u) * 8u;
  unsigned height = 0;
  switch (second >> 6) {
    case 0:
      height = before13 ? width : width * 10 / 16;
      st.aspect = before13 ? "1:1" : "16:10";
      break;
    case 1:
      height = width * 3 / 4;
      st.aspect = "4:3";
      break;
    case 2:
      height = width * 4 / 5;
      st.aspect = "5:4";
      break;
    default:
      height = width * 9 / 16;
      st.aspect = "16:9";
      break;
  }
  st.timing.width = static_cast<uint16_t>(width);
  st.timing.height = static_cast<uint16_t>(height);
  st.timing.refreshHz = static_cast<uint8_t>((second & 0x3F) + 60);
  return st;
}

EdidDescriptor DecodeDescriptor(const BlockReader& r, size_t at, bool before13) {
  EdidDescriptor d;
  d.span = r.Span(at, 18);
  if (r[at] != 0 || r[at + 1] != 0) {
    d.kind = EdidDescriptor::Kind::Timing;
    d.timing = DecodeTiming(r, at);
    return d;
  }
  d.kind = EdidDescriptor::Kind::Display;
  d.tag = r[at + 3];
  switch (d.tag) {
    case 0xFC:
    case 0xFE:
    case 0xFF:
      d.text = DescriptorText(r, at);
      break;
    case 0xFD: {
      const uint8_t offsets = r[at + 4];
      EdidRangeLimits& range = d.range;
      range.vMinHz = static_cast<uint16_t>(r[at + 5] + ((offsets & 3) == 3 ? 255 : 0));
      range.vMaxHz = static_cast<uint16_t>(r[at + 6] + ((offsets & 2) ? 255 : 0));
      range.hMinKhz = static_cast<uint16_t>(r[at + 7] + ((offsets >> 2 & 3) == 3 ? 255 : 0));
      range.hMaxKhz = static_cast<uint16_t>(r[at + 8] + ((offsets & 8) ? 255 : 0));
      range.maxClockMhz = static_cast<uint16_t>(r[at + 9] * 10);
      range.support = r[at + 10];
      break;
    }
    case 0xFA:
      for (size_t i = 5; i + 1 < 17; i += 2)
        if (auto st = DecodeStandardTiming(r, at + i, before13)) d.standard.push_back(*st);
      break;
    case 0xF7: {
      const auto table = EstablishedTimingsIII();
      for (size_t bit = 0; bit < table.size(); ++bit)
        if (r[at + 6 + bit / 8] >> (7 - bit % 8) & 1) d.established.push_back(table[bit]);
      break;
    }
    default:
      break;
  }
  return d;
}

void DecodeBase(const BlockReader& r, EdidBaseBlock& base) {
  base.headerOk = std::equal(std::begin(kHeader), std::end(kHeader), r.Bytes(0, 8).begin());
  const unsigned id = unsigned{r[8]} << 8 | r[9];
  for (const unsigned shift : {10u, 5u, 0u})
    base.manufacturer += static_cast<char>('@' + (id >> shift & 0x1F));
  base.product = static_cast<uint16_t>(r[10] | r[11] << 8);
  base.serial =
      uint32_t{r[12]} | uint32_t{r[13]} << 8 | uint32_t{r[14]} << 16 | uint32_t{r[15]} << 24;
  base.week = r[16];
  base.year = static_cast<uint16_t>(1990 + r[17]);
  base.version = r[18];
  base.revision = r[19];
  base.input = r[20];
  base.hSizeCm = r[21];
  base.vSizeCm = r[22];
  base.gamma = r[23];
  base.features = r[24];
  const uint8_t low1 = r[25], low2 = r[26];
  const uint8_t lows[8] = {static_cast<uint8_t>(low1 >> 6),     static_cast<uint8_t>(low1 >> 4 & 3),
                           static_cast<uint8_t>(low1 >> 2 & 3), static_cast<uint8_t>(low1 & 3),
                           static_cast<uint8_t>(low2 >> 6),     static_cast<uint8_t>(low2 >> 4 & 3),
                           static_cast<uint8_t>(low2 >> 2 & 3), static_cast<uint8_t>(low2 & 3)};
  for (size_t i = 0; i < 8; ++i)
    base.chromaticity[i] = static_cast<uint16_t>(r[27 + i] << 2 | lows[i]);

  const auto established = EstablishedTimings();
  for (size_t bit = 0; bit < established.size(); ++bit)
    if (r[35 + bit / 8] >> (7 - bit % 8) & 1) base.established.push_back(established[bit]);
  base.manufacturerTimings = r[37] & 0x7F;

  const bool before13 = base.version == 1 && base.revision < 3;
  for (size_t at = 38; at < 54; at += 2)
    if (auto st = DecodeStandardTiming(r, at, before13)) base.standard.push_back(*st);
  for (size_t at = 54; at < 126; at += 18)
    base.descriptors.push_back(DecodeDescriptor(r, at, before13));
  base.extensionCount = r[126];
}

// ---------------------------------------------------------------------------------------
// CTA-861 data blocks

CtaSvd DecodeSvd(const BlockReader& r, size_t at) {
  CtaSvd svd;
  svd.span = r.Span(at, 1);
  svd.code = r[at];
  // Codes 1-64 and 129-192 carry the native flag in bit 7; 65-127 and 193-255 are VICs
  // as they stand; 0 and 128 are reserved.
  if (svd.code == 0 || svd.code == 0x80) {
    svd.vic = 0;
  } else if (svd.code > 0x80 && svd.code <= 0xC0) {
    svd.vic = svd.code & 0x7F;
    svd.native = true;
  } else {
    svd.vic = svd.code;
  }
  return svd;
}

CtaSad DecodeSad(const BlockReader& r, size_t at) {
  CtaSad sad;
  sad.span = r.Span(at, 3);
  for (size_t i = 0; i < 3; ++i)
    sad.bytes[i] = r[at + i];
  sad.format = sad.bytes[0] >> 3 & 0x0F;
  sad.channels = static_cast<uint8_t>((sad.bytes[0] & 7) + 1);
  sad.rates = sad.bytes[1] & 0x7F;
  if (sad.format == 1) sad.sizes = sad.bytes[2] & 0x07;
  if (sad.format >= 2 && sad.format <= 8)
    sad.maxBitrateKbps = static_cast<uint16_t>(sad.bytes[2] * 8);
  if (sad.format == 15) sad.extendedType = sad.bytes[2] >> 3;
  if (sad.format == 15 && sad.extendedType == 13) sad.sizes = sad.bytes[2] & 0x07;
  return sad;
}

// The HDMI block's fields in order; `end` is the block offset just past the bytes present.
HdmiVsdb DecodeHdmi(const BlockReader& r, size_t start, size_t end) {
  HdmiVsdb h;
  auto has = [&](size_t offset) { return start + offset < end; };
  auto at = [&](size_t offset) { return r[start + offset]; };
  if (has(5)) {
    h.physicalAddress = std::array<uint8_t, 4>{
        static_cast<uint8_t>(at(4) >> 4), static_cast<uint8_t>(at(4) & 0x0F),
        static_cast<uint8_t>(at(5) >> 4), static_cast<uint8_t>(at(5) & 0x0F)};
    h.physicalAddressSpan = r.Span(start + 4, 2);
  }
  if (has(6)) {
    h.flags = at(6);
    h.flagsSpan = r.Span(start + 6, 1);
  }
  if (has(7)) {
    if (at(7) != 0) h.maxTmdsMhz = static_cast<uint16_t>(at(7) * 5);
    h.maxTmdsSpan = r.Span(start + 7, 1);
  }
  if (!has(8)) return h;
  const uint8_t latency = at(8);
  h.latencyFlags = latency;
  size_t next = 9;
  if (latency & 0x80) {
    if (has(next)) h.videoLatency = at(next);
    if (has(next + 1)) h.audioLatency = at(next + 1);
    next += 2;
  }
  if (latency & 0x40) {
    if (has(next)) h.interlacedVideoLatency = at(next);
    if (has(next + 1)) h.interlacedAudioLatency = at(next + 1);
    next += 2;
  }
  h.hdmiVideoPresent = (latency & 0x20) != 0;
  if (!h.hdmiVideoPresent) return h;
  if (!has(next)) {
    h.listsCut = true;
    return h;
  }
  h.videoFlags = at(next++);
  if (!has(next)) {
    h.listsCut = true;
    return h;
  }
  h.hdmiVicLength = at(next) >> 5;
  h.hdmi3dLength = at(next) & 0x1F;
  ++next;
  for (size_t i = 0; i < h.hdmiVicLength; ++i, ++next) {
    if (!has(next)) {
      h.listsCut = true;
      return h;
    }
    h.hdmiVics.push_back({r.Span(start + next, 1), at(next)});
  }
  // The 3D fields: 3D_Structure_ALL and 3D_MASK when 3D_Multi_present says so, then
  // 2D_VIC_order / 3D_Structure entries to the end of HDMI_3D_LEN.
  const size_t end3d = next + h.hdmi3dLength;
  if (!h.has3d() && h.hdmi3dLength == 0) return h;
  const uint8_t multi = *h.videoFlags >> 5 & 3;
  if (multi == 1 || multi == 2) {
    if (!has(next + 1) || next + 2 > end3d) {
      h.listsCut = true;
      return h;
    }
    h.structureAll = static_cast<uint16_t>(at(next) << 8 | at(next + 1));
    next += 2;
    if (multi == 2) {
      if (!has(next + 1) || next + 2 > end3d) {
        h.listsCut = true;
        return h;
      }
      h.mask = static_cast<uint16_t>(at(next) << 8 | at(next + 1));
      next += 2;
    }
  }
  while (next < end3d) {
    if (!has(next)) {
      h.listsCut = true;
      return h;
    }
    HdmiVsdb::Structure3d s;
    s.svdIndex = at(next) >> 4;
    s.structure = at(next) & 0x0F;
    size_t length = 1;
    if (s.structure >= 8) {
      if (!has(next + 1) || next + 1 >= end3d) {
        h.listsCut = true;
        return h;
      }
      s.detail = static_cast<uint8_t>(at(next + 1) >> 4);
      length = 2;
    }
    s.span = r.Span(start + next, length);
    h.structures.push_back(s);
    next += length;
  }
  return h;
}

HdmiForumVsdb DecodeHdmiForum(const BlockReader& r, size_t start, size_t end) {
  // start: where the version byte lies.
  HdmiForumVsdb f;
  if (start < end) f.version = r[start];
  if (start + 1 < end) {
    f.maxTmdsCharacterRateMhz = static_cast<uint16_t>(r[start + 1] * 5);
    f.maxRateSpan = r.Span(start + 1, 1);
  }
  for (size_t at = start + 2; at < end; ++at)
    f.fields.push_back(r[at]);
  return f;
}

CtaDataBlock DecodeDataBlock(const BlockReader& r, size_t at, size_t limit, bool pastOffset) {
  CtaDataBlock block;
  const uint8_t header = r[at];
  block.tag = header >> 5;
  block.claimedLength = header & 0x1F;
  size_t length = block.claimedLength;
  if (at + 1 + length > limit) {
    length = limit - at - 1;
    block.cut = pastOffset ? CtaDataBlock::Cut::PastDtdOffset : CtaDataBlock::Cut::PastBlockEnd;
  }
  block.span = r.Span(at, 1 + length);
  const size_t end = at + 1 + length;  // first offset past the bytes present
  if (block.tag == 7 && length >= 1) block.extendedTag = r[at + 1];
  const bool vendor = block.tag == 3 || block.extendedTag == 1 || block.extendedTag == 17;
  const size_t ouiAt = block.tag == 3 ? at + 1 : at + 2;
  if (vendor && ouiAt + 3 <= end)
    block.oui = uint32_t{r[ouiAt + 2]} << 16 | uint32_t{r[ouiAt + 1]} << 8 | r[ouiAt];
  block.name = CtaBlockName(block.tag, block.extendedTag);
  if (block.oui) {
    const std::string owner = OuiName(*block.oui);
    block.name += " (" + (owner.empty() ? OuiText(*block.oui) : owner) + ")";
  }

  switch (block.tag) {
    case 1: {
      block.kind = CtaBlockKind::Audio;
      CtaAudioBlock audio;
      for (size_t i = at + 1; i + 3 <= end; i += 3)
        audio.sads.push_back(DecodeSad(r, i));
      audio.leftover = static_cast<uint8_t>(length % 3);
      block.contents = std::move(audio);
      return block;
    }
    case 2: {
      block.kind = CtaBlockKind::Video;
      CtaVideoBlock video;
      for (size_t i = at + 1; i < end; ++i)
        video.svds.push_back(DecodeSvd(r, i));
      block.contents = std::move(video);
      return block;
    }
    case 3:
      if (block.oui == 0x000C03u) {
        block.kind = CtaBlockKind::Hdmi;
        block.contents = DecodeHdmi(r, at, end);
      } else if (block.oui == 0xC45DD8u) {
        block.kind = CtaBlockKind::HdmiForum;
        block.contents = DecodeHdmiForum(r, at + 4, end);
      } else {
        block.kind = CtaBlockKind::VendorSpecific;
      }
      return block;
    case 4: {
      block.kind = CtaBlockKind::SpeakerAllocation;
      CtaSpeakerBlock speakers;
      const size_t count = std::min<size_t>(length, 3);
      speakers.span = r.Span(at + 1, count);
      for (size_t i = 0; i < count; ++i)
        speakers.mask |= uint32_t{r[at + 1 + i]} << (8 * i);
      block.contents = speakers;
      return block;
    }
    case 7:
      break;
    default:
      return block;
  }

  const size_t body = at + 2;  // after the extended tag
  switch (block.extendedTag) {
    case 0:
      if (body < end) {
        block.kind = CtaBlockKind::VideoCapability;
        block.contents = CtaVideoCapabilityBlock{r[body]};
      }
      break;
    case 1:
    case 17:
      block.kind = CtaBlockKind::VendorSpecific;
      break;
    case 5:
      if (body < end) {
        block.kind = CtaBlockKind::Colorimetry;
        block.contents =
            CtaColorimetryBlock{r[body], static_cast<uint8_t>(body + 1 < end ? r[body + 1] : 0)};
      }
      break;
    case 6:
      if (body + 1 < end) {
        block.kind = CtaBlockKind::HdrStatic;
        CtaHdrStaticBlock hdr;
        hdr.eotfs = r[body];
        hdr.metadata = r[body + 1];
        if (body + 2 < end) hdr.maxLuminance = r[body + 2];
        if (body + 3 < end) hdr.maxFrameAverage = r[body + 3];
        if (body + 4 < end) hdr.minLuminance = r[body + 4];
        block.contents = hdr;
      }
      break;
    case 14: {
      block.kind = CtaBlockKind::Y420Video;
      CtaY420VideoBlock y420;
      for (size_t i = body; i < end; ++i)
        y420.svds.push_back(DecodeSvd(r, i));
      block.contents = std::move(y420);
      break;
    }
    case 15: {
      block.kind = CtaBlockKind::Y420CapabilityMap;
      CtaY420MapBlock map;
      map.span = r.Span(std::min(body, end), end > body ? end - body : 0);
      for (size_t i = body; i < end; ++i)
        map.bitmap.push_back(r[i]);
      block.contents = std::move(map);
      break;
    }
    case 121:
      block.kind = CtaBlockKind::HdmiForum;
      // The Sink Capability block: extended tag and two reserved bytes where the vendor
      // block has its OUI, the same fields after them.
      block.contents = DecodeHdmiForum(r, at + 4, end);
      break;
    default:
      break;
  }
  return block;
}

void DecodeCta(const BlockReader& r, CtaExtension& cta) {
  cta.revision = r[1];
  cta.dtdOffset = r[2];
  cta.flags = r[3];
  const size_t d = cta.dtdOffset;
  // The data block collection lies between byte 4 and the DTD offset; an offset past the
  // block leaves them the whole block, up to the checksum.
  const bool offsetValid = d >= 4 && d <= kChecksumOffset;
  const size_t limit = offsetValid ? d : (d > kChecksumOffset ? kChecksumOffset : 4);
  if (cta.revision < 3) {
    if (limit > 4) cta.reserved = r.Span(4, limit - 4);
  } else {
    for (size_t at = 4; at < limit;) {
      cta.blocks.push_back(DecodeDataBlock(r, at, limit, offsetValid));
      at += cta.blocks.back().span.length;
    }
  }
  if (!offsetValid) return;

  // Descriptors from the DTD offset until an all-zero slot: then the padding.
  size_t at = d;
  for (; at + 18 <= kChecksumOffset; at += 18) {
    const auto slot = r.Bytes(at, 18);
    if (std::all_of(slot.begin(), slot.end(), [](uint8_t b) { return b == 0; })) break;
    cta.descriptors.push_back(DecodeDescriptor(r, at, false));
  }
  cta.padding = r.Span(at, kChecksumOffset - at);
  const auto padding = r.Bytes(at, kChecksumOffset - at);
  cta.paddingNonZero = std::any_of(padding.begin(), padding.end(), [](uint8_t b) { return b; });
}

}  // namespace

double EdidDetailedTiming::refreshHz() const {
  const double hTotal = static_cast<double>(hActive) + hBlank;
  double vTotal = static_cast<double>(vActive) + vBlank;
  if (interlaced) vTotal += 0.5;
  if (hTotal <= 0 || vTotal <= 0) return 0;
  return pixelClockKhz * 1000.0 / (hTotal * vTotal);
}

std::vector<const CtaSvd*> CtaExtension::Svds() const {
  std::vector<const CtaSvd*> svds;
  for (const CtaDataBlock& block : blocks)
    if (const auto* video = std::get_if<CtaVideoBlock>(&block.contents))
      for (const CtaSvd& svd : video->svds)
        svds.push_back(&svd);
  return svds;
}

std::span<const uint8_t> EdidModel::Bytes(const EdidSpan& span) const {
  const size_t begin = std::min(span.begin(), bytes.size());
  const size_t end = std::min(span.end(), bytes.size());
  return std::span<const uint8_t>(bytes).subspan(begin, end - begin);
}

std::vector<const CtaExtension*> EdidModel::CtaExtensions() const {
  std::vector<const CtaExtension*> ctas;
  for (const EdidBlock& block : blocks)
    if (block.cta) ctas.push_back(&*block.cta);
  return ctas;
}

std::vector<const EdidDetailedTiming*> EdidModel::DetailedTimings() const {
  std::vector<const EdidDetailedTiming*> timings;
  auto add = [&](const std::vector<EdidDescriptor>& descriptors) {
    for (const EdidDescriptor& d : descriptors)
      if (d.kind == EdidDescriptor::Kind::Timing) timings.push_back(&d.timing);
  };
  if (wholeBlocks > 0) add(base.descriptors);
  for (const CtaExtension* cta : CtaExtensions())
    add(cta->descriptors);
  return timings;
}

const std::string* EdidModel::MonitorName() const {
  auto find = [](const std::vector<EdidDescriptor>& descriptors) -> const std::string* {
    for (const EdidDescriptor& d : descriptors)
      if (d.kind == EdidDescriptor::Kind::Display && d.tag == 0xFC) return &d.text;
    return nullptr;
  };
  if (wholeBlocks == 0) return nullptr;
  if (const std::string* name = find(base.descriptors)) return name;
  for (const CtaExtension* cta : CtaExtensions())
    if (const std::string* name = find(cta->descriptors)) return name;
  return nullptr;
}

EdidModel DecodeEdidModel(std::span<const uint8_t> bytes, bool moreThanMaxBlocks) {
  EdidModel model;
  const size_t kept = std::min(bytes.size(), kMaxEdidBlocks * kEdidBlockSize);
  model.bytes.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(kept));
  model.moreThanMaxBlocks = moreThanMaxBlocks || bytes.size() > kept;
  model.wholeBlocks = kept / kEdidBlockSize;
  model.trailingBytes = kept % kEdidBlockSize;

  for (size_t i = 0; i < model.wholeBlocks; ++i) {
    const std::span<const uint8_t> data =
        std::span<const uint8_t>(model.bytes).subspan(i * kEdidBlockSize, kEdidBlockSize);
    const BlockReader reader(data, static_cast<uint8_t>(i));
    EdidBlock block;
    block.index = static_cast<uint8_t>(i);
    block.tag = data[0];
    block.checksum = data[kChecksumOffset];
    unsigned sum = 0;
    for (const uint8_t b : data)
      sum += b;
    block.checksumOk = (sum & 0xFF) == 0;
    if (i == 0) {
      block.name = "Base EDID";
      DecodeBase(reader, model.base);
    } else {
      block.name = ExtensionName(block.tag);
      if (block.tag == 0x02) {
        block.cta.emplace();
        DecodeCta(reader, *block.cta);
      }
    }
    model.blocks.push_back(std::move(block));
  }
  return model;
}

std::span<const uint8_t> PageEdidBytes(std::span<const uint8_t, 256> image) {
  return std::span<const uint8_t>(image.data(), image[126] == 0 ? kEdidBlockSize : 256);
}

}  // namespace sc
