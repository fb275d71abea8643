#include "cli/text_output.h"

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
        if (c < 0x20 || c >= 0x7F) {
          out += "\\u00";
          AppendHex2(out, c);
        } else {
          out += ch;
        }
    }
  }
  out += '"';
  return out;
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
