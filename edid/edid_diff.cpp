#include "edid/edid_diff.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <map>
#include <set>

#include "edid/edid_full_text.h"
#include "edid/edid_names.h"
#include "video/cta_formats.h"

namespace sc {

namespace {

using Spans = std::vector<EdidSpan>;

Spans One(const EdidSpan& span) {
  return span.length ? Spans{span} : Spans{};
}

std::vector<std::string> FlagNames(uint8_t value, std::span<const FlagName> names) {
  std::vector<std::string> set;
  for (const FlagName& flag : names)
    if (value & flag.mask) set.emplace_back(flag.name);
  return set;
}

std::string MadeText(const EdidBaseBlock& b) {
  if (b.week == 0xFF) return FormatEdidText("model year %u", unsigned{b.year});
  if (b.week == 0) return FormatEdidText("%u", unsigned{b.year});
  return FormatEdidText("week %u of %u", unsigned{b.week}, unsigned{b.year});
}

std::string ScreenText(const EdidBaseBlock& b) {
  return FormatEdidText("%u x %u cm", unsigned{b.hSizeCm}, unsigned{b.vSizeCm});
}

std::string GammaText(uint8_t gamma) {
  return gamma == 0xFF ? std::string("given in an extension")
                       : FormatEdidText("%.2f", (gamma + 100) / 100.0);
}

std::string VicName(int vic) {
  return FormatEdidText("VIC %d (%s)", vic, VicSummary(vic).c_str());
}

std::string DescriptorLabel(uint8_t tag) {
  switch (tag) {
    case 0xFC:
      return "Monitor name";
    case 0xFF:
      return "Serial number string";
    case 0xFE:
      return "Data string";
    case 0xFD:
      return "Range limits";
    case 0xFA:
      return "Standard timings descriptor";
    case 0xF7:
      return "Established timings III";
    case 0x10:
      return "Dummy descriptor";
    default:
      return FormatEdidText("Descriptor 0x%02X", tag);
  }
}

const CtaDataBlock* FirstOf(const CtaExtension& cta, CtaBlockKind kind) {
  for (const CtaDataBlock& block : cta.blocks)
    if (block.kind == kind) return &block;
  return nullptr;
}

// 3D support of an HDMI block in words, to hold one against another.
std::string ThreeDText(const HdmiVsdb& h) {
  std::string text;
  if (h.structureAll) text += FormatEdidText("all 0x%04X", *h.structureAll);
  if (h.mask) text += FormatEdidText(" mask 0x%04X", *h.mask);
  for (const HdmiVsdb::Structure3d& s : h.structures)
    text += FormatEdidText(" SVD %u: %u", s.svdIndex + 1u, unsigned{s.structure});
  return text.empty() ? "none" : text;
}

class Differ {
 public:
  Differ(const EdidModel& a, const EdidModel& b) : a_(a), b_(b) {}

  EdidComparison Run() {
    if (a_.wholeBlocks && b_.wholeBlocks) {
      Base();
      Timings();
      Descriptors();
    }
    Blocks();
    UnexplainedBlock(0);
    if (out_.empty() && a_.bytes != b_.bytes) Positions();
    return {std::move(out_)};
  }

 private:
  void Add(const std::string& area, std::string text, Spans inA, Spans inB) {
    out_.push_back({area, std::move(text), std::move(inA), std::move(inB)});
  }

  void Value(const std::string& area, const std::string& label, const std::string& inA,
             const std::string& inB, const Spans& spanA, const Spans& spanB) {
    if (inA == inB) return;
    Add(area, label + " " + inA + " in A, " + inB + " in B", spanA, spanB);
  }
  void Value(const std::string& area, const std::string& label, const std::string& inA,
             const std::string& inB, const EdidSpan& span) {
    Value(area, label, inA, inB, One(span), One(span));
  }

  // Names present on one side only: "<prefix><name> only in A".
  void Names(const std::string& area, const std::string& prefix,
             const std::vector<std::string>& inA, const std::vector<std::string>& inB,
             const Spans& spanA, const Spans& spanB) {
    for (const std::string& name : inA)
      if (std::find(inB.begin(), inB.end(), name) == inB.end())
        Add(area, prefix + name + " only in A", spanA, {});
    for (const std::string& name : inB)
      if (std::find(inA.begin(), inA.end(), name) == inA.end())
        Add(area, prefix + name + " only in B", {}, spanB);
  }

  // Items with their own bytes, by their text: "<prefix><text> only in A".
  using Items = std::vector<std::pair<std::string, EdidSpan>>;
  void ItemSets(const std::string& area, const std::string& prefix, const Items& inA,
                const Items& inB) {
    auto has = [](const Items& items, const std::string& text) {
      return std::any_of(items.begin(), items.end(),
                         [&](const auto& item) { return item.first == text; });
    };
    for (const auto& [text, span] : inA)
      if (!has(inB, text)) Add(area, prefix + text + " only in A", One(span), {});
    for (const auto& [text, span] : inB)
      if (!has(inA, text)) Add(area, prefix + text + " only in B", {}, One(span));
  }

  bool BytesDiffer(const EdidSpan& inA, const EdidSpan& inB) const {
    const auto x = a_.Bytes(inA), y = b_.Bytes(inB);
    return !std::equal(x.begin(), x.end(), y.begin(), y.end());
  }

