#pragma once
// Texts of the core written for a terminal or a script: JSON strings, lines made safe to
// print, and a text split at its line breaks. Used by the command-line programs.

#include <string>
#include <string_view>
#include <vector>

namespace sc {

// A JSON string: control characters, DEL and every byte above 0x7F as \u00XX, so the
// output is plain ASCII and valid JSON whatever a text holds.
std::string JsonString(std::string_view text);

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
