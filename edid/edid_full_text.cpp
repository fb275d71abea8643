#include "edid/edid_full_text.h"

#include <cstdarg>
#include <cstdio>

#include "edid/edid_names.h"
#include "video/cta_formats.h"

namespace sc {

namespace {

std::string Mhz(uint32_t khz) {
  return RateText(khz / 1000.0) + " MHz";
}

std::string Join(const std::vector<std::string>& parts, const char* separator) {
  std::string text;
  for (const std::string& part : parts) {
    if (!text.empty()) text += separator;
    text += part;
  }
  return text;
}

std::vector<std::string> SetFlags(uint8_t value, std::span<const FlagName> names) {
  std::vector<std::string> set;
  for (const FlagName& flag : names)
    if (value & flag.mask) set.emplace_back(flag.name);
  return set;
}

const char* ThreeDStructureName(unsigned structure) {
  switch (structure) {
    case 0:
      return "frame packing";
    case 1:
      return "field alternative";
    case 2:
      return "line alternative";
    case 3:
      return "side-by-side (full)";
    case 4:
      return "L + depth";
    case 5:
      return "L + depth + graphics + graphics-depth";
    case 6:
      return "top-and-bottom";
    case 8:
      return "side-by-side (half)";
    default:
      return "reserved";
  }
}

std::string LatencyText(uint8_t value) {
  if (value == 0) return "not given";
  if (value == 255) return "not supported";
  return FormatEdidText("%u ms", (value - 1u) * 2u);
}

class Writer {
 public:
  explicit Writer(const EdidModel& model) : model_(model) {}

  std::string Run(const std::vector<EdidCheck>& checks) {
    if (model_.wholeBlocks == 0)
      Line(0, FormatEdidText("No whole block: %zu bytes: %s", model_.bytes.size(),
                             EdidHexList(model_.bytes).c_str()));
    for (const EdidBlock& block : model_.blocks) {
      if (block.index > 0) out_ += '\n';
      if (block.index == 0)
        Base(block);
      else
        Extension(block);
    }
    if (model_.trailingBytes) {
      out_ += '\n';
      Line(0, FormatEdidText("After the last block, %zu bytes: %s", model_.trailingBytes,
                             EdidHexList(model_.Bytes({static_cast<uint8_t>(model_.wholeBlocks), 0,
                                                       static_cast<uint8_t>(model_.trailingBytes)}))
                                 .c_str()));
    }
    out_ += '\n';
    if (checks.empty()) {
      Line(0, "Checks: none failed");
    } else {
      Line(0, "Checks:");
      for (const EdidCheck& check : checks)
        Line(1, std::string(SeverityName(check.severity)) + ": " + check.text);
    }
    return std::move(out_);
  }

 private:
  void Line(int indent, const std::string& text) {
    out_.append(static_cast<size_t>(indent) * 2, ' ');
    out_ += text;
    out_ += '\n';
  }

  std::string Where(const EdidSpan& span) const {
    return FormatEdidText("offset 0x%02X, %u byte%s", span.offset, unsigned{span.length},
                          span.length == 1 ? "" : "s");
  }

  void Checksum(const EdidBlock& block) {
    Line(1, FormatEdidText("Checksum: 0x%02X (%s)", block.checksum,
                           block.checksumOk ? "correct" : "wrong"));
  }

  // ----- base block

