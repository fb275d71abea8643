#include "sim/sim_commands.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <sstream>
#include <utility>

namespace sc {

namespace {

std::optional<long> ParseNumber(std::string_view text, long low, long high) {
  long value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value < low || value > high)
    return std::nullopt;
  return value;
}

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
      ++i;
    size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
      ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

std::string Hex4(DeviceAddress a) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X%02X", a.group, a.device);
  return text;
}

std::string SignalNames() {
  std::string names;
  for (const BoxSignal& s : BoxSignalPresets())
    names += (names.empty() ? "" : ", ") + s.name;
  return names;
}

std::optional<uint8_t> ParseInput(std::string_view word) {
  if (word == "hdmi") return kHdmiInput;
  if (word == "sdi") return kSdiInput;
  return std::nullopt;
}

const char* InputName(uint8_t input) {
  return input == kSdiInput ? "sdi" : "hdmi";
}

std::optional<uint8_t> ParseHdcp(std::string_view word) {
  if (word == "off") return 0;
  if (word == "1.4") return 1;
  if (word == "2.2") return 2;
  return std::nullopt;
}

std::string FormatList() {
  std::string list;
  for (const BoxSignal& s : BoxSignalPresets()) {
    std::string name = s.name;
    name.resize(std::max<size_t>(name.size(), 14), ' ');
    list += "  " + name + s.description + "\n";
  }
  return list;
}

// The packet types the box can be told to answer with bytes of the user's, by name.
struct InfoFrameTypeName {
  const char* name;
  uint8_t type;
};
constexpr InfoFrameTypeName kInfoFrameTypes[] = {
    {"acp", 0x04}, {"isrc1", 0x05}, {"isrc2", 0x06}, {"gamut", 0x0A}, {"vs", 0x81},
    {"avi", 0x82}, {"spd", 0x83},   {"audio", 0x84}, {"mpeg", 0x85},  {"drm", 0x87},
};
constexpr size_t kMaxInfoFrameBytes = 64;

std::string InfoFrameTypeNames() {
  std::string names;
  for (const InfoFrameTypeName& t : kInfoFrameTypes)
    names += (names.empty() ? "" : ", ") + std::string(t.name);
  return names;
}

std::optional<uint8_t> ParseInfoFrameType(std::string_view word) {
  for (const InfoFrameTypeName& t : kInfoFrameTypes)
    if (word == t.name) return t.type;
  if (word.size() > 2 && (word.substr(0, 2) == "0x" || word.substr(0, 2) == "0X"))
    word.remove_prefix(2);
  unsigned value = 0;
  auto [ptr, ec] = std::from_chars(word.data(), word.data() + word.size(), value, 16);
  if (word.empty() || word.size() > 2 || ec != std::errc() || ptr != word.data() + word.size())
    return std::nullopt;
  return static_cast<uint8_t>(value);
}

// Hexadecimal bytes in words: "02 0D 47", "020D47"; a word of one digit is one byte.
std::optional<std::vector<uint8_t>> ParseHexBytes(const std::vector<std::string_view>& words,
                                                  std::string* problem) {
  std::vector<uint8_t> bytes;
  for (std::string_view word : words) {
    const std::string shown(word);
    if (word.size() > 2 && (word.substr(0, 2) == "0x" || word.substr(0, 2) == "0X"))
      word.remove_prefix(2);
    if (word.size() > 1 && word.size() % 2 != 0) {
      *problem = "'" + shown + "': an odd number of hexadecimal digits";
      return std::nullopt;
    }
    for (size_t i = 0; i < word.size(); i += 2) {
      const size_t digits = std::min<size_t>(2, word.size() - i);
      unsigned value = 0;
      auto [ptr, ec] = std::from_chars(word.data() + i, word.data() + i + digits, value, 16);
      if (ec != std::errc() || ptr != word.data() + i + digits) {
        *problem = "'" + shown + "' is not hexadecimal";
        return std::nullopt;
      }
      bytes.push_back(static_cast<uint8_t>(value));
    }
  }
  if (bytes.size() > kMaxInfoFrameBytes) {
    *problem = "at most " + std::to_string(kMaxInfoFrameBytes) + " bytes after the type";
    return std::nullopt;
  }
  return bytes;
}