  // ----- base block

  void Base() {
    const EdidBaseBlock& A = a_.base;
    const EdidBaseBlock& B = b_.base;
    Value("Identity", "Header", EdidHexList(a_.Bytes({0, 0, 8})), EdidHexList(b_.Bytes({0, 0, 8})),
          {0, 0, 8});
    Value("Identity", "Manufacturer", PrintableText(A.manufacturer), PrintableText(B.manufacturer),
          {0, 8, 2});
    Value("Identity", "Product code", std::to_string(A.product), std::to_string(B.product),
          {0, 10, 2});
    Value("Identity", "Serial number", std::to_string(A.serial), std::to_string(B.serial),
          {0, 12, 4});
    Value("Identity", "Made", MadeText(A), MadeText(B), {0, 16, 2});
    Value("Identity", "EDID version", FormatEdidText("%u.%u", A.version, A.revision),
          FormatEdidText("%u.%u", B.version, B.revision), {0, 18, 2});
    Value("Display", "Video input", EdidInputText(A), EdidInputText(B), {0, 20, 1});
    Value("Display", "Screen size", ScreenText(A), ScreenText(B), {0, 21, 2});
    Value("Display", "Gamma", GammaText(A.gamma), GammaText(B.gamma), {0, 23, 1});
    Names("Display", "Feature: ", EdidFeatureNames(A), EdidFeatureNames(B), One({0, 24, 1}),
          One({0, 24, 1}));
    static const char* kPoints[] = {"red", "green", "blue", "white"};
    for (size_t i = 0; i < 4; ++i) {
      auto point = [&](const EdidBaseBlock& x) {
        return ChromaticityText(x.chromaticity[2 * i]) + ", " +
               ChromaticityText(x.chromaticity[2 * i + 1]);
      };
      Value("Display", std::string("Chromaticity ") + kPoints[i], point(A), point(B), {0, 25, 10});
    }
    auto established = [](const EdidBaseBlock& x) {
      std::vector<std::string> names;
      for (const EdidNamedTiming& t : x.established)
        names.push_back(NamedTimingText(t));
      return names;
    };
    Names("Timings", "Established timing ", established(A), established(B), One({0, 35, 3}),
          One({0, 35, 3}));
    Value("Timings", "Manufacturer's timings", FormatEdidText("0x%02X", A.manufacturerTimings),
          FormatEdidText("0x%02X", B.manufacturerTimings), {0, 37, 1});
    auto standard = [](const std::vector<EdidStandardTiming>& timings) {
      Items items;
      for (const EdidStandardTiming& st : timings)
        items.push_back({NamedTimingText(st.timing) + " " + st.aspect, st.span});
      return items;
    };
    ItemSets("Timings", "Standard timing ", standard(A.standard), standard(B.standard));
    Value("Blocks", "Extension count (byte 126)", std::to_string(A.extensionCount),
          std::to_string(B.extensionCount), {0, 126, 1});
  }

  void Timings() {
    const auto ta = a_.DetailedTimings(), tb = b_.DetailedTimings();
    for (size_t i = 0; i < std::max(ta.size(), tb.size()); ++i) {
      const std::string label = FormatEdidText("Detailed timing %zu", i + 1);
      if (i >= tb.size()) {
        Add("Timings", label + " (" + DetailedTimingSummary(*ta[i]) + ") only in A",
            One(ta[i]->span), {});
      } else if (i >= ta.size()) {
        Add("Timings", label + " (" + DetailedTimingSummary(*tb[i]) + ") only in B", {},
            One(tb[i]->span));
      } else {
        const std::string sa = DetailedTimingSummary(*ta[i]), sb = DetailedTimingSummary(*tb[i]);
        if (sa != sb)
          Add("Timings", label + ": " + sa + " in A, " + sb + " in B", One(ta[i]->span),
              One(tb[i]->span));
        else if (BytesDiffer(ta[i]->span, tb[i]->span))
          Add("Timings", label + " (" + sa + "): porches, sync, image size or flags differ",
              One(ta[i]->span), One(tb[i]->span));
      }
    }
  }

  static std::vector<const EdidDescriptor*> DisplayDescriptors(const EdidModel& m) {
    std::vector<const EdidDescriptor*> list;
    auto add = [&](const std::vector<EdidDescriptor>& descriptors) {
      for (const EdidDescriptor& d : descriptors)
        if (d.kind == EdidDescriptor::Kind::Display) list.push_back(&d);
    };
    add(m.base.descriptors);
    for (const CtaExtension* cta : m.CtaExtensions())
      add(cta->descriptors);
    return list;
  }

  static std::string DescriptorValue(const EdidDescriptor& d) {
    switch (d.tag) {
      case 0xFC:
      case 0xFF:
      case 0xFE:
        return "\"" + PrintableText(d.text) + "\"";
      default:
        return "";
    }
  }

