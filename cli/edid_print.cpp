#include "cli/edid_print.h"

#include <cstdio>
#include <string_view>

#include "cli/text_output.h"

namespace sc {

namespace {

void AppendSection(std::string& out, const char* title, std::string_view text) {
  out += "\n";
  out += title;
  out += "\n";
  for (const std::string_view line : SplitLines(text))
    out += line.empty() ? "\n" : "  " + PrintableLine(line) + "\n";
}

// 16 groups a row behind row labels, as the EDID page shows the hex text.
void AppendHex(std::string& out, std::string_view hex) {
  out += "\nHex:\n";
  if (hex.empty()) return;
  out += "      00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\n";
  constexpr size_t kRow = 16 * 3;
  for (size_t row = 0; row * kRow < hex.size(); ++row) {
    std::string_view groups = hex.substr(row * kRow, kRow);
    while (!groups.empty() && groups.back() == ' ')
      groups.remove_suffix(1);
    char label[8];
    std::snprintf(label, sizeof label, "%02x", static_cast<unsigned>(row * 16) & 0xFF);
    out += "  " + std::string(label) + "  " + PrintableLine(groups) + "\n";
  }
}

}  // namespace

std::string FormatEdidReadable(const std::string& name, const EdidTexts& texts) {
  std::string out = "==== " + PrintableLine(name) + " ====\nStatus:\n";
  for (const std::string_view line : SplitLines(texts.status))
    out += "  " + PrintableLine(line) + "\n";
  AppendHex(out, texts.hex);
  AppendSection(out, "Video Information:", texts.video);
  AppendSection(out, "Audio Information:", texts.audio);
  AppendSection(out, "General Info:", texts.general);
  return out;
}

std::string FormatEdidJson(const std::string& name, const EdidTexts& texts) {
  Json object;
  object["file"] = JsonText(name);
  object["status"] = JsonText(texts.status);
  object["hex"] = JsonText(texts.hex);
  object["video"] = JsonText(texts.video);
  object["audio"] = JsonText(texts.audio);
  object["general"] = JsonText(texts.general);
  return JsonLine(object);
}

}  // namespace sc
