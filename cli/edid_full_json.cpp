#include "cli/edid_full_json.h"

#include <nlohmann/json.hpp>

#include "edid/edid_full_text.h"
#include "edid/edid_names.h"

namespace sc {

namespace {

using nlohmann::json;

// Bytes from a file as JSON text: each byte the code point of the same value, so any
// byte survives and the output stays valid UTF-8.
std::string Latin1ToUtf8(const std::string& bytes) {
  std::string text;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      text += c;
    } else {
      text += static_cast<char>(0xC0 | b >> 6);
      text += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return text;
}

json Vics(const std::vector<CtaSvd>& svds, json& list) {
  for (const CtaSvd& svd : svds)
    if (!svd.reserved()) list.push_back({{"vic", svd.vic}, {"native", svd.native}});
  return list;
}

json Audio(const CtaSad& sad) {
  json entry = {
      {"format", AudioFormatName(sad)}, {"format_code", sad.format}, {"channels", sad.channels}};
  json rates = json::array();
  for (size_t bit = 0; bit < SampleRatesKhz().size(); ++bit)
    if (sad.rates >> bit & 1) rates.push_back(SampleRatesKhz()[bit]);
  entry["rates_khz"] = rates;
  // LPCM, and the L-PCM 3D Audio of the extended types.
  if (sad.format == 1 || (sad.format == 15 && sad.extendedType == 13)) {
    json sizes = json::array();
    for (size_t bit = 0; bit < SampleSizesBits().size(); ++bit)
      if (sad.sizes >> bit & 1) sizes.push_back(SampleSizesBits()[bit]);
    entry["sizes_bits"] = sizes;
  } else if (sad.format >= 2 && sad.format <= 8) {
    entry["max_bitrate_kbps"] = sad.maxBitrateKbps;
  }
  return entry;
}

json Cta(const EdidBlock& block) {
  const CtaExtension& cta = *block.cta;
  json out = {{"block", block.index}, {"revision", cta.revision}};
  json vics = json::array(), audio = json::array(), speakers = json::array();
  json eotfs = json::array(), y420 = json::array();
  json physicalAddress = nullptr, maxTmds = nullptr, maxRate = nullptr;
  bool haveSpeakers = false, haveHdmi = false, haveForum = false, haveHdr = false;
  for (const CtaDataBlock& b : cta.blocks) {
    if (const auto* video = std::get_if<CtaVideoBlock>(&b.contents)) {
      Vics(video->svds, vics);
    } else if (const auto* a = std::get_if<CtaAudioBlock>(&b.contents)) {
      for (const CtaSad& sad : a->sads)
        audio.push_back(Audio(sad));
    } else if (const auto* s = std::get_if<CtaSpeakerBlock>(&b.contents); s && !haveSpeakers) {
      haveSpeakers = true;
      for (size_t bit = 0; bit < SpeakerNames().size(); ++bit)
        if (s->mask >> bit & 1) speakers.push_back(SpeakerNames()[bit].shortName);
    } else if (const auto* h = std::get_if<HdmiVsdb>(&b.contents); h && !haveHdmi) {
      haveHdmi = true;
      if (h->physicalAddress) physicalAddress = PhysicalAddressText(*h->physicalAddress);
      if (h->maxTmdsMhz) maxTmds = *h->maxTmdsMhz;
    } else if (const auto* f = std::get_if<HdmiForumVsdb>(&b.contents); f && !haveForum) {
      haveForum = true;
      if (f->maxTmdsCharacterRateMhz) maxRate = f->maxTmdsCharacterRateMhz;
    } else if (const auto* hdr = std::get_if<CtaHdrStaticBlock>(&b.contents); hdr && !haveHdr) {
      haveHdr = true;
      for (const FlagName& flag : HdrEotfShortNames())
        if (hdr->eotfs & flag.mask) eotfs.push_back(flag.name);
    } else if (const auto* y = std::get_if<CtaY420VideoBlock>(&b.contents)) {
      for (const CtaSvd& svd : y->svds)
        if (!svd.reserved()) y420.push_back(svd.vic);
    }
  }
  out["vics"] = vics;
  out["audio"] = audio;
  out["speakers"] = speakers;
  out["physical_address"] = physicalAddress;
  out["max_tmds_mhz"] = maxTmds;
  out["max_tmds_character_rate_mhz"] = maxRate;
  out["hdr_eotfs"] = eotfs;
  out["ycbcr420_vics"] = y420;
  return out;
}

json Spans(const EdidModel& model, const std::vector<EdidSpan>& spans) {
  json list = json::array();
  for (const EdidSpan& span : spans)
    list.push_back({{"block", span.block},
                    {"offset", span.offset},
                    {"bytes", EdidHexList(model.Bytes(span))}});
  return list;
}

}  // namespace

std::string FormatEdidFullJson(const std::string& file, const EdidModel& model,
                               const std::vector<EdidCheck>& checks) {
  json out = {{"file", Latin1ToUtf8(file)}, {"blocks", model.wholeBlocks}};
  const bool base = model.wholeBlocks > 0;
  const EdidBaseBlock& b = model.base;
  out["extension_count"] = base ? json(b.extensionCount) : json(nullptr);
  out["version"] =
      base ? json(std::to_string(b.version) + "." + std::to_string(b.revision)) : json(nullptr);
  out["manufacturer"] = base ? json(b.manufacturer) : json(nullptr);
  out["product"] = base ? json(b.product) : json(nullptr);
  out["serial"] = base ? json(b.serial) : json(nullptr);
  const std::string* name = model.MonitorName();
  out["name"] = name ? json(Latin1ToUtf8(*name)) : json(nullptr);
  json timings = json::array();
  for (const EdidDetailedTiming* t : model.DetailedTimings())
    timings.push_back({{"pixel_clock_khz", t->pixelClockKhz},
                       {"h_active", t->hActive},
                       {"v_active", t->frameHeight()},
                       {"interlaced", t->interlaced}});
  out["detailed_timings"] = timings;
  json ctas = json::array();
  for (const EdidBlock& block : model.blocks)
    if (block.cta) ctas.push_back(Cta(block));
  out["cta"] = ctas;
  json list = json::array();
  for (const EdidCheck& check : checks)
    list.push_back({{"severity", SeverityName(check.severity)}, {"text", check.text}});
  out["checks"] = list;
  return out.dump() + "\n";
}

std::string FormatEdidComparisonJson(const std::string& fileA, const std::string& fileB,
                                     const EdidModel& a, const EdidModel& b,
                                     const EdidComparison& comparison) {
  json differences = json::array();
  for (const EdidDifference& d : comparison.differences)
    differences.push_back(
        {{"area", d.area}, {"text", d.text}, {"a", Spans(a, d.inA)}, {"b", Spans(b, d.inB)}});
  const json out = {{"a", Latin1ToUtf8(fileA)},
                    {"b", Latin1ToUtf8(fileB)},
                    {"equal", comparison.equal()},
                    {"differences", differences}};
  return out.dump() + "\n";
}

}  // namespace sc