  void Descriptors() {
    // Paired by tag, in order of appearance.
    std::map<std::pair<uint8_t, int>, std::pair<const EdidDescriptor*, const EdidDescriptor*>>
        pairs;
    std::vector<std::pair<uint8_t, int>> order;
    auto collect = [&](const EdidModel& m, bool first) {
      std::map<uint8_t, int> seen;
      for (const EdidDescriptor* d : DisplayDescriptors(m)) {
        const auto key = std::make_pair(d->tag, seen[d->tag]++);
        if (!pairs.count(key)) order.push_back(key);
        (first ? pairs[key].first : pairs[key].second) = d;
      }
    };
    collect(a_, true);
    collect(b_, false);
    for (const auto& key : order) {
      const auto [da, db] = pairs[key];
      const std::string label = DescriptorLabel(key.first);
      if (!db) {
        const std::string value = DescriptorValue(*da);
        Add("Descriptors", label + (value.empty() ? "" : " " + value) + " only in A", One(da->span),
            {});
        continue;
      }
      if (!da) {
        const std::string value = DescriptorValue(*db);
        Add("Descriptors", label + (value.empty() ? "" : " " + value) + " only in B", {},
            One(db->span));
        continue;
      }
      const size_t before = out_.size();
      const Spans sa = One(da->span), sb = One(db->span);
      if (key.first == 0xFC || key.first == 0xFF || key.first == 0xFE) {
        Value("Descriptors", label, DescriptorValue(*da), DescriptorValue(*db), sa, sb);
      } else if (key.first == 0xFD) {
        const EdidRangeLimits& ra = da->range;
        const EdidRangeLimits& rb = db->range;
        Value("Descriptors", "Range limits vertical",
              FormatEdidText("%u-%u Hz", unsigned{ra.vMinHz}, unsigned{ra.vMaxHz}),
              FormatEdidText("%u-%u Hz", unsigned{rb.vMinHz}, unsigned{rb.vMaxHz}), sa, sb);
        Value("Descriptors", "Range limits horizontal",
              FormatEdidText("%u-%u kHz", unsigned{ra.hMinKhz}, unsigned{ra.hMaxKhz}),
              FormatEdidText("%u-%u kHz", unsigned{rb.hMinKhz}, unsigned{rb.hMaxKhz}), sa, sb);
        Value("Descriptors", "Range limits max pixel clock",
              FormatEdidText("%u MHz", unsigned{ra.maxClockMhz}),
              FormatEdidText("%u MHz", unsigned{rb.maxClockMhz}), sa, sb);
      } else if (key.first == 0xFA || key.first == 0xF7) {
        auto names = [](const EdidDescriptor& d) {
          std::vector<std::string> list;
          for (const EdidStandardTiming& st : d.standard)
            list.push_back(NamedTimingText(st.timing) + " " + st.aspect);
          for (const EdidNamedTiming& t : d.established)
            list.push_back(NamedTimingText(t));
          return list;
        };
        Names("Descriptors", label + ": ", names(*da), names(*db), sa, sb);
      }
      if (out_.size() == before && BytesDiffer(da->span, db->span))
        Add("Descriptors", label + ": bytes differ", sa, sb);
    }
  }

  // ----- blocks

  void Blocks() {
    Value("Blocks", "Blocks", std::to_string(a_.wholeBlocks), std::to_string(b_.wholeBlocks), {},
          {});
    const size_t count = std::max(a_.wholeBlocks, b_.wholeBlocks);
    prefixBlocks_ = a_.CtaExtensions().size() > 1 || b_.CtaExtensions().size() > 1;
    for (size_t i = 1; i < count; ++i) {
      const auto index = static_cast<uint8_t>(i);
      const EdidSpan whole{index, 0, 128};
      if (i >= b_.wholeBlocks) {
        Add("Blocks", FormatEdidText("Block %zu (%s) only in A", i, a_.blocks[i].name.c_str()),
            One(whole), {});
        continue;
      }
      if (i >= a_.wholeBlocks) {
        Add("Blocks", FormatEdidText("Block %zu (%s) only in B", i, b_.blocks[i].name.c_str()), {},
            One(whole));
        continue;
      }
      const EdidBlock& A = a_.blocks[i];
      const EdidBlock& B = b_.blocks[i];
      const size_t before = out_.size();
      if (A.tag != B.tag)
        Add("Blocks",
            FormatEdidText("Block %zu: %s in A, %s in B", i, A.name.c_str(), B.name.c_str()),
            One(whole), One(whole));
      else if (A.cta && B.cta)
        Cta(index, *A.cta, *B.cta);
      else if (BytesDiffer({index, 0, 127}, {index, 0, 127}))
        Add("Blocks", FormatEdidText("Block %zu (%s): bytes differ", i, A.name.c_str()), One(whole),
            One(whole));
      if (out_.size() == before) UnexplainedBlock(index);
    }
    for (size_t i = 0; i < std::min(a_.wholeBlocks, b_.wholeBlocks); ++i)
      if (a_.blocks[i].checksumOk != b_.blocks[i].checksumOk) {
        const EdidSpan sum{static_cast<uint8_t>(i), 127, 1};
        Add("Blocks",
            FormatEdidText("Block %zu checksum: %s in A, %s in B", i,
                           a_.blocks[i].checksumOk ? "correct" : "wrong",
                           b_.blocks[i].checksumOk ? "correct" : "wrong"),
            One(sum), One(sum));
      }
    const EdidSpan tailA{static_cast<uint8_t>(a_.wholeBlocks), 0,
                         static_cast<uint8_t>(a_.trailingBytes)};
    const EdidSpan tailB{static_cast<uint8_t>(b_.wholeBlocks), 0,
                         static_cast<uint8_t>(b_.trailingBytes)};
    if (EdidHexList(a_.Bytes(tailA)) != EdidHexList(b_.Bytes(tailB)))
      Add("Bytes",
          FormatEdidText("Bytes after the last block: %zu in A, %zu in B", a_.trailingBytes,
                         b_.trailingBytes),
          One(tailA), One(tailB));
  }

