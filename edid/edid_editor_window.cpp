#include "edid/edid_editor_window.h"

#include <charconv>
#include <cstdio>

#include "edid/edid_inspector.h"
#include "edid/edid_names.h"
#include "video/cta_formats.h"

namespace sc {

namespace ids = edid_editor_ids;

namespace {

std::optional<uint64_t> Number(const std::string& text, uint64_t max) {
  std::string_view t = text;
  while (!t.empty() && t.front() == ' ')
    t.remove_prefix(1);
  while (!t.empty() && t.back() == ' ')
    t.remove_suffix(1);
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(t.data(), t.data() + t.size(), value);
  if (t.empty() || error != std::errc() || end != t.data() + t.size() || value > max)
    return std::nullopt;
  return value;
}

std::string MhzText(double mhz) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", mhz);
  return text;
}

std::string TimingRow(size_t index, const EdidDetailedTiming& t) {
  char text[128];
  std::snprintf(text, sizeof text, "%zu: %ux%u%s %.2f Hz, %s MHz%s", index + 1, unsigned{t.hActive},
                t.frameHeight(), t.interlaced ? "i" : "p", t.refreshHz(),
                MhzText(t.pixelClockKhz / 1000.0).c_str(), index == 0 ? " (preferred)" : "");
  return text;
}

std::string VicRow(const CtaSvd& svd) {
  const CtaFormat* format = FindCtaFormat(svd.vic);
  return "VIC " + std::to_string(svd.vic) + ": " +
         (format ? FormatName(*format) : std::string("not in the CTA-861 table")) +
         (svd.native ? " (native)" : "");
}

std::string AudioRow(const CtaSad& sad) {
  std::string row = AudioFormatName(sad) + ", " + std::to_string(sad.channels) + " channels, " +
                    SampleRatesText(sad.rates) + " kHz";
  if (sad.format == 1) {
    std::string sizes;
    const auto bits = SampleSizesBits();
    for (size_t i = 0; i < bits.size(); ++i)
      if (sad.sizes >> i & 1) sizes += (sizes.empty() ? "" : " ") + std::to_string(bits[i]);
    row += ", " + sizes + " bits";
  } else if (sad.maxBitrateKbps) {
    row += ", up to " + std::to_string(sad.maxBitrateKbps) + " kbit/s";
  }
  return row;
}

}  // namespace

EdidEditResult EdidEditorWindow::Open(std::span<const uint8_t> bytes) {
  EdidEditor editor;
  const EdidEditResult loaded = editor.Load(bytes);
  if (!loaded) return loaded;
  editor_ = std::move(editor);
  view().SetText(ids::kResult, "");
  Show();
  return {};
}

void EdidEditorWindow::Edit(const EdidEdit& edit) {
  const EdidEditResult result = editor_.Apply(edit);
  if (!result) return Refused(DescribeEdit(edit), result.message);
  view().SetText(ids::kResult,
                 DescribeEdit(edit) + (result.message.empty() ? ": done." : ": " + result.message));
  Show();
}

void EdidEditorWindow::Refused(const std::string& what, const std::string& why) {
  view().SetText(ids::kResult, what + ": refused. " + why);
}