// What the box will send, when it is not a whole InfoFrame with a right checksum: the
// user may want that, or may have mistyped.
// ", own InfoFrames 82 87" for the types the box answers with the user's bytes.
std::string OwnInfoFrames(const SimulatedBox& b) {
  if (b.infoFrames().empty()) return {};
  std::string text = ", own InfoFrames";
  for (const auto& [type, bytes] : b.infoFrames()) {
    char code[8];
    std::snprintf(code, sizeof code, " %02X", type);
    text += code;
  }
  return text;
}

std::string FormatRate(double rate) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", rate);
  return text;
}

std::string InfoFrameNote(uint8_t type, const std::vector<uint8_t>& bytes) {
  if (type < 0x80) return "ok";
  if (bytes.size() < 3) return "ok (no InfoFrame: its header needs a version, length and checksum)";
  const size_t length = bytes[1];
  if (bytes.size() < 3 + length)
    return "ok (the length announces " + std::to_string(length) + " data bytes, " +
           std::to_string(bytes.size() - 3) + " given)";
  unsigned sum = type;
  for (size_t i = 0; i < 3 + length; ++i)
    if (i != 2) sum += bytes[i];
  const unsigned right = (0x100 - (sum & 0xFF)) & 0xFF;
  if (bytes[2] == right) return "ok";
  char text[96];
  std::snprintf(text, sizeof text, "ok (checksum %02X is wrong, as sent: %02X would be right)",
                bytes[2], right);
  return text;
}

}  // namespace

std::optional<DeviceAddress> ParseBoxAddress(std::string_view text) {
  if (text.size() != 4) return std::nullopt;
  unsigned value = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + 4, value, 16);
  if (ec != std::errc() || ptr != text.data() + 4) return std::nullopt;
  DeviceAddress a = DeviceAddress::FromWord(static_cast<uint16_t>(value));
  if (a.group < 0x01 || a.group > 0xFE || a.device < 0x01 || a.device > 0xFE) return std::nullopt;
  return a;
}

std::string SimUsage() {
  return "usage: signal-box-sim [options]\n"
         "Simulates analyzer boxes on a serial line. Prints the path of the line (a new\n"
         "pseudo-terminal unless --device is given) alone on the first line of standard\n"
         "output, then serves until it is killed or its standard input ends. Commands on\n"
         "standard input change the boxes while they serve (type 'help').\n"
         "\n"
         "  --address GGDD   a box with this address (hex, group and device 01..FE);\n"
         "                   repeat for several boxes on the line (default 0101)\n"
         "  --boxes N        N boxes, devices counting up from --address (default 1)\n"
         "  --signal NAME    the received signal: " +
         SignalNames() +
         "\n"
         "                   (default 1080p60)\n"
         "  --hdr10          the source sends HDR10 (see 'hdr' below)\n"
         "  --input hdmi|sdi the selected input (default hdmi); an SDI format goes to the\n"
         "                   SDI input, the others to HDMI ('formats' lists them)\n"
         "  --device PATH    serve this serial device instead of a pseudo-terminal\n"
         "  --baud N         its line rate (default 115200)\n"
         "  --chaos SEED:RATE\n"
         "                   a noisy line from the start (see 'chaos' below)\n"
         "  --no-pace        send as fast as the line takes bytes, not at its rate (a\n"
         "                   pseudo-terminal does not pace them; paced, a 1920x1080 frame\n"
         "                   takes about 130 s at 512000 baud, as on a real line)\n"
         "  --help           this text\n"
         "\n" +
         SimCommandInterpreter::Help();
}