  // Bytes of one block (the checksum aside) that differ where no difference listed so far
  // points: reserved bits and the like. Runs of them, one line each.
  void UnexplainedBlock(uint8_t index) {
    if (index >= a_.wholeBlocks || index >= b_.wholeBlocks) return;
    std::vector<bool> covered(127, false);
    for (const EdidDifference& d : out_)
      for (const Spans* spans : {&d.inA, &d.inB})
        for (const EdidSpan& s : *spans)
          if (s.block == index)
            for (size_t o = s.offset; o < size_t{s.offset} + s.length && o < 127; ++o)
              covered[o] = true;
    const auto x = a_.Bytes({index, 0, 127}), y = b_.Bytes({index, 0, 127});
    for (size_t o = 0; o < 127;) {
      if (covered[o] || x[o] == y[o]) {
        ++o;
        continue;
      }
      size_t end = o + 1;
      while (end < 127 && !covered[end] && x[end] != y[end])
        ++end;
      const EdidSpan run{index, static_cast<uint8_t>(o), static_cast<uint8_t>(end - o)};
      Add("Bytes",
          end - o == 1 ? FormatEdidText("Block %u byte 0x%02zX differs", unsigned{index}, o)
                       : FormatEdidText("Block %u bytes 0x%02zX-0x%02zX differ", unsigned{index}, o,
                                        end - 1),
          One(run), One(run));
      o = end;
    }
  }

  // Nothing listed, yet the bytes differ (only checksums, or lengths): the positions.
  void Positions() {
    const size_t n = std::max(a_.bytes.size(), b_.bytes.size());
    int listed = 0;
    for (size_t i = 0; i < n && listed < 16; ++i) {
      const bool inA = i < a_.bytes.size(), inB = i < b_.bytes.size();
      if (inA && inB && a_.bytes[i] == b_.bytes[i]) continue;
      const EdidSpan at{static_cast<uint8_t>(i / 128), static_cast<uint8_t>(i % 128), 1};
      Add("Bytes",
          FormatEdidText("Block %zu byte 0x%02zX: %s in A, %s in B", i / 128, i % 128,
                         inA ? FormatEdidText("%02X", a_.bytes[i]).c_str() : "nothing",
                         inB ? FormatEdidText("%02X", b_.bytes[i]).c_str() : "nothing"),
          inA ? One(at) : Spans{}, inB ? One(at) : Spans{});
      ++listed;
    }
  }

  // ----- CTA-861

  std::string Prefix(uint8_t index, const char* area) const {
    return prefixBlocks_ ? FormatEdidText("Block %u %s: ", unsigned{index}, area)
                         : std::string(area) + ": ";
  }

  void Cta(uint8_t index, const CtaExtension& A, const CtaExtension& B) {
    const std::string cta = Prefix(index, "CTA");
    Value("CTA", cta + "revision", std::to_string(A.revision), std::to_string(B.revision),
          {index, 1, 1});
    Names("CTA", cta, FlagNames(A.flags, CtaFlagNames()), FlagNames(B.flags, CtaFlagNames()),
          One({index, 3, 1}), One({index, 3, 1}));
    Value("CTA", cta + "native detailed timings", std::to_string(A.nativeDtds()),
          std::to_string(B.nativeDtds()), {index, 3, 1});
    Vics(index, A, B);
    Audio(index, A, B);
    Speakers(index, A, B);
    Hdmi(index, A, B);
    Forum(index, A, B);
    VideoCapability(index, A, B);
    Colorimetry(index, A, B);
    Hdr(index, A, B);
    Y420(index, A, B);
    OtherBlocks(index, A, B);
    if ((A.paddingNonZero || B.paddingNonZero) && BytesDiffer(A.padding, B.padding))
      Add("Bytes", FormatEdidText("Block %u: padding differs", unsigned{index}), One(A.padding),
          One(B.padding));
  }

  // One line for a data block found on one side only.
  bool Presence(const std::string& prefix, const CtaDataBlock* a, const CtaDataBlock* b) {
    if (a && !b) Add("Blocks", prefix + a->name + " only in A", One(a->span), {});
    if (b && !a) Add("Blocks", prefix + b->name + " only in B", {}, One(b->span));
    return a && b;
  }

  void Fallback(size_t before, const std::string& prefix, const CtaDataBlock& a,
                const CtaDataBlock& b) {
    if (out_.size() == before && BytesDiffer(a.span, b.span))
      Add("Blocks", prefix + "other bytes of the " + a.name + " differ", One(a.span), One(b.span));
  }

