#include "infoframe/utility_page.h"

namespace sc {

const std::vector<std::string> kPacketListEntries = {"0-ACP_INF",   "1-ISRC1_INF", "2-ISRC2",
                                                     "3-GAMUT_INF", "4-VS_INF",    "5-AVI_INF",
                                                     "6-SPD_INF",   "7-AUDIO_INF", "8-MPEG_INF"};

void UtilityPage::Create() {
  view().SetItems(utility_ids::kPacketList, kPacketListEntries);
  for (int row = 3; row < utility_ids::kGridRows; ++row) {
    view().SetVisible(utility_ids::kGridLabel[row], false);
    view().SetVisible(utility_ids::kGridValue[row], false);
  }
}

void UtilityPage::PrepareHeaderRows() {
  view().SetSelection(utility_ids::kPacketList, 5);
  labels[0] = "InfoFrame Type code";
  values[0].clear();
  labels[1] = "InfoFrame Version";
  values[1].clear();
  labels[2] = "InfoFrame Length";
  values[2].clear();
  Push();
}

void UtilityPage::Exchange(ControlExchange& exchange) {
  for (int row = 0; row < utility_ids::kGridRows; ++row) {
    exchange.Text(utility_ids::kGridLabel[row], labels[row]);
    exchange.Text(utility_ids::kGridValue[row], values[row]);
  }
}

}  // namespace sc