  void Base(const EdidBlock& block) {
    const EdidBaseBlock& b = model_.base;
    Line(0, FormatEdidText("Block 0: Base EDID, version %u.%u", b.version, b.revision));
    Line(1, "Header: " + EdidHexList(model_.Bytes({0, 0, 8})) +
                (b.headerOk ? " (correct)" : " (wrong)"));
    Line(1, "Manufacturer: " + PrintableText(b.manufacturer));
    Line(1, FormatEdidText("Product code: %u (0x%04X)", unsigned{b.product}, unsigned{b.product}));
    Line(1, FormatEdidText("Serial number: %u", b.serial));
    if (b.week == 0xFF)
      Line(1, FormatEdidText("Model year: %u", unsigned{b.year}));
    else if (b.week == 0)
      Line(1, FormatEdidText("Made in: %u", unsigned{b.year}));
    else
      Line(1, FormatEdidText("Made in: week %u of %u", unsigned{b.week}, unsigned{b.year}));
    Line(1, "Video input: " + EdidInputText(b));
    if (b.hSizeCm && b.vSizeCm)
      Line(1, FormatEdidText("Screen size: %u x %u cm", unsigned{b.hSizeCm}, unsigned{b.vSizeCm}));
    else if (b.hSizeCm || b.vSizeCm)
      Line(1, FormatEdidText("Screen size: aspect ratio byte %u (%s)",
                             unsigned{b.hSizeCm ? b.hSizeCm : b.vSizeCm},
                             b.hSizeCm ? "landscape" : "portrait"));
    else
      Line(1, "Screen size: not given");
    if (b.gamma == 0xFF)
      Line(1, "Gamma: given in an extension");
    else
      Line(1, FormatEdidText("Gamma: %.2f", (b.gamma + 100) / 100.0));
    Line(1, "Features: " + Join(EdidFeatureNames(b), "; "));
    static const char* kPoints[] = {"red", "green", "blue", "white"};
    std::vector<std::string> points;
    for (size_t i = 0; i < 4; ++i)
      points.push_back(std::string(kPoints[i]) + " " + ChromaticityText(b.chromaticity[2 * i]) +
                       ", " + ChromaticityText(b.chromaticity[2 * i + 1]));
    Line(1, "Chromaticity: " + Join(points, "; "));
    std::vector<std::string> established;
    for (const EdidNamedTiming& t : b.established)
      established.push_back(NamedTimingText(t));
    Line(1, "Established timings: " + (established.empty() ? "none" : Join(established, ", ")));
    if (b.manufacturerTimings)
      Line(2, FormatEdidText("manufacturer's timings: 0x%02X", b.manufacturerTimings));
    Line(1, "Standard timings: " + StandardTimings(b.standard));
    for (size_t i = 0; i < b.descriptors.size(); ++i)
      Descriptor(b.descriptors[i], FormatEdidText("Descriptor %zu", i + 1));
    Line(1, FormatEdidText("Extension blocks: %u", unsigned{b.extensionCount}));
    Checksum(block);
  }

  static std::string StandardTimings(const std::vector<EdidStandardTiming>& timings) {
    if (timings.empty()) return "none";
    std::vector<std::string> parts;
    for (const EdidStandardTiming& st : timings)
      parts.push_back(NamedTimingText(st.timing) + " " + st.aspect);
    return Join(parts, ", ");
  }

  void Timing(const EdidDetailedTiming& t, const std::string& label) {
    Line(1, FormatEdidText("%s (%s): detailed timing %s", label.c_str(), Where(t.span).c_str(),
                           DetailedTimingSummary(t).c_str()));
    auto sync = [&](bool positive) {
      return t.digitalSeparateSync() ? (positive ? ", sync +" : ", sync -") : "";
    };
    Line(3, FormatEdidText(
                "horizontal: %u active, %u blanking: front porch %u, sync %u, back porch %d%s",
                unsigned{t.hActive}, unsigned{t.hBlank}, unsigned{t.hFront}, unsigned{t.hSync},
                t.hBack(), sync(t.hSyncPositive())));
    Line(3, FormatEdidText(
                "vertical: %u active%s, %u blanking: front porch %u, sync %u, back porch %d%s",
                unsigned{t.vActive}, t.interlaced ? " a field" : "", unsigned{t.vBlank},
                unsigned{t.vFront}, unsigned{t.vSync}, t.vBack(), sync(t.vSyncPositive())));
    std::string extra =
        FormatEdidText("image %u x %u mm", unsigned{t.hImageMm}, unsigned{t.vImageMm});
    if (t.hBorder || t.vBorder)
      extra += FormatEdidText(", borders %u and %u", unsigned{t.hBorder}, unsigned{t.vBorder});
    if (!t.digitalSeparateSync())
      extra += FormatEdidText(", sync type bits 0x%02X", t.flags & 0x1E);
    if (t.flags & 0x61) extra += FormatEdidText(", stereo bits 0x%02X", t.flags & 0x61);
    Line(3, extra);
  }