  void Vics(uint8_t index, const CtaExtension& A, const CtaExtension& B) {
    const auto va = A.Svds(), vb = B.Svds();
    auto key = [](const CtaSvd* svd) { return svd->reserved() ? 1000 + svd->code : svd->vic; };
    auto find = [&](const std::vector<const CtaSvd*>& list, int k) -> const CtaSvd* {
      for (const CtaSvd* svd : list)
        if (key(svd) == k) return svd;
      return nullptr;
    };
    auto name = [](const CtaSvd* svd) {
      return svd->reserved() ? FormatEdidText("SVD byte 0x%02X", svd->code) : VicName(svd->vic);
    };
    const std::string p = prefixBlocks_ ? Prefix(index, "Video") : "";
    const size_t before = out_.size();
    std::set<int> seen;
    for (const CtaSvd* svd : va) {
      if (!seen.insert(key(svd)).second) continue;
      const CtaSvd* other = find(vb, key(svd));
      if (!other) {
        Add("Video", p + name(svd) + " only in A", One(svd->span), {});
      } else if (svd->native != other->native) {
        Add("Video",
            p + FormatEdidText("VIC %d %s in A, %s in B", svd->vic,
                               svd->native ? "native" : "not native",
                               other->native ? "native" : "not native"),
            One(svd->span), One(other->span));
      }
    }
    for (const CtaSvd* svd : vb)
      if (!find(va, key(svd)) && seen.insert(key(svd)).second)
        Add("Video", p + name(svd) + " only in B", {}, One(svd->span));
    if (out_.size() != before) return;
    auto codes = [](const std::vector<const CtaSvd*>& list) {
      std::string text;
      for (const CtaSvd* svd : list)
        text += FormatEdidText("%s%d%s", text.empty() ? "" : " ", svd->vic, svd->native ? "*" : "");
      return text;
    };
    if (codes(va) != codes(vb)) {
      Spans sa, sb;
      for (const CtaDataBlock& b : A.blocks)
        if (b.kind == CtaBlockKind::Video) sa.push_back(b.span);
      for (const CtaDataBlock& b : B.blocks)
        if (b.kind == CtaBlockKind::Video) sb.push_back(b.span);
      Add("Video",
          Prefix(index, "Video") + "VIC order " + codes(va) + " in A, " + codes(vb) + " in B", sa,
          sb);
    }
  }

  static std::string SizesText(uint8_t sizes) {
    std::vector<std::string> parts;
    for (size_t bit = 0; bit < 3; ++bit)
      if (sizes >> bit & 1) parts.push_back(std::to_string(SampleSizesBits()[bit]));
    std::string text;
    for (const std::string& part : parts)
      text += (text.empty() ? "" : " ") + part;
    return text.empty() ? "none" : text + " bits";
  }

  void Audio(uint8_t index, const CtaExtension& A, const CtaExtension& B) {
    using Key = std::pair<int, int>;
    auto group = [](const CtaExtension& cta, std::vector<Key>& order) {
      std::map<Key, std::vector<const CtaSad*>> groups;
      for (const CtaDataBlock& b : cta.blocks)
        if (const auto* audio = std::get_if<CtaAudioBlock>(&b.contents))
          for (const CtaSad& sad : audio->sads) {
            const Key key{sad.format, sad.format == 15 ? sad.extendedType : 0};
            // One place in the order for a format either EDID lists.
            if (std::find(order.begin(), order.end(), key) == order.end()) order.push_back(key);
            groups[key].push_back(&sad);
          }
      return groups;
    };
    std::vector<Key> order;
    auto ga = group(A, order);
    auto gb = group(B, order);
    const std::string p = Prefix(index, "Audio");
    auto channels = [](const CtaSad& sad) {
      return FormatEdidText("%u channel%s", unsigned{sad.channels}, sad.channels == 1 ? "" : "s");
    };
    for (const Key& key : order) {
      const auto& la = ga[key];
      const auto& lb = gb[key];
      for (size_t i = 0; i < std::max(la.size(), lb.size()); ++i) {
        if (i >= lb.size()) {
          Add("Audio", p + AudioFormatShortName(*la[i]) + " " + channels(*la[i]) + " only in A",
              One(la[i]->span), {});
          continue;
        }
        if (i >= la.size()) {
          Add("Audio", p + AudioFormatShortName(*lb[i]) + " " + channels(*lb[i]) + " only in B", {},
              One(lb[i]->span));
          continue;
        }
        const CtaSad& x = *la[i];
        const CtaSad& y = *lb[i];
        const std::string format = p + AudioFormatShortName(x);
        const Spans sx = One(x.span), sy = One(y.span);
        const size_t before = out_.size();
        Value("Audio", format + " channels", std::to_string(x.channels), std::to_string(y.channels),
              sx, sy);
        Value("Audio", format + " rates", SampleRatesText(x.rates) + " kHz",
              SampleRatesText(y.rates) + " kHz", sx, sy);
        if (x.format == 1)
          Value("Audio", format + " sizes", SizesText(x.sizes), SizesText(y.sizes), sx, sy);
        if (x.format >= 2 && x.format <= 8)
          Value("Audio", format + " max bit rate",
                FormatEdidText("%u kb/s", unsigned{x.maxBitrateKbps}),
                FormatEdidText("%u kb/s", unsigned{y.maxBitrateKbps}), sx, sy);
        if (out_.size() == before && x.bytes != y.bytes)
          Add("Audio",
              format + FormatEdidText(" byte 3 0x%02X in A, 0x%02X in B", x.bytes[2], y.bytes[2]),
              sx, sy);
      }
    }
  }

