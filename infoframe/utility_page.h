#pragma once
// The "Ultilities" tab page (dialog 174): reads one InfoFrame or data-island packet of a
// chosen type from the box and shows its header and bytes as a grid of labelled values.

#include <array>
#include <string>
#include <vector>

#include "window/view.h"

namespace sc {

namespace utility_ids {
inline constexpr int kPacketList = 1132;
inline constexpr int kGridRows = 33;
// Label and value control of each grid row, row 1 first.
inline constexpr int kGridLabel[kGridRows] = {1110, 1112, 1114, 1116, 1118, 1120, 1122, 1124, 1126,
                                              1128, 1131, 1134, 1136, 1138, 1140, 1142, 1144, 1146,
                                              1148, 1150, 1152, 1154, 1156, 1158, 1160, 1162, 1164,
                                              1166, 1168, 1170, 1172, 1174, 1176};
inline constexpr int kGridValue[kGridRows] = {1111, 1113, 1115, 1117, 1119, 1121, 1123, 1125, 1127,
                                              1130, 1133, 1135, 1137, 1139, 1141, 1143, 1145, 1147,
                                              1149, 1151, 1153, 1155, 1157, 1159, 1161, 1163, 1165,
                                              1167, 1169, 1171, 1173, 1175, 1177};
}  // namespace utility_ids

// The packet types in list order.
extern const std::vector<std::string> kPacketListEntries;

class UtilityPage : public CoreWindow {
 public:
  std::array<std::string, utility_ids::kGridRows> labels;
  std::array<std::string, utility_ids::kGridRows> values;
  int lastRequestIndex = 0;

  // Fills the packet list and hides the 30 byte rows, as the page is created.
  void Create();
  // The main window's start-up: item 5 selected, the header rows' texts set and pushed.
  void PrepareHeaderRows();

 protected:
  void Exchange(ControlExchange& exchange) override;
};

}  // namespace sc
