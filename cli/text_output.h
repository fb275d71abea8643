#pragma once
// Texts of the core written for a terminal or a script: JSON (through nlohmann-json),
// lines made safe to print, and a text split at its line breaks. Used by the command-line
// programs.

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace sc {

// JSON objects keep their keys in the order they were written.
using Json = nlohmann::ordered_json;

// A text of the core (bytes, not necessarily UTF-8) as a JSON string: each byte stands for
// the code point of its value, so a byte above 0x7F reads as \u0080..\u00ff and no text
// can make the output invalid.
Json JsonText(std::string_view bytes);
// A number the console shows as text ("148.5", "60") as a JSON number of that value; null
// for a text that is no finite number.
Json JsonNumber(const std::string& text);
// One line: the value in plain ASCII (every other character escaped), then a line break.
std::string JsonLine(const Json& value);

// One line for a terminal: control bytes and bytes above 0x7F shown as \xNN, so a text from
// the box or a file cannot send escape sequences to the terminal.
std::string PrintableLine(std::string_view line);

// Each CR LF, bare CR or bare LF ends a line. A text's final line break does not start
// another line.
std::vector<std::string_view> SplitLines(std::string_view text);

// A message box's text as one line: its lines joined (after a line ending in ':' with a
// space, otherwise with "; "), blank lines dropped, each made printable.
std::string OneLine(std::string_view text);

}  // namespace sc