std::optional<SimOptions> ParseSimOptions(const std::vector<std::string>& args,
                                          std::string* error) {
  SimOptions options;
  std::optional<long> boxes;
  bool baudGiven = false;
  auto fail = [&](const std::string& text) {
    if (error) *error = text;
    return std::nullopt;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> value;
    if (size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
    }
    if (name == "--help" || name == "-h") {
      options.help = true;
      continue;
    }
    if (name == "--no-pace" && !value) {
      options.pace = false;
      continue;
    }
    if (name == "--hdr10" && !value) {
      options.hdr10 = true;
      continue;
    }
    const bool known = name == "--address" || name == "--boxes" || name == "--signal" ||
                       name == "--input" || name == "--device" || name == "--baud" ||
                       name == "--chaos";
    if (!known) return fail("unknown option '" + args[i] + "'");
    if (!value) {
      if (i + 1 >= args.size()) return fail(name + " needs a value");
      value = args[++i];
    }
    if (name == "--address") {
      auto a = ParseBoxAddress(*value);
      if (!a)
        return fail("bad address '" + *value +
                    "': four hex digits, group and device each 01..FE (e.g. 0A03)");
      options.addresses.push_back(*a);
    } else if (name == "--boxes") {
      boxes = ParseNumber(*value, 1, 254);
      if (!boxes) return fail("bad box count '" + *value + "': 1..254");
    } else if (name == "--signal") {
      if (!FindBoxSignal(*value))
        return fail("unknown signal '" + *value + "': one of " + SignalNames());
      options.signal = *value;
    } else if (name == "--input") {
      auto input = ParseInput(*value);
      if (!input) return fail("bad input '" + *value + "': hdmi or sdi");
      options.input = *input;
    } else if (name == "--chaos") {
      options.chaos = ParseChaosSetting(*value);
      if (!options.chaos) return fail("bad chaos '" + *value + "': SEED:RATE, e.g. 7:0.01 or 7:1%");
    } else if (name == "--device") {
      if (value->empty()) return fail("--device needs a path");
      options.device = *value;
    } else {
      auto baud = ParseNumber(*value, 50, 4000000);
      if (!baud) return fail("bad baud rate '" + *value + "': 50..4000000");
      options.baud = static_cast<int>(*baud);
      baudGiven = true;
    }
  }
  if (options.help) return options;
  if (baudGiven && options.device.empty()) return fail("--baud applies only with --device");
  if (options.addresses.empty()) options.addresses.push_back({0x01, 0x01});
  if (boxes) {
    if (options.addresses.size() > 1)
      return fail("--boxes goes with at most one --address; repeat --address instead");
    const DeviceAddress first = options.addresses.front();
    if (first.device + *boxes - 1 > 0xFE)
      return fail("--boxes " + std::to_string(*boxes) + " from " + Hex4(first) +
                  " runs past device FE");
    for (long k = 1; k < *boxes; ++k)
      options.addresses.push_back({first.group, static_cast<uint8_t>(first.device + k)});
  }
  for (size_t i = 0; i < options.addresses.size(); ++i)
    for (size_t j = 0; j < i; ++j)
      if (options.addresses[i] == options.addresses[j])
        return fail("address " + Hex4(options.addresses[i]) + " given twice");
  return options;
}

