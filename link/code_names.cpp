#include "link/code_names.h"

namespace sc {

namespace {

struct Name {
  uint16_t code;
  const char* name;
};

constexpr Name kCommands[] = {
    {0x0080, "Set volume"},    {0x0081, "Set hot-plug"},    {0x0082, "Select input"},
    {0x0096, "Start monitor"}, {0x0101, "Stop upload"},     {0x7801, "Write address"},
    {0x7850, "Select EDID"},   {0x7851, "Write USER EDID"}, {0x7879, "Switch baud rate"},
    {0x8080, "Volume query"},  {0x8081, "Hot-plug query"},  {0x8082, "Input query"},
    {0x8090, "Status query"},  {0x8091, "Timing query"},    {0x8092, "Read InfoFrame"},
    {0x8094, "Frame request"}, {0x8095, "Preview request"}, {0x8096, "Read record"},
    {0xF801, "Read address"},  {0xF802, "Search probe"},    {0xF850, "EDID preset query"},
    {0xF851, "Read EDID"},
};

constexpr Name kReplies[] = {
    {0x8080, "Volume"},          {0x8081, "Hot-plug state"},
    {0x8082, "Input"},           {0x8090, "Signal status"},
    {0x8091, "Timing record"},   {0x8092, "InfoFrame data"},
    {0x8094, "Frame chunk"},     {0x8095, "Preview chunk"},
    {0x8096, "Monitor record"},  {0x809F, "Signal change notice"},
    {0xF801, "Address"},         {0xF802, "Search answer"},
    {0xF850, "EDID preset"},     {0xF851, "EDID data"},
    {0xFFFF, "Acknowledgement"},
};

// Codes the console takes and does nothing with.
constexpr uint16_t kNoActionReplies[] = {0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067,
                                         0x0068, 0x0069, 0x006A, 0x00A0, 0x00A8, 0x7801, 0x7802,
                                         0x7878, 0x8063, 0x8064, 0x8065, 0x8066, 0x8067, 0x8068};

template <size_t N>
const char* Find(const Name (&table)[N], uint16_t code) {
  for (const Name& entry : table)
    if (entry.code == code) return entry.name;
  return nullptr;
}

}  // namespace

const char* CommandName(uint16_t code) {
  return Find(kCommands, code);
}

const char* ReplyName(uint16_t code) {
  if (const char* name = Find(kReplies, code)) return name;
  for (uint16_t quiet : kNoActionReplies)
    if (quiet == code) return "no action";
  return nullptr;
}

std::optional<uint16_t> ExpectedReply(uint16_t command) {
  switch (command) {
    case 0x8080:
    case 0x8081:
    case 0x8082:
    case 0x8090:
    case 0x8091:
    case 0x8092:
    case 0x8094:
    case 0x8095:
    case 0x8096:
    case 0xF801:
    case 0xF850:
    case 0xF851:
      return command;
    case 0x7851:  // the EDID write is acknowledged
      return 0xFFFF;
    default:
      return std::nullopt;
  }
}

}  // namespace sc
