#pragma once
// The "EDID" tab page (dialog 132).

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "console/command_sender.h"
#include "console/host.h"
#include "console/view.h"

namespace sc {

namespace edid_ids {
inline constexpr int kOpenFile = 1099;
inline constexpr int kSaveToFile = 1098;
inline constexpr int kWriteUserEdid = 1097;
inline constexpr int kReadFromDevice = 1096;
inline constexpr int kHexText = 1101;
inline constexpr int kVideoText = 1102;
inline constexpr int kAudioText = 1103;
inline constexpr int kGeneralText = 1105;
inline constexpr int kSelectionList = 1117;
inline constexpr int kStatusText = 1118;
}  // namespace edid_ids

// The 15 presets of the box, in list order; the index is the preset number.
extern const std::vector<std::string> kEdidPresetNames;

class EdidPage : public CoreWindow {
 public:
  EdidPage(Host& host, CommandSender& sender) : host_(host), sender_(sender) {}

  // Fills the selection list (no entry selected), as the page is created.
  void Create();
  // Reply 0xF850: the box's active preset.
  void OnPresetReport(int8_t preset);

  std::array<uint8_t, 256> image{};
  int EdidSelection = -1;
  std::string videoText, audioText, hexText, generalText, statusText;

 protected:
  void Exchange(ControlExchange& exchange) override;

 private:
  Host& host_;
  CommandSender& sender_;
};

}  // namespace sc
