#include "edid/edid_checks.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <set>

#include "edid/edid_names.h"
#include "video/cta_formats.h"

namespace sc {

namespace {

class Checker {
 public:
  explicit Checker(const EdidModel& model) : model_(model) {}

  std::vector<EdidCheck> Run() {
    Whole();
    if (model_.wholeBlocks == 0) return std::move(checks_);
    Base();
    for (const EdidBlock& block : model_.blocks) {
      if (block.index == 0) continue;
      if (!block.checksumOk) Checksum(block);
      if (block.cta) Cta(block.index, *block.cta);
    }
    return std::move(checks_);
  }

 private:
  void Error(std::string text) { checks_.push_back({EdidSeverity::Error, std::move(text)}); }
  void Warning(std::string text) { checks_.push_back({EdidSeverity::Warning, std::move(text)}); }

  void Whole() {
    if (model_.wholeBlocks == 0) {
      Error(FormatEdidText("The EDID holds %zu bytes, less than one 128-byte block.",
                           model_.bytes.size()));
      return;
    }
    if (model_.trailingBytes)
      Warning(FormatEdidText("%zu bytes after the last whole block are not decoded.",
                             model_.trailingBytes));
    if (model_.moreThanMaxBlocks)
      Warning(FormatEdidText("The EDID holds more than %zu blocks; only the first %zu are decoded.",
                             kMaxEdidBlocks, kMaxEdidBlocks));
    const size_t declared = model_.base.extensionCount;
    const size_t present = model_.wholeBlocks - 1;
    if (declared > present && !model_.moreThanMaxBlocks)
      Error(FormatEdidText(
          "Byte 126 declares %zu extension block%s, but %zu follow%s the base block.", declared,
          declared == 1 ? "" : "s", present, present == 1 ? "s" : ""));
    else if (declared < present)
      Warning(FormatEdidText(
          "Byte 126 declares %zu extension block%s, but %zu follow%s the base block.", declared,
          declared == 1 ? "" : "s", present, present == 1 ? "s" : ""));
  }

  void Checksum(const EdidBlock& block) {
    unsigned sum = 0;
    for (const uint8_t b : model_.Bytes({block.index, 0, 127}))
      sum += b;
    const unsigned right = (0x100 - (sum & 0xFF)) & 0xFF;
    Error(
        FormatEdidText("Block %u: the checksum 0x%02X is wrong (0x%02X makes the block sum to 0).",
                       block.index, block.checksum, right));
  }

  void Timing(const EdidDetailedTiming& t, unsigned block, int number) {
    if (t.hActive == 0 || t.vActive == 0) {
      Error(FormatEdidText("Block %u: detailed timing %d has a zero size (%ux%u).", block, number,
                           unsigned{t.hActive}, unsigned{t.vActive}));
      return;
    }
    if (t.hFront + t.hSync > t.hBlank || t.vFront + t.vSync > t.vBlank)
      Warning(FormatEdidText(
          "Block %u: detailed timing %d (%ux%u%s): the front porch and sync are longer "
          "than the blanking.",
          block, number, unsigned{t.hActive}, t.frameHeight(), t.interlaced ? "i" : ""));
  }

  void Descriptors(const std::vector<EdidDescriptor>& descriptors, unsigned block) {
    for (const EdidDescriptor& d : descriptors) {
      if (d.kind == EdidDescriptor::Kind::Timing) {
        Timing(d.timing, block, ++timingNumber_);
        continue;
      }
      if (d.tag == 0xFD) {
        const EdidRangeLimits& r = d.range;
        if (r.vMinHz > r.vMaxHz || r.hMinKhz > r.hMaxKhz)
          Warning(FormatEdidText(
              "Block %u: the range limits' minimum lies above their maximum (%u-%u Hz, "
              "%u-%u kHz).",
              block, unsigned{r.vMinHz}, unsigned{r.vMaxHz}, unsigned{r.hMinKhz},
              unsigned{r.hMaxKhz}));
      }
    }
  }

