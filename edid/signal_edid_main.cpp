// signal-edid: decodes EDID files (.bin or .txt, read as the console's EDID page reads
// them) and prints what the page shows after a read from the box: the status, the hex
// dump and the Video, Audio and General reports.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "edid/edid_decoder.h"
#include "edid/edid_file.h"

namespace {

constexpr char kUsage[] =
    "Usage: signal-edid [--json] FILE...\n"
    "Decodes EDID files as the Signal Console's EDID page does and prints the status,\n"
    "the hex dump and the Video, Audio and General reports of each.\n"
    "\n"
    "FILE is a .bin (up to 256 raw bytes; missing bytes read as 0xFF) or a .txt\n"
    "(white-space-separated hexadecimal numbers, one byte each). The extension is\n"
    "compared case-sensitively.\n"
    "\n"
    "Options:\n"
    "  --json     one JSON object per file and line, with the texts exactly as the\n"
    "             console holds them: {\"file\", \"status\", \"hex\", \"video\", \"audio\",\n"
    "             \"general\"}; a byte above 0x7F is written as the code point of the\n"
    "             same value (\\u0080..\\u00ff)\n"
    "  --help     show this text\n"
    "  --         end of options\n"
    "\n"
    "Exit status: 0 when every file was decoded, 1 when a file could not be read or\n"
    "is not a .bin or .txt, 2 for a usage error.\n";

void AppendHex2(std::string& out, unsigned byte, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  out += digits[(byte >> 4) & 0x0F];
  out += digits[byte & 0x0F];
}

// ---- JSON ----

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        // Control characters, DEL and every byte above 0x7F as \u00XX, so the output is
        // plain ASCII and valid JSON whatever a descriptor holds.
        if (c < 0x20 || c >= 0x7F) {
          out += "\\u00";
          AppendHex2(out, c, false);
        } else {
          out += ch;
        }
    }
  }
  out += '"';
  return out;
}

void PrintJson(const std::string& file, const sc::EdidTexts& texts) {
  std::string line = "{\"file\":" + JsonString(file);
  line += ",\"status\":" + JsonString(texts.status);
  line += ",\"hex\":" + JsonString(texts.hex);
  line += ",\"video\":" + JsonString(texts.video);
  line += ",\"audio\":" + JsonString(texts.audio);
  line += ",\"general\":" + JsonString(texts.general);
  line += "}\n";
  std::fputs(line.c_str(), stdout);
}

// ---- Readable form ----

// One line of a report for a terminal: other control bytes and bytes above 0x7F shown as
// \xNN, so a descriptor cannot send escape sequences to the terminal.
std::string Printable(std::string_view line) {
  std::string out;
  for (const char ch : line) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c >= 0x7F) {
      out += "\\x";
      AppendHex2(out, c, false);
    } else {
      out += ch;
    }
  }
  return out;
}

// Each CR LF, bare CR or bare LF ends a line. A text's final line break does not start
// another line.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
  return lines;
}

void PrintSection(const char* title, std::string_view text) {
  std::printf("\n%s\n", title);
  for (const std::string_view line : SplitLines(text)) {
    if (line.empty()) {
      std::printf("\n");
    } else {
      std::printf("  %s\n", Printable(line).c_str());
    }
  }
}

// 16 groups a row behind row labels, as the EDID page shows the hex text.
void PrintHex(std::string_view hex) {
  std::printf("\nHex:\n");
  if (hex.empty()) return;
  std::printf("      00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\n");
  constexpr size_t kRow = 16 * 3;
  for (size_t row = 0; row * kRow < hex.size(); ++row) {
    std::string_view groups = hex.substr(row * kRow, kRow);
    while (!groups.empty() && groups.back() == ' ')
      groups.remove_suffix(1);
    std::string label;
    AppendHex2(label, static_cast<unsigned>(row * 16), false);
    std::printf("  %s  %s\n", label.c_str(), Printable(groups).c_str());
  }
}

void PrintReadable(const std::string& file, const sc::EdidTexts& texts, bool first) {
  if (!first) std::printf("\n");
  std::printf("==== %s ====\n", Printable(file).c_str());
  std::printf("Status:\n");
  for (const std::string_view line : SplitLines(texts.status)) {
    std::printf("  %s\n", Printable(line).c_str());
  }
  PrintHex(texts.hex);
  PrintSection("Video Information:", texts.video);
  PrintSection("Audio Information:", texts.audio);
  PrintSection("General Info:", texts.general);
}

}  // namespace

int main(int argc, char** argv) {
  bool json = false;
  std::vector<std::string> files;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (options && arg == "--") {
      options = false;
    } else if (options && (arg == "--help" || arg == "-h")) {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (options && arg == "--json") {
      json = true;
    } else if (options && arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "signal-edid: unknown option %s\n", argv[i]);
      std::fputs(kUsage, stderr);
      return 2;
    } else {
      files.emplace_back(arg);
    }
  }
  if (files.empty()) {
    std::fputs("signal-edid: no file given\n", stderr);
    std::fputs(kUsage, stderr);
    return 2;
  }

  int status = 0;
  bool first = true;
  for (const std::string& file : files) {
    sc::EdidImage image{};
    const sc::EdidLoadResult loaded = sc::LoadEdidFile(file, image);
    if (!loaded.ok()) {
      std::fflush(stdout);
      if (loaded.detail.empty()) {
        std::fprintf(stderr, "signal-edid: %s: %s\n", file.c_str(), loaded.message.c_str());
      } else {
        std::fprintf(stderr, "signal-edid: %s: %s (%s)\n", file.c_str(), loaded.message.c_str(),
                     loaded.detail.c_str());
      }
      status = 1;
      continue;
    }
    const sc::EdidTexts texts = sc::ShowEdid(image);
    if (json) {
      PrintJson(file, texts);
    } else {
      PrintReadable(file, texts, first);
    }
    first = false;
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "signal-edid: cannot write the output: %s\n", std::strerror(errno));
    return 1;
  }
  return status;
}
