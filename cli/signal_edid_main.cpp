// signal-edid: decodes EDID files (.bin or .txt, read as the console's EDID page reads
// them) and prints what the page shows after a read from the box: the status, the hex
// dump and the Video, Audio and General reports.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "cli/edid_print.h"
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
      std::fputs(sc::FormatEdidJson(file, texts).c_str(), stdout);
    } else {
      if (!first) std::fputs("\n", stdout);
      std::fputs(sc::FormatEdidReadable(file, texts).c_str(), stdout);
    }
    first = false;
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "signal-edid: cannot write the output: %s\n", std::strerror(errno));
    return 1;
  }
  return status;
}