  void Base() {
    const EdidBaseBlock& base = model_.base;
    if (!base.headerOk) Error("Block 0: the header is not 00 FF FF FF FF FF FF 00.");
    if (!model_.blocks[0].checksumOk) Checksum(model_.blocks[0]);
    if (base.version != 1)
      Warning(FormatEdidText("Block 0: EDID version %u.%u; this decoder reads version 1.",
                             base.version, base.revision));
    if (std::any_of(base.manufacturer.begin(), base.manufacturer.end(),
                    [](char c) { return c < 'A' || c > 'Z'; }))
      Warning(FormatEdidText("Block 0: the manufacturer ID \"%s\" has letters outside A-Z.",
                             base.manufacturer.c_str()));
    const bool from13 = base.version == 1 && base.revision >= 3;
    if (from13 && base.descriptors[0].kind != EdidDescriptor::Kind::Timing)
      Warning("Block 0: the first descriptor is not a detailed timing (the preferred timing).");
    Descriptors(base.descriptors, 0);
    if (from13 && model_.MonitorName() == nullptr)
      Warning("Block 0: no monitor name (descriptor 0xFC).");
  }

  static std::string VicText(int vic) {
    const CtaFormat* format = FindCtaFormat(vic);
    if (!format) return FormatEdidText("VIC %d", vic);
    return FormatEdidText("VIC %d (%s, %s MHz)", vic, FormatName(*format).c_str(),
                          RateText(format->pixelClockKhz / 1000.0).c_str());
  }

  void Svds(const std::vector<CtaSvd>& svds, unsigned block, const char* where) {
    for (const CtaSvd& svd : svds) {
      if (svd.reserved())
        Warning(FormatEdidText("Block %u: the %s holds the reserved byte 0x%02X.", block, where,
                               svd.code));
      else if (!FindCtaFormat(svd.vic))
        Warning(FormatEdidText(
            "Block %u: the %s lists VIC %d, which the CTA-861 table does not define.", block, where,
            svd.vic));
    }
  }