  void Speakers(uint8_t index, const CtaExtension& A, const CtaExtension& B) {
    const CtaDataBlock* a = FirstOf(A, CtaBlockKind::SpeakerAllocation);
    const CtaDataBlock* b = FirstOf(B, CtaBlockKind::SpeakerAllocation);
    const std::string p = Prefix(index, "Speakers");
    auto names = [](const CtaDataBlock* block) {
      std::vector<std::string> list;
      if (!block) return list;
      const auto mask = std::get<CtaSpeakerBlock>(block->contents).mask;
      for (size_t bit = 0; bit < 24; ++bit)
        if (mask >> bit & 1)
          list.push_back(bit < SpeakerNames().size() ? SpeakerNames()[bit].shortName
                                                     : FormatEdidText("reserved bit %zu", bit));
      return list;
    };
    const size_t before = out_.size();
    Names("Speakers", p, names(a), names(b),
          a ? One(std::get<CtaSpeakerBlock>(a->contents).span) : Spans{},
          b ? One(std::get<CtaSpeakerBlock>(b->contents).span) : Spans{});
    if (out_.size() == before && (!a) != (!b)) Presence(p, a, b);
    if (a && b) Fallback(before, p, *a, *b);
  }

  void Hdmi(uint8_t index, const CtaExtension& A, const CtaExtension& B) {
    const CtaDataBlock* a = FirstOf(A, CtaBlockKind::Hdmi);
    const CtaDataBlock* b = FirstOf(B, CtaBlockKind::Hdmi);
    const std::string p = Prefix(index, "HDMI");
    if (!Presence(p, a, b)) return;
    const size_t before = out_.size();
    const HdmiVsdb& x = std::get<HdmiVsdb>(a->contents);
    const HdmiVsdb& y = std::get<HdmiVsdb>(b->contents);
    auto address = [](const HdmiVsdb& h) {
      return h.physicalAddress ? PhysicalAddressText(*h.physicalAddress) : std::string("none");
    };
    Value("HDMI", p + "physical address", address(x), address(y), One(x.physicalAddressSpan),
          One(y.physicalAddressSpan));
    Names("HDMI", p, FlagNames(x.flags.value_or(0), HdmiVsdbFlagNames()),
          FlagNames(y.flags.value_or(0), HdmiVsdbFlagNames()), One(x.flagsSpan), One(y.flagsSpan));
    auto tmds = [](const HdmiVsdb& h) {
      return h.maxTmdsMhz ? FormatEdidText("%u MHz", unsigned{*h.maxTmdsMhz})
                          : std::string("not given");
    };
    Value("HDMI", p + "max TMDS clock", tmds(x), tmds(y), One(x.maxTmdsSpan), One(y.maxTmdsSpan));
    auto latency = [](std::optional<uint8_t> v) {
      return v ? FormatEdidText("code %u", unsigned{*v}) : std::string("none");
    };
    const Spans sa = One(a->span), sb = One(b->span);
    Value("HDMI", p + "video latency", latency(x.videoLatency), latency(y.videoLatency), sa, sb);
    Value("HDMI", p + "audio latency", latency(x.audioLatency), latency(y.audioLatency), sa, sb);
    Value("HDMI", p + "interlaced video latency", latency(x.interlacedVideoLatency),
          latency(y.interlacedVideoLatency), sa, sb);
    Value("HDMI", p + "interlaced audio latency", latency(x.interlacedAudioLatency),
          latency(y.interlacedAudioLatency), sa, sb);
    auto video = [](const HdmiVsdb& h) {
      std::vector<std::string> list;
      if (h.hdmiVideoPresent) list.emplace_back("HDMI video present");
      if (h.has3d()) list.emplace_back("3D present");
      return list;
    };
    Names("HDMI", p, video(x), video(y), sa, sb);
    auto vics = [](const HdmiVsdb& h) {
      Items items;
      for (const HdmiVsdb::HdmiVic& v : h.hdmiVics) {
        const CtaFormat* format = FindHdmiVicFormat(v.vic);
        items.push_back({FormatEdidText("HDMI VIC %u (%s)", unsigned{v.vic},
                                        format ? FormatName(*format).c_str() : "reserved"),
                         v.span});
      }
      return items;
    };
    ItemSets("HDMI", p, vics(x), vics(y));
    Value("HDMI", p + "3D formats", ThreeDText(x), ThreeDText(y), sa, sb);
    Fallback(before, p, *a, *b);
  }