void EdidEditorWindow::Refresh() {
  View& v = view();
  const EdidModel& model = editor_.model();
  const EdidBaseBlock& base = model.base;
  const std::string* name = model.MonitorName();
  v.SetText(ids::kName, name ? *name : "");
  v.SetText(ids::kManufacturer, base.manufacturer);
  v.SetText(ids::kProduct, std::to_string(base.product));
  v.SetText(ids::kSerial, std::to_string(base.serial));

  std::vector<std::string> rows;
  const auto timings = model.DetailedTimings();
  for (size_t i = 0; i < timings.size(); ++i)
    rows.push_back(TimingRow(i, *timings[i]));
  v.SetItems(ids::kTimingList, rows);

  rows.clear();
  vics_.clear();
  audioFormats_.clear();
  bool y444 = false, y422 = false;
  uint32_t speakers = 0;
  std::string address, tmds, forum, eotfs;
  for (const CtaExtension* cta : model.CtaExtensions()) {
    y444 = y444 || cta->ycbcr444();
    y422 = y422 || cta->ycbcr422();
    for (const CtaSvd* svd : cta->Svds()) {
      rows.push_back(VicRow(*svd));
      vics_.push_back(svd->vic);
    }
    if (const auto* s = cta->First<CtaSpeakerBlock>(); s && !speakers) speakers = s->mask;
    if (const auto* h = cta->First<HdmiVsdb>(); h && address.empty()) {
      if (h->physicalAddress) {
        const auto& a = *h->physicalAddress;
        char text[16];
        std::snprintf(text, sizeof text, "%X.%X.%X.%X", unsigned{a[0]}, unsigned{a[1]},
                      unsigned{a[2]}, unsigned{a[3]});
        address = text;
      }
      if (h->maxTmdsMhz) tmds = std::to_string(*h->maxTmdsMhz);
    }
    if (const auto* f = cta->First<HdmiForumVsdb>(); f && forum.empty())
      forum = std::to_string(f->maxTmdsCharacterRateMhz);
    if (const auto* hdr = cta->First<CtaHdrStaticBlock>(); hdr && eotfs.empty())
      eotfs = EotfsText(hdr->eotfs & 0x0F);
  }
  v.SetItems(ids::kVicList, rows);
  v.SetInt(ids::kYcbcr444, y444);
  v.SetInt(ids::kYcbcr422, y422);

  rows.clear();
  for (const CtaExtension* cta : model.CtaExtensions())
    for (const CtaDataBlock& block : cta->blocks)
      if (const auto* audio = std::get_if<CtaAudioBlock>(&block.contents))
        for (const CtaSad& sad : audio->sads) {
          rows.push_back(AudioRow(sad));
          audioFormats_.push_back(sad.format);
        }
  v.SetItems(ids::kAudioList, rows);
  v.SetText(ids::kSpeakers, SpeakersText(speakers));
  v.SetText(ids::kPhysicalAddress, address);
  v.SetText(ids::kMaxTmds, tmds);
  v.SetText(ids::kForumRate, forum);
  v.SetText(ids::kEotfs, eotfs);

  const EdidComparison changes = editor_.Changes();
  v.SetText(ids::kChangesSummary,
            changes.equal()
                ? "No changes"
                : std::to_string(changes.differences.size()) +
                      (changes.differences.size() == 1 ? " difference" : " differences") +
                      " from the original");
  rows.clear();
  for (const EdidDifference& d : changes.differences)
    rows.push_back(DifferenceRow(editor_.originalModel(), model, d));
  v.SetItems(ids::kChangeList, rows);
  rows.clear();
  for (const EdidCheck& check : editor_.NewChecks())
    rows.push_back(std::string(SeverityName(check.severity)) + ": " + check.text);
  if (rows.empty()) rows.push_back("None");
  v.SetItems(ids::kFaultList, rows);
  v.SetEnabled(ids::kApply, editor_.changed());
  v.SetEnabled(ids::kRevert, editor_.changed());
}

void EdidEditorWindow::SetIdentity() {
  View& v = view();
  const EdidModel& model = editor_.model();
  // Only the fields whose box differs from the image are edited.
  const std::string* name = model.MonitorName();
  std::vector<EdidEdit> edits;
  if (v.GetText(ids::kName) != (name ? *name : ""))
    edits.push_back(edid_edit::MonitorName{v.GetText(ids::kName)});
  if (v.GetText(ids::kManufacturer) != model.base.manufacturer)
    edits.push_back(edid_edit::Manufacturer{v.GetText(ids::kManufacturer)});
  const auto product = Number(v.GetText(ids::kProduct), 0xFFFF);
  if (!product) return Refused("Product code", "A product code is a number 0 to 65535.");
  if (*product != model.base.product)
    edits.push_back(edid_edit::Product{static_cast<uint16_t>(*product)});
  const auto serial = Number(v.GetText(ids::kSerial), 0xFFFFFFFF);
  if (!serial) return Refused("Serial number", "A serial number is a number 0 to 4294967295.");
  if (*serial != model.base.serial)
    edits.push_back(edid_edit::Serial{static_cast<uint32_t>(*serial)});
  // All of them or none.
  EdidEditor trial = editor_;
  for (const EdidEdit& edit : edits)
    if (const EdidEditResult r = trial.Apply(edit); !r)
      return Refused(DescribeEdit(edit), r.message);
  for (const EdidEdit& edit : edits)
    editor_.Apply(edit);
  view().SetText(ids::kResult, edits.empty() ? "Identity: nothing to change." : "Identity: done.");
  Show();
}

void EdidEditorWindow::MakePreferred() {
  const int row = view().GetSelection(ids::kTimingList);
  if (row < 0) return Refused("Make preferred", "Choose a detailed timing first.");
  Edit(edid_edit::PreferredTiming{static_cast<size_t>(row)});
}

void EdidEditorWindow::SetPreferredVic() {
  const auto vic = Number(view().GetText(ids::kPreferredVic), 255);
  if (!vic) return Refused("Preferred VIC", "A VIC is a number 1 to 255.");
  Edit(edid_edit::PreferredVic{static_cast<int>(*vic)});
}

void EdidEditorWindow::RemoveVic() {
  const int row = view().GetSelection(ids::kVicList);
  if (row < 0 || static_cast<size_t>(row) >= vics_.size())
    return Refused("Remove VIC", "Choose a VIC first.");
  Edit(edid_edit::RemoveVic{vics_[static_cast<size_t>(row)]});
}

