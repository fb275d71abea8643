#include "cli/cli_options.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <map>

#include "cli/infoframe_command.h"
#include "cli/png_writer.h"
#include "console/traffic_log.h"
#include "edid/edid_page.h"
#include "infoframe/utility_page.h"
#include "link/network_address.h"
#include "link/port_directory.h"
#include "monitor/monitor_page.h"

namespace sc {

namespace {

struct CommandInfo {
  const char* name;
  const char* usage;    // after "signal-cli [OPTIONS] "
  const char* summary;  // one line for the program's help
  const char* details;  // the command's help
};

// The commands in the order the help lists them.
const CommandInfo kCommands[] = {
    {"search", "search", "find the port a box answers on",
     "Probes COM1 to COM99 (with --port PATH: that device only) for a box, as \"Search\n"
     "Machine\" does, and prints the port, its device and the address of the box that\n"
     "answered: \"COM3 /dev/ttyUSB0 0A03\".\n"},
    {"status", "status [--json]", "what the box receives: the status panel and the timing",
     "Reads the box's state as the console does when the link comes up and prints the\n"
     "front panel (input, HPD, volume, EDID preset), the ten texts of the \"Received\n"
     "Signal info\" panel and the sixteen fields of the Timing page, exactly as the\n"
     "console shows them.\n"
     "\n"
     "  --json   one JSON object: {\"port\", \"device\", \"address\", \"front_panel\": {...},\n"
     "           \"panel\": {...}, \"timing\": {...}}; rates are numbers in MHz, kHz and\n"
     "           Hz, polarities \"+\" or \"-\" (null when the console checks neither)\n"},
    {"hpd", "hpd on|off", "set the hot-plug line of the HDMI input",
     "Sets hot-plug on or off, then reads the box's state back; fails (exit 1) when the\n"
     "box reports otherwise. The SDI input has no hot-plug line.\n"},
    {"volume", "volume 0..8", "set the audio volume step (0 = 0 %, 8 = 100 %)",
     "Steps the volume to the given step with the console's \"-\" and \"+\", then reads\n"
     "it back; fails (exit 1) when the box reports another step.\n"},
    {"input", "input hdmi|sdi", "select the HDMI or the SDI input",
     "Selects the input, then reads it back; fails (exit 1) when the box reports the\n"
     "other one.\n"},
    {"edid", "edid list|select N|read N [-o FILE] [--json]|write SLOT FILE",
     "the box's EDID presets",
     "  edid list             the fifteen presets; \"*\" marks the one the box presents\n"
     "  edid select N         present preset N (0..14), then read the choice back\n"
     "  edid read N           read preset N's EDID and print it as the EDID page shows it\n"
     "                        (status, hex, Video, Audio and General reports)\n"
     "      -o FILE           save the 256 bytes instead: FILE.txt as text, else binary\n"
     "      --json            the texts as one JSON object, as signal-edid --json\n"
     "  edid write SLOT FILE  write an EDID file (.bin or .txt) into user slot SLOT\n"
     "                        (1..10, the presets USER1..USER10); fails (exit 1) when the\n"
     "                        box reports \"EDID writting failed!\"\n"},
    {"infoframe", "infoframe TYPE [--json] | infoframe decode HEX... [--json]",
     "read one captured InfoFrame or packet, decoded and checked",
     "  infoframe TYPE        read the packet of TYPE and print its rows as the Ultilities\n"
     "                        page shows them, then the packet decoded field by field and\n"
     "                        what its checks found (checksum, length, version, reserved\n"
     "                        values, and the packet against the measured timing, colour\n"
     "                        format and audio). TYPE is a list entry (\"5-AVI_INF\"), its\n"
     "                        name (\"AVI_INF\", \"avi\", \"spd\", \"audio\", \"vs\", \"acp\",\n"
     "                        \"isrc1\", \"isrc2\", \"gamut\", \"mpeg\", \"drm\"), its number "
     "0..9\n"
     "                        or the type code (\"0x82\", \"0x87\").\n"
     "  infoframe decode HEX  decode a packet given in hexadecimal (type, version, length,\n"
     "                        checksum and data bytes; spaces optional: \"82 02 0D 47 ...\"\n"
     "                        or \"82020D47...\"); needs no box. Bytes after the packet's\n"
     "                        length are not part of it. Exit 0 whatever the checks find;\n"
     "                        bad hexadecimal or fewer bytes than the length announces is a\n"
     "                        bad argument (exit 2).\n"
     "      --json            one JSON object: {\"type\", \"name\", \"version\", \"length\",\n"
     "                        \"checksum\": {\"received\", \"expected\", \"ok\"}, \"fields\":\n"
     "                        [{\"key\", \"label\", \"value\", \"text\"}], \"checks\": [{\"key\",\n"
     "                        \"text\"}]}; version, length and checksum are null for ACP,\n"
     "                        ISRC and gamut packets, which carry none\n"},
    {"monitor", "monitor start --slot N --unit s|m --trigger image|loss | monitor read [--save]",
     "the box's signal monitor",
     "  monitor start   start a recording of 2040 slots, stamped with this machine's\n"
     "                  local time, then read its settings back\n"
     "      --slot N             slot length 1..255\n"
     "      --unit s|m           seconds (default) or minutes\n"
     "      --trigger image|loss image difference and loss of signal (default), or\n"
     "                           loss of signal only\n"
     "  monitor read    print the recording: its start, slots and the digits (1 =\n"
     "                  triggered) in rows of 100\n"
     "      --save      also save the report TQ5R_StatusRecordNN.txt in the current\n"
     "                  directory\n"},
    {"preview", "preview -o FILE.png", "save the box's 96 x 64 preview of the picture",
     "Fetches the preview (\"Update Image\") and writes it as a PNG file, or as a\n"
     "Windows bitmap when FILE ends in .bmp.\n"},
    {"capture", "capture frame|line N [-o FILE]", "capture the whole frame or a line chart",
     "Uploads the received frame at 512000 baud, as the Timing page's \"Upload Whole\n"
     "Image\" does, and saves it as IMAGEFULL_BMPNN.BMP in the current directory; \"line\n"
     "N\" (1..100) saves the chart of line N's levels as RGBline_BMPNN.BMP. A 1920x1080\n"
     "frame takes about two minutes. A progress bar shows on standard error when it is\n"
     "a terminal; Ctrl+C stops the transfer and brings the port back to 115200 baud.\n"
     "\n"
     "  -o FILE   save under this name instead (the file is written whole or not at all)\n"},
    {"address", "address read|write GGDD", "read or re-program the box's bus address",
     "  address read        print the address of the box on the line (GGDD)\n"
     "  address write GGDD  give the box on the line a new address (01..FE each, or\n"
     "                      0000), then read it back. Both go to every box on the line\n"
     "                      (address 0000): keep one box on the line while you do it.\n"},
    {"log", "log [--filter CODES] [--for SECONDS]", "print the traffic on the line",
     "Opens the link and prints every frame sent and received, one line each, as the\n"
     "console's traffic log shows it: time, direction, address, code, name, what became\n"
     "of a reply the console dropped, and the payload in hex; bytes that formed no frame\n"
     "and the link's changes are noted. The link coming up asks the box's state, so the\n"
     "first lines are that chain; after it, the box's own notices and answers.\n"
     "Ctrl+C ends it (exit 0); so does a device that went away (exit 3).\n"
     "\n"
     "  --filter CODES   only these codes, in hexadecimal (\"8090 F851\", \"0x8092,8094\");\n"
     "                   notes are always shown\n"
     "  --for SECONDS    stop after this many seconds (exit 0)\n"},
    {"watch",
     "watch --boxes GGDD,... | --book[=FILE] [--every SECONDS] [--jsonl]\n"
     "                            [--metrics HOST:PORT [--metrics-public]] [--config FILE]",
     "watch every box on the line: events and Prometheus metrics",
     "Asks each box on the line, one request at a time, for its input, status and timing,\n"
     "round after round, and prints an event for each change: \"answering\" with the\n"
     "box's state (the keys of status --json) when it first answers, then \"no_answer\",\n"
     "\"signal_lost\", \"signal_back\", \"format_changed\", \"hdcp_changed\" and\n"
     "\"input_changed\" (with \"from\" and \"to\"), each once. A box that does not answer\n"
     "a request within --timeout (default 1 s for watch) is asked again next round. Runs\n"
     "until Ctrl+C or SIGTERM (exit 0); a device that went away ends it with 3.\n"
     "\n"
     "  --boxes GGDD,...      the boxes to watch (at most 32)\n"
     "  --book[=FILE]         every box of the console's address book (TQ.ini), or of FILE\n"
     "  --every SECONDS       a round every SECONDS (default 5, at least 1); a round that\n"
     "                        takes longer (silent boxes) is followed at once by the next\n"
     "  --jsonl               one JSON object a line (the default when standard output is\n"
     "                        not a terminal; on a terminal a readable line each)\n"
     "  --metrics HOST:PORT   serve Prometheus metrics at http://HOST:PORT/metrics; HOST\n"
     "                        an IPv4 address, 127.0.0.1 when left out (\":9105\")\n"
     "  --metrics-public      allow an address other than loopback (the metrics are then\n"
     "                        open to the network; no password, no TLS)\n"
     "  --config FILE         settings from FILE, \"key = value\" lines: port, boxes, book\n"
     "                        (yes or a file), every, timeout, metrics, metrics-public\n"
     "                        (yes/no); options given here win\n"
     "\n"
     "Metrics, labelled port and box: signal_box_up, signal_box_signal_present,\n"
     "signal_box_hdcp_version, signal_box_pixel_clock_mhz, signal_box_h_active_pixels,\n"
     "signal_box_v_active_lines, signal_box_vertical_rate_hz, signal_box_interlaced,\n"
     "signal_box_polls_total, signal_box_no_answer_total,\n"
     "signal_box_last_answer_timestamp_seconds.\n"},
};

const CommandInfo* FindCommand(const std::string& name) {
  for (const CommandInfo& c : kCommands)
    if (name == c.name) return &c;
  return nullptr;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::optional<int> ParseInt(const std::string& text, int low, int high) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  for (const char c : text)
    if (c < '0' || c > '9') return std::nullopt;
  const int value = std::atoi(text.c_str());
  if (value < low || value > high) return std::nullopt;
  return value;
}

std::optional<int> HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return std::nullopt;
}

CliParse Fail(std::string error) {
  return {std::nullopt, std::move(error)};
}

}  // namespace