  void Forum(uint8_t index, const CtaExtension& A, const CtaExtension& B) {
    const CtaDataBlock* a = FirstOf(A, CtaBlockKind::HdmiForum);
    const CtaDataBlock* b = FirstOf(B, CtaBlockKind::HdmiForum);
    const std::string p = Prefix(index, "HDMI Forum");
    if (!Presence(p, a, b)) return;
    const size_t before = out_.size();
    const HdmiForumVsdb& x = std::get<HdmiForumVsdb>(a->contents);
    const HdmiForumVsdb& y = std::get<HdmiForumVsdb>(b->contents);
    const Spans sa = One(a->span), sb = One(b->span);
    Value("HDMI Forum", p + "version", std::to_string(x.version), std::to_string(y.version), sa,
          sb);
    auto rate = [](const HdmiForumVsdb& f) {
      return f.maxTmdsCharacterRateMhz
                 ? FormatEdidText("%u MHz", unsigned{f.maxTmdsCharacterRateMhz})
                 : std::string("340 MHz or less");
    };
    Value("HDMI Forum", p + "max TMDS character rate", rate(x), rate(y), One(x.maxRateSpan),
          One(y.maxRateSpan));
    for (const size_t field : {0u, 1u, 2u, 5u})
      Names("HDMI Forum", p, FlagNames(x.Field(field), HdmiForumFlagNames(field)),
            FlagNames(y.Field(field), HdmiForumFlagNames(field)), sa, sb);
    Value("HDMI Forum", p + "max FRL rate code", std::to_string(x.maxFrlRate()),
          std::to_string(y.maxFrlRate()), sa, sb);
    Value("HDMI Forum", p + "VRR", FormatEdidText("%u-%u Hz", x.vrrMin(), x.vrrMax()),
          FormatEdidText("%u-%u Hz", y.vrrMin(), y.vrrMax()), sa, sb);
    Fallback(before, p, *a, *b);
  }

  void VideoCapability(uint8_t index, const CtaExtension& A, const CtaExtension& B) {
    const CtaDataBlock* a = FirstOf(A, CtaBlockKind::VideoCapability);
    const CtaDataBlock* b = FirstOf(B, CtaBlockKind::VideoCapability);
    const std::string p = Prefix(index, "Video capability");
    if (!Presence(p, a, b)) return;
    const size_t before = out_.size();
    const auto la = VideoCapabilityLines(std::get<CtaVideoCapabilityBlock>(a->contents).flags);
    const auto lb = VideoCapabilityLines(std::get<CtaVideoCapabilityBlock>(b->contents).flags);
    for (size_t i = 0; i < la.size(); ++i) {
      const size_t colon = la[i].find(": ");
      Value("Video capability", p + la[i].substr(0, colon), la[i].substr(colon + 2),
            lb[i].substr(colon + 2), One(a->span), One(b->span));
    }
    Fallback(before, p, *a, *b);
  }

  void Colorimetry(uint8_t index, const CtaExtension& A, const CtaExtension& B) {
    const CtaDataBlock* a = FirstOf(A, CtaBlockKind::Colorimetry);
    const CtaDataBlock* b = FirstOf(B, CtaBlockKind::Colorimetry);
    const std::string p = Prefix(index, "Colorimetry");
    if (!Presence(p, a, b)) return;
    const size_t before = out_.size();
    auto names = [](const CtaDataBlock* block) {
      const auto& c = std::get<CtaColorimetryBlock>(block->contents);
      auto list = FlagNames(c.colorimetry, ColorimetryNames());
      for (const std::string& name : FlagNames(c.metadata, ColorimetryMetadataNames()))
        list.push_back(name);
      return list;
    };
    Names("Colorimetry", p, names(a), names(b), One(a->span), One(b->span));
    Fallback(before, p, *a, *b);
  }

  void Hdr(uint8_t index, const CtaExtension& A, const CtaExtension& B) {
    const CtaDataBlock* a = FirstOf(A, CtaBlockKind::HdrStatic);
    const CtaDataBlock* b = FirstOf(B, CtaBlockKind::HdrStatic);
    const std::string p = Prefix(index, "HDR");
    if (!Presence(p, a, b)) return;
    const size_t before = out_.size();
    const auto& x = std::get<CtaHdrStaticBlock>(a->contents);
    const auto& y = std::get<CtaHdrStaticBlock>(b->contents);
    const Spans sa = One(a->span), sb = One(b->span);
    Names("HDR", p + "EOTF ", FlagNames(x.eotfs, HdrEotfShortNames()),
          FlagNames(y.eotfs, HdrEotfShortNames()), sa, sb);
    Value("HDR", p + "static metadata type 1", (x.metadata & 1) ? "yes" : "no",
          (y.metadata & 1) ? "yes" : "no", sa, sb);
    auto code = [](std::optional<uint8_t> v, bool max) {
      if (!v) return std::string("not given");
      return max ? FormatEdidText("%.3f cd/m2", HdrMaxLuminance(*v))
                 : FormatEdidText("code %u", unsigned{*v});
    };
    Value("HDR", p + "max luminance", code(x.maxLuminance, true), code(y.maxLuminance, true), sa,
          sb);
    Value("HDR", p + "max frame-average luminance", code(x.maxFrameAverage, true),
          code(y.maxFrameAverage, true), sa, sb);
    Value("HDR", p + "min luminance", code(x.minLuminance, false), code(y.minLuminance, false), sa,
          sb);
    Fallback(before, p, *a, *b);
  }

