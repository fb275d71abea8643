#include "cli/edid_edit_command.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "cli/text_output.h"
#include "edid/edid_diff.h"
#include "edid/edid_file.h"
#include "edid/edid_names.h"
#include "storage/safe_file.h"

namespace sc {

const char kEdidEditUsage[] =
    "Usage: signal-edid edit IN -o OUT [EDIT...]\n"
    "Changes an EDID file and writes the result to OUT (.bin: the bytes; .txt: hexadecimal\n"
    "numbers as the EDID page saves them), then prints what changed against IN and any\n"
    "error or warning the result has that IN did not. The edits apply in the order given;\n"
    "data block lengths, the DTD offset, the padding and every checksum are rebuilt, and\n"
    "bytes no edit concerns are kept. IN and OUT have as many bytes as each other.\n"
    "\n"
    "Identity:\n"
    "  --name TEXT              monitor name, 1 to 13 printable ASCII characters\n"
    "  --manufacturer ABC       manufacturer ID, three letters\n"
    "  --product N              product code, 0 to 65535\n"
    "  --serial N               serial number, 0 to 4294967295\n"
    "Video:\n"
    "  --preferred VIC          the first detailed timing from the VIC's timing (refused\n"
    "                           when a detailed timing cannot hold it)\n"
    "  --preferred-timing N     the first detailed timing changes places with the EDID's\n"
    "                           Nth detailed timing (1 is the first)\n"
    "  --remove-vic N           remove a VIC everywhere it is listed (repeatable)\n"
    "  --add-vic N[:native]     add a VIC, native if asked (repeatable)\n"
    "  --native VIC             mark a listed VIC (1 to 64) native, and no other\n"
    "  --max-clock MHZ          remove every VIC whose pixel clock is above MHZ\n"
    "  --ycbcr444 on|off, --ycbcr422 on|off\n"
    "                           the extension's YCbCr support flags\n"
    "Audio:\n"
    "  --remove-audio FORMAT    remove a format's descriptors (repeatable): lpcm, ac3,\n"
    "                           mpeg1, mp3, mpeg2, aac, dts, atrac, dsd, eac3, dtshd, mat,\n"
    "                           dst, wma\n"
    "  --audio lpcm:CHANNELS:RATES:SIZES\n"
    "                           replace every descriptor of the format by one; RATES in\n"
    "                           kHz and SIZES in bits, comma-separated, for example\n"
    "                           lpcm:2:32,44.1,48:16,20,24; formats ac3 to atrac take a\n"
    "                           maximum bit rate in kbit/s instead of SIZES (ac3:6:48:640)\n"
    "  --speakers LIST          speaker allocation, comma-separated: FL/FR,LFE1,FC,...\n"
    "HDMI:\n"
    "  --physical-address A.B.C.D\n"
    "                           the HDMI block's physical address (hex digits)\n"
    "  --deep-colour LIST       the HDMI block's deep colour flags: 30,36,48,y444 or none\n"
    "  --max-tmds MHZ           the HDMI block's TMDS limit (5 to 340); the HDMI Forum\n"
    "                           block is left as it is\n"
    "  --max-tmds-rate MHZ      the HDMI Forum block's TMDS character rate (0, 345 to 600)\n"
    "  --no-hdmi-forum          remove the HDMI Forum block\n"
    "HDR:\n"
    "  --no-hdr                 remove the HDR static metadata block\n"
    "  --hdr-eotfs LIST         the HDR block's EOTFs: SDR,HDR,PQ,HLG\n"
    "\n"
    "Exit status: 0 when OUT was written, 1 when an edit was refused (nothing written),\n"
    "2 for a bad argument, 5 when IN could not be read or holds no EDID, or OUT could not\n"
    "be written.\n";

namespace {

bool ParseUnsigned(std::string_view text, uint64_t max, uint64_t& value) {
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && value <= max;
}

// "297", "148.5": MHz to kHz.
bool ParseMhz(std::string_view text, uint32_t& khz) {
  double mhz = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), mhz);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || !(mhz > 0) ||
      mhz > 100000)
    return false;
  khz = static_cast<uint32_t>(std::lround(mhz * 1000));
  return true;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t at; (at = text.find(separator, start)) != std::string_view::npos; start = at + 1)
    parts.push_back(text.substr(start, at - start));
  parts.push_back(text.substr(start));
  return parts;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