  void Descriptor(const EdidDescriptor& d, const std::string& label) {
    if (d.kind == EdidDescriptor::Kind::Timing) {
      Timing(d.timing, FormatEdidText("%s, DTD %d", label.c_str(), ++dtdNumber_));
      return;
    }
    std::string text;
    switch (d.tag) {
      case 0xFC:
        text = "monitor name \"" + PrintableText(d.text) + "\"";
        break;
      case 0xFF:
        text = "serial number \"" + PrintableText(d.text) + "\"";
        break;
      case 0xFE:
        text = "data string \"" + PrintableText(d.text) + "\"";
        break;
      case 0xFD: {
        static const char* kSupport[] = {"default GTF", "range limits only", "secondary GTF", "",
                                         "CVT"};
        const EdidRangeLimits& r = d.range;
        text = FormatEdidText(
            "range limits: vertical %u-%u Hz, horizontal %u-%u kHz, max pixel clock %u MHz",
            unsigned{r.vMinHz}, unsigned{r.vMaxHz}, unsigned{r.hMinKhz}, unsigned{r.hMaxKhz},
            unsigned{r.maxClockMhz});
        if (r.support < std::size(kSupport) && *kSupport[r.support])
          text += std::string(", ") + kSupport[r.support];
        else
          text += FormatEdidText(", timing support 0x%02X", r.support);
        break;
      }
      case 0xFA:
        text = "standard timings: " + StandardTimings(d.standard);
        break;
      case 0xF7: {
        std::vector<std::string> parts;
        for (const EdidNamedTiming& t : d.established)
          parts.push_back(NamedTimingText(t));
        text =
            "established timings III: " + (parts.empty() ? std::string("none") : Join(parts, ", "));
        break;
      }
      case 0xFB:
        text = "colour point data: " + EdidHexList(model_.Bytes(Payload(d.span)));
        break;
      case 0xF9:
        text = "display colour management: " + EdidHexList(model_.Bytes(Payload(d.span)));
        break;
      case 0xF8:
        text = "CVT 3-byte timing codes: " + EdidHexList(model_.Bytes(Payload(d.span)));
        break;
      case 0x10:
        text = "dummy descriptor";
        break;
      default:
        if (d.tag <= 0x0F)
          text = FormatEdidText("manufacturer-specified descriptor 0x%02X: ", d.tag);
        else
          text = FormatEdidText("unknown descriptor tag 0x%02X: ", d.tag);
        text += EdidHexList(model_.Bytes(Payload(d.span)));
        break;
    }
    Line(1, FormatEdidText("%s (%s): %s", label.c_str(), Where(d.span).c_str(), text.c_str()));
  }

  static EdidSpan Payload(const EdidSpan& descriptor) {
    return {descriptor.block, static_cast<uint8_t>(descriptor.offset + 5), 13};
  }

  // ----- extensions

  void Extension(const EdidBlock& block) {
    if (!block.cta) {
      Line(0, FormatEdidText("Block %u: %s", block.index, block.name.c_str()));
      Line(1, "Bytes (not decoded):");
      for (uint8_t row = 0; row < 128; row += 16)
        Line(2, FormatEdidText("%02X: ", row) + EdidHexList(model_.Bytes({block.index, row, 16})));
      Checksum(block);
      return;
    }
    const CtaExtension& cta = *block.cta;
    Line(0, FormatEdidText("Block %u: CTA-861 extension, revision %u", block.index,
                           unsigned{cta.revision}));
    std::vector<std::string> flags = SetFlags(cta.flags, CtaFlagNames());
    Line(1, "Flags: " + (flags.empty() ? std::string("none") : Join(flags, ", ")));
    Line(1, FormatEdidText("Native detailed timings: %d", cta.nativeDtds()));
    Line(1, FormatEdidText("DTD offset: %u (0x%02X)", unsigned{cta.dtdOffset},
                           unsigned{cta.dtdOffset}));
    if (cta.reserved.length)
      Line(1, "Bytes before the DTD offset (no data blocks in this revision): " +
                  EdidHexList(model_.Bytes(cta.reserved)));
    const auto svds = cta.Svds();
    for (const CtaDataBlock& b : cta.blocks)
      DataBlock(b, svds);
    for (const EdidDescriptor& d : cta.descriptors)
      Descriptor(d, "Descriptor");
    if (cta.paddingNonZero)
      Line(1, "Padding (not zero): " + EdidHexList(model_.Bytes(cta.padding)));
    Checksum(block);
  }