std::string SimCommandInterpreter::Help() {
  return "commands (each changes the selected box, or every box):\n"
         "  signal NAME [hdr10] [quiet]\n"
         "                       the source sends format NAME (" +
         SignalNames() +
         ");\n"
         "                       an SDI format on the SDI input, the others on HDMI, 'none'\n"
         "                       on the selected input; a box whose received signal changes\n"
         "                       sends its signal notice, unless 'quiet'; 'hdr10' as with\n"
         "                       'hdr on'\n"
         "  hdr on|off           the selected input's source sends HDR10, or stops: a Dynamic\n"
         "                       Range and Mastering InfoFrame (SMPTE ST 2084, a 1000 cd/m2\n"
         "                       BT.2020 mastering display) and AVI colorimetry BT.2020\n"
         "  infoframe TYPE HEX...\n"
         "                       answer the InfoFrame request for TYPE with these bytes\n"
         "                       whatever the signal: the version, length, checksum and data\n"
         "                       bytes (for acp, isrc1, isrc2 and gamut: the two header bytes\n"
         "                       and the body), spaces optional. TYPE is a code (82, 0x82)\n"
         "                       or a name: " +
         InfoFrameTypeNames() +
         "\n"
         "  infoframe TYPE default\n"
         "                       answer TYPE from the signal again\n"
         "  formats              list the formats\n"
         "  pull [hdmi|sdi]      pull the source's cable (default: the selected input)\n"
         "  plug [hdmi|sdi]      plug it back in\n"
         "  lose SECONDS         pull the selected input's cable for SECONDS (1..86400)\n"
         "                       seconds; it goes back in by itself (both notices are sent)\n"
         "  input hdmi|sdi       select the input\n"
         "  hpd on|off           hot-plug setting; with hot-plug off the HDMI source stops\n"
         "  hdcp off|1.4|2.2     HDCP of the selected input's source\n"
         "  volume 0..8          volume step\n"
         "  edid 0..14           EDID preset the box presents (0..4 built in, 5..14 USER1..10)\n"
         "  edidfail on|off      make EDID writes to the user slots fail (slot unchanged)\n"
         "  silent on|off        the box answers nothing and sends no notice (it stays on the\n"
         "                       line and keeps acting on commands), or speaks again\n"
         "  drop N               drop the next N frames the box sends\n"
         "  corrupt N            send the next N frames with a wrong checksum\n"
         "  duplicate N          send the next N frames twice\n"
         "  garble N             put line noise before each of the next N frames\n"
         "  stranger N           send the next N frames with address 0B01 (another box's)\n"
         "  deaf on|off          stop (or start again) reading the line: writes to it stall\n"
         "  delay MS             wait MS milliseconds before each reply\n"
         "  stall N              the next frame transfer stops after N chunks\n"
         "  chaos SEED RATE      a noisy line: each frame the box sends is, with probability\n"
         "                       RATE (0.01 or 1%), dropped, corrupted, duplicated, delayed\n"
         "                       (up to 2 s), put behind line noise, cut short or sent as\n"
         "                       from the next box's address; the same SEED repeats a run\n"
         "  chaos off            end it\n"
         "  chaos events         list the faults made since last asked ('chaos-event' lines:\n"
         "                       milliseconds since 1970, box, kind, code, frame size, detail)\n"
         "  pace on|off          send at the line's rate, or as fast as it takes bytes\n"
         "  box GGDD|all         choose the box the commands change (default all)\n"
         "  add GGDD             put a new box on the line (1080p60 on HDMI)\n"
         "  remove GGDD          take the box off the line\n"
         "  hangup               close the line: the console sees a hang-up\n"
         "  status               show every box\n"
         "  quit                 end the program\n";
}

template <class F>
void SimCommandInterpreter::ForSelected(BoxLine& line, F&& f) {
  for (size_t k = 0; k < line.size(); ++k)
    if (!selected_ || line.box(k).address() == *selected_) f(line.box(k));
}

