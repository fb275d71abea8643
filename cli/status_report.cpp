#include "cli/status_report.h"

#include <cmath>

#include "cli/text_output.h"
#include "console/console_dialog.h"
#include "edid/edid_page.h"
#include "timing/timing_page.h"

namespace sc {

namespace {

std::optional<std::string> RadioText(int index, const char* first, const char* second) {
  if (index == 0) return first;
  if (index == 1) return second;
  return std::nullopt;
}

Json JsonGroup(const std::vector<StatusField>& fields) {
  Json group = Json::object();
  for (const StatusField& f : fields) {
    if (!f.value)
      group[f.key] = nullptr;
    else
      group[f.key] = f.number ? JsonNumber(*f.value) : JsonText(*f.value);
  }
  return group;
}

void AppendTextGroup(std::string& out, const char* title, const std::vector<StatusField>& fields) {
  out += "\n";
  out += title;
  out += "\n";
  for (const StatusField& f : fields) {
    std::string caption = f.caption;
    if (caption.size() < 14) caption.resize(14, ' ');
    std::string value = f.value ? PrintableLine(*f.value) : "";
    if (f.value && !f.unit.empty()) value += " " + f.unit;
    out += "  " + caption + value;
    while (!out.empty() && out.back() == ' ')
      out.pop_back();
    out += "\n";
  }
}

}  // namespace

StatusReport MakeStatusReport(const StatusRecords& r) {
  StatusReport report;
  std::optional<std::string> input;
  if (r.inputIsSdi) input = *r.inputIsSdi ? "SDI" : "HDMI";
  const int preset = r.edidPreset;
  std::optional<std::string> edid;
  if (preset >= 0 && preset < kPresetCount) edid = kEdidPresetNames[static_cast<size_t>(preset)];
  report.frontPanel = {
      {"input", "Input:", input, false, ""},
      {"hpd", "HPD:", RadioText(r.hpdChoice, "ON", "OFF"), false, ""},
      {"volume", "Volume:",
       r.volumePercent ? std::optional<std::string>(std::to_string(*r.volumePercent))
                       : std::nullopt,
       true, "%"},
      {"edid", "EDID:", edid, false, ""},
  };
  // The panel's rows in the order the window shows them.
  const StatusPanel& p = r.panel;
  const std::pair<const char*, const char*> keys[] = {{"hdcp", "HDCP:"},
                                                      {"signal", "Signal:"},
                                                      {"timing", "Timing:"},
                                                      {"color_space", "Color Space:"},
                                                      {"color_depth", "Color Depth:"},
                                                      {"structure", "2D/3D:"},
                                                      {"sample_rate", "Sample rate:"},
                                                      {"audio_bit", "Audio bit:"},
                                                      {"audio_type", "Audio Type:"},
                                                      {"channels", "Channels:"}};
  const std::string* texts[] = {&p.hdcp,       &p.signal,    &p.timing,     &p.colorSpace,
                                &p.colorDepth, &p.structure, &p.sampleRate, &p.audioBit,
                                &p.audioType,  &p.channels};
  for (size_t i = 0; i < std::size(keys); ++i)
    report.panel.push_back({keys[i].first, keys[i].second, *texts[i], false, ""});

  // The Timing page's fields: rates, then the horizontal and the vertical column.
  const TimingFields& t = r.timing;
  const struct {
    const char* key;
    const char* caption;
    double value;
    bool floating;
    const char* unit;
  } rows[] = {
      {"video_clk_mhz", "Video clk:", t.pixelClock, true, "MHz"},
      {"h_freq_khz", "H freq:", t.hFreq, true, "KHz"},
      {"v_freq_hz", "V freq:", t.vFreq, true, "Hz"},
      {"h_active", "H active:", static_cast<double>(t.hActive), false, ""},
      {"h_total", "H total:", static_cast<double>(t.hTotal), false, ""},
      {"h_blank", "H blank:", static_cast<double>(t.hBlank), false, ""},
      {"hs_width", "Hs width:", static_cast<double>(t.hSyncWidth), false, ""},
      {"hs_offset", "Hs offset:", static_cast<double>(t.hSyncOffset), false, ""},
      {"v_active", "V active:", static_cast<double>(t.vActive), false, ""},
      {"v_total", "V total:", static_cast<double>(t.vTotal), false, ""},
      {"v_blank", "V blank:", static_cast<double>(t.vBlank), false, ""},
      {"vs_width", "Vs width:", static_cast<double>(t.vSyncWidth), false, ""},
      {"vs_offset", "Vs offset:", static_cast<double>(t.vSyncOffset), false, ""},
  };
  for (const auto& row : rows) {
    std::optional<std::string> value =
        row.floating ? FormatFloat(row.value) : std::to_string(static_cast<long long>(row.value));
    if (row.floating && !std::isfinite(row.value)) value.reset();  // JSON has no NaN
    report.timing.push_back({row.key, row.caption, value, true, row.unit});
  }
  report.timing.push_back({"hsync", "Hsync:", RadioText(t.hSyncPolarity, "+", "-"), false, ""});
  report.timing.push_back({"vsync", "Vsync:", RadioText(t.vSyncPolarity, "+", "-"), false, ""});
  report.timing.push_back(
      {"scan", "Scan type:", RadioText(t.scanType, "Progressive", "Interlace"), false, ""});
  return report;
}

StatusReport ReadStatusReport(const ConsoleDialog& d) {
  StatusRecords r;
  r.inputIsSdi = d.shownInputIsSdi();
  r.hpdChoice = d.hpdChoice;
  r.volumePercent = d.volumePercent;
  r.edidPreset = d.edidPage.activePreset;
  r.panel = d.statusPanel;
  const TimingPage& t = d.timingPage;
  r.timing = {.pixelClock = t.pixelClock,
              .hFreq = t.hFreq,
              .vFreq = t.vFreq,
              .hActive = t.hActive,
              .vActive = t.vActive,
              .hTotal = t.hTotal,
              .vTotal = t.vTotal,
              .hBlank = t.hBlank,
              .vBlank = t.vBlank,
              .vSyncWidth = t.vSyncWidth,
              .hSyncWidth = t.hSyncWidth,
              .hSyncOffset = t.hSyncOffset,
              .vSyncOffset = t.vSyncOffset,
              .hSyncPolarity = t.hSyncPolarity,
              .vSyncPolarity = t.vSyncPolarity,
              .scanType = t.scanType};
  return MakeStatusReport(r);
}

std::string FormatStatusText(const StatusReport& report) {
  std::string out = "Port:           " + report.port;
  if (!report.device.empty()) out += " (" + PrintableLine(report.device) + ")";
  out += "\nBox:            " + report.address + "\n";
  AppendTextGroup(out, "Front panel", report.frontPanel);
  AppendTextGroup(out, "Received Signal info", report.panel);
  AppendTextGroup(out, "Timing", report.timing);
  return out;
}

Json StatusJson(const StatusReport& report) {
  Json object;
  object["port"] = JsonText(report.port);
  object["device"] = JsonText(report.device);
  object["address"] = JsonText(report.address);
  object["front_panel"] = JsonGroup(report.frontPanel);
  object["panel"] = JsonGroup(report.panel);
  object["timing"] = JsonGroup(report.timing);
  return object;
}

std::string FormatStatusJson(const StatusReport& report) {
  return JsonLine(StatusJson(report));
}

}  // namespace sc