std::vector<std::string> CommandNames() {
  std::vector<std::string> names;
  for (const CommandInfo& c : kCommands)
    names.emplace_back(c.name);
  return names;
}

std::optional<int> ParseComPort(const std::string& text) {
  std::string digits = text;
  if (Lower(text).rfind("com", 0) == 0) digits = text.substr(3);
  return ParseInt(digits, kFirstPort, kLastPort);
}

std::optional<DeviceAddress> ParseAddressArgument(const std::string& text) {
  if (text.size() != 4) return std::nullopt;
  int value[4];
  for (int i = 0; i < 4; ++i) {
    const std::optional<int> d = HexDigit(text[static_cast<size_t>(i)]);
    if (!d) return std::nullopt;
    value[i] = *d;
  }
  return DeviceAddress{static_cast<uint8_t>(value[0] << 4 | value[1]),
                       static_cast<uint8_t>(value[2] << 4 | value[3])};
}

std::optional<int> ParsePacketType(const std::string& text) {
  const std::string wanted = Lower(text);
  if (wanted.empty()) return std::nullopt;
  if (const std::optional<int> index = ParseInt(wanted, 0, kPacketTypeCount - 1)) return index;
  if (wanted.size() == 4 && wanted.rfind("0x", 0) == 0) {
    const std::optional<int> hi = HexDigit(wanted[2]), lo = HexDigit(wanted[3]);
    if (hi && lo) {
      const int code = *hi << 4 | *lo;
      for (int i = 0; i < static_cast<int>(std::size(kPacketTypeCodes)); ++i)
        if (kPacketTypeCodes[i] == code) return i;
    }
    return std::nullopt;
  }
  for (int i = 0; i < static_cast<int>(kPacketListEntries.size()); ++i) {
    const std::string entry = Lower(kPacketListEntries[static_cast<size_t>(i)]);
    const std::string name = entry.substr(entry.find('-') + 1);  // "avi_inf"
    const size_t suffix = name.find("_inf");
    const std::string bare = suffix == std::string::npos ? name : name.substr(0, suffix);
    if (wanted == entry || wanted == name || wanted == bare) return i;
  }
  return std::nullopt;
}