  void Y420(uint8_t index, const CtaExtension& A, const CtaExtension& B) {
    const std::string p = Prefix(index, "4:2:0");
    auto video = [](const CtaExtension& cta) {
      Items items;
      for (const CtaDataBlock& b : cta.blocks)
        if (const auto* y = std::get_if<CtaY420VideoBlock>(&b.contents))
          for (const CtaSvd& svd : y->svds)
            items.push_back(
                {svd.reserved() ? FormatEdidText("SVD byte 0x%02X", svd.code) : VicName(svd.vic),
                 svd.span});
      return items;
    };
    ItemSets("4:2:0", p, video(A), video(B));

    const CtaDataBlock* a = FirstOf(A, CtaBlockKind::Y420CapabilityMap);
    const CtaDataBlock* b = FirstOf(B, CtaBlockKind::Y420CapabilityMap);
    const std::string pc = Prefix(index, "4:2:0 capability");
    // The VICs the map marks; none without a map.
    auto capable = [](const CtaExtension& cta, const CtaDataBlock* block) {
      std::vector<std::string> names;
      if (!block) return names;
      const auto& map = std::get<CtaY420MapBlock>(block->contents);
      const auto svds = cta.Svds();
      for (size_t i = 0; i < svds.size(); ++i)
        if (map.Has(i) && !svds[i]->reserved()) names.push_back(VicName(svds[i]->vic));
      return names;
    };
    const size_t before = out_.size();
    Names("4:2:0", pc, capable(A, a), capable(B, b), a ? One(a->span) : Spans{},
          b ? One(b->span) : Spans{});
    if (out_.size() == before && !Presence(pc, a, b)) return;
    if (a && b) Fallback(before, pc, *a, *b);
  }

  // Data blocks compared by their bytes: vendor blocks of other OUIs, blocks without a
  // decoder of their own, and second blocks of a kind compared field by field above.
  void OtherBlocks(uint8_t index, const CtaExtension& A, const CtaExtension& B) {
    using Key = std::tuple<int, int, uint32_t, int>;
    auto collect = [](const CtaExtension& cta) {
      std::map<Key, const CtaDataBlock*> blocks;
      std::map<std::tuple<int, int, uint32_t>, int> seen;
      std::set<CtaBlockKind> firsts;
      for (const CtaDataBlock& b : cta.blocks) {
        switch (b.kind) {
          case CtaBlockKind::Video:
          case CtaBlockKind::Audio:
          case CtaBlockKind::Y420Video:
            continue;
          case CtaBlockKind::VendorSpecific:
          case CtaBlockKind::Other:
            break;
          default:
            if (firsts.insert(b.kind).second) continue;
        }
        const auto id = std::make_tuple(int{b.tag}, b.extendedTag, b.oui.value_or(0));
        blocks[std::tuple_cat(id, std::make_tuple(seen[id]++))] = &b;
      }
      return blocks;
    };
    const auto ba = collect(A), bb = collect(B);
    const std::string p = Prefix(index, "Blocks");
    for (const auto& [key, block] : ba) {
      const auto other = bb.find(key);
      if (other == bb.end())
        Add("Blocks", p + block->name + " only in A", One(block->span), {});
      else if (BytesDiffer(block->span, other->second->span))
        Add("Blocks", p + block->name + ": bytes differ", One(block->span),
            One(other->second->span));
    }
    for (const auto& [key, block] : bb)
      if (!ba.count(key)) Add("Blocks", p + block->name + " only in B", {}, One(block->span));
  }

  const EdidModel& a_;
  const EdidModel& b_;
  std::vector<EdidDifference> out_;
  bool prefixBlocks_ = false;
};

}  // namespace

EdidComparison CompareEdids(const EdidModel& a, const EdidModel& b) {
  return Differ(a, b).Run();
}

std::vector<std::string> DifferenceLines(const EdidModel& a, const EdidModel& b,
                                         const EdidDifference& difference) {
  std::vector<std::string> lines = {difference.text};
  auto bytes = [&](const char* side, const EdidModel& m, const std::vector<EdidSpan>& spans) {
    for (const EdidSpan& s : spans) {
      std::string hex = EdidHexList(m.Bytes(s));
      if (hex.size() > 3 * 24) hex = hex.substr(0, 3 * 24 - 1) + " ...";
      lines.push_back(FormatEdidText("    %s: block %u offset 0x%02X: %s", side, unsigned{s.block},
                                     unsigned{s.offset}, hex.c_str()));
    }
  };
  bytes("A", a, difference.inA);
  bytes("B", b, difference.inB);
  return lines;
}

std::string FormatEdidComparison(const std::string& nameA, const std::string& nameB,
                                 const EdidModel& a, const EdidModel& b,
                                 const EdidComparison& comparison) {
  std::string out =
      "A: " + nameA +
      FormatEdidText(" (%zu block%s)\n", a.wholeBlocks, a.wholeBlocks == 1 ? "" : "s");
  out += "B: " + nameB +
         FormatEdidText(" (%zu block%s)\n", b.wholeBlocks, b.wholeBlocks == 1 ? "" : "s");
  for (const EdidDifference& d : comparison.differences)
    for (const std::string& line : DifferenceLines(a, b, d))
      out += line + "\n";
  if (comparison.equal())
    out += "The two EDIDs are the same.\n";
  else
    out += FormatEdidText("%zu difference%s\n", comparison.differences.size(),
                          comparison.differences.size() == 1 ? "" : "s");
  return out;
}

}  // namespace sc
