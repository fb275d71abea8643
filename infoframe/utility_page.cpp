#include "infoframe/utility_page.h"

#include <cstdio>

namespace sc {

namespace {
constexpr uint16_t kReadInfoFrameCommand = 0x8092;
constexpr const char* kHeaderLabels[utility_ids::kHeaderRows] = {
    "InfoFrame Type code", "InfoFrame Version", "InfoFrame Length"};
}  // namespace

const std::vector<std::string> kPacketListEntries = {
    "0-ACP_INF", "1-ISRC1_INF", "2-ISRC2",     "3-GAMUT_INF", "4-VS_INF",
    "5-AVI_INF", "6-SPD_INF",   "7-AUDIO_INF", "8-MPEG_INF",  "9-DRM_INF"};

std::string FormatHexByte(uint8_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value);
  return text;
}

void UtilityPage::Create() {
  view().SetItems(utility_ids::kPacketList, kPacketListEntries);
  for (int row = utility_ids::kHeaderRows; row < utility_ids::kGridRows; ++row) {
    view().SetVisible(utility_ids::kGridLabel[row], false);
    view().SetVisible(utility_ids::kGridValue[row], false);
  }
}

void UtilityPage::PrepareHeaderRows() {
  view().SetSelection(utility_ids::kPacketList, kDefaultPacketEntry);
  for (int row = 0; row < utility_ids::kHeaderRows; ++row) {
    labels[row] = kHeaderLabels[row];
    values[row].clear();
  }
  Push();
}

void UtilityPage::Exchange(ControlExchange& exchange) {
  for (int row = 0; row < utility_ids::kGridRows; ++row) {
    exchange.Text(utility_ids::kGridLabel[row], labels[row]);
    exchange.Text(utility_ids::kGridValue[row], values[row]);
  }
}

void UtilityPage::ReadInfoFrame() {
  // Typed text in the list selects no type: nothing is asked.
  const int index = view().GetSelection(utility_ids::kPacketList);
  if (index < 0 || index >= static_cast<int>(std::size(kPacketTypeCodes))) return;
  lastRequestIndex = index;
  sender_.SendCommandWithData(kReadInfoFrameCommand, 1, &kPacketTypeCodes[index]);
}

InfoFrameGrid LayOutInfoFrameGrid(const uint8_t* payload, size_t size) {
  using namespace utility_ids;
  InfoFrameGrid grid;
  for (int row = 0; row < kHeaderRows; ++row)
    grid[row].label = kHeaderLabels[row];
  grid[kHeaderRows].label = "Check sum  ";
  for (int row = kHeaderRows + 1; row < kGridRows; ++row)
    grid[row].label = "Data Byte " + std::to_string(row - kHeaderRows);

  const bool hasHeader = size >= 3;
  const int length = hasHeader ? payload[2] : 0;
  const bool packet = hasHeader && payload[0] != 0 && payload[1] != 0 && length >= 1 &&
                      length <= kMaxInfoFrameLength;
  // The check sum and the L data bytes.
  const int shownRows = packet ? length + 1 : 0;
  for (int row = 0; row < kHeaderRows; ++row) {
    grid[row].value = packet ? FormatHexByte(payload[row]) : FormatHexByte(0);
    grid[row].shown = true;
  }
  for (int k = 0; k < kByteRows; ++k) {
    InfoFrameGridRow& row = grid[kHeaderRows + k];
    const size_t at = kHeaderRows + static_cast<size_t>(k);
    // Rows the reply did not fill show nothing of an earlier, longer packet.
    row.value = k < shownRows && at < size ? FormatHexByte(payload[at]) : std::string();
    row.shown = k < shownRows;
  }
  return grid;
}

void UtilityPage::ShowInfoFrame(const uint8_t* payload, size_t size,
                                const MeasuredSignal& measured) {
  using namespace utility_ids;
  InfoFramePacket p;
  p.payload.assign(payload, payload + size);
  p.decode = DecodeInfoFrame(p.payload, &measured);
  p.grid = LayOutInfoFrameGrid(payload, size);
  for (int row = 0; row < kGridRows; ++row) {
    labels[row] = p.grid[row].label;
    values[row] = p.grid[row].value;
  }
  for (int k = kHeaderRows; k < kGridRows; ++k) {
    view().SetVisible(kGridLabel[k], p.grid[k].shown);
    view().SetVisible(kGridValue[k], p.grid[k].shown);
  }
  decodedRows = DecodedRows(p.decode);
  checkRows = CheckRows(p.decode);
  packet = std::move(p);
  view().SetItems(kDecodedList, decodedRows);
  view().SetItems(kChecksList, checkRows);
  Push();
  if (onOutcome) onOutcome(Outcome(Operation::kInfoFrameRead));
}

}  // namespace sc