CliParse ParseCommandLine(const std::vector<std::string>& args) {
  CliRequest r;
  std::vector<std::string> words;
  bool haveSlot = false, haveUnit = false, haveTrigger = false, haveOutput = false;
  std::vector<std::string> commandOptions;  // the options given, to check they apply

  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    std::optional<std::string> inlineValue;
    if (arg.rfind("--", 0) == 0) {
      const size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        inlineValue = arg.substr(eq + 1);
        arg = arg.substr(0, eq);
      }
    }
    auto value = [&](std::string& out) -> bool {
      if (inlineValue) {
        out = *inlineValue;
        return true;
      }
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    std::string v;
    if (arg == "--help" || arg == "-h") {
      r.help = true;
    } else if (arg == "--version") {
      r.version = true;
    } else if (arg == "--port" || arg == "-p") {
      if (!value(r.port) || r.port.empty())
        return Fail("--port needs COMn, a device path or a network port");
      std::string problem;
      if (IsNetworkPortName(r.port) && !ParseNetworkAddress(r.port, &problem))
        return Fail("--port " + r.port + ": " + problem);
      const std::string lower = Lower(r.port);
      if (lower.size() > 3 && lower.rfind("com", 0) == 0 &&
          lower.find_first_not_of("0123456789", 3) == std::string::npos && !ParseComPort(r.port))
        return Fail("the COM ports are COM1..COM99, not " + r.port);
    } else if (arg == "--address" || arg == "-a") {
      if (!value(v)) return Fail("--address needs GGDD");
      r.address = ParseAddressArgument(v);
      if (!r.address)
        return Fail("--address takes four hexadecimal digits (GGDD), not \"" + v + "\"");
    } else if (arg == "--timeout" || arg == "-t") {
      if (!value(v)) return Fail("--timeout needs SECONDS");
      char* end = nullptr;
      const double seconds = std::strtod(v.c_str(), &end);
      if (v.empty() || *end != '\0' || !(seconds > 0) || seconds > 3600)
        return Fail("--timeout takes a number of seconds above 0, at most 3600");
      r.timeout = std::chrono::milliseconds(static_cast<long>(std::ceil(seconds * 1000)));
      r.timeoutGiven = true;
    } else if (arg == "-o" || arg == "--output") {
      if (!value(r.output) || r.output.empty()) return Fail(arg + " needs a file name");
      haveOutput = true;
      commandOptions.push_back("-o");
    } else if (arg == "--json") {
      r.json = true;
      commandOptions.push_back(arg);
    } else if (arg == "--save") {
      r.save = true;
      commandOptions.push_back(arg);
    } else if (arg == "--slot") {
      if (!value(v)) return Fail("--slot needs a slot length");
      const std::optional<int> slot = ParseInt(v, 0, 999999);
      if (!slot) return Fail("--slot takes a positive integer, not \"" + v + "\"");
      if (*slot < 1 || *slot > 255) return Fail(kSlotLengthMessage);
      r.number = *slot;
      haveSlot = true;
      commandOptions.push_back(arg);
    } else if (arg == "--unit") {
      if (!value(v)) return Fail("--unit needs s or m");
      v = Lower(v);
      if (v == "s" || v == "seconds") {
        r.slotUnit = 0;
      } else if (v == "m" || v == "minutes") {
        r.slotUnit = 1;
      } else {
        return Fail("--unit takes s or m, not \"" + v + "\"");
      }
      haveUnit = true;
      commandOptions.push_back(arg);
    } else if (arg == "--trigger") {
      if (!value(v)) return Fail("--trigger needs image or loss");
      v = Lower(v);
      if (v == "image") {
        r.triggerMode = 0;
      } else if (v == "loss") {
        r.triggerMode = 1;
      } else {
        return Fail("--trigger takes image or loss, not \"" + v + "\"");
      }
      haveTrigger = true;
      commandOptions.push_back(arg);
    } else if (arg == "--filter") {
      if (!value(r.filter)) return Fail("--filter needs codes in hexadecimal");
      if (TrafficLog probe(1); !probe.SetFilter(r.filter))
        return Fail("--filter takes codes in hexadecimal (\"8090 F851\"), not \"" + r.filter +
                    "\"");
      commandOptions.push_back(arg);
    } else if (arg == "--for") {
      if (!value(v)) return Fail("--for needs SECONDS");
      char* end = nullptr;
      const double seconds = std::strtod(v.c_str(), &end);
      if (v.empty() || *end != '\0' || !(seconds > 0) || seconds > 7 * 86400.0)
        return Fail("--for takes a number of seconds above 0, at most a week");
      r.duration = std::chrono::milliseconds(static_cast<long>(std::ceil(seconds * 1000)));
      commandOptions.push_back(arg);
    } else if (arg == "--boxes") {
      if (!value(v)) return Fail("--boxes needs GGDD,GGDD,...");
      r.boxes = v;
      commandOptions.push_back(arg);
    } else if (arg == "--book") {
      r.book = inlineValue ? *inlineValue : std::string();
      if (inlineValue && inlineValue->empty()) return Fail("--book= needs a file name");
      commandOptions.push_back(arg);
    } else if (arg == "--every") {
      if (!value(v)) return Fail("--every needs SECONDS");
      r.every = v;
      commandOptions.push_back(arg);
    } else if (arg == "--metrics") {
      if (!value(v)) return Fail("--metrics needs HOST:PORT");
      r.metrics = v;
      commandOptions.push_back(arg);
    } else if (arg == "--metrics-public") {
      r.metricsPublic = true;
      commandOptions.push_back(arg);
    } else if (arg == "--jsonl") {
      r.jsonl = true;
      commandOptions.push_back(arg);
    } else if (arg == "--config") {
      if (!value(r.config) || r.config.empty()) return Fail("--config needs a file name");
      commandOptions.push_back(arg);
    } else if (arg.size() > 1 && arg[0] == '-' &&
               !(arg.size() > 1 && std::isdigit(static_cast<unsigned char>(arg[1])))) {
      return Fail("unknown option " + arg);
    } else {
      words.push_back(arg);
    }
    if (inlineValue && (arg == "--help" || arg == "--version" || arg == "--json" ||
                        arg == "--save" || arg == "--jsonl" || arg == "--metrics-public"))
      return Fail(arg + " takes no value");
  }

  if (r.version) return {r, {}};
  if (words.empty()) {
    if (r.help) return {r, {}};
    return Fail("no command given (signal-cli --help lists them)");
  }
  r.command = words.front();
  words.erase(words.begin());
  if (!FindCommand(r.command)) return Fail("unknown command \"" + r.command + "\"");
  if (r.help) return {r, {}};

  const std::string& c = r.command;
  auto allowOnly = [&](std::vector<std::string> allowed) -> std::string {
    for (const std::string& o : commandOptions)
      if (std::find(allowed.begin(), allowed.end(), o) == allowed.end())
        return o + " does not apply to " + c + (r.action.empty() ? "" : " " + r.action);
    return {};
  };
  auto words_are = [&](size_t n) { return words.size() == n; };
  std::string error;

  if (c == "search") {
    if (!words_are(0)) return Fail(c + " takes no words");
    error = allowOnly({});
  } else if (c == "log") {
    if (!words_are(0)) return Fail("log takes no words");
    error = allowOnly({"--filter", "--for"});
  } else if (c == "watch") {
    if (!words_are(0)) return Fail("watch takes no words");
    error = allowOnly(
        {"--boxes", "--book", "--every", "--metrics", "--metrics-public", "--jsonl", "--config"});
  } else if (c == "status") {
    if (!words_are(0)) return Fail("status takes no words");
    error = allowOnly({"--json"});
  } else if (c == "hpd" || c == "input") {
    const std::string a = words_are(1) ? Lower(words[0]) : "";
    const bool ok = c == "hpd" ? (a == "on" || a == "off") : (a == "hdmi" || a == "sdi");
    if (!ok) return Fail(c == "hpd" ? "usage: hpd on|off" : "usage: input hdmi|sdi");
    r.action = a;
    error = allowOnly({});
  } else if (c == "volume") {
    const std::optional<int> step = words_are(1) ? ParseInt(words[0], 0, 8) : std::nullopt;
    if (!step) return Fail("usage: volume 0..8 (a step: 0 = 0 %, 4 = 50 %, 8 = 100 %)");
    r.number = *step;
    error = allowOnly({});
  } else if (c == "edid") {
    r.action = words.empty() ? "" : Lower(words[0]);
    if (r.action == "list" && words_are(1)) {
      error = allowOnly({});
    } else if ((r.action == "select" || r.action == "read") && words_are(2)) {
      const std::optional<int> preset = ParseInt(words[1], 0, kPresetCount - 1);
      if (!preset) return Fail("the preset is a number 0..14, not \"" + words[1] + "\"");
      r.number = *preset;
      error = r.action == "read" ? allowOnly({"-o", "--json"}) : allowOnly({});
      if (error.empty() && haveOutput && r.json) error = "edid read takes -o or --json, not both";
    } else if (r.action == "write" && words_are(3)) {
      const std::optional<int> slot = ParseInt(words[1], 1, 10);
      if (!slot)
        return Fail("the user slot is a number 1..10 (USER1..USER10), not \"" + words[1] + "\"");
      r.number = *slot;
      r.file = words[2];
      error = allowOnly({});
    } else {
      return Fail(
          "usage: edid list | edid select N | edid read N [-o FILE] | edid write SLOT FILE");
    }
  } else if (c == "infoframe") {
    if (!words.empty() && Lower(words[0]) == "decode") {
      r.action = "decode";
      std::string problem;
      const auto payload = ParseInfoFramePayload({words.begin() + 1, words.end()}, &problem);
      if (!payload) return Fail(problem);
      r.payload = *payload;
    } else {
      if (!words_are(1))
        return Fail(
            "usage: infoframe TYPE | infoframe decode HEX... (signal-cli infoframe --help tells "
            "more)");
      const std::optional<int> entry = ParsePacketType(words[0]);
      if (!entry) return Fail("unknown InfoFrame type \"" + words[0] + "\"");
      r.number = *entry;
    }
    error = allowOnly({"--json"});
  } else if (c == "monitor") {
    r.action = words_are(1) ? Lower(words[0]) : "";
    if (r.action == "start") {
      if (!haveSlot) return Fail("monitor start needs --slot N (1..255)");
      error = allowOnly({"--slot", "--unit", "--trigger"});
    } else if (r.action == "read") {
      error = allowOnly({"--save"});
    } else {
      return Fail(
          "usage: monitor start --slot N [--unit s|m] [--trigger image|loss] | monitor read "
          "[--save]");
    }
  } else if (c == "preview") {
    if (!words_are(0)) return Fail("preview takes no words");
    if (!haveOutput) return Fail("preview needs -o FILE.png");
    if (!PreviewFormatOf(r.output))
      return Fail("preview writes PNG or BMP: name the file .png or .bmp, not \"" + r.output +
                  "\"");
    error = allowOnly({"-o"});
  } else if (c == "capture") {
    r.action = words.empty() ? "" : Lower(words[0]);
    if (r.action == "frame" && words_are(1)) {
      error = allowOnly({"-o"});
    } else if (r.action == "line" && words_are(2)) {
      const std::optional<int> line = ParseInt(words[1], 1, 100);
      if (!line) return Fail("the line is a number 1..100, not \"" + words[1] + "\"");
      r.number = *line;
      error = allowOnly({"-o"});
    } else {
      return Fail("usage: capture frame [-o FILE] | capture line N [-o FILE]");
    }
  } else if (c == "address") {
    r.action = words.empty() ? "" : Lower(words[0]);
    if (r.action == "read" && words_are(1)) {
      error = allowOnly({});
    } else if (r.action == "write" && words_are(2)) {
      const std::optional<DeviceAddress> a = ParseAddressArgument(words[1]);
      if (!a)
        return Fail("the address is four hexadecimal digits (GGDD), not \"" + words[1] + "\"");
      const auto assignable = [](uint8_t b) { return b >= 0x01 && b <= 0xFE; };
      const bool erase = a->group == 0 && a->device == 0;
      if (!erase && !(assignable(a->group) && assignable(a->device)))
        return Fail("group and device must each be 01..FE (or 0000 to delete the address)");
      r.newAddress = *a;
      error = allowOnly({});
    } else {
      return Fail("usage: address read | address write GGDD");
    }
  }
  if (!error.empty()) return Fail(error);
  (void)haveUnit;
  (void)haveTrigger;
  return {r, {}};
}