  void DataBlock(const CtaDataBlock& b, const std::vector<const CtaSvd*>& svds) {
    std::string head = b.name + " (" + Where(b.span) + ")";
    if (b.cut == CtaDataBlock::Cut::PastDtdOffset)
      head +=
          FormatEdidText(": claims %u bytes; read up to the DTD offset", unsigned{b.claimedLength});
    else if (b.cut == CtaDataBlock::Cut::PastBlockEnd)
      head += FormatEdidText(": claims %u bytes; read up to the end of the block",
                             unsigned{b.claimedLength});
    Line(1, head);
    if (b.oui) Line(2, "OUI: " + OuiText(*b.oui));

    if (const auto* video = std::get_if<CtaVideoBlock>(&b.contents)) {
      for (const CtaSvd& svd : video->svds)
        Line(2, SvdLine(svd));
    } else if (const auto* y420 = std::get_if<CtaY420VideoBlock>(&b.contents)) {
      for (const CtaSvd& svd : y420->svds)
        Line(2, SvdLine(svd));
    } else if (const auto* audio = std::get_if<CtaAudioBlock>(&b.contents)) {
      for (const CtaSad& sad : audio->sads)
        Line(2, SadSummary(sad));
      if (audio->leftover) Line(2, FormatEdidText("%u bytes left over", unsigned{audio->leftover}));
    } else if (const auto* speakers = std::get_if<CtaSpeakerBlock>(&b.contents)) {
      const auto names = SpeakerNames();
      bool any = false;
      for (size_t bit = 0; bit < 24; ++bit) {
        if (!(speakers->mask >> bit & 1)) continue;
        any = true;
        if (bit < names.size())
          Line(2, std::string(names[bit].shortName) + " - " + names[bit].meaning);
        else
          Line(2, FormatEdidText("reserved bit %zu of byte %zu", bit % 8, bit / 8 + 1));
      }
      if (!any) Line(2, "no speakers");
    } else if (const auto* hdmi = std::get_if<HdmiVsdb>(&b.contents)) {
      Hdmi(*hdmi, svds);
    } else if (const auto* forum = std::get_if<HdmiForumVsdb>(&b.contents)) {
      Forum(*forum);
    } else if (const auto* vcdb = std::get_if<CtaVideoCapabilityBlock>(&b.contents)) {
      for (const std::string& line : VideoCapabilityLines(vcdb->flags))
        Line(2, line);
    } else if (const auto* colorimetry = std::get_if<CtaColorimetryBlock>(&b.contents)) {
      auto names = SetFlags(colorimetry->colorimetry, ColorimetryNames());
      for (const std::string& name : SetFlags(colorimetry->metadata, ColorimetryMetadataNames()))
        names.push_back(name);
      Line(2, names.empty() ? std::string("none") : Join(names, ", "));
    } else if (const auto* hdr = std::get_if<CtaHdrStaticBlock>(&b.contents)) {
      Hdr(*hdr);
    } else if (const auto* map = std::get_if<CtaY420MapBlock>(&b.contents)) {
      if (map->allSvds()) {
        Line(2, "every SVD of the video block");
      } else {
        for (size_t i = 0; i < map->bitmap.size() * 8; ++i) {
          if (!map->Has(i)) continue;
          if (i < svds.size())
            Line(2, FormatEdidText("SVD %zu: ", i + 1) + SvdLine(*svds[i]));
          else
            Line(2, FormatEdidText("SVD %zu: beyond the video block", i + 1));
        }
      }
    } else if (b.payload().length) {
      const size_t skip = b.oui ? (b.tag == 3 ? 3 : 4) : (b.extendedTag >= 0 ? 1 : 0);
      const EdidSpan rest = b.payload();
      if (rest.length > skip)
        Line(2, "Bytes: " +
                    EdidHexList(model_.Bytes({rest.block, static_cast<uint8_t>(rest.offset + skip),
                                              static_cast<uint8_t>(rest.length - skip)})));
    }
  }

  static std::string SvdLine(const CtaSvd& svd) {
    if (svd.reserved()) return FormatEdidText("reserved byte 0x%02X", svd.code);
    std::string text = FormatEdidText("VIC %3d: ", svd.vic);
    if (const CtaFormat* format = FindCtaFormat(svd.vic))
      text += FormatName(*format) + ", " + Mhz(format->pixelClockKhz);
    else
      text += "not in the CTA-861 table";
    if (svd.native) text += " (native)";
    return text;
  }

