// signal-edid: decodes EDID files (.bin or .txt, read as the console's EDID page reads
// them) and prints what the page shows after a read from the box: the status, the hex
// dump and the Video, Audio and General reports. --full decodes every block of the file
// and checks it; "diff A B" compares two EDIDs field by field; "edit IN -o OUT" changes
// one (cli/edid_edit_command.h).

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "cli/edid_edit_command.h"
#include "cli/edid_full_json.h"
#include "cli/edid_print.h"
#include "cli/text_output.h"
#include "edid/edid_checks.h"
#include "edid/edid_decoder.h"
#include "edid/edid_diff.h"
#include "edid/edid_file.h"
#include "edid/edid_full_text.h"
#include "edid/edid_model.h"

namespace {

constexpr char kUsage[] =
    "Usage: signal-edid [--json] FILE...\n"
    "       signal-edid --full [--json] FILE...\n"
    "       signal-edid diff [--json] A B\n"
    "       signal-edid edit IN -o OUT [EDIT...]   (signal-edid edit --help)\n"
    "Decodes EDID files as the Signal Console's EDID page does and prints the status,\n"
    "the hex dump and the Video, Audio and General reports of each.\n"
    "\n"
    "FILE is a .bin (raw bytes) or a .txt (white-space-separated hexadecimal numbers,\n"
    "one byte each). The extension is compared case-sensitively. Without --full a file\n"
    "is read as the page reads it: 256 bytes, missing bytes reading as 0xFF.\n"
    "\n"
    "Options:\n"
    "  --json     one JSON object per file and line, with the texts exactly as the\n"
    "             console holds them: {\"file\", \"status\", \"hex\", \"video\", \"audio\",\n"
    "             \"general\"}; a byte above 0x7F is written as the code point of the\n"
    "             same value (\\u0080..\\u00ff)\n"
    "  --full     decode every block the file holds (up to 32): the base block, each\n"
    "             CTA-861 extension with every data block and detailed timing, other\n"
    "             extensions as bytes, then the checks (errors and warnings)\n"
    "  --full --json\n"
    "             one JSON object per file and line: \"file\", \"blocks\",\n"
    "             \"extension_count\", \"version\", \"manufacturer\", \"product\", \"serial\",\n"
    "             \"name\", \"detailed_timings\", \"cta\" (per CTA-861 extension: \"block\",\n"
    "             \"revision\", \"vics\", \"audio\", \"speakers\", \"physical_address\",\n"
    "             \"max_tmds_mhz\", \"max_tmds_character_rate_mhz\", \"hdr_eotfs\",\n"
    "             \"ycbcr420_vics\"), \"checks\"\n"
    "  --help     show this text\n"
    "  --         end of options\n"
    "\n"
    "diff A B compares two EDID files field by field and lists every difference with\n"
    "the bytes of the item in A and in B (--json: one JSON object).\n"
    "\n"
    "edit IN -o OUT changes an EDID (name, VICs, audio, HDMI, HDR ...), rebuilds its\n"
    "lengths and checksums, writes OUT and prints what changed; see edit --help.\n"
    "\n"
    "Exit status: 0 when every file was decoded (whatever the checks found), 1 when a\n"
    "file could not be read or is not a .bin or .txt, 2 for a usage error. diff: 0 when\n"
    "the two EDIDs are the same, 1 when they differ, 2 for a usage error or a file that\n"
    "could not be read.\n";

int Usage(const char* problem, const char* what = nullptr) {
  if (what)
    std::fprintf(stderr, "signal-edid: %s %s\n", problem, what);
  else
    std::fprintf(stderr, "signal-edid: %s\n", problem);
  std::fputs(kUsage, stderr);
  return 2;
}

void ReportLoadFailure(const std::string& file, const std::string& message,
                       const std::string& detail) {
  std::fflush(stdout);
  const std::string name = sc::PrintableLine(file);
  if (detail.empty())
    std::fprintf(stderr, "signal-edid: %s: %s\n", name.c_str(), message.c_str());
  else
    std::fprintf(stderr, "signal-edid: %s: %s (%s)\n", name.c_str(), message.c_str(),
                 detail.c_str());
}

bool Flushed() {
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "signal-edid: cannot write the output: %s\n", std::strerror(errno));
    return false;
  }
  return true;
}

// The text form for a terminal: each line made printable.
void PutText(const std::string& text) {
  for (const std::string_view line : sc::SplitLines(text))
    std::fputs((sc::PrintableLine(line) + "\n").c_str(), stdout);
}

int Page(const std::vector<std::string>& files, bool json) {
  int status = 0;
  bool first = true;
  for (const std::string& file : files) {
    sc::EdidImage image{};
    const sc::EdidLoadResult loaded = sc::LoadEdidFile(file, image);
    if (!loaded.ok()) {
      ReportLoadFailure(file, loaded.message, loaded.detail);
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
  return Flushed() ? status : 1;
}

int Full(const std::vector<std::string>& files, bool json) {
  int status = 0;
  bool first = true;
  for (const std::string& file : files) {
    const sc::EdidBytesResult loaded = sc::LoadEdidBytes(file);
    if (!loaded.ok()) {
      ReportLoadFailure(file, loaded.message, loaded.detail);
      status = 1;
      continue;
    }
    const sc::EdidModel model = sc::DecodeEdidModel(loaded.bytes, loaded.more);
    const std::vector<sc::EdidCheck> checks = sc::CheckEdid(model);
    if (json) {
      std::fputs(sc::FormatEdidFullJson(file, model, checks).c_str(), stdout);
    } else {
      if (!first) std::fputs("\n", stdout);
      PutText("==== " + file + " ====");
      PutText(sc::FormatEdidFullText(model, checks));
    }
    first = false;
  }
  return Flushed() ? status : 1;
}

int Diff(const std::vector<std::string>& files, bool json) {
  if (files.size() != 2) return Usage("diff takes two files");
  sc::EdidModel models[2];
  for (size_t i = 0; i < 2; ++i) {
    const sc::EdidBytesResult loaded = sc::LoadEdidBytes(files[i]);
    if (!loaded.ok()) {
      ReportLoadFailure(files[i], loaded.message, loaded.detail);
      return 2;
    }
    models[i] = sc::DecodeEdidModel(loaded.bytes, loaded.more);
  }
  const sc::EdidComparison comparison = sc::CompareEdids(models[0], models[1]);
  if (json)
    std::fputs(
        sc::FormatEdidComparisonJson(files[0], files[1], models[0], models[1], comparison).c_str(),
        stdout);
  else
    PutText(sc::FormatEdidComparison(files[0], files[1], models[0], models[1], comparison));
  if (!Flushed()) return 2;
  return comparison.equal() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::string_view(argv[1]) == "edit")
    return sc::RunEdidEdit(std::vector<std::string>(argv + 2, argv + argc));
  bool json = false, full = false, diff = false;
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
    } else if (options && arg == "--full") {
      full = true;
    } else if (options && arg.size() > 1 && arg[0] == '-') {
      return Usage("unknown option", argv[i]);
    } else if (i == 1 && arg == "diff") {
      diff = true;
    } else {
      files.emplace_back(arg);
    }
  }
  if (diff && full) return Usage("diff and --full do not go together");
  if (diff) return Diff(files, json);
  if (files.empty()) return Usage("no file given");
  return full ? Full(files, json) : Page(files, json);
}