bool ParseAudio(std::string_view text, edid_edit::SetAudio& audio, std::string& message) {
  const auto parts = Split(text, ':');
  message = "--audio takes FORMAT:CHANNELS:RATES:SIZES (lpcm) or FORMAT:CHANNELS:RATES:KBITS";
  if (parts.size() != 4) return false;
  audio.format = AudioFormatByName(Lower(parts[0]));
  if (audio.format != 1 && (audio.format < 2 || audio.format > 8)) {
    message = "--audio takes lpcm or one of ac3, mpeg1, mp3, mpeg2, aac, dts, atrac";
    return false;
  }
  uint64_t channels = 0;
  if (!ParseUnsigned(parts[1], 8, channels) || channels == 0) {
    message = "--audio: channels are 1 to 8";
    return false;
  }
  audio.channels = static_cast<uint8_t>(channels);
  const auto rates = ParseSampleRates(parts[2]);
  if (!rates) {
    message = "--audio: rates are kHz among 32, 44.1, 48, 88.2, 96, 176.4, 192";
    return false;
  }
  audio.rates = *rates;
  if (audio.format == 1) {
    const auto sizes = ParseSampleSizes(parts[3]);
    if (!sizes) {
      message = "--audio: sizes are bits among 16, 20, 24";
      return false;
    }
    audio.byte3 = *sizes;
  } else {
    uint64_t kbits = 0;
    if (!ParseUnsigned(parts[3], 2040, kbits) || kbits < 8 || kbits % 8) {
      message = "--audio: the maximum bit rate is 8 to 2040 kbit/s in steps of 8";
      return false;
    }
    audio.byte3 = static_cast<uint8_t>(kbits / 8);
  }
  return true;
}

bool ParseOnOff(std::string_view text, std::optional<bool>& value) {
  if (text == "on")
    value = true;
  else if (text == "off")
    value = false;
  else
    return false;
  return true;
}

}  // namespace

