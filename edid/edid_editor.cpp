#include "edid/edid_editor.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <functional>
#include <map>

#include "edid/edid_names.h"
#include "video/cta_formats.h"

namespace sc {

namespace {

constexpr size_t kChecksumOffset = 127;
constexpr size_t kMaxPayload = 31;  // bits 4-0 of a data block's header
constexpr uint8_t kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

// An edit that cannot be made; caught in Apply, which then keeps the image as it was.
struct Refused {
  std::string message;
};
[[noreturn]] void Refuse(std::string message) {
  throw Refused{std::move(message)};
}

// A data block of an extension being rebuilt: its header byte and its payload. The header's
// length bits are set when the extension is written.
struct DataBlock {
  std::vector<uint8_t> bytes;
  CtaBlockKind kind = CtaBlockKind::Other;
  int extendedTag = -1;
};

// A CTA-861 extension taken apart for rebuilding.
struct Extension {
  uint8_t index = 0;
  std::vector<DataBlock> blocks;
  std::vector<std::array<uint8_t, 18>> descriptors;
  bool touched = false;

  std::vector<size_t> Find(CtaBlockKind kind) const {
    std::vector<size_t> found;
    for (size_t i = 0; i < blocks.size(); ++i)
      if (blocks[i].kind == kind) found.push_back(i);
    return found;
  }
};

const char* kNoCta = "The EDID has no CTA-861 extension.";

// The SVD codes of a VIC: with and without the native flag.
uint8_t SvdCode(int vic, bool native) {
  return static_cast<uint8_t>(native ? (vic | 0x80) : vic);
}
int SvdVic(uint8_t code) {
  if (code == 0 || code == 0x80) return 0;
  if (code > 0x80 && code <= 0xC0) return code & 0x7F;
  return code;
}
bool SvdNative(uint8_t code) {
  return code > 0x80 && code <= 0xC0;
}

// The editor's working state for one edit: the bytes, their decoding, and the extensions
// taken apart on first use.
class Work {
 public:
  explicit Work(std::vector<uint8_t> bytes)
      : bytes_(std::move(bytes)), model_(DecodeEdidModel(bytes_)) {
    declared_ = std::min<size_t>(1 + model_.base.extensionCount, model_.wholeBlocks);
  }

  std::vector<uint8_t>& bytes() { return bytes_; }
  const EdidModel& model() const { return model_; }

  // The CTA-861 extensions the base block declares, taken apart; refused when there is
  // none. An extension whose collection cannot be rebuilt refuses as it is taken apart.
  std::vector<Extension*> Ctas() {
    std::vector<Extension*> ctas;
    for (size_t i = 1; i < declared_; ++i)
      if (model_.blocks[i].cta) ctas.push_back(&Take(i));
    if (ctas.empty()) Refuse(kNoCta);
    return ctas;
  }

  // The extensions taken apart written back, and every declared block's checksum.
  std::vector<uint8_t> Finish() {
    for (auto& [index, ext] : extensions_)
      if (ext.touched) Write(ext);
    for (size_t i = 0; i < declared_; ++i) {
      unsigned sum = 0;
      for (size_t j = 0; j < kChecksumOffset; ++j)
        sum += bytes_[i * kEdidBlockSize + j];
      bytes_[i * kEdidBlockSize + kChecksumOffset] =
          static_cast<uint8_t>((0x100 - (sum & 0xFF)) & 0xFF);
    }
    return std::move(bytes_);
  }

 private:
  Extension& Take(size_t index) {
    if (auto found = extensions_.find(index); found != extensions_.end()) return found->second;
    const CtaExtension& cta = *model_.blocks[index].cta;
    if (cta.revision < 3)
      Refuse(FormatEdidText(
          "Block %zu is a CTA-861 extension of revision %u, which has no data blocks "
          "to edit.",
          index, unsigned{cta.revision}));
    if (cta.dtdOffset != 0 && (cta.dtdOffset < 4 || cta.dtdOffset > kChecksumOffset))
      Refuse(
          FormatEdidText("Block %zu: the DTD offset %u lies outside the block; the editor does not "
                         "rebuild it.",
                         index, unsigned{cta.dtdOffset}));
    Extension ext;
    ext.index = static_cast<uint8_t>(index);
    for (const CtaDataBlock& block : cta.blocks) {
      if (block.cut != CtaDataBlock::Cut::None)
        Refuse(FormatEdidText(
            "Block %zu: the %s at offset 0x%02X claims more bytes than lie before "
            "the DTD offset or the checksum; the editor does not rebuild a damaged collection.",
            index, block.name.c_str(), unsigned{block.span.offset}));
      // From the bytes as this edit left them so far (a swapped timing, say).
      const auto bytes = Current(block.span);
      ext.blocks.push_back({{bytes.begin(), bytes.end()}, block.kind, block.extendedTag});
    }
    for (const EdidDescriptor& d : cta.descriptors) {
      std::array<uint8_t, 18> bytes{};
      const auto span = Current(d.span);
      std::copy(span.begin(), span.end(), bytes.begin());
      ext.descriptors.push_back(bytes);
    }
    return extensions_.emplace(index, std::move(ext)).first->second;
  }

  std::span<const uint8_t> Current(const EdidSpan& span) const {
    return std::span<const uint8_t>(bytes_).subspan(span.begin(), span.length);
  }

  void Write(const Extension& ext) {
    size_t size = 4;
    for (const DataBlock& block : ext.blocks) {
      if (block.bytes.size() - 1 > kMaxPayload)
        Refuse(FormatEdidText("Block %u: a data block would hold %zu bytes, more than 31.",
                              unsigned{ext.index}, block.bytes.size() - 1));
      size += block.bytes.size();
    }
    const size_t dtdOffset = size;
    size += 18 * ext.descriptors.size();
    if (size > kChecksumOffset)
      Refuse(
          FormatEdidText("Block %u would need %zu bytes for its data blocks and detailed timings; "
                         "it holds %zu.",
                         unsigned{ext.index}, size - 4, kChecksumOffset - 4));
    uint8_t* out = bytes_.data() + size_t{ext.index} * kEdidBlockSize;
    // Bytes 0, 1 and 3 (tag, revision, flags) stay.
    const uint8_t oldOffset = out[2];
    size_t at = 4;
    for (const DataBlock& block : ext.blocks) {
      out[at] = static_cast<uint8_t>((block.bytes[0] & 0xE0) | (block.bytes.size() - 1));
      std::copy(block.bytes.begin() + 1, block.bytes.end(), out + at + 1);
      at += block.bytes.size();
    }
    for (const auto& d : ext.descriptors) {
      std::copy(d.begin(), d.end(), out + at);
      at += 18;
    }
    std::fill(out + at, out + kChecksumOffset, 0);
    // An extension without data blocks or timings may say so with 0 as it did.
    const bool empty = ext.blocks.empty() && ext.descriptors.empty();
    out[2] = empty && oldOffset == 0 ? 0 : static_cast<uint8_t>(dtdOffset);
  }