std::string ProgramHelp() {
  std::string text =
      "Usage: signal-cli [--port COMn|PATH|URL] [--address GGDD] [--timeout SECONDS] COMMAND ...\n"
      "Drives the HDMI/SDI signal analyzer box from the command line, through the same\n"
      "core as the Signal Console.\n"
      "\n"
      "Commands:\n";
  for (const CommandInfo& c : kCommands) {
    std::string name = c.name;
    name.resize(11, ' ');
    text += "  " + name + c.summary + "\n";
  }
  text +=
      "\n"
      "signal-cli COMMAND --help tells more about each.\n"
      "\n"
      "Options:\n"
      "  -p, --port COMn|PATH|URL\n"
      "                          the box's port: COM1..COM99 as the console numbers them\n"
      "                          (SIGNAL_CONSOLE_PORTS, the network ports mapped in the\n"
      "                          console, then /dev/ttyUSB*, /dev/ttyACM*, /dev/ttyS*), a\n"
      "                          device path, or a device server's port:\n"
      "                          rfc2217://HOST:PORT (Telnet, RFC 2217: the rate is set\n"
      "                          from here, captures work) or tcp://HOST:PORT (raw bytes:\n"
      "                          115200 baud only, no captures); HOST an IPv4 address, an\n"
      "                          IPv6 address in brackets or a name; default COM1\n"
      "  -a, --address GGDD      the box to talk to on a shared line (default 0000: any)\n"
      "  -t, --timeout SECONDS   how long to wait for each answer, and for a device\n"
      "                          server to take the connection (default 3; watch: 1)\n"
      "  -h, --help              this text\n"
      "      --version           the version\n"
      "\n"
      "Exit status:\n"
      "  0    done\n"
      "  1    the box refused, reported another state than the one set, or sent bad data\n"
      "  2    bad argument (nothing was sent)\n"
      "  3    port unavailable (cannot be opened, is held by another program, or went away;\n"
      "       a device server that cannot be reached, refuses, is in use or does not\n"
      "       negotiate in time)\n"
      "  4    no box answered in time\n"
      "  5    a file could not be read or written\n"
      "  130  interrupted (Ctrl+C)\n"
      "\n"
      "Errors go to standard error, one line each; results to standard output.\n";
  return text;
}

std::string CommandHelp(const std::string& command) {
  const CommandInfo* c = FindCommand(command);
  if (!c) return {};
  return std::string("Usage: signal-cli [OPTIONS] ") + c->usage + "\n" + c->summary + ".\n\n" +
         c->details + "\nsignal-cli --help lists the options and exit codes.\n";
}

}  // namespace sc
