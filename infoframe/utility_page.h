#pragma once
// The "Ultilities" tab page (dialog 174): reads one InfoFrame or data-island packet of a
// chosen type from the box and shows its header and bytes as a grid of labelled values,
// and beside the grid the packet decoded field by field ("Decoded") and what the checks
// found ("Checks"). The page keeps the last packet as the box sent it, with its decode;
// every text it shows comes from that.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "infoframe/infoframe_decoder.h"
#include "window/command_sender.h"
#include "window/outcome.h"
#include "window/view.h"

namespace sc {

namespace utility_ids {
inline constexpr int kPacketList = 1132;
inline constexpr int kReadInfoFrame = 1129;
// Three header rows, then the check sum and data bytes 1 to 30: a packet of length 30
// shows all its bytes. The last row ("Data Byte 30") has ids 1180 and 1181.
inline constexpr int kGridRows = 34;
inline constexpr int kHeaderRows = 3;
inline constexpr int kByteRows = kGridRows - kHeaderRows;
// Label and value control of each grid row, row 1 first.
inline constexpr int kGridLabel[kGridRows] = {1110, 1112, 1114, 1116, 1118, 1120, 1122, 1124, 1126,
                                              1128, 1131, 1134, 1136, 1138, 1140, 1142, 1144, 1146,
                                              1148, 1150, 1152, 1154, 1156, 1158, 1160, 1162, 1164,
                                              1166, 1168, 1170, 1172, 1174, 1176, 1180};
inline constexpr int kGridValue[kGridRows] = {1111, 1113, 1115, 1117, 1119, 1121, 1123, 1125, 1127,
                                              1130, 1133, 1135, 1137, 1139, 1141, 1143, 1145, 1147,
                                              1149, 1151, 1153, 1155, 1157, 1159, 1161, 1163, 1165,
                                              1167, 1169, 1171, 1173, 1175, 1177, 1181};
// Not in the dialog layout: the lists beside the grid, "Decoded" and "Checks".
inline constexpr int kDecodedList = 1190;
inline constexpr int kChecksList = 1191;
}  // namespace utility_ids

// The packet types in list order, and the type code the box is asked for with each.
extern const std::vector<std::string> kPacketListEntries;
inline constexpr uint8_t kPacketTypeCodes[] = {0x04, 0x05, 0x06, 0x0A, 0x81,
                                               0x82, 0x83, 0x84, 0x85, 0x87};
inline constexpr int kPacketTypeCount = static_cast<int>(std::size(kPacketTypeCodes));
inline constexpr int kDefaultPacketEntry = 5;  // "5-AVI_INF"
// The longest packet the grid shows whole.
inline constexpr int kMaxInfoFrameLength = utility_ids::kByteRows - 1;

// "0x" and two upper-case hexadecimal digits.
std::string FormatHexByte(uint8_t value);

// One row of the grid as a reply leaves it.
struct InfoFrameGridRow {
  std::string label;
  std::string value;
  bool shown = false;
};
using InfoFrameGrid = std::array<InfoFrameGridRow, utility_ids::kGridRows>;
// The grid for a reply's payload (see ShowInfoFrame).
InfoFrameGrid LayOutInfoFrameGrid(const uint8_t* payload, size_t size);

// A reply 0x8092 as the page keeps it.
struct InfoFramePacket {
  std::vector<uint8_t> payload;  // as the reply carried it
  InfoFrameDecode decode;
  InfoFrameGrid grid;
};

class UtilityPage : public CoreWindow {
 public:
  explicit UtilityPage(CommandSender& sender) : sender_(sender) {}

  std::array<std::string, utility_ids::kGridRows> labels;
  std::array<std::string, utility_ids::kGridRows> values;
  int lastRequestIndex = 0;
  // The last reply; nothing before the first.
  std::optional<InfoFramePacket> packet;
  // The rows of the "Decoded" and "Checks" lists.
  std::vector<std::string> decodedRows;
  std::vector<std::string> checkRows;

  // Fills the packet list and hides the byte rows, as the page is created.
  void Create();
  // The main window's start-up: item 5 selected, the header rows' texts set and pushed.
  void PrepareHeaderRows();

  // "Read infoframe data": asks the box for the packet of the list's current type.
  void ReadInfoFrame();
  // Reply 0x8092: byte 0 type, 1 version, 2 length L, 3 check sum, then data bytes 1..L.
  // A packet shows its check sum and all L data bytes; a byte the reply did not carry
  // shows empty, and nothing is read past `size`. Anything else (type or version 0, L
  // outside 1..30, a reply without its header) shows "0x00" three times and no byte rows.
  // The lists show the decode, its checks held against `measured`.
  void ShowInfoFrame(const uint8_t* payload, size_t size,
                     const MeasuredSignal& measured = MeasuredSignal{});

  // Told when a packet the read asked for has been shown.
  OutcomeSink onOutcome;

 protected:
  void Exchange(ControlExchange& exchange) override;

 private:
  CommandSender& sender_;
};

}  // namespace sc