  void Hdmi(const HdmiVsdb& h, const std::vector<const CtaSvd*>& svds) {
    if (h.physicalAddress) Line(2, "Physical address: " + PhysicalAddressText(*h.physicalAddress));
    if (h.flags) {
      const auto names = SetFlags(*h.flags, HdmiVsdbFlagNames());
      if (!names.empty()) Line(2, Join(names, ", "));
    }
    if (h.maxTmdsMhz) Line(2, FormatEdidText("Max TMDS clock: %u MHz", unsigned{*h.maxTmdsMhz}));
    if (h.latencyFlags) {
      static const char* kContent[] = {"graphics", "photo", "cinema", "game"};
      std::vector<std::string> content;
      for (unsigned bit = 0; bit < 4; ++bit)
        if (*h.latencyFlags >> bit & 1) content.emplace_back(kContent[bit]);
      if (!content.empty()) Line(2, "Content types: " + Join(content, ", "));
    }
    if (h.videoLatency || h.audioLatency)
      Line(2, "Latency: video " + LatencyText(h.videoLatency.value_or(0)) + ", audio " +
                  LatencyText(h.audioLatency.value_or(0)));
    if (h.interlacedVideoLatency || h.interlacedAudioLatency)
      Line(2, "Interlaced latency: video " + LatencyText(h.interlacedVideoLatency.value_or(0)) +
                  ", audio " + LatencyText(h.interlacedAudioLatency.value_or(0)));
    if (h.videoFlags) {
      static const char* kImageSize[] = {
          "no image size information", "the image size gives the aspect ratio only",
          "the image size is right to 1 cm", "the image size is in units of 5 cm"};
      std::vector<std::string> parts;
      if (h.has3d()) parts.emplace_back("3D present");
      if (*h.videoFlags >> 5 & 3)
        parts.push_back(FormatEdidText("3D_Multi_present %u", *h.videoFlags >> 5 & 3));
      parts.emplace_back(kImageSize[*h.videoFlags >> 3 & 3]);
      Line(2, "HDMI video: " + Join(parts, "; "));
    }
    for (const HdmiVsdb::HdmiVic& v : h.hdmiVics) {
      const CtaFormat* format = FindHdmiVicFormat(v.vic);
      Line(2, FormatEdidText("HDMI VIC %u: ", unsigned{v.vic}) +
                  (format ? FormatName(*format) + ", " + Mhz(format->pixelClockKhz) : "reserved"));
    }
    if (h.structureAll) {
      std::vector<std::string> names;
      for (unsigned bit = 0; bit < 16; ++bit)
        if (*h.structureAll >> bit & 1) names.emplace_back(ThreeDStructureName(bit));
      Line(2, "3D formats for every listed VIC: " +
                  (names.empty() ? std::string("none") : Join(names, ", ")));
    }
    if (h.mask) {
      std::vector<std::string> indices;
      for (unsigned bit = 0; bit < 16; ++bit)
        if (*h.mask >> bit & 1) indices.push_back(FormatEdidText("%u", bit + 1));
      Line(2, "... for SVDs " + (indices.empty() ? std::string("none") : Join(indices, " ")));
    }
    for (const HdmiVsdb::Structure3d& s : h.structures) {
      std::string text = FormatEdidText("3D for SVD %u", s.svdIndex + 1u);
      if (s.svdIndex < svds.size()) text += FormatEdidText(" (VIC %d)", svds[s.svdIndex]->vic);
      text += std::string(": ") + ThreeDStructureName(s.structure);
      if (s.detail) text += FormatEdidText(", detail %u", unsigned{*s.detail});
      Line(2, text);
    }
    if (h.listsCut) Line(2, "(the HDMI VICs and 3D fields claim more bytes than the block holds)");
  }

