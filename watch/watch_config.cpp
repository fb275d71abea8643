#include "watch/watch_config.h"

#include <algorithm>
#include <cctype>

#include "addressing/address_book.h"

namespace sc {

namespace {

std::string_view Trim(std::string_view s) {
  const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!s.empty() && space(s.front()))
    s.remove_prefix(1);
  while (!s.empty() && space(s.back()))
    s.remove_suffix(1);
  return s;
}

std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (const unsigned char c : text.substr(0, 40))
    out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
  if (text.size() > 40) out += "...";
  return out + "\"";
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

const std::vector<std::string>& WatchConfigKeys() {
  static const std::vector<std::string> keys = {"port",    "boxes",   "book",          "every",
                                                "timeout", "metrics", "metrics-public"};
  return keys;
}

WatchConfigParse ParseWatchConfig(std::string_view text) {
  WatchConfigParse result;
  if (text.size() > kMaxWatchConfigBytes) {
    result.error = "the file is over " + std::to_string(kMaxWatchConfigBytes) + " bytes";
    return result;
  }
  WatchConfig config;
  size_t number = 0;
  while (!text.empty()) {
    ++number;
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    const std::string where = "line " + std::to_string(number) + ": ";
    if (line.find('\0') != std::string_view::npos) {
      result.error = where + "a NUL byte";
      return result;
    }
    line = Trim(line);
    if (line.empty() || line.front() == '#') continue;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      result.error = where + "not \"key = value\": " + Quoted(line);
      return result;
    }
    const std::string key(Trim(line.substr(0, eq)));
    const std::string value(Trim(line.substr(eq + 1)));
    const auto& keys = WatchConfigKeys();
    if (std::find(keys.begin(), keys.end(), key) == keys.end()) {
      result.error = where + "unknown key " + Quoted(key);
      return result;
    }
    if (!config.values.emplace(key, value).second) {
      result.error = where + key + " is given twice";
      return result;
    }
  }
  result.config = std::move(config);
  return result;
}

std::optional<std::vector<DeviceAddress>> ParseBoxList(std::string_view text, std::string* error) {
  auto fail = [&](const std::string& why) -> std::optional<std::vector<DeviceAddress>> {
    if (error) *error = why;
    return std::nullopt;
  };
  std::vector<DeviceAddress> boxes;
  while (true) {
    const size_t comma = text.find(',');
    const std::string_view item = Trim(text.substr(0, comma));
    if (item.size() != 4)
      return fail("a box is four hexadecimal digits (GGDD), not " + Quoted(item));
    int v[4];
    for (size_t i = 0; i < 4; ++i)
      if ((v[i] = HexValue(item[i])) < 0)
        return fail("a box is four hexadecimal digits (GGDD), not " + Quoted(item));
    const DeviceAddress a{static_cast<uint8_t>(v[0] << 4 | v[1]),
                          static_cast<uint8_t>(v[2] << 4 | v[3])};
    const auto single = [](uint8_t b) { return b >= 0x01 && b <= 0xFE; };
    if (!single(a.group) || !single(a.device))
      return fail("box " + FormatAddress(a) +
                  " is not one box's address: group and device are 01..FE each");
    if (std::find(boxes.begin(), boxes.end(), a) != boxes.end())
      return fail("box " + FormatAddress(a) + " is given twice");
    if (boxes.size() == kMaxWatchedBoxes)
      return fail("at most " + std::to_string(kMaxWatchedBoxes) + " boxes on one line");
    boxes.push_back(a);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return boxes;
}

std::optional<bool> ParseYesNo(std::string_view text) {
  std::string t(text);
  std::transform(t.begin(), t.end(), t.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (t == "yes" || t == "true" || t == "on" || t == "1") return true;
  if (t == "no" || t == "false" || t == "off" || t == "0") return false;
  return std::nullopt;
}

}  // namespace sc