bool ParseEdidEditArguments(const std::vector<std::string>& args, EdidEditArguments& parsed,
                            std::string& message) {
  parsed = {};
  bool options = true;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!options || arg.empty() || arg[0] != '-' || arg == "-") {
      if (!parsed.in.empty()) {
        message = "more than one input file: " + arg;
        return false;
      }
      parsed.in = arg;
      continue;
    }
    if (arg == "--") {
      options = false;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      parsed.help = true;
      return true;
    }
    // Options without a value.
    if (arg == "--no-hdmi-forum") {
      parsed.edits.push_back(edid_edit::RemoveHdmiForum{});
      continue;
    }
    if (arg == "--no-hdr") {
      parsed.edits.push_back(edid_edit::RemoveHdr{});
      continue;
    }
    static const char* const kWithValue[] = {"-o",
                                             "--name",
                                             "--manufacturer",
                                             "--product",
                                             "--serial",
                                             "--preferred",
                                             "--preferred-timing",
                                             "--remove-vic",
                                             "--add-vic",
                                             "--native",
                                             "--max-clock",
                                             "--ycbcr444",
                                             "--ycbcr422",
                                             "--remove-audio",
                                             "--audio",
                                             "--speakers",
                                             "--physical-address",
                                             "--deep-colour",
                                             "--max-tmds",
                                             "--max-tmds-rate",
                                             "--hdr-eotfs"};
    if (std::find(std::begin(kWithValue), std::end(kWithValue), arg) == std::end(kWithValue)) {
      message = "unknown option " + arg;
      return false;
    }
    if (i + 1 >= args.size()) {
      message = arg + " needs a value";
      return false;
    }
    const std::string& value = args[++i];
    auto bad = [&](const std::string& why) {
      message = arg + " " + value + ": " + why;
      return false;
    };
    uint64_t n = 0;
    if (arg == "-o") {
      if (!parsed.out.empty()) return bad("only one output file");
      parsed.out = value;
    } else if (arg == "--name") {
      parsed.edits.push_back(edid_edit::MonitorName{value});
    } else if (arg == "--manufacturer") {
      parsed.edits.push_back(edid_edit::Manufacturer{value});
    } else if (arg == "--product") {
      if (!ParseUnsigned(value, 0xFFFF, n)) return bad("a number 0 to 65535");
      parsed.edits.push_back(edid_edit::Product{static_cast<uint16_t>(n)});
    } else if (arg == "--serial") {
      if (!ParseUnsigned(value, 0xFFFFFFFFu, n)) return bad("a number 0 to 4294967295");
      parsed.edits.push_back(edid_edit::Serial{static_cast<uint32_t>(n)});
    } else if (arg == "--preferred") {
      if (!ParseUnsigned(value, 255, n)) return bad("a VIC");
      parsed.edits.push_back(edid_edit::PreferredVic{static_cast<int>(n)});
    } else if (arg == "--preferred-timing") {
      if (!ParseUnsigned(value, 64, n) || n == 0) return bad("a timing's number, 1 for the first");
      parsed.edits.push_back(edid_edit::PreferredTiming{static_cast<size_t>(n - 1)});
    } else if (arg == "--remove-vic") {
      if (!ParseUnsigned(value, 255, n)) return bad("a VIC");
      parsed.edits.push_back(edid_edit::RemoveVic{static_cast<int>(n)});
    } else if (arg == "--add-vic") {
      const auto parts = Split(value, ':');
      if (parts.size() > 2 || !ParseUnsigned(parts[0], 255, n) ||
          (parts.size() == 2 && parts[1] != "native"))
        return bad("a VIC, or VIC:native");
      parsed.edits.push_back(edid_edit::AddVic{static_cast<int>(n), parts.size() == 2});
    } else if (arg == "--native") {
      if (!ParseUnsigned(value, 255, n)) return bad("a VIC");
      parsed.edits.push_back(edid_edit::MarkNative{static_cast<int>(n)});
    } else if (arg == "--max-clock") {
      uint32_t khz = 0;
      if (!ParseMhz(value, khz)) return bad("a clock in MHz above 0");
      parsed.edits.push_back(edid_edit::MaxClock{khz});
    } else if (arg == "--ycbcr444" || arg == "--ycbcr422") {
      edid_edit::Ycbcr edit;
      if (!ParseOnOff(value, arg == "--ycbcr444" ? edit.ycbcr444 : edit.ycbcr422))
        return bad("on or off");
      parsed.edits.push_back(edit);
    } else if (arg == "--remove-audio") {
      const uint8_t format = AudioFormatByName(Lower(value));
      if (!format)
        return bad(
            "one of lpcm, ac3, mpeg1, mp3, mpeg2, aac, dts, atrac, dsd, eac3, dtshd, mat, "
            "dst, wma");
      parsed.edits.push_back(edid_edit::RemoveAudio{format});
    } else if (arg == "--audio") {
      edid_edit::SetAudio audio;
      std::string why;
      if (!ParseAudio(value, audio, why)) {
        message = why + " (not " + value + ")";
        return false;
      }
      parsed.edits.push_back(audio);
    } else if (arg == "--speakers") {
      const auto mask = ParseSpeakers(value);
      if (!mask) return bad("speakers as FL/FR,LFE1,FC,BL/BR,...");
      parsed.edits.push_back(edid_edit::Speakers{*mask});
    } else if (arg == "--physical-address") {
      const auto address = ParsePhysicalAddress(value);
      if (!address) return bad("four hex digits A.B.C.D");
      parsed.edits.push_back(edid_edit::PhysicalAddress{*address});
    } else if (arg == "--deep-colour") {
      edid_edit::DeepColour colour;
      if (value != "none")
        for (const std::string_view part : Split(Lower(value), ',')) {
          if (part == "30")
            colour.flags |= 0x10;
          else if (part == "36")
            colour.flags |= 0x20;
          else if (part == "48")
            colour.flags |= 0x40;
          else if (part == "y444")
            colour.flags |= 0x08;
          else
            return bad("30, 36, 48 and y444, comma-separated, or none");
        }
      parsed.edits.push_back(colour);
    } else if (arg == "--max-tmds") {
      if (!ParseUnsigned(value, 100000, n)) return bad("a clock in MHz");
      parsed.edits.push_back(edid_edit::MaxTmds{static_cast<unsigned>(n)});
    } else if (arg == "--max-tmds-rate") {
      if (!ParseUnsigned(value, 100000, n)) return bad("a rate in MHz");
      parsed.edits.push_back(edid_edit::HdmiForumMaxRate{static_cast<unsigned>(n)});
    } else if (arg == "--hdr-eotfs") {
      const auto eotfs = ParseEotfs(value);
      if (!eotfs) return bad("SDR, HDR, PQ and HLG, comma-separated");
      parsed.edits.push_back(edid_edit::HdrEotfs{*eotfs});
    }
  }
  if (parsed.in.empty()) {
    message = "no input file given";
    return false;
  }
  if (parsed.out.empty()) {
    message = "no output file given (-o OUT)";
    return false;
  }
  const std::string_view out = parsed.out;
  if (!out.ends_with(".bin") && !out.ends_with(".txt")) {
    message = "the output file must be a .bin or a .txt: " + parsed.out;
    return false;
  }
  return true;
}