  void Cta(unsigned index, const CtaExtension& cta) {
    const unsigned d = cta.dtdOffset;
    if (d != 0 && d < 4)
      Error(FormatEdidText(
          "Block %u: the DTD offset (byte 2) is %u, inside the extension's header.", index, d));
    if (d > 127)
      Error(FormatEdidText("Block %u: the DTD offset (byte 2) is %u, past the end of the block.",
                           index, d));
    if (cta.reserved.length)
      Warning(FormatEdidText(
          "Block %u: CTA-861 revision %u has no data blocks, yet %u bytes lie before the "
          "DTD offset.",
          index, unsigned{cta.revision}, unsigned{cta.reserved.length}));

    int hdmiBlocks = 0;
    bool hdmiSink = false;
    for (const CtaDataBlock& block : cta.blocks) {
      const char* name = block.name.c_str();
      const unsigned offset = block.span.offset;
      if (block.cut == CtaDataBlock::Cut::PastDtdOffset)
        Error(FormatEdidText(
            "Block %u: the %s at offset 0x%02X claims %u bytes and runs %u bytes past the DTD "
            "offset 0x%02X.",
            index, name, offset, unsigned{block.claimedLength},
            offset + 1 + block.claimedLength - d, d));
      else if (block.cut == CtaDataBlock::Cut::PastBlockEnd)
        Error(FormatEdidText(
            "Block %u: the %s at offset 0x%02X claims %u bytes, more than the block holds.", index,
            name, offset, unsigned{block.claimedLength}));
      if (block.tag == 7 && block.extendedTag < 0)
        Error(FormatEdidText(
            "Block %u: the data block at offset 0x%02X has tag 7 but no extended tag.", index,
            offset));
      const bool vendor = block.tag == 3 || block.extendedTag == 1 || block.extendedTag == 17;
      if (vendor && !block.oui)
        Error(FormatEdidText("Block %u: the %s at offset 0x%02X is too short for its OUI.", index,
                             name, offset));
      if (block.extendedTag == 6 && block.kind != CtaBlockKind::HdrStatic)
        Error(FormatEdidText(
            "Block %u: the HDR Static Metadata Data Block at offset 0x%02X is too short.", index,
            offset));

      if (const auto* video = std::get_if<CtaVideoBlock>(&block.contents)) {
        Svds(video->svds, index, "Video Data Block");
      } else if (const auto* y420 = std::get_if<CtaY420VideoBlock>(&block.contents)) {
        Svds(y420->svds, index, "YCbCr 4:2:0 Video Data Block");
        hdmiSink = true;
      } else if (const auto* audio = std::get_if<CtaAudioBlock>(&block.contents)) {
        if (audio->leftover)
          Warning(FormatEdidText(
              "Block %u: the Audio Data Block at offset 0x%02X is %u bytes long, not a "
              "multiple of 3.",
              index, offset, unsigned{block.span.length} - 1u));
        for (const CtaSad& sad : audio->sads) {
          if (sad.format == 0)
            Warning(FormatEdidText("Block %u: an audio descriptor has the reserved format code 0.",
                                   index));
          else if (sad.rates == 0)
            Warning(FormatEdidText("Block %u: the %s audio descriptor lists no sample rate.", index,
                                   AudioFormatShortName(sad).c_str()));
          if (sad.format == 1 && sad.sizes == 0)
            Warning(
                FormatEdidText("Block %u: the LPCM audio descriptor lists no sample size.", index));
        }
      } else if (std::holds_alternative<CtaSpeakerBlock>(block.contents)) {
        if (block.claimedLength != 3)
          Warning(
              FormatEdidText("Block %u: the Speaker Allocation Data Block is %u bytes long, not 3.",
                             index, unsigned{block.claimedLength}));
      } else if (const auto* hdmi = std::get_if<HdmiVsdb>(&block.contents)) {
        ++hdmiBlocks;
        if (!hdmi->physicalAddress)
          Error(FormatEdidText(
              "Block %u: the HDMI Vendor-Specific Data Block is too short for the physical "
              "address.",
              index));
        else if (!PhysicalAddressWellFormed(*hdmi->physicalAddress))
          Warning(
              FormatEdidText("Block %u: the physical address %u.%u.%u.%u has a digit after a 0.",
                             index, (*hdmi->physicalAddress)[0], (*hdmi->physicalAddress)[1],
                             (*hdmi->physicalAddress)[2], (*hdmi->physicalAddress)[3]));
        if (hdmi->listsCut)
          Warning(FormatEdidText(
              "Block %u: the HDMI block's HDMI VICs and 3D fields claim more bytes than "
              "the block holds.",
              index));
      } else if (std::holds_alternative<HdmiForumVsdb>(block.contents)) {
        hdmiSink = true;
      } else if (const auto* map = std::get_if<CtaY420MapBlock>(&block.contents)) {
        hdmiSink = true;
        Y420Map(*map, cta, index);
      }
    }
    if (hdmiBlocks > 1)
      Warning(FormatEdidText("Block %u: %d HDMI Vendor-Specific Data Blocks; a sink has one.",
                             index, hdmiBlocks));
    const uint8_t interface = model_.base.input & 0x0F;
    if (model_.base.digital() && model_.base.version == 1 && model_.base.revision >= 4 &&
        (interface == 2 || interface == 3))
      hdmiSink = true;
    if (hdmiSink && hdmiBlocks == 0)
      Error(FormatEdidText(
          "Block %u: an HDMI sink (HDMI Forum or 4:2:0 blocks, or an HDMI interface) without "
          "the HDMI Vendor-Specific Data Block.",
          index));
    if (const HdmiVsdb* hdmi = cta.First<HdmiVsdb>()) TmdsLimit(*hdmi, cta, index);
    ThreeD(cta, index);
    Descriptors(cta.descriptors, index);
  }

  static bool PhysicalAddressWellFormed(const std::array<uint8_t, 4>& a) {
    for (size_t i = 1; i < 4; ++i)
      if (a[i - 1] == 0 && a[i] != 0) return false;
    return true;
  }

  void Y420Map(const CtaY420MapBlock& map, const CtaExtension& cta, unsigned index) {
    const size_t svds = cta.Svds().size();
    if (svds == 0) {
      Error(FormatEdidText("Block %u: a YCbCr 4:2:0 Capability Map without a Video Data Block.",
                           index));
      return;
    }
    size_t highest = 0;
    for (size_t bit = 0; bit < map.bitmap.size() * 8; ++bit)
      if (map.Has(bit)) highest = bit + 1;
    if (highest > svds)
      Error(FormatEdidText(
          "Block %u: the YCbCr 4:2:0 Capability Map marks SVD %zu, but the video block "
          "holds %zu.",
          index, highest, svds));
    else if (map.bitmap.size() > (svds + 7) / 8)
      Warning(FormatEdidText(
          "Block %u: the YCbCr 4:2:0 Capability Map has %zu bytes; %zu SVDs need %zu.", index,
          map.bitmap.size(), svds, (svds + 7) / 8));
  }

