#include "cli/text_output.h"

#include <cmath>
#include <exception>

namespace sc {

namespace {

void AppendHex2(std::string& out, unsigned byte) {
  static constexpr char kDigits[] = "0123456789abcdef";
  out += kDigits[(byte >> 4) & 0x0F];
  out += kDigits[byte & 0x0F];
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
    text.remove_suffix(1);
  return text;
}

}  // namespace

Json JsonText(std::string_view bytes) {
  std::string utf8;
  utf8.reserve(bytes.size());
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      utf8 += static_cast<char>(c);
    } else {
      utf8 += static_cast<char>(0xC0 | (c >> 6));
      utf8 += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return Json(std::move(utf8));
}

Json JsonNumber(const std::string& text) {
  if (text.empty()) return nullptr;
  // Whole numbers stay integers ("60", not 60.0), as the console shows them.
  if (text.find_first_of(".eEnNiI") == std::string::npos) {
    try {
      return std::stoll(text);
    } catch (const std::exception&) {
      return nullptr;
    }
  }
  try {
    const double value = std::stod(text);
    return std::isfinite(value) ? Json(value) : Json(nullptr);
  } catch (const std::exception&) {
    return nullptr;
  }
}

std::string JsonLine(const Json& value) {
  return value.dump(-1, ' ', true, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string PrintableLine(std::string_view line) {
  std::string out;
  for (const char ch : line) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c >= 0x7F) {
      out += "\\x";
      AppendHex2(out, c);
    } else {
      out += ch;
    }
  }
  return out;
}

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

std::string OneLine(std::string_view text) {
  std::string out;
  for (const std::string_view raw : SplitLines(text)) {
    const std::string_view line = Trimmed(raw);
    if (line.empty()) continue;
    if (!out.empty()) out += out.back() == ':' ? " " : "; ";
    out += PrintableLine(line);
  }
  return out;
}

}  // namespace sc