std::string FormatEdidTextBytes(const std::vector<uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (size_t i = 0; i < bytes.size(); ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
    text += (i % 16 == 15 || i + 1 == bytes.size()) ? "\r\n" : " ";
  }
  return text;
}

namespace {

void Say(const std::string& text) {
  for (const std::string_view line : SplitLines(text))
    std::fputs((PrintableLine(line) + "\n").c_str(), stdout);
}

int Problem(int status, const std::string& text) {
  std::fflush(stdout);
  std::fprintf(stderr, "signal-edid edit: %s\n", PrintableLine(text).c_str());
  return status;
}

}  // namespace

int RunEdidEdit(const std::vector<std::string>& args) {
  EdidEditArguments parsed;
  std::string message;
  if (!ParseEdidEditArguments(args, parsed, message)) {
    Problem(kEditBadArgument, message);
    std::fputs(kEdidEditUsage, stderr);
    return kEditBadArgument;
  }
  if (parsed.help) {
    std::fputs(kEdidEditUsage, stdout);
    return kEditDone;
  }
  const EdidBytesResult loaded = LoadEdidBytes(parsed.in);
  if (loaded.status == EdidLoadStatus::NotBinOrTxt)
    return Problem(kEditBadArgument, parsed.in + ": " + loaded.message);
  if (!loaded.ok())
    return Problem(kEditFileError, parsed.in + ": " + loaded.message +
                                       (loaded.detail.empty() ? "" : " (" + loaded.detail + ")"));
  if (loaded.more)
    return Problem(kEditFileError, parsed.in + ": the file holds more than 32 blocks");
  EdidEditor editor;
  if (const EdidEditResult result = editor.Load(loaded.bytes); !result)
    return Problem(kEditFileError, parsed.in + ": " + result.message);
  for (const EdidEdit& edit : parsed.edits) {
    const EdidEditResult result = editor.Apply(edit);
    if (!result)
      return Problem(kEditRefused,
                     DescribeEdit(edit) + ": " + result.message + " Nothing written.");
    if (!result.message.empty())
      std::fprintf(stderr, "signal-edid edit: %s: %s\n", DescribeEdit(edit).c_str(),
                   result.message.c_str());
  }

  const std::vector<uint8_t>& bytes = editor.bytes();
  const std::string content =
      std::string_view(parsed.out).ends_with(".txt")
          ? FormatEdidTextBytes(bytes)
          : std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  const SafeWriteResult written = ReplaceFileSafely(parsed.out, content);
  if (!written.ok())
    return Problem(kEditFileError,
                   "cannot write " + parsed.out + " (" + std::strerror(written.error) + ")");

  Say(FormatEdidComparison(parsed.in, parsed.out, editor.originalModel(), editor.model(),
                           editor.Changes()));
  const std::vector<EdidCheck> fresh = editor.NewChecks();
  if (fresh.empty()) {
    Say("New errors and warnings: none");
  } else {
    Say("New errors and warnings:");
    for (const EdidCheck& check : fresh)
      Say(std::string("  ") + SeverityName(check.severity) + ": " + check.text);
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) return kEditFileError;
  return kEditDone;
}

}  // namespace sc