  // Formats above the clock the sink takes: the HDMI block's TMDS limit, raised by the
  // HDMI Forum block's TMDS character rate and by what its fixed-rate link carries at 8
  // bits a colour (16 of every 18 bits are data); compressed video (DSC) lifts the limit.
  // A format the sink also takes in 4:2:0 needs half the clock.
  void TmdsLimit(const HdmiVsdb& hdmi, const CtaExtension& cta, unsigned index) {
    if (!hdmi.maxTmdsMhz) return;
    uint32_t limitKhz = *hdmi.maxTmdsMhz * 1000u;
    bool frl = false;
    if (const HdmiForumVsdb* forum = cta.First<HdmiForumVsdb>()) {
      if (forum->Field(5) & 0x80) return;
      limitKhz = std::max<uint32_t>(limitKhz, forum->maxTmdsCharacterRateMhz * 1000u);
      static constexpr uint32_t kFrlGbps[] = {0, 9, 18, 24, 32, 40, 48};
      const unsigned rate = forum->maxFrlRate();
      if (rate > 0 && rate < std::size(kFrlGbps)) {
        frl = true;
        limitKhz = std::max<uint32_t>(limitKhz, kFrlGbps[rate] * 1000000u / 18u * 16u / 24u);
      }
    }
    const CtaY420MapBlock* map = cta.First<CtaY420MapBlock>();
    int worstVic = 0;
    uint32_t worstKhz = 0;
    std::set<int> above;
    auto consider = [&](int vic, uint32_t neededKhz) {
      if (neededKhz <= limitKhz) return;
      above.insert(vic);
      if (neededKhz > worstKhz) {
        worstKhz = neededKhz;
        worstVic = vic;
      }
    };
    const auto svds = cta.Svds();
    for (size_t i = 0; i < svds.size(); ++i) {
      const CtaFormat* format = FindCtaFormat(svds[i]->vic);
      if (!format) continue;
      const bool y420 = map && map->Has(i);
      consider(svds[i]->vic, y420 ? format->pixelClockKhz / 2 : format->pixelClockKhz);
    }
    for (const CtaDataBlock& block : cta.blocks)
      if (const auto* y420 = std::get_if<CtaY420VideoBlock>(&block.contents))
        for (const CtaSvd& svd : y420->svds)
          if (const CtaFormat* format = FindCtaFormat(svd.vic))
            consider(svd.vic, format->pixelClockKhz / 2);
    for (const HdmiVsdb::HdmiVic& v : hdmi.hdmiVics)
      if (const CtaFormat* format = FindHdmiVicFormat(v.vic))
        consider(CtaVicOfHdmiVic(v.vic), format->pixelClockKhz);
    if (above.empty()) return;
    std::string more;
    if (above.size() > 1) more = FormatEdidText(" (%zu VICs in all)", above.size());
    Warning(FormatEdidText("Block %u: %s needs more than the %u MHz the sink takes (%s)%s.", index,
                           VicText(worstVic).c_str(), limitKhz / 1000,
                           frl ? "its fixed-rate link" : "its max TMDS clock", more.c_str()));
  }

  void ThreeD(const CtaExtension& cta, unsigned index) {
    const HdmiVsdb* hdmi = cta.First<HdmiVsdb>();
    if (!hdmi) return;
    const size_t svds = cta.Svds().size();
    for (const HdmiVsdb::Structure3d& s : hdmi->structures)
      if (s.svdIndex >= svds) {
        Warning(FormatEdidText(
            "Block %u: the HDMI block's 3D list names SVD %u, but the video block holds "
            "%zu.",
            index, s.svdIndex + 1u, svds));
        return;
      }
  }

  const EdidModel& model_;
  std::vector<EdidCheck> checks_;
  int timingNumber_ = 0;
};

}  // namespace

const char* SeverityName(EdidSeverity severity) {
  return severity == EdidSeverity::Error ? "error" : "warning";
}

std::vector<EdidCheck> CheckEdid(const EdidModel& model) {
  return Checker(model).Run();
}

}  // namespace sc