SimCommandInterpreter::Result SimCommandInterpreter::Execute(std::string_view text) {
  const std::vector<std::string_view> w = Words(text);
  auto error = [](std::string message) { return Result{false, false, "error: " + message + "\n"}; };
  auto done = [](std::string message = "ok") { return Result{true, false, message + "\n"}; };
  if (w.empty() || w[0].front() == '#') return Result{true, false, ""};
  const std::string_view verb = w[0];
  const std::string arg = w.size() > 1 ? std::string(w[1]) : std::string();
  auto arity = [&](size_t low, size_t high) { return w.size() >= low + 1 && w.size() <= high + 1; };

  if (verb == "help") return Result{true, false, Help()};
  if (verb == "quit" || verb == "exit") return Result{true, true, "ok\n"};
  if (verb == "status") {
    std::ostringstream s;
    const char* states[] = {"not started", "serving", "hung up", "line lost", "stopped"};
    s << "line " << server_.path() << ": " << states[static_cast<int>(server_.state())] << "\n";
    server_.WithLine([&](BoxLine& line) {
      for (size_t k = 0; k < line.size(); ++k) {
        const SimulatedBox& b = line.box(k);
        s << "box " << Hex4(b.address()) << (selected_ == b.address() ? " (selected)" : "")
          << ": input " << (b.panel().input == 1 ? "sdi" : "hdmi") << ", hpd "
          << (b.panel().hotPlug == 1 ? "off" : "on") << ", volume " << int(b.panel().volumeStep)
          << ", edid " << int(b.panel().edidPreset)
          << (b.faults().failEdidWrites ? " (writes fail)" : "") << ", signal " << b.signal().name
          << (b.signal().hdr10 ? " hdr10" : "") << " (hdmi " << b.sources().Source(kHdmiInput).name
          << (b.sources().Connected(kHdmiInput) ? "" : " pulled") << ", sdi "
          << b.sources().Source(kSdiInput).name
          << (b.sources().Connected(kSdiInput) ? "" : " pulled") << ")"
          << (b.faults().silent ? ", silent" : "") << ", drop " << b.faults().dropFrames
          << ", corrupt " << b.faults().corruptFrames << ", delay " << b.faults().replyDelay.count()
          << " ms"
          << (b.faults().chaos ? ", chaos seed " + std::to_string(b.faults().chaos->seed()) +
                                     " rate " + FormatRate(b.faults().chaos->rate())
                               : std::string())
          << (b.faults().stallFrameAfter >= 0
                  ? ", stall after " + std::to_string(b.faults().stallFrameAfter) + " chunks"
                  : std::string())
          << ", " << b.lineRate() << " baud" << (b.Streaming() ? " (sending a frame)" : "")
          << OwnInfoFrames(b) << ", " << b.counters().frames << " frames in, " << b.counters().sent
          << " out\n";
      }
    });
    return Result{true, false, s.str()};
  }
  if (verb == "hangup") {
    if (!arity(0, 0)) return error("hangup takes no argument");
    if (server_.state() != BoxServer::State::Serving) return error("the line is not open");
    server_.HangUp();
    return done();
  }
  if (verb == "box") {
    if (!arity(1, 1)) return error("usage: box GGDD|all");
    if (arg == "all") {
      selected_.reset();
      return done();
    }
    auto a = ParseBoxAddress(arg);
    if (!a) return error("bad address '" + arg + "'");
    bool found = server_.WithLine([&](BoxLine& line) { return line.Find(*a) != nullptr; });
    if (!found) return error("no box " + arg + " on this line");
    selected_ = a;
    return done();
  }
  if (verb == "add" || verb == "remove") {
    if (!arity(1, 1)) return error("usage: " + std::string(verb) + " GGDD");
    auto a = ParseBoxAddress(arg);
    if (!a) return error("bad address '" + arg + "'");
    if (verb == "add") {
      // Two boxes with one address would answer as one: refused here (a box re-programmed
      // over the line may still end up sharing one).
      const bool added = server_.WithLine([&](BoxLine& line) {
        if (line.Find(*a)) return false;
        line.Add(*a);
        return true;
      });
      return added ? done() : error("box " + arg + " is already on this line");
    }
    if (!server_.WithLine([&](BoxLine& line) { return line.Remove(*a); }))
      return error("no box " + arg + " on this line");
    if (selected_ == *a) {
      selected_.reset();
      return done("ok (the commands now change every box)");
    }
    return done();
  }
  if (verb == "signal") {
    bool notify = true;
    bool hdr10 = false;
    bool extraOk = arity(1, 3);
    for (size_t k = 2; k < w.size(); ++k) {
      if (w[k] == "quiet" && notify)
        notify = false;
      else if (w[k] == "hdr10" && !hdr10)
        hdr10 = true;
      else
        extraOk = false;
    }
    if (!extraOk) return error("usage: signal NAME [hdr10] [quiet]");
    auto signal = FindBoxSignal(arg);
    if (!signal) return error("unknown signal '" + arg + "': one of " + SignalNames());
    signal->hdr10 = hdr10;
    server_.WithLine([&](BoxLine& line) {
      ForSelected(line, [&](SimulatedBox& b) { b.SetSignal(*signal, notify); });
    });
    return done();
  }
  if (verb == "formats") {
    if (!arity(0, 0)) return error("formats takes no argument");
    return Result{true, false, FormatList()};
  }
  if (verb == "input") {
    auto input = arity(1, 1) ? ParseInput(arg) : std::nullopt;
    if (!input) return error("usage: input hdmi|sdi");
    server_.WithLine([&](BoxLine& line) {
      ForSelected(line, [&](SimulatedBox& b) { b.SetInput(*input, true); });
    });
    return done();
  }
  if (verb == "hpd") {
    if (!arity(1, 1) || (arg != "on" && arg != "off")) return error("usage: hpd on|off");
    const uint8_t off = arg == "off" ? 1 : 0;
    server_.WithLine([&](BoxLine& line) {
      ForSelected(line, [&](SimulatedBox& b) { b.SetHotPlug(off, true); });
    });
    return done();
  }
  if (verb == "pull" || verb == "plug") {
    std::optional<uint8_t> input;
    if (w.size() == 2) {
      input = ParseInput(arg);
      if (!input) return error("usage: " + std::string(verb) + " [hdmi|sdi]");
    } else if (!arity(0, 0)) {
      return error("usage: " + std::string(verb) + " [hdmi|sdi]");
    }
    const bool connected = verb == "plug";
    std::string said;
    server_.WithLine([&](BoxLine& line) {
      ForSelected(line, [&](SimulatedBox& b) {
        const uint8_t which = input ? *input : b.panel().input;
        b.SetSourceConnected(which, connected, true);
        said = InputName(which);
      });
    });
    return done("ok: " + said + (connected ? " source plugged in" : " source pulled"));
  }
  if (verb == "hdcp") {
    auto hdcp = arity(1, 1) ? ParseHdcp(arg) : std::nullopt;
    if (!hdcp) return error("usage: hdcp off|1.4|2.2");
    server_.WithLine([&](BoxLine& line) {
      ForSelected(line, [&](SimulatedBox& b) { b.SetHdcp(b.panel().input, *hdcp, true); });
    });
    return done();
  }
  if (verb == "hdr") {
    if (!arity(1, 1) || (arg != "on" && arg != "off")) return error("usage: hdr on|off");
    server_.WithLine([&](BoxLine& line) {
      ForSelected(line, [&](SimulatedBox& b) { b.SetHdr10(b.panel().input, arg == "on"); });
    });
    return done();
  }
  if (verb == "infoframe") {
    const std::string usage = "usage: infoframe TYPE HEX... | infoframe TYPE default";
    if (w.size() < 3) return error(usage);
    const std::optional<uint8_t> type = ParseInfoFrameType(arg);
    if (!type)
      return error("unknown InfoFrame type '" + arg + "': a code (82, 0x82) or one of " +
                   InfoFrameTypeNames());
    if (w.size() == 3 && w[2] == "default") {
      server_.WithLine([&](BoxLine& line) {
        ForSelected(line, [&](SimulatedBox& b) { b.ClearInfoFrame(*type); });
      });
      return done();
    }
    std::string problem;
    const std::optional<std::vector<uint8_t>> bytes =
        ParseHexBytes({w.begin() + 2, w.end()}, &problem);
    if (!bytes) return error(problem);
    server_.WithLine([&](BoxLine& line) {
      ForSelected(line, [&](SimulatedBox& b) { b.SetInfoFrame(*type, *bytes); });
    });
    return done(InfoFrameNote(*type, *bytes));
  }
  if (verb == "chaos") {
    const std::string usage = "usage: chaos SEED RATE | chaos off | chaos events";
    if (arity(1, 1) && arg == "off") {
      server_.WithLine([&](BoxLine& line) {
        ForSelected(line, [&](SimulatedBox& b) { b.faults().chaos.reset(); });
      });
      return done();
    }
    if (arity(1, 1) && arg == "events") {
      // Every box's events since they were last taken, oldest first.
      std::vector<ChaosEvent> events;
      uint64_t lost = 0;
      server_.WithLine([&](BoxLine& line) {
        for (size_t k = 0; k < line.size(); ++k) {
          std::optional<BoxChaos>& chaos = line.box(k).faults().chaos;
          if (!chaos) continue;
          events.insert(events.end(), chaos->events.begin(), chaos->events.end());
          chaos->events.clear();
          lost += std::exchange(chaos->lostEvents, 0);
        }
      });
      std::stable_sort(events.begin(), events.end(),
                       [](const ChaosEvent& a, const ChaosEvent& b) { return a.time < b.time; });
      std::string text;
      for (const ChaosEvent& e : events)
        text += FormatChaosEvent(e) + "\n";
      text += "ok " + std::to_string(events.size()) + " events";
      if (lost > 0) text += ", " + std::to_string(lost) + " older ones lost";
      return done(text);
    }
    if (!arity(2, 2)) return error(usage);
    const std::optional<ChaosSetting> setting = ParseChaosSetting(arg + ":" + std::string(w[2]));
    if (!setting)
      return error("bad chaos '" + arg + " " + std::string(w[2]) +
                   "': a seed 0..18446744073709551615 and a rate 0..1 (0.01 or 1%)");
    server_.WithLine([&](BoxLine& line) {
      ForSelected(line, [&](SimulatedBox& b) {
        b.faults().chaos.emplace(setting->seed, setting->rate, b.address());
      });
    });
    return done();
  }
  if (verb == "deaf") {
    if (!arity(1, 1) || (arg != "on" && arg != "off")) return error("usage: deaf on|off");
    server_.SetDeaf(arg == "on");
    return done();
  }
  if (verb == "pace") {
    if (!arity(1, 1) || (arg != "on" && arg != "off")) return error("usage: pace on|off");
    server_.SetPacing(arg == "on");
    return done();
  }
  if (verb == "silent") {
    if (!arity(1, 1) || (arg != "on" && arg != "off")) return error("usage: silent on|off");
    const bool silent = arg == "on";
    server_.WithLine([&](BoxLine& line) {
      ForSelected(line, [&](SimulatedBox& b) { b.faults().silent = silent; });
    });
    return done();
  }
  if (verb == "edidfail") {
    if (!arity(1, 1) || (arg != "on" && arg != "off")) return error("usage: edidfail on|off");
    const bool fail = arg == "on";
    server_.WithLine([&](BoxLine& line) {
      ForSelected(line, [&](SimulatedBox& b) { b.faults().failEdidWrites = fail; });
    });
    return done();
  }

  // The commands that take one number.
  struct NumberCommand {
    std::string_view verb;
    long low, high;
    const char* usage;
    void (*apply)(SimulatedBox&, long);
  };
  static const NumberCommand numberCommands[] = {
      {"volume", 0, 8, "usage: volume 0..8",
       [](SimulatedBox& b, long v) { b.panel().volumeStep = static_cast<uint8_t>(v); }},
      {"edid", 0, 14, "usage: edid 0..14",
       [](SimulatedBox& b, long v) { b.panel().edidPreset = static_cast<uint8_t>(v); }},
      {"drop", 0, 1000000, "usage: drop N (0..1000000)",
       [](SimulatedBox& b, long v) { b.faults().dropFrames = static_cast<int>(v); }},
      {"corrupt", 0, 1000000, "usage: corrupt N (0..1000000)",
       [](SimulatedBox& b, long v) { b.faults().corruptFrames = static_cast<int>(v); }},
      {"duplicate", 0, 1000000, "usage: duplicate N (0..1000000)",
       [](SimulatedBox& b, long v) { b.faults().duplicateFrames = static_cast<int>(v); }},
      {"garble", 0, 1000000, "usage: garble N (0..1000000)",
       [](SimulatedBox& b, long v) { b.faults().garbleFrames = static_cast<int>(v); }},
      {"stranger", 0, 1000000, "usage: stranger N (0..1000000)",
       [](SimulatedBox& b, long v) { b.faults().strangerFrames = static_cast<int>(v); }},
      {"lose", 1, 86400, "usage: lose SECONDS (1..86400)",
       [](SimulatedBox& b, long v) { b.LoseSignalFor(std::chrono::seconds(v)); }},
      {"delay", 0, 60000, "usage: delay MS (0..60000)",
       [](SimulatedBox& b, long v) { b.faults().replyDelay = std::chrono::milliseconds(v); }},
      {"stall", 0, 1000000, "usage: stall N (0..1000000)",
       [](SimulatedBox& b, long v) { b.faults().stallFrameAfter = static_cast<int>(v); }},
  };
  for (const NumberCommand& c : numberCommands) {
    if (verb != c.verb) continue;
    auto value = arity(1, 1) ? ParseNumber(arg, c.low, c.high) : std::nullopt;
    if (!value) return error(c.usage);
    server_.WithLine(
        [&](BoxLine& line) { ForSelected(line, [&](SimulatedBox& b) { c.apply(b, *value); }); });
    return done();
  }
  return error("unknown command '" + std::string(verb) + "' (try 'help')");
}

}  // namespace sc