  void Forum(const HdmiForumVsdb& f) {
    Line(2, FormatEdidText("Version: %u", unsigned{f.version}));
    if (f.maxTmdsCharacterRateMhz)
      Line(2,
           FormatEdidText("Max TMDS character rate: %u MHz", unsigned{f.maxTmdsCharacterRateMhz}));
    else
      Line(2, "Max TMDS character rate: 340 MHz or less");
    static const char* kFrl[] = {"no FRL",
                                 "3 Gbps on 3 lanes",
                                 "6 Gbps on 3 lanes",
                                 "6 Gbps on 4 lanes",
                                 "8 Gbps on 4 lanes",
                                 "10 Gbps on 4 lanes",
                                 "12 Gbps on 4 lanes"};
    auto flags = [&](size_t index, std::span<const FlagName> names) {
      if (index >= f.fields.size()) return;
      const auto set = SetFlags(f.fields[index], names);
      if (!set.empty()) Line(2, Join(set, ", "));
    };
    flags(0, HdmiForumFlagNames(0));
    if (f.fields.size() > 1) {
      const unsigned frl = f.maxFrlRate();
      Line(2, std::string("Max FRL rate: ") + (frl < std::size(kFrl) ? kFrl[frl] : "reserved"));
      flags(1, HdmiForumFlagNames(1));
    }
    flags(2, HdmiForumFlagNames(2));
    if (f.fields.size() > 4 && (f.vrrMin() || f.vrrMax()))
      Line(2, FormatEdidText("VRR: %u-%u Hz", f.vrrMin(), f.vrrMax()));
    flags(5, HdmiForumFlagNames(5));
    if (f.fields.size() > 6 && f.fields[6])
      Line(2, FormatEdidText("DSC max FRL rate code %u, max slices code %u", f.fields[6] >> 4,
                             f.fields[6] & 0x0F));
    if (f.fields.size() > 7 && (f.fields[5] & 0x80))
      Line(2, FormatEdidText("DSC total chunk bytes: %u", ((f.fields[7] & 0x3F) + 1u) * 1024u));
  }

  void Hdr(const CtaHdrStaticBlock& hdr) {
    const auto eotfs = SetFlags(hdr.eotfs, HdrEotfNames());
    Line(2, "EOTFs: " + (eotfs.empty() ? std::string("none") : Join(eotfs, ", ")));
    Line(2, (hdr.metadata & 1) ? "Static metadata type 1" : "No static metadata type");
    if (hdr.maxLuminance)
      Line(2, FormatEdidText("Max luminance: %.3f cd/m2 (code %u)",
                             HdrMaxLuminance(*hdr.maxLuminance), unsigned{*hdr.maxLuminance}));
    if (hdr.maxFrameAverage)
      Line(2,
           FormatEdidText("Max frame-average luminance: %.3f cd/m2 (code %u)",
                          HdrMaxLuminance(*hdr.maxFrameAverage), unsigned{*hdr.maxFrameAverage}));
    if (hdr.minLuminance && hdr.maxLuminance)
      Line(2, FormatEdidText("Min luminance: %.4f cd/m2 (code %u)",
                             HdrMinLuminance(*hdr.maxLuminance, *hdr.minLuminance),
                             unsigned{*hdr.minLuminance}));
  }

  const EdidModel& model_;
  std::string out_;
  int dtdNumber_ = 0;
};

}  // namespace

std::string DetailedTimingSummary(const EdidDetailedTiming& t) {
  return FormatEdidText("%ux%u%s %s Hz, %s", unsigned{t.hActive}, t.frameHeight(),
                        t.interlaced ? "i" : "", RateText(t.refreshHz()).c_str(),
                        Mhz(t.pixelClockKhz).c_str());
}

std::string VicSummary(int vic) {
  if (const CtaFormat* format = FindCtaFormat(vic)) return FormatName(*format);
  return "not in the CTA-861 table";
}

std::string SadSummary(const CtaSad& sad) {
  std::string text = AudioFormatName(sad);
  if (sad.format == 0) return text;
  text += FormatEdidText(": %u channel%s", unsigned{sad.channels}, sad.channels == 1 ? "" : "s");
  text += "; " + (sad.rates ? SampleRatesText(sad.rates) + " kHz" : std::string("no rates"));
  if (sad.format == 1 || (sad.format == 15 && sad.extendedType == 13)) {
    std::vector<std::string> sizes;
    for (size_t bit = 0; bit < 3; ++bit)
      if (sad.sizes >> bit & 1) sizes.push_back(FormatEdidText("%d", SampleSizesBits()[bit]));
    text += "; " + (sizes.empty() ? std::string("no sizes") : Join(sizes, " ") + " bits");
  } else if (sad.maxBitrateKbps) {
    text += FormatEdidText("; max %u kb/s", unsigned{sad.maxBitrateKbps});
  } else if (sad.format >= 9 && sad.format <= 13) {
    text += FormatEdidText("; format-dependent value 0x%02X", sad.bytes[2]);
  } else if (sad.format == 14) {
    text += FormatEdidText("; profile %u", sad.bytes[2] & 7u);
  } else if (sad.format == 15) {
    text += FormatEdidText("; byte 3 0x%02X", sad.bytes[2]);
  }
  return text;
}

std::string ChromaticityText(uint16_t value) {
  // Four decimals, cut rather than rounded, as the field's tools print them.
  return FormatEdidText("%u.%04u", value / 1024u, (value % 1024u) * 10000u / 1024u);
}

std::string PhysicalAddressText(const std::array<uint8_t, 4>& a) {
  return FormatEdidText("%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
}

std::string PrintableText(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b < 0x7F && b != '\\')
      out += c;
    else
      out += FormatEdidText("\\x%02X", b);
  }
  return out;
}

