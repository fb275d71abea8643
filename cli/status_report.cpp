#include "cli/status_report.h"

#include <cmath>

#include "cli/text_output.h"
#include "console/control_ids.h"
#include "edid/edid_page.h"
#include "timing/timing_page.h"

namespace sc {

namespace {

struct TextRow {
  const char* key;
  const char* caption;
  int id;
};

// The panel's rows in the order the window shows them.
constexpr TextRow kPanelRows[] = {
    {"hdcp", "HDCP:", ids::kHdcpText},
    {"signal", "Signal:", ids::kSignalText},
    {"timing", "Timing:", ids::kTimingText},
    {"color_space", "Color Space:", ids::kColorSpaceText},
    {"color_depth", "Color Depth:", ids::kColorDepthText},
    {"structure", "2D/3D:", ids::kStructureText},
    {"sample_rate", "Sample rate:", ids::kSampleRateText},
    {"audio_bit", "Audio bit:", ids::kAudioBitText},
    {"audio_type", "Audio Type:", ids::kAudioTypeText},
    {"channels", "Channels:", ids::kChannelsText},
};

struct NumberRow {
  const char* key;
  const char* caption;
  int id;
  bool floating;
  const char* unit;
};

// The Timing page's fields: rates, then the horizontal and the vertical column.
constexpr NumberRow kTimingRows[] = {
    {"video_clk_mhz", "Video clk:", timing_ids::kPixelClock, true, "MHz"},
    {"h_freq_khz", "H freq:", timing_ids::kHFreq, true, "KHz"},
    {"v_freq_hz", "V freq:", timing_ids::kVFreq, true, "Hz"},
    {"h_active", "H active:", timing_ids::kHActive, false, ""},
    {"h_total", "H total:", timing_ids::kHTotal, false, ""},
    {"h_blank", "H blank:", timing_ids::kHBlank, false, ""},
    {"hs_width", "Hs width:", timing_ids::kHSyncWidth, false, ""},
    {"hs_offset", "Hs offset:", timing_ids::kHSyncOffset, false, ""},
    {"v_active", "V active:", timing_ids::kVActive, false, ""},
    {"v_total", "V total:", timing_ids::kVTotal, false, ""},
    {"v_blank", "V blank:", timing_ids::kVBlank, false, ""},
    {"vs_width", "Vs width:", timing_ids::kVSyncWidth, false, ""},
    {"vs_offset", "Vs offset:", timing_ids::kVSyncOffset, false, ""},
};

std::optional<std::string> RadioText(int index, const char* first, const char* second) {
  if (index == 0) return first;
  if (index == 1) return second;
  return std::nullopt;
}

void AppendJsonGroup(std::string& out, const char* name, const std::vector<StatusField>& fields) {
  out += ",";
  out += JsonString(name);
  out += ":{";
  for (size_t i = 0; i < fields.size(); ++i) {
    const StatusField& f = fields[i];
    if (i) out += ",";
    out += JsonString(f.key) + ":";
    if (!f.value)
      out += "null";
    else if (f.number)
      out += *f.value;
    else
      out += JsonString(*f.value);
  }
  out += "}";
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

StatusReport ReadStatusReport(const MemoryView& mainView, const View& timingView,
                              const View& edidView) {
  StatusReport report;
  std::optional<std::string> input;
  if (mainView.Icon(ids::kSdiIcon) == ids::kIconLampLit)
    input = "SDI";
  else if (mainView.Icon(ids::kHdmiIcon) == ids::kIconLampLit)
    input = "HDMI";
  const int preset = edidView.GetSelection(edid_ids::kSelectionList);
  std::optional<std::string> edid;
  if (preset >= 0 && preset < kPresetCount) edid = kEdidPresetNames[static_cast<size_t>(preset)];
  report.frontPanel = {
      {"input", "Input:", input, false, ""},
      {"hpd", "HPD:", RadioText(mainView.GetRadio(ids::kHpdOn), "ON", "OFF"), false, ""},
      {"volume", "Volume:", std::to_string(mainView.GetInt(ids::kVolumeBox)), true, "%"},
      {"edid", "EDID:", edid, false, ""},
  };
  for (const TextRow& row : kPanelRows)
    report.panel.push_back({row.key, row.caption, mainView.GetText(row.id), false, ""});
  for (const NumberRow& row : kTimingRows) {
    const double number = timingView.GetFloat(row.id);
    std::optional<std::string> value =
        row.floating ? FormatFloat(number) : std::to_string(timingView.GetInt(row.id));
    if (row.floating && !std::isfinite(number)) value.reset();  // JSON has no NaN
    report.timing.push_back({row.key, row.caption, value, true, row.unit});
  }
  report.timing.push_back(
      {"hsync", "Hsync:", RadioText(timingView.GetRadio(timing_ids::kHSyncPlus), "+", "-"), false,
       ""});
  report.timing.push_back(
      {"vsync", "Vsync:", RadioText(timingView.GetRadio(timing_ids::kVSyncPlus), "+", "-"), false,
       ""});
  report.timing.push_back(
      {"scan", "Scan type:",
       RadioText(timingView.GetRadio(timing_ids::kScanType), "Progressive", "Interlace"), false,
       ""});
  return report;
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

std::string FormatStatusJson(const StatusReport& report) {
  std::string out = "{\"port\":" + JsonString(report.port);
  out += ",\"device\":" + JsonString(report.device);
  out += ",\"address\":" + JsonString(report.address);
  AppendJsonGroup(out, "front_panel", report.frontPanel);
  AppendJsonGroup(out, "panel", report.panel);
  AppendJsonGroup(out, "timing", report.timing);
  out += "}\n";
  return out;
}

}  // namespace sc