  std::vector<uint8_t> bytes_;
  EdidModel model_;
  size_t declared_ = 1;
  std::map<size_t, Extension> extensions_;
};

// ---------------------------------------------------------------------------------------
// SVD positions: the 4:2:0 capability map and the HDMI block's 3D fields count the SVDs of
// every Video Data Block of an extension in order.

struct Svd {
  uint8_t code = 0;
  int oldPosition = -1;  // -1: added
};

// The HDMI block's 3D fields, read from its bytes (block offsets), for renumbering.
struct Hdmi3d {
  size_t flagsAt = 0;  // HDMI_Video_present's byte: 3D_present, 3D_Multi_present
  size_t lengthsAt = 0;
  size_t areaBegin = 0, areaEnd = 0;  // the 3D fields (HDMI_3D_LEN bytes)
  uint8_t multi = 0;
  uint16_t structureAll = 0, mask = 0;
  struct Entry {
    uint8_t svdIndex = 0;
    std::vector<uint8_t> bytes;  // one or two
  };
  std::vector<Entry> entries;
};

// The 3D fields of an HDMI block's bytes, or none when it has none. Refused when they run
// past the block, as they cannot be renumbered then.
std::optional<Hdmi3d> Read3d(const std::vector<uint8_t>& b) {
  const size_t end = b.size();
  if (end <= 8) return std::nullopt;
  const uint8_t latency = b[8];
  if (!(latency & 0x20)) return std::nullopt;
  size_t next = 9 + ((latency & 0x80) ? 2 : 0) + ((latency & 0x40) ? 2 : 0);
  const char* cut =
      "The HDMI block's 3D lists run past the block; the editor cannot renumber them.";
  if (next + 1 >= end) {
    if (next < end && (b[next] & 0x80)) Refuse(cut);
    return std::nullopt;
  }
  Hdmi3d d;
  d.flagsAt = next;
  d.lengthsAt = next + 1;
  const size_t vicLength = b[d.lengthsAt] >> 5;
  const size_t length3d = b[d.lengthsAt] & 0x1F;
  d.areaBegin = d.lengthsAt + 1 + vicLength;
  d.areaEnd = d.areaBegin + length3d;
  if (d.areaEnd > end) {
    if (length3d) Refuse(cut);
    return std::nullopt;
  }
  if (!(b[d.flagsAt] & 0x80) && length3d == 0) return std::nullopt;
  d.multi = b[d.flagsAt] >> 5 & 3;
  size_t at = d.areaBegin;
  if (d.multi == 1 || d.multi == 2) {
    if (at + 2 > d.areaEnd) Refuse(cut);
    d.structureAll = static_cast<uint16_t>(b[at] << 8 | b[at + 1]);
    at += 2;
    if (d.multi == 2) {
      if (at + 2 > d.areaEnd) Refuse(cut);
      d.mask = static_cast<uint16_t>(b[at] << 8 | b[at + 1]);
      at += 2;
    }
  }
  while (at < d.areaEnd) {
    Hdmi3d::Entry entry;
    entry.svdIndex = b[at] >> 4;
    const size_t length = (b[at] & 0x0F) >= 8 ? 2 : 1;
    if (at + length > d.areaEnd) Refuse(cut);
    entry.bytes.assign(b.begin() + static_cast<std::ptrdiff_t>(at),
                       b.begin() + static_cast<std::ptrdiff_t>(at + length));
    d.entries.push_back(entry);
    at += length;
  }
  return d;
}

// Renumbers the 3D fields of an HDMI block after the SVD list changed: newOf[old] is the
// new position of old SVD `old` (-1: removed), `count` the SVDs now.
void Renumber3d(std::vector<uint8_t>& b, const std::vector<int>& newOf, size_t count) {
  const std::optional<Hdmi3d> d = Read3d(b);
  if (!d) return;
  // Which new positions the structures of 3D_Structure_ALL cover.
  std::vector<bool> covered(std::min<size_t>(count, 16), false);
  for (size_t old = 0; old < newOf.size() && old < 16; ++old) {
    const bool was = d->multi == 1 || (d->multi == 2 && (d->mask >> old & 1));
    if (was && newOf[old] >= 0 && newOf[old] < 16) covered[static_cast<size_t>(newOf[old])] = true;
  }
  uint8_t multi = d->multi;
  uint16_t mask = 0;
  for (size_t i = 0; i < covered.size(); ++i)
    if (covered[i]) mask = static_cast<uint16_t>(mask | 1u << i);
  if (multi == 1 && std::find(covered.begin(), covered.end(), false) != covered.end()) multi = 2;
  std::vector<uint8_t> area;
  if (multi == 1 || multi == 2) {
    area.push_back(static_cast<uint8_t>(d->structureAll >> 8));
    area.push_back(static_cast<uint8_t>(d->structureAll));
  }
  if (multi == 2) {
    area.push_back(static_cast<uint8_t>(mask >> 8));
    area.push_back(static_cast<uint8_t>(mask));
  }
  for (const Hdmi3d::Entry& entry : d->entries) {
    if (entry.svdIndex >= newOf.size()) {
      area.insert(area.end(), entry.bytes.begin(), entry.bytes.end());  // as it was
      continue;
    }
    const int now = newOf[entry.svdIndex];
    if (now < 0 || now >= 16) continue;
    std::vector<uint8_t> bytes = entry.bytes;
    bytes[0] = static_cast<uint8_t>(now << 4 | (bytes[0] & 0x0F));
    area.insert(area.end(), bytes.begin(), bytes.end());
  }
  if (area.size() > 0x1F) Refuse("The HDMI block's 3D fields would be too long.");
  std::vector<uint8_t> out(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(d->areaBegin));
  out[d->flagsAt] = static_cast<uint8_t>((out[d->flagsAt] & 0x9F) | multi << 5);
  out[d->lengthsAt] = static_cast<uint8_t>((out[d->lengthsAt] & 0xE0) | area.size());
  out.insert(out.end(), area.begin(), area.end());
  out.insert(out.end(), b.begin() + static_cast<std::ptrdiff_t>(d->areaEnd), b.end());
  b = std::move(out);
}

// The 4:2:0 capability map after the SVD list changed; false when the block is to go.
bool RenumberY420Map(std::vector<uint8_t>& b, const std::vector<int>& oldOf) {
  const size_t body = 2;  // header, extended tag
  const bool all = b.size() <= body;
  auto had = [&](int old) {
    if (old < 0) return false;
    if (all) return true;
    const size_t byte = body + static_cast<size_t>(old) / 8;
    return byte < b.size() && (b[byte] >> (old % 8) & 1);
  };
  std::vector<bool> bits;
  for (const int old : oldOf)
    bits.push_back(had(old));
  const bool every = !bits.empty() && std::find(bits.begin(), bits.end(), false) == bits.end();
  if (all && every) return true;
  if (std::find(bits.begin(), bits.end(), true) == bits.end()) return false;
  b.resize(body);
  b.resize(body + (bits.size() + 7) / 8, 0);
  for (size_t i = 0; i < bits.size(); ++i)
    if (bits[i]) b[body + i / 8] = static_cast<uint8_t>(b[body + i / 8] | 1u << (i % 8));
  return true;
}

// The SVDs of every Video Data Block, in order.
std::vector<Svd> ListSvds(const Extension& ext) {
  std::vector<Svd> svds;
  for (const size_t i : ext.Find(CtaBlockKind::Video))
    for (size_t j = 1; j < ext.blocks[i].bytes.size(); ++j)
      svds.push_back({ext.blocks[i].bytes[j], static_cast<int>(svds.size())});
  return svds;
}

// Puts a new SVD list into the Video Data Blocks: the SVDs kept stay in the block they
// were in, added ones go to the end of the last block (or a new one after it, or a new
// first block when there is none); empty Video Data Blocks go. The 4:2:0 map and the HDMI
// block's 3D fields follow.
void PutSvds(Extension& ext, const std::vector<Svd>& svds) {
  ext.touched = true;
  const std::vector<Svd> before = ListSvds(ext);
  const std::vector<size_t> videoBlocks = ext.Find(CtaBlockKind::Video);
  // Which block each old SVD was in.
  std::vector<size_t> blockOf;
  for (const size_t i : videoBlocks)
    for (size_t j = 1; j < ext.blocks[i].bytes.size(); ++j)
      blockOf.push_back(i);
  std::map<size_t, std::vector<uint8_t>> payloads;
  for (const size_t i : videoBlocks)
    payloads[i];
  std::vector<uint8_t> added;
  for (const Svd& svd : svds) {
    if (svd.oldPosition >= 0)
      payloads[blockOf[static_cast<size_t>(svd.oldPosition)]].push_back(svd.code);
    else
      added.push_back(svd.code);
  }
  // Fill the last block, then new blocks after it.
  std::vector<std::vector<uint8_t>> extra;
  size_t insertAt = 0;
  if (!videoBlocks.empty()) {
    insertAt = videoBlocks.back() + 1;
    auto& last = payloads[videoBlocks.back()];
    while (!added.empty() && last.size() < kMaxPayload) {
      last.push_back(added.front());
      added.erase(added.begin());
    }
  }
  while (!added.empty()) {
    const size_t n = std::min(added.size(), kMaxPayload);
    extra.emplace_back(added.begin(), added.begin() + static_cast<std::ptrdiff_t>(n));
    added.erase(added.begin(), added.begin() + static_cast<std::ptrdiff_t>(n));
  }
  std::vector<DataBlock> blocks;
  for (size_t i = 0; i <= ext.blocks.size(); ++i) {
    if (i == insertAt)
      for (const auto& payload : extra) {
        DataBlock block{{0x40}, CtaBlockKind::Video, -1};
        block.bytes.insert(block.bytes.end(), payload.begin(), payload.end());
        blocks.push_back(std::move(block));
      }
    if (i == ext.blocks.size()) break;
    if (auto p = payloads.find(i); p != payloads.end()) {
      if (p->second.empty()) continue;
      DataBlock block = ext.blocks[i];
      block.bytes.resize(1);
      block.bytes.insert(block.bytes.end(), p->second.begin(), p->second.end());
      blocks.push_back(std::move(block));
    } else {
      blocks.push_back(ext.blocks[i]);
    }
  }
  ext.blocks = std::move(blocks);

  // The positions' new order.
  std::vector<int> newOf(before.size(), -1), oldOf;
  for (size_t i = 0; i < svds.size(); ++i) {
    oldOf.push_back(svds[i].oldPosition);
    if (svds[i].oldPosition >= 0)
      newOf[static_cast<size_t>(svds[i].oldPosition)] = static_cast<int>(i);
  }
  bool moved = svds.size() != before.size();
  for (size_t i = 0; i < svds.size() && !moved; ++i)
    moved = svds[i].oldPosition != static_cast<int>(i);
  if (!moved) return;
  for (size_t i = 0; i < ext.blocks.size();) {
    DataBlock& block = ext.blocks[i];
    if (block.kind == CtaBlockKind::Hdmi) Renumber3d(block.bytes, newOf, svds.size());
    if (block.kind == CtaBlockKind::Y420CapabilityMap && !RenumberY420Map(block.bytes, oldOf)) {
      ext.blocks.erase(ext.blocks.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    ++i;
  }
  ext.touched = true;
}

// Drops the codes `drop` says of from the 4:2:0-only list (the YCbCr 4:2:0 Video Data
// Block), the block too when it is left empty. Returns whether any went.
bool FilterY420Video(Extension& ext, const std::function<bool(int vic)>& drop) {
  bool any = false;
  for (size_t i = 0; i < ext.blocks.size();) {
    DataBlock& block = ext.blocks[i];
    if (block.kind == CtaBlockKind::Y420Video) {
      std::vector<uint8_t> kept(block.bytes.begin(), block.bytes.begin() + 2);
      for (size_t j = 2; j < block.bytes.size(); ++j)
        if (!drop(SvdVic(block.bytes[j]))) kept.push_back(block.bytes[j]);
      if (kept.size() != block.bytes.size()) {
        any = true;
        ext.touched = true;
        if (kept.size() == 2) {
          ext.blocks.erase(ext.blocks.begin() + static_cast<std::ptrdiff_t>(i));
          continue;
        }
        block.bytes = std::move(kept);
      }
    }
    ++i;
  }
  return any;
}

// Drops HDMI VICs whose CTA VIC `drop` says of from the HDMI block's list.
bool FilterHdmiVics(Extension& ext, const std::function<bool(int vic)>& drop) {
  bool any = false;
  for (DataBlock& block : ext.blocks) {
    if (block.kind != CtaBlockKind::Hdmi) continue;
    std::vector<uint8_t>& b = block.bytes;
    if (b.size() <= 8 || !(b[8] & 0x20)) continue;
    const size_t flagsAt = 9 + ((b[8] & 0x80) ? 2 : 0) + ((b[8] & 0x40) ? 2 : 0);
    const size_t lengthsAt = flagsAt + 1;
    if (lengthsAt >= b.size()) continue;
    const size_t count = b[lengthsAt] >> 5;
    if (lengthsAt + 1 + count > b.size()) continue;  // cut short: left alone
    std::vector<uint8_t> kept;
    for (size_t i = 0; i < count; ++i) {
      const uint8_t hdmiVic = b[lengthsAt + 1 + i];
      const int vic = CtaVicOfHdmiVic(hdmiVic);
      if (vic == 0 || !drop(vic)) kept.push_back(hdmiVic);
    }
    if (kept.size() == count) continue;
    any = true;
    ext.touched = true;
    std::vector<uint8_t> out(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(lengthsAt + 1));
    out[lengthsAt] = static_cast<uint8_t>((b[lengthsAt] & 0x1F) | kept.size() << 5);
    out.insert(out.end(), kept.begin(), kept.end());
    out.insert(out.end(), b.begin() + static_cast<std::ptrdiff_t>(lengthsAt + 1 + count), b.end());
    b = std::move(out);
  }
  return any;
}

// Removes the VICs `drop` says of from every place an extension lists them.
bool DropVics(Extension& ext, const std::function<bool(int vic)>& drop) {
  std::vector<Svd> svds = ListSvds(ext);
  const size_t before = svds.size();
  std::erase_if(svds, [&](const Svd& svd) { return drop(SvdVic(svd.code)); });
  bool any = svds.size() != before;
  if (any) PutSvds(ext, svds);
  any = FilterY420Video(ext, drop) || any;
  any = FilterHdmiVics(ext, drop) || any;
  return any;
}

// Where a new data block goes: after the last block of one of `after` kinds, or first.
size_t InsertPosition(const Extension& ext, std::initializer_list<CtaBlockKind> after) {
  size_t at = 0;
  for (size_t i = 0; i < ext.blocks.size(); ++i)
    for (const CtaBlockKind kind : after)
      if (ext.blocks[i].kind == kind) at = i + 1;
  return at;
}

bool RemoveBlocks(Extension& ext, const std::function<bool(const DataBlock&)>& which) {
  const size_t before = ext.blocks.size();
  std::erase_if(ext.blocks, which);
  if (ext.blocks.size() == before) return false;
  ext.touched = true;
  return true;
}

// The first block of a kind over the extensions, with its extension.
std::pair<Extension*, DataBlock*> FirstBlock(const std::vector<Extension*>& ctas,
                                             CtaBlockKind kind) {
  for (Extension* ext : ctas)
    for (DataBlock& block : ext->blocks)
      if (block.kind == kind) return {ext, &block};
  return {nullptr, nullptr};
}

// ---------------------------------------------------------------------------------------
// The edits

struct Editor {
  Work& work;
  std::string note;  // said of an edit that changed nothing

  std::vector<uint8_t>& b() { return work.bytes(); }

  void operator()(const edid_edit::MonitorName& e) {
    if (e.text.empty() || e.text.size() > 13) Refuse("A monitor name has 1 to 13 characters.");
    for (const char c : e.text)
      if (c < 0x20 || c > 0x7E) Refuse("A monitor name holds printable ASCII characters only.");
    const auto& descriptors = work.model().base.descriptors;
    std::optional<size_t> slot;
    for (const EdidDescriptor& d : descriptors)
      if (d.kind == EdidDescriptor::Kind::Display && d.tag == 0xFC) {
        slot = d.span.offset;
        break;
      }
    // Else a dummy descriptor (tag 0x10) takes it.
    for (const EdidDescriptor& d : descriptors)
      if (!slot && d.kind == EdidDescriptor::Kind::Display && d.tag == 0x10) slot = d.span.offset;
    if (!slot)
      Refuse("The base block has no monitor name descriptor and no unused descriptor to hold one.");
    uint8_t* d = b().data() + *slot;
    std::fill(d, d + 18, 0);
    d[3] = 0xFC;
    // The text, then 0x0A when it is shorter than 13 characters, then spaces.
    size_t i = 0;
    for (; i < e.text.size(); ++i)
      d[5 + i] = static_cast<uint8_t>(e.text[i]);
    if (i < 13) d[5 + i++] = 0x0A;
    for (; i < 13; ++i)
      d[5 + i] = 0x20;
  }

  void operator()(const edid_edit::Manufacturer& e) {
    if (e.id.size() != 3) Refuse("A manufacturer ID has three letters A to Z.");
    unsigned id = 0;
    for (const char c : e.id) {
      const char upper = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
      if (upper < 'A' || upper > 'Z') Refuse("A manufacturer ID has three letters A to Z.");
      id = id << 5 | static_cast<unsigned>(upper - '@');
    }
    b()[8] = static_cast<uint8_t>(id >> 8);
    b()[9] = static_cast<uint8_t>(id);
  }

  void operator()(const edid_edit::Product& e) {
    b()[10] = static_cast<uint8_t>(e.code);
    b()[11] = static_cast<uint8_t>(e.code >> 8);
  }

  void operator()(const edid_edit::Serial& e) {
    for (size_t i = 0; i < 4; ++i)
      b()[12 + i] = static_cast<uint8_t>(e.number >> (8 * i));
  }

  // The first descriptor of the base block, which must hold a timing.
  const EdidDescriptor& PreferredSlot() {
    const EdidDescriptor& first = work.model().base.descriptors.at(0);
    if (first.kind != EdidDescriptor::Kind::Timing)
      Refuse("The first descriptor of the base block holds no detailed timing to replace.");
    return first;
  }

  void Swap(const EdidSpan& a, const EdidSpan& other) {
    std::swap_ranges(b().begin() + static_cast<std::ptrdiff_t>(a.begin()),
                     b().begin() + static_cast<std::ptrdiff_t>(a.end()),
                     b().begin() + static_cast<std::ptrdiff_t>(other.begin()));
  }

  void operator()(const edid_edit::PreferredVic& e) {
    const CtaFormat* f = FindCtaFormat(e.vic);
    if (!f) Refuse(FormatEdidText("VIC %d is not a video format of the CTA-861 table.", e.vic));
    const std::string name = FormatName(*f);
    const unsigned clock = (f->pixelClockKhz + 5) / 10;
    const unsigned lines = f->interlaced ? f->vActive / 2u : f->vActive;
    const unsigned hBlank = unsigned{f->hFront} + f->hSync + f->hBack;
    const unsigned vBlank = unsigned{f->vFront} + f->vSync + f->vBack;
    if (clock > 0xFFFF)
      Refuse(FormatEdidText(
          "VIC %d (%s) has a pixel clock of %.2f MHz; a detailed timing holds at most "
          "655.35 MHz.",
          e.vic, name.c_str(), f->pixelClockKhz / 1000.0));
    if (f->hFront > 1023 || f->hSync > 1023)
      Refuse(FormatEdidText(
          "VIC %d (%s) has a horizontal front porch of %u pixels and a sync of %u; a "
          "detailed timing holds at most 1023 each.",
          e.vic, name.c_str(), unsigned{f->hFront}, unsigned{f->hSync}));
    if (f->vFront > 63 || f->vSync > 63 || f->hActive > 4095 || hBlank > 4095 || lines > 4095 ||
        vBlank > 4095)
      Refuse(FormatEdidText("VIC %d (%s) does not fit a detailed timing descriptor.", e.vic,
                            name.c_str()));
    const EdidDescriptor& slot = PreferredSlot();
    std::array<uint8_t, 18> d{};
    d[0] = static_cast<uint8_t>(clock);
    d[1] = static_cast<uint8_t>(clock >> 8);
    d[2] = static_cast<uint8_t>(f->hActive);
    d[3] = static_cast<uint8_t>(hBlank);
    d[4] = static_cast<uint8_t>((f->hActive >> 8) << 4 | (hBlank >> 8));
    d[5] = static_cast<uint8_t>(lines);
    d[6] = static_cast<uint8_t>(vBlank);
    d[7] = static_cast<uint8_t>((lines >> 8) << 4 | (vBlank >> 8));
    d[8] = static_cast<uint8_t>(f->hFront);
    d[9] = static_cast<uint8_t>(f->hSync);
    d[10] = static_cast<uint8_t>((f->vFront & 0x0F) << 4 | (f->vSync & 0x0F));
    d[11] = static_cast<uint8_t>((f->hFront >> 8) << 6 | (f->hSync >> 8) << 4 |
                                 (f->vFront >> 4) << 2 | (f->vSync >> 4));
    // The image size stays: it is the screen's.
    const auto old = work.model().Bytes(slot.span);
    std::copy(old.begin() + 12, old.begin() + 15, d.begin() + 12);
    d[17] = static_cast<uint8_t>((f->interlaced ? 0x80 : 0) | 0x18 | (f->vSyncPositive ? 0x04 : 0) |
                                 (f->hSyncPositive ? 0x02 : 0));
    // A timing the EDID lists already changes places with the first one.
    const auto timings = work.model().DetailedTimings();
    for (size_t i = 1; i < timings.size(); ++i) {
      const auto other = work.model().Bytes(timings[i]->span);
      if (std::equal(d.begin(), d.begin() + 12, other.begin()) && (other[17] & 0x9E) == d[17]) {
        Swap(slot.span, timings[i]->span);
        FollowNative([&](const CtaFormat& format) { return format.vic == e.vic; });
        return;
      }
    }
    std::copy(d.begin(), d.end(), b().begin() + static_cast<std::ptrdiff_t>(slot.span.begin()));
    FollowNative([&](const CtaFormat& format) { return format.vic == e.vic; });
  }

  // The native flags of the SVDs follow a new preferred timing: the VIC whose format it is
  // becomes native, VICs of the same resolution keep their flag, the others lose it, so
  // that the native formats do not mix resolutions. An EDID that marks no VIC native is
  // left so.
  void FollowNative(const std::function<bool(const CtaFormat&)>& preferred) {
    const EdidDetailedTiming now = DecodeEdidModel(b()).base.descriptors.at(0).timing;
    const auto ctas = work.model().CtaExtensions();
    const bool anyNative = std::any_of(ctas.begin(), ctas.end(), [](const CtaExtension* cta) {
      const auto svds = cta->Svds();
      return std::any_of(svds.begin(), svds.end(), [](const CtaSvd* svd) { return svd->native; });
    });
    if (!anyNative) return;
    for (Extension* ext : work.Ctas()) {
      for (const size_t i : ext->Find(CtaBlockKind::Video))
        for (size_t j = 1; j < ext->blocks[i].bytes.size(); ++j) {
          uint8_t& code = ext->blocks[i].bytes[j];
          const int vic = SvdVic(code);
          const CtaFormat* format = FindCtaFormat(vic);
          const bool sameSize =
              format && format->hActive == now.hActive && format->vActive == now.frameHeight();
          const bool native = format && (preferred(*format) || (sameSize && SvdNative(code)));
          if (vic != 0 && vic <= 64 && native != SvdNative(code)) {
            code = SvdCode(vic, native);
            ext->touched = true;
          }
        }
    }
  }

  // Whether a detailed timing is a format's (the clock within 0.5%).
  static bool SameTiming(const EdidDetailedTiming& t, const CtaFormat& f) {
    return t.hActive == f.hActive && t.frameHeight() == f.vActive && t.interlaced == f.interlaced &&
           std::abs(static_cast<double>(t.pixelClockKhz) - f.pixelClockKhz) <=
               0.005 * f.pixelClockKhz;
  }

  void operator()(const edid_edit::PreferredTiming& e) {
    const auto timings = work.model().DetailedTimings();
    if (e.index >= timings.size())
      Refuse(FormatEdidText("The EDID lists %zu detailed timings; there is no timing %zu.",
                            timings.size(), e.index + 1));
    const EdidDescriptor& slot = PreferredSlot();
    if (e.index == 0) return;
    const EdidDetailedTiming chosen = *timings[e.index];
    Swap(slot.span, timings[e.index]->span);
    FollowNative([&](const CtaFormat& format) { return SameTiming(chosen, format); });
  }

  static bool KnownVic(int vic) { return FindCtaFormat(vic) != nullptr; }

  void operator()(const edid_edit::RemoveVic& e) {
    bool any = false;
    for (Extension* ext : work.Ctas())
      any = DropVics(*ext, [&](int vic) { return vic == e.vic; }) || any;
    if (!any) note = FormatEdidText("VIC %d is not listed: nothing to remove.", e.vic);
  }

  void operator()(const edid_edit::AddVic& e) {
    if (!KnownVic(e.vic))
      Refuse(FormatEdidText("VIC %d is not a video format of the CTA-861 table.", e.vic));
    if (e.native && e.vic > 64)
      Refuse(FormatEdidText("VIC %d cannot be marked native: only VICs 1 to 64 carry the flag.",
                            e.vic));
    Extension& ext = *work.Ctas().front();
    std::vector<Svd> svds = ListSvds(ext);
    const bool listed = std::any_of(svds.begin(), svds.end(),
                                    [&](const Svd& s) { return SvdVic(s.code) == e.vic; });
    if (listed) {
      if (e.native) return (*this)(edid_edit::MarkNative{e.vic});
      note = FormatEdidText("VIC %d is listed already.", e.vic);
      return;
    }
    svds.push_back({SvdCode(e.vic, false), -1});
    PutSvds(ext, svds);
    // Native: and no other VIC in any extension.
    if (e.native) (*this)(edid_edit::MarkNative{e.vic});
  }

  // Clears the native flag of every SVD but the VIC's.
  static void ClearOtherNatives(Extension& ext, int vic) {
    for (const size_t i : ext.Find(CtaBlockKind::Video))
      for (size_t j = 1; j < ext.blocks[i].bytes.size(); ++j) {
        uint8_t& code = ext.blocks[i].bytes[j];
        if (SvdNative(code) && SvdVic(code) != vic) code = static_cast<uint8_t>(code & 0x7F);
      }
  }

  void operator()(const edid_edit::MarkNative& e) {
    if (e.vic < 1 || e.vic > 64)
      Refuse(FormatEdidText("VIC %d cannot be marked native: only VICs 1 to 64 carry the flag.",
                            e.vic));
    bool found = false;
    const std::vector<Extension*> ctas = work.Ctas();
    for (Extension* ext : ctas)
      for (const size_t i : ext->Find(CtaBlockKind::Video))
        for (size_t j = 1; j < ext->blocks[i].bytes.size(); ++j)
          if (SvdVic(ext->blocks[i].bytes[j]) == e.vic) found = true;
    if (!found) Refuse(FormatEdidText("VIC %d is not listed; add it first.", e.vic));
    for (Extension* ext : ctas) {
      ClearOtherNatives(*ext, e.vic);
      for (const size_t i : ext->Find(CtaBlockKind::Video))
        for (size_t j = 1; j < ext->blocks[i].bytes.size(); ++j)
          if (SvdVic(ext->blocks[i].bytes[j]) == e.vic)
            ext->blocks[i].bytes[j] = SvdCode(e.vic, true);
      ext->touched = true;
    }
  }

  void operator()(const edid_edit::MaxClock& e) {
    if (e.khz == 0) Refuse("The clock limit must be above 0 MHz.");
    auto over = [&](int vic) {
      const CtaFormat* f = FindCtaFormat(vic);
      return f && f->pixelClockKhz > e.khz;
    };
    bool any = false;
    for (Extension* ext : work.Ctas())
      any = DropVics(*ext, over) || any;
    if (!any)
      note = FormatEdidText("No VIC has a clock above %g MHz: nothing to remove.", e.khz / 1000.0);
  }

  void operator()(const edid_edit::Ycbcr& e) {
    const std::vector<Extension*> ctas = work.Ctas();  // refused without one
    for (Extension* ext : ctas) {
      uint8_t& flags = b()[size_t{ext->index} * kEdidBlockSize + 3];
      if (e.ycbcr444) flags = static_cast<uint8_t>(*e.ycbcr444 ? flags | 0x20 : flags & ~0x20);
      if (e.ycbcr422) flags = static_cast<uint8_t>(*e.ycbcr422 ? flags | 0x10 : flags & ~0x10);
    }
    // EDID 1.4 names the same support in the base block (byte 24 bits 3 and 4).
    const EdidBaseBlock& base = work.model().base;
    if (base.digital() && base.version == 1 && base.revision >= 4) {
      uint8_t& features = b()[24];
      if (e.ycbcr444)
        features = static_cast<uint8_t>(*e.ycbcr444 ? features | 0x08 : features & ~0x08);
      if (e.ycbcr422)
        features = static_cast<uint8_t>(*e.ycbcr422 ? features | 0x10 : features & ~0x10);
    }
  }

  // Audio ----------------------------------------------------------------------------------

  // Removes the SADs of a format from every audio block; empty audio blocks go.
  // keep: one descriptor (by where its bytes lie) that stays.
  static bool DropSads(Extension& ext, uint8_t format, const uint8_t* keep = nullptr) {
    bool any = false;
    for (size_t i = 0; i < ext.blocks.size();) {
      DataBlock& block = ext.blocks[i];
      if (block.kind == CtaBlockKind::Audio) {
        std::vector<uint8_t> kept(block.bytes.begin(), block.bytes.begin() + 1);
        size_t j = 1;
        for (; j + 3 <= block.bytes.size(); j += 3)
          if ((block.bytes[j] >> 3 & 0x0F) != format || block.bytes.data() + j == keep)
            kept.insert(kept.end(), block.bytes.begin() + static_cast<std::ptrdiff_t>(j),
                        block.bytes.begin() + static_cast<std::ptrdiff_t>(j + 3));
        kept.insert(kept.end(), block.bytes.begin() + static_cast<std::ptrdiff_t>(j),
                    block.bytes.end());
        if (kept.size() != block.bytes.size()) {
          any = true;
          ext.touched = true;
          if (kept.size() == 1) {
            ext.blocks.erase(ext.blocks.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
          }
          block.bytes = std::move(kept);
        }
      }
      ++i;
    }
    return any;
  }

  void operator()(const edid_edit::RemoveAudio& e) {
    bool any = false;
    for (Extension* ext : work.Ctas())
      any = DropSads(*ext, e.format) || any;
    if (!any)
      note = FormatEdidText("No %s audio descriptor is listed: nothing to remove.",
                            AudioFormatKey(e.format));
  }

  void operator()(const edid_edit::SetAudio& e) {
    if (e.format < 1 || e.format > 14) Refuse("The audio format must be one of codes 1 to 14.");
    if (e.channels < 1 || e.channels > 8) Refuse("An audio descriptor has 1 to 8 channels.");
    if (e.rates == 0 || e.rates > 0x7F)
      Refuse(
          "An audio descriptor needs at least one of the rates 32, 44.1, 48, 88.2, 96, 176.4 "
          "and 192 kHz.");
    if (e.format == 1 && (e.byte3 == 0 || e.byte3 > 7))
      Refuse("An LPCM descriptor needs at least one of the sizes 16, 20 and 24 bits.");
    if (e.format >= 2 && e.format <= 8 && e.byte3 == 0)
      Refuse("The format's descriptor needs a maximum bit rate (8 to 2040 kbit/s).");
    const std::array<uint8_t, 3> sad = {static_cast<uint8_t>(e.format << 3 | (e.channels - 1)),
                                        e.rates, e.byte3};
    const std::vector<Extension*> ctas = work.Ctas();
    // An extension with audio descriptors says it supports basic audio (byte 3 bit 6).
    auto basicAudio = [&](const Extension& ext) {
      b()[size_t{ext.index} * kEdidBlockSize + 3] |= 0x40;
    };
    // The first descriptor of the format takes the new one; the others go.
    for (Extension* ext : ctas)
      for (DataBlock& block : ext->blocks) {
        if (block.kind != CtaBlockKind::Audio) continue;
        for (size_t j = 1; j + 3 <= block.bytes.size(); j += 3)
          if ((block.bytes[j] >> 3 & 0x0F) == e.format) {
            std::copy(sad.begin(), sad.end(), block.bytes.begin() + static_cast<std::ptrdiff_t>(j));
            const uint8_t* kept = block.bytes.data() + j;
            for (Extension* each : ctas)
              DropSads(*each, e.format, kept);
            ext->touched = true;
            basicAudio(*ext);
            return;
          }
      }
    // None yet: at the end of the last audio block with room, or in a new one.
    Extension& ext = *ctas.front();
    ext.touched = true;
    basicAudio(ext);
    const std::vector<size_t> audio = ext.Find(CtaBlockKind::Audio);
    for (auto i = audio.rbegin(); i != audio.rend(); ++i)
      if (ext.blocks[*i].bytes.size() - 1 + 3 <= kMaxPayload &&
          (ext.blocks[*i].bytes.size() - 1) % 3 == 0) {
        ext.blocks[*i].bytes.insert(ext.blocks[*i].bytes.end(), sad.begin(), sad.end());
        return;
      }
    const size_t at = InsertPosition(ext, {CtaBlockKind::Video, CtaBlockKind::Audio});
    ext.blocks.insert(ext.blocks.begin() + static_cast<std::ptrdiff_t>(at),
                      DataBlock{{0x20, sad[0], sad[1], sad[2]}, CtaBlockKind::Audio, -1});
  }

  void operator()(const edid_edit::Speakers& e) {
    const size_t known = SpeakerNames().size();
    if (e.mask == 0 || (known < 32 && e.mask >> known))
      Refuse("A speaker allocation names at least one of the known speakers and no others.");
    const std::vector<Extension*> ctas = work.Ctas();
    auto [ext, block] = FirstBlock(ctas, CtaBlockKind::SpeakerAllocation);
    if (!ext) {
      ext = ctas.front();
      const size_t at = InsertPosition(*ext, {CtaBlockKind::Video, CtaBlockKind::Audio});
      block = &*ext->blocks.insert(ext->blocks.begin() + static_cast<std::ptrdiff_t>(at),
                                   DataBlock{{0x80}, CtaBlockKind::SpeakerAllocation, -1});
    }
    if (block->bytes.size() < 4) block->bytes.resize(4, 0);
    for (size_t i = 0; i < 3; ++i)
      block->bytes[1 + i] = static_cast<uint8_t>(e.mask >> (8 * i));
    ext->touched = true;
  }

  // HDMI -----------------------------------------------------------------------------------

  DataBlock& HdmiBlock(Extension*& owner) {
    auto [ext, block] = FirstBlock(work.Ctas(), CtaBlockKind::Hdmi);
    if (!ext) Refuse("The EDID has no HDMI Vendor-Specific Data Block.");
    owner = ext;
    ext->touched = true;
    return *block;
  }

  void operator()(const edid_edit::PhysicalAddress& e) {
    for (const uint8_t part : e.address)
      if (part > 15) Refuse("A physical address has four parts of 0 to F.");
    Extension* ext = nullptr;
    DataBlock& block = HdmiBlock(ext);
    if (block.bytes.size() < 6) Refuse("The HDMI block is too short to hold a physical address.");
    block.bytes[4] = static_cast<uint8_t>(e.address[0] << 4 | e.address[1]);
    block.bytes[5] = static_cast<uint8_t>(e.address[2] << 4 | e.address[3]);
  }

  void operator()(const edid_edit::DeepColour& e) {
    if (e.flags & ~0x78) Refuse("Deep colour flags are DC_48bit, DC_36bit, DC_30bit and DC_Y444.");
    Extension* ext = nullptr;
    DataBlock& block = HdmiBlock(ext);
    if (block.bytes.size() < 7) block.bytes.resize(7, 0);
    block.bytes[6] = static_cast<uint8_t>((block.bytes[6] & ~0x78) | e.flags);
  }

  void operator()(const edid_edit::MaxTmds& e) {
    if (e.mhz < 5 || e.mhz > 340 || e.mhz % 5)
      Refuse(
          "The HDMI block's TMDS limit is 5 to 340 MHz in steps of 5 MHz (above 340 MHz the "
          "HDMI Forum block holds the limit).");
    Extension* ext = nullptr;
    DataBlock& block = HdmiBlock(ext);
    if (block.bytes.size() < 8) block.bytes.resize(8, 0);
    block.bytes[7] = static_cast<uint8_t>(e.mhz / 5);
  }

  void operator()(const edid_edit::HdmiForumMaxRate& e) {
    if (e.mhz != 0 && (e.mhz < 345 || e.mhz > 600 || e.mhz % 5))
      Refuse(
          "The HDMI Forum block's TMDS character rate is 0 (not above 340 Mcsc) or 345 to 600 "
          "MHz in steps of 5 MHz.");
    auto [ext, block] = FirstBlock(work.Ctas(), CtaBlockKind::HdmiForum);
    if (!ext) Refuse("The EDID has no HDMI Forum block.");
    if (block->bytes.size() < 6) Refuse("The HDMI Forum block is too short to hold the rate.");
    block->bytes[5] = static_cast<uint8_t>(e.mhz / 5);
    ext->touched = true;
  }

  void operator()(const edid_edit::RemoveHdmiForum&) {
    bool any = false;
    for (Extension* ext : work.Ctas())
      any = RemoveBlocks(*ext,
                         [](const DataBlock& b) { return b.kind == CtaBlockKind::HdmiForum; }) ||
            any;
    if (!any) note = "The EDID has no HDMI Forum block: nothing to remove.";
  }

  // HDR ------------------------------------------------------------------------------------

  void operator()(const edid_edit::RemoveHdr&) {
    bool any = false;
    for (Extension* ext : work.Ctas())
      any = RemoveBlocks(*ext,
                         [](const DataBlock& b) { return b.kind == CtaBlockKind::HdrStatic; }) ||
            any;
    if (!any) note = "The EDID has no HDR static metadata block: nothing to remove.";
  }

  void operator()(const edid_edit::HdrEotfs& e) {
    if (e.eotfs == 0 || e.eotfs > 0x0F)
      Refuse("Name at least one of the EOTFs SDR, HDR, PQ and HLG.");
    const std::vector<Extension*> ctas = work.Ctas();
    auto [ext, block] = FirstBlock(ctas, CtaBlockKind::HdrStatic);
    if (!ext) {
      // A new block: the EOTFs and static metadata type 1.
      ext = ctas.front();
      ext->blocks.push_back(DataBlock{{0xE0, 0x06, e.eotfs, 0x01}, CtaBlockKind::HdrStatic, 6});
    } else {
      block->bytes[2] = static_cast<uint8_t>((block->bytes[2] & 0xF0) | e.eotfs);
    }
    ext->touched = true;
  }
};

std::string RatesText(uint8_t rates) {
  return SampleRatesText(rates);
}

}  // namespace

// ---------------------------------------------------------------------------------------

namespace {
constexpr const char* kAudioKeys[15] = {"",      "lpcm",  "ac3", "mpeg1", "mp3",
                                        "mpeg2", "aac",   "dts", "atrac", "dsd",
                                        "eac3",  "dtshd", "mat", "dst",   "wma"};
}  // namespace

namespace {

// The items of a comma-separated list, spaces around each trimmed.
std::vector<std::string_view> Items(std::string_view text) {
  std::vector<std::string_view> items;
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    std::string_view item =
        text.substr(start, comma == std::string_view::npos ? text.npos : comma - start);
    while (!item.empty() && item.front() == ' ')
      item.remove_prefix(1);
    while (!item.empty() && item.back() == ' ')
      item.remove_suffix(1);
    items.push_back(item);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return items;
}

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return upper;
}

constexpr const char* kEotfKeys[4] = {"SDR", "HDR", "PQ", "HLG"};

}  // namespace

std::optional<uint8_t> ParseSampleRates(std::string_view text) {
  uint8_t rates = 0;
  for (const std::string_view item : Items(text)) {
    const auto known = SampleRatesKhz();
    size_t i = 0;
    while (i < known.size() && FormatEdidText("%g", known[i]) != item)
      ++i;
    if (i == known.size()) return std::nullopt;
    rates = static_cast<uint8_t>(rates | 1u << i);
  }
  return rates;
}

std::optional<uint8_t> ParseSampleSizes(std::string_view text) {
  uint8_t sizes = 0;
  for (const std::string_view item : Items(text)) {
    const auto known = SampleSizesBits();
    size_t i = 0;
    while (i < known.size() && std::to_string(known[i]) != item)
      ++i;
    if (i == known.size()) return std::nullopt;
    sizes = static_cast<uint8_t>(sizes | 1u << i);
  }
  return sizes;
}

std::optional<uint32_t> ParseSpeakers(std::string_view text) {
  uint32_t mask = 0;
  for (const std::string_view item : Items(text)) {
    const auto names = SpeakerNames();
    size_t i = 0;
    while (i < names.size() && Upper(item) != Upper(names[i].shortName))
      ++i;
    if (i == names.size()) return std::nullopt;
    mask |= 1u << i;
  }
  return mask;
}

std::optional<std::array<uint8_t, 4>> ParsePhysicalAddress(std::string_view text) {
  std::array<uint8_t, 4> address{};
  if (text.size() != 7) return std::nullopt;
  for (size_t i = 0; i < 4; ++i) {
    const char c = text[2 * i];
    if (i < 3 && text[2 * i + 1] != '.') return std::nullopt;
    if (c >= '0' && c <= '9')
      address[i] = static_cast<uint8_t>(c - '0');
    else if (c >= 'a' && c <= 'f')
      address[i] = static_cast<uint8_t>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F')
      address[i] = static_cast<uint8_t>(c - 'A' + 10);
    else
      return std::nullopt;
  }
  return address;
}

std::optional<uint8_t> ParseEotfs(std::string_view text) {
  uint8_t eotfs = 0;
  for (const std::string_view item : Items(text)) {
    size_t i = 0;
    while (i < 4 && Upper(item) != kEotfKeys[i])
      ++i;
    if (i == 4) return std::nullopt;
    eotfs = static_cast<uint8_t>(eotfs | 1u << i);
  }
  return eotfs;
}

std::string SpeakersText(uint32_t mask) {
  std::string text;
  const auto names = SpeakerNames();
  for (size_t i = 0; i < names.size(); ++i)
    if (mask >> i & 1) text += (text.empty() ? "" : ",") + std::string(names[i].shortName);
  return text;
}

std::string EotfsText(uint8_t eotfs) {
  std::string text;
  for (size_t i = 0; i < 4; ++i)
    if (eotfs >> i & 1) text += (text.empty() ? "" : ",") + std::string(kEotfKeys[i]);
  return text;
}

uint8_t AudioFormatByName(const std::string& name) {
  for (uint8_t i = 1; i < 15; ++i)
    if (name == kAudioKeys[i]) return i;
  return 0;
}

const char* AudioFormatKey(uint8_t format) {
  return format >= 1 && format < 15 ? kAudioKeys[format] : "?";
}

std::string DescribeEdit(const EdidEdit& edit) {
  struct Describe {
    std::string operator()(const edid_edit::MonitorName& e) {
      return "Monitor name \"" + e.text + "\"";
    }
    std::string operator()(const edid_edit::Manufacturer& e) { return "Manufacturer " + e.id; }
    std::string operator()(const edid_edit::Product& e) {
      return FormatEdidText("Product code %u", unsigned{e.code});
    }
    std::string operator()(const edid_edit::Serial& e) {
      return FormatEdidText("Serial number %u", e.number);
    }
    std::string operator()(const edid_edit::PreferredVic& e) {
      return FormatEdidText("Preferred timing from VIC %d", e.vic);
    }
    std::string operator()(const edid_edit::PreferredTiming& e) {
      return FormatEdidText("Preferred timing: detailed timing %zu", e.index + 1);
    }
    std::string operator()(const edid_edit::RemoveVic& e) {
      return FormatEdidText("Remove VIC %d", e.vic);
    }
    std::string operator()(const edid_edit::AddVic& e) {
      return FormatEdidText("Add VIC %d%s", e.vic, e.native ? " (native)" : "");
    }
    std::string operator()(const edid_edit::MarkNative& e) {
      return FormatEdidText("Mark VIC %d native", e.vic);
    }
    std::string operator()(const edid_edit::MaxClock& e) {
      return FormatEdidText("Keep VICs up to %g MHz", e.khz / 1000.0);
    }
    std::string operator()(const edid_edit::Ycbcr& e) {
      std::string text = "YCbCr";
      if (e.ycbcr444) text += *e.ycbcr444 ? " 4:4:4 on" : " 4:4:4 off";
      if (e.ycbcr422) text += *e.ycbcr422 ? " 4:2:2 on" : " 4:2:2 off";
      return text;
    }
    std::string operator()(const edid_edit::RemoveAudio& e) {
      return FormatEdidText("Remove %s audio", AudioFormatKey(e.format));
    }
    std::string operator()(const edid_edit::SetAudio& e) {
      return FormatEdidText("Audio %s, %u channels, %s kHz, byte 3 0x%02X",
                            AudioFormatKey(e.format), unsigned{e.channels},
                            RatesText(e.rates).c_str(), unsigned{e.byte3});
    }
    std::string operator()(const edid_edit::Speakers& e) {
      return FormatEdidText("Speakers 0x%06X", e.mask);
    }
    std::string operator()(const edid_edit::PhysicalAddress& e) {
      return FormatEdidText("Physical address %X.%X.%X.%X", unsigned{e.address[0]},
                            unsigned{e.address[1]}, unsigned{e.address[2]}, unsigned{e.address[3]});
    }
    std::string operator()(const edid_edit::DeepColour& e) {
      return FormatEdidText("Deep colour flags 0x%02X", unsigned{e.flags});
    }
    std::string operator()(const edid_edit::MaxTmds& e) {
      return FormatEdidText("Max TMDS clock %u MHz", e.mhz);
    }
    std::string operator()(const edid_edit::HdmiForumMaxRate& e) {
      return FormatEdidText("Max TMDS character rate %u MHz", e.mhz);
    }
    std::string operator()(const edid_edit::RemoveHdmiForum&) {
      return "Remove the HDMI Forum block";
    }
    std::string operator()(const edid_edit::RemoveHdr&) {
      return "Remove the HDR static metadata block";
    }
    std::string operator()(const edid_edit::HdrEotfs& e) {
      return FormatEdidText("HDR EOTFs 0x%X", unsigned{e.eotfs});
    }
  };
  return std::visit(Describe{}, edit);
}

EdidEditResult EdidEditor::Load(std::span<const uint8_t> bytes) {
  if (bytes.size() < kEdidBlockSize)
    return {false, FormatEdidText("An EDID has at least 128 bytes; this has %zu.", bytes.size())};
  if (!std::equal(std::begin(kHeader), std::end(kHeader), bytes.begin()))
    return {false, "The bytes do not start with the EDID header (00 FF FF FF FF FF FF 00)."};
  original_.assign(bytes.begin(), bytes.end());
  bytes_ = original_;
  originalModel_ = DecodeEdidModel(original_);
  model_ = originalModel_;
  return {};
}

EdidEditResult EdidEditor::Apply(const EdidEdit& edit) {
  if (!loaded()) return {false, "No EDID is loaded."};
  try {
    Work work(bytes_);
    Editor editor{work, {}};
    std::visit(editor, edit);
    std::vector<uint8_t> next = work.Finish();
    bytes_ = std::move(next);
    model_ = DecodeEdidModel(bytes_);
    return {true, editor.note};
  } catch (const Refused& refused) {
    return {false, refused.message};
  }
}

void EdidEditor::Revert() {
  bytes_ = original_;
  model_ = originalModel_;
}

std::vector<EdidCheck> EdidEditor::NewChecks() const {
  std::map<std::pair<EdidSeverity, std::string>, int> before;
  for (const EdidCheck& check : CheckEdid(originalModel_))
    ++before[{check.severity, check.text}];
  std::vector<EdidCheck> fresh;
  for (const EdidCheck& check : CheckEdid(model_))
    if (--before[{check.severity, check.text}] < 0) fresh.push_back(check);
  return fresh;
}

bool EdidEditor::HasNewError() const {
  const auto fresh = NewChecks();
  return std::any_of(fresh.begin(), fresh.end(),
                     [](const EdidCheck& c) { return c.severity == EdidSeverity::Error; });
}

EdidComparison EdidEditor::Changes() const {
  return CompareEdids(originalModel_, model_);
}

}  // namespace sc
