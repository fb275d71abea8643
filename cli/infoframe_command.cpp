#include "cli/infoframe_command.h"

#include "cli/text_output.h"

namespace sc {

namespace {

std::optional<int> HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return std::nullopt;
}

// The decoder's texts are its own (a packet's name characters come escaped), so only
// control characters are made visible; the UTF-8 of "cd/m²" stays.
std::string TerminalText(std::string_view text) {
  std::string out;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F)
      out += PrintableLine(std::string_view(&ch, 1));
    else
      out += ch;
  }
  return out;
}

}  // namespace

std::optional<std::vector<uint8_t>> ParseInfoFramePayload(const std::vector<std::string>& words,
                                                          std::string* error) {
  auto fail = [&](std::string text) -> std::optional<std::vector<uint8_t>> {
    if (error) *error = std::move(text);
    return std::nullopt;
  };
  std::vector<uint8_t> bytes;
  for (const std::string& word : words) {
    // Words may hold spaces of their own when quoted.
    size_t at = 0;
    while (at < word.size()) {
      while (at < word.size() && (word[at] == ' ' || word[at] == '\t'))
        ++at;
      size_t end = at;
      while (end < word.size() && word[end] != ' ' && word[end] != '\t')
        ++end;
      if (end == at) break;
      std::string_view digits(word.data() + at, end - at);
      const std::string_view shown = digits;
      at = end;
      if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits.remove_prefix(2);
      for (const char c : digits)
        if (!HexValue(c))
          return fail("\"" + PrintableLine(shown) +
                      "\" is not hexadecimal (give bytes such as 82 02 0D or 82020D)");
      if (digits.size() == 1) {
        bytes.push_back(static_cast<uint8_t>(*HexValue(digits[0])));
        continue;
      }
      if (digits.size() % 2 != 0)
        return fail("\"" + PrintableLine(shown) +
                    "\" has an odd number of hexadecimal digits: two make a byte");
      for (size_t i = 0; i < digits.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(*HexValue(digits[i]) << 4 | *HexValue(digits[i + 1])));
    }
  }
  if (bytes.empty()) return fail("infoframe decode needs the packet's bytes in hexadecimal");
  const uint8_t type = bytes[0];
  if (type >= 0x80) {
    if (bytes.size() < 4)
      return fail("an InfoFrame starts with its type, version, length and checksum: " +
                  std::to_string(bytes.size()) + " byte" + (bytes.size() == 1 ? "" : "s") +
                  " given");
    const size_t length = bytes[2];
    if (bytes.size() - 4 < length)
      return fail("the payload is shorter than its length: " + std::to_string(length) +
                  " data bytes announced, " + std::to_string(bytes.size() - 4) + " given");
  } else if (type != 0 && bytes.size() < 3) {
    return fail("a packet starts with its type and two header bytes: " +
                std::to_string(bytes.size()) + " given");
  }
  return bytes;
}

std::string InfoFrameJson(const InfoFrameDecode& d) {
  Json j;
  j["type"] = d.type;
  j["name"] = d.name;
  j["version"] = d.version ? Json(*d.version) : Json(nullptr);
  j["length"] = d.length ? Json(*d.length) : Json(nullptr);
  if (d.checksum) {
    j["checksum"] = {{"received", d.checksum->received},
                     {"expected", d.checksum->expected},
                     {"ok", d.checksum->ok}};
  } else {
    j["checksum"] = nullptr;
  }
  Json fields = Json::array();
  for (const InfoFrameField& f : d.fields) {
    Json field;
    field["key"] = f.key;
    field["label"] = f.label;
    if (const auto* number = std::get_if<uint32_t>(&f.value))
      field["value"] = *number;
    else
      field["value"] = std::get<std::string>(f.value);
    field["text"] = f.text;
    fields.push_back(std::move(field));
  }
  j["fields"] = std::move(fields);
  Json checks = Json::array();
  for (const InfoFrameCheck& c : d.checks)
    checks.push_back({{"key", c.key}, {"text", c.text}});
  j["checks"] = std::move(checks);
  // The decoder's texts are UTF-8 of its own (a packet's name characters come escaped), so
  // they go in as they are, not byte by byte as JsonText takes a box's bytes: "cd/m\u00b2".
  return JsonLine(j);
}

std::string InfoFrameDecodeText(const InfoFrameDecode& decode) {
  std::string text = "Decoded:\n";
  for (const std::string& row : DecodedRows(decode))
    text += "  " + TerminalText(row) + "\n";
  text += "Checks:\n";
  for (const std::string& row : CheckRows(decode))
    text += "  " + TerminalText(row) + "\n";
  return text;
}

void PrintInfoFramePacket(std::ostream& out, const std::string& entry,
                          const InfoFramePacket& packet, bool json) {
  if (json) {
    out << InfoFrameJson(packet.decode);
    return;
  }
  out << entry << "\n";
  for (const InfoFrameGridRow& row : packet.grid) {
    if (!row.shown) continue;
    std::string label = row.label;
    while (!label.empty() && label.back() == ' ')
      label.pop_back();
    if (label.empty()) continue;
    label += ":";
    if (label.size() < 21) label.resize(21, ' ');
    out << "  " << PrintableLine(label) << PrintableLine(row.value) << "\n";
  }
  out << InfoFrameDecodeText(packet.decode);
}

}  // namespace sc
