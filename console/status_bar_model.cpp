#include "console/status_bar_model.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace sc {

namespace {

int ShownPercent(double progress) {
  if (!(progress > 0)) return 0;
  return progress >= 100 ? 100 : static_cast<int>(std::floor(progress));
}

}  // namespace

std::string StatusBarModel::LinkText(const LinkState& state) const {
  if (state.linkUp) return "Link up";
  if (state.searching) return "Searching COM" + std::to_string(state.port) + "...";
  if (state.connecting) return "Connecting...";
  if (deviceGone_) return "Link down: the device went away";
  if (state.portOpen) return "Link down (port open: choose it again to connect)";
  return "Link down";
}

std::string StatusBarModel::CaptureText(const LinkState& state) {
  const int percent = ShownPercent(state.uploadProgress);
  if (state.uploadActive) {
    const char* what = state.lineMode ? "Line analysis" : "Upload image";
    // Before the first data the upload is starting; after it, whole percents (0 % included).
    if (!(state.uploadProgress > 0)) return std::string(what) + ": starting...";
    return std::string(what) + ": " + std::to_string(percent) + " %";
  }
  if (state.lineMode) return "Line analysis: writing the chart...";
  if (state.previewBusy) return "Update image: waiting for the preview...";
  return "";
}

unsigned StatusBarModel::Update(const LinkState& s) {
  const bool first = !known_;
  // The link went down or a search began: whatever was awaited will not come.
  if (!first && ((state_.linkUp && !s.linkUp) || (!state_.searching && s.searching)))
    requests.Reset();
  if (s.linkUp || s.searching) deviceGone_ = false;

  unsigned changed = 0;
  if (first || portsChanged_ || s.port != state_.port) {
    portsChanged_ = false;
    const std::string device = deviceOf ? deviceOf(s.port) : std::string();
    if (Set(port_,
            "COM" + std::to_string(s.port) + "  " + (device.empty() ? "(no device)" : device)))
      changed |= kPortField;
  }
  if (first || s.rate != state_.rate) {
    if (Set(rate_, std::to_string(s.rate) + " baud")) changed |= kRateField;
  }
  // The texts are built only when what they depend on moved: this runs for every batch of
  // received bytes.
  if (first || s.linkUp != state_.linkUp || s.searching != state_.searching ||
      s.connecting != state_.connecting || s.portOpen != state_.portOpen || s.port != state_.port ||
      linkGoneShown_ != deviceGone_) {
    linkGoneShown_ = deviceGone_;
    if (Set(link_, LinkText(s))) changed |= kLinkField;
  }
  // Whole percents, and -1 before the first data.
  const int percent = s.uploadProgress > 0 ? ShownPercent(s.uploadProgress) : -1;
  if (first || requests.version() != requestsVersion_ || s.previewBusy != state_.previewBusy ||
      s.uploadActive != state_.uploadActive || s.lineMode != state_.lineMode ||
      percent != progressShown_) {
    requestsVersion_ = requests.version();
    progressShown_ = percent;
    std::string text = CaptureText(s);
    if (text.empty()) text = requests.Text();
    if (Set(activity_, std::move(text))) changed |= kActivityField;
  }
  state_ = s;
  known_ = true;
  Notify(changed);
  return changed;
}

void StatusBarModel::Answered(DeviceAddress from) {
  const auto now = wallClock ? wallClock() : WallClock::now();
  const int64_t second = std::chrono::floor<std::chrono::seconds>(now.time_since_epoch()).count();
  if (answered_ && from == lastFrom_ && second == lastSecond_) return;
  answered_ = true;
  lastFrom_ = from;
  lastSecond_ = second;
  const std::time_t whole = static_cast<std::time_t>(second);
  std::tm local{};
  localtime_r(&whole, &local);
  char text[64];
  std::snprintf(text, sizeof text, "Last answer: box %02X%02X at %02d:%02d:%02d", from.group,
                from.device, local.tm_hour, local.tm_min, local.tm_sec);
  if (Set(last_, text)) Notify(kLastAnswerField);
}

void StatusBarModel::SetFilesFolder(const std::string& folder) {
  if (Set(files_, "Files go to " + (folder.empty() ? std::string("the current folder") : folder)))
    Notify(kFilesField);
}

}  // namespace sc