std::string EdidInputText(const EdidBaseBlock& b) {
  if (!b.digital()) {
    static const char* kLevels[] = {"0.700/0.300 V", "0.714/0.286 V", "1.000/0.400 V",
                                    "0.700/0.000 V"};
    std::vector<std::string> parts = {kLevels[b.input >> 5 & 3]};
    if (b.input & 0x10) parts.emplace_back("blank-to-black setup");
    if (b.input & 0x08) parts.emplace_back("separate sync");
    if (b.input & 0x04) parts.emplace_back("composite sync on horizontal");
    if (b.input & 0x02) parts.emplace_back("sync on green");
    if (b.input & 0x01) parts.emplace_back("serrations");
    return "analog, " + Join(parts, ", ");
  }
  if (b.version == 1 && b.revision >= 4) {
    const unsigned depth = b.input >> 4 & 7;
    std::string text = "digital, ";
    if (depth == 0)
      text += "colour depth not given";
    else if (depth == 7)
      text += "colour depth reserved (7)";
    else
      text += FormatEdidText("%u bits per colour", 4 + 2 * depth);
    const char* interface = DigitalInterfaceName(b.input & 0x0F);
    text +=
        *interface ? std::string(", ") + interface : FormatEdidText(", interface %s", (b.input & 0x0F) ? "reserved" : "not given");
    return text;
  }
  return std::string("digital") + ((b.input & 1) ? ", DFP 1.x compatible" : "");
}

std::vector<std::string> EdidFeatureNames(const EdidBaseBlock& b) {
  std::vector<std::string> parts;
  if (b.features & 0x80) parts.emplace_back("standby");
  if (b.features & 0x40) parts.emplace_back("suspend");
  if (b.features & 0x20) parts.emplace_back("active off");
  const unsigned type = b.features >> 3 & 3;
  const bool from14 = b.version == 1 && b.revision >= 4;
  if (b.digital() && from14) {
    static const char* kEncodings[] = {"RGB 4:4:4", "RGB 4:4:4 and YCbCr 4:4:4",
                                       "RGB 4:4:4 and YCbCr 4:2:2",
                                       "RGB 4:4:4, YCbCr 4:4:4 and YCbCr 4:2:2"};
    parts.emplace_back(kEncodings[type]);
  } else {
    static const char* kTypes[] = {"monochrome or grey-scale display", "RGB colour display",
                                   "non-RGB colour display", "display type not given"};
    parts.emplace_back(kTypes[type]);
  }
  if (b.features & 0x04) parts.emplace_back("sRGB is the default colour space");
  if (b.features & 0x02)
    parts.emplace_back(from14 ? "the preferred timing is the native format"
                              : "the first detailed timing is the preferred timing");
  if (b.features & 0x01) parts.emplace_back(from14 ? "continuous frequency" : "GTF supported");
  return parts;
}

std::vector<std::string> VideoCapabilityLines(uint8_t flags) {
  static const char* kScan[] = {"not supported", "always overscanned", "always underscanned",
                                "over- and underscan"};
  return {std::string("YCbCr quantization: ") + ((flags & 0x80) ? "selectable" : "not selectable"),
          std::string("RGB quantization: ") + ((flags & 0x40) ? "selectable" : "not selectable"),
          std::string("PT scan: ") + ((flags >> 4 & 3) ? kScan[flags >> 4 & 3] : "no data"),
          std::string("IT scan: ") + kScan[flags >> 2 & 3],
          std::string("CE scan: ") + kScan[flags & 3]};
}

std::string FormatEdidFullText(const EdidModel& model, const std::vector<EdidCheck>& checks) {
  return Writer(model).Run(checks);
}

}  // namespace sc