void EdidEditorWindow::MarkNative() {
  const int row = view().GetSelection(ids::kVicList);
  if (row < 0 || static_cast<size_t>(row) >= vics_.size())
    return Refused("Mark native", "Choose a VIC first.");
  Edit(edid_edit::MarkNative{vics_[static_cast<size_t>(row)]});
}

void EdidEditorWindow::AddVic() {
  const auto vic = Number(view().GetText(ids::kNewVic), 255);
  if (!vic) return Refused("Add VIC", "A VIC is a number 1 to 255.");
  Edit(edid_edit::AddVic{static_cast<int>(*vic), false});
}

void EdidEditorWindow::KeepUpTo() {
  const std::string text = view().GetText(ids::kMaxClock);
  double mhz = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), mhz);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || !(mhz > 0) ||
      mhz > 100000)
    return Refused("Keep VICs up to", "The clock is a number of MHz above 0.");
  Edit(edid_edit::MaxClock{static_cast<uint32_t>(mhz * 1000 + 0.5)});
}

void EdidEditorWindow::SetYcbcr() {
  Edit(edid_edit::Ycbcr{view().GetInt(ids::kYcbcr444) != 0, view().GetInt(ids::kYcbcr422) != 0});
}

void EdidEditorWindow::RemoveAudio() {
  const int row = view().GetSelection(ids::kAudioList);
  if (row < 0 || static_cast<size_t>(row) >= audioFormats_.size())
    return Refused("Remove format", "Choose an audio format first.");
  Edit(edid_edit::RemoveAudio{audioFormats_[static_cast<size_t>(row)]});
}

void EdidEditorWindow::SetLpcm() {
  const auto channels = Number(view().GetText(ids::kLpcmChannels), 8);
  if (!channels || *channels == 0) return Refused("LPCM", "Channels are 1 to 8.");
  const auto rates = ParseSampleRates(view().GetText(ids::kLpcmRates));
  if (!rates || !*rates)
    return Refused("LPCM",
                   "Rates are kHz among 32, 44.1, 48, 88.2, 96, 176.4, 192, comma-separated.");
  const auto sizes = ParseSampleSizes(view().GetText(ids::kLpcmSizes));
  if (!sizes || !*sizes)
    return Refused("LPCM", "Sizes are bits among 16, 20, 24, comma-separated.");
  Edit(edid_edit::SetAudio{1, static_cast<uint8_t>(*channels), *rates, *sizes});
}

void EdidEditorWindow::SetSpeakers() {
  const auto mask = ParseSpeakers(view().GetText(ids::kSpeakers));
  if (!mask)
    return Refused("Speakers", "Speakers are names such as FL/FR,LFE1,FC, comma-separated.");
  Edit(edid_edit::Speakers{*mask});
}

void EdidEditorWindow::SetPhysicalAddress() {
  const auto address = ParsePhysicalAddress(view().GetText(ids::kPhysicalAddress));
  if (!address)
    return Refused("Physical address", "A physical address is four hex digits A.B.C.D.");
  Edit(edid_edit::PhysicalAddress{*address});
}

void EdidEditorWindow::SetMaxTmds() {
  const auto mhz = Number(view().GetText(ids::kMaxTmds), 100000);
  if (!mhz) return Refused("Max TMDS clock", "The clock is a number of MHz.");
  Edit(edid_edit::MaxTmds{static_cast<unsigned>(*mhz)});
}

void EdidEditorWindow::SetForumRate() {
  const auto mhz = Number(view().GetText(ids::kForumRate), 100000);
  if (!mhz) return Refused("Max TMDS character rate", "The rate is a number of MHz.");
  Edit(edid_edit::HdmiForumMaxRate{static_cast<unsigned>(*mhz)});
}

void EdidEditorWindow::RemoveForum() {
  Edit(edid_edit::RemoveHdmiForum{});
}

void EdidEditorWindow::SetEotfs() {
  const auto eotfs = ParseEotfs(view().GetText(ids::kEotfs));
  if (!eotfs) return Refused("EOTFs", "EOTFs are SDR, HDR, PQ and HLG, comma-separated.");
  Edit(edid_edit::HdrEotfs{*eotfs});
}

void EdidEditorWindow::RemoveHdr() {
  Edit(edid_edit::RemoveHdr{});
}

void EdidEditorWindow::Revert() {
  editor_.Revert();
  view().SetText(ids::kResult, "Back to the original.");
  Show();
}

bool EdidEditorWindow::Apply() {
  if (!editor_.changed()) return false;
  if (onApply) onApply(editor_.bytes(), editor_.NewChecks());
  return true;
}

}  // namespace sc
