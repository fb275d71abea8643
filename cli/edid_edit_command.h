#pragma once
// signal-edid edit IN -o OUT [edits]: an EDID file changed by the editor (edid_editor.h)
// and written as a .bin or a .txt as the EDID page writes them; the comparison with IN and
// the new faults are printed.

#include <string>
#include <vector>

#include "edid/edid_editor.h"

namespace sc {

// Exit statuses of signal-edid edit.
inline constexpr int kEditDone = 0;
inline constexpr int kEditRefused = 1;  // an edit was refused: nothing written
inline constexpr int kEditBadArgument = 2;
inline constexpr int kEditFileError = 5;  // IN could not be read (or is no EDID), OUT not written

struct EdidEditArguments {
  std::string in, out;
  std::vector<EdidEdit> edits;
  bool help = false;
};

// The arguments after "edit". Returns false with a message for a bad argument.
bool ParseEdidEditArguments(const std::vector<std::string>& args, EdidEditArguments& parsed,
                            std::string& message);

// The bytes of an EDID in the page's .txt form: 16 upper-case hex numbers a line, each line
// ended by CR LF (the last line shorter when the bytes are not a multiple of 16).
std::string FormatEdidTextBytes(const std::vector<uint8_t>& bytes);

// Runs the command: arguments after "edit". Prints to stdout and stderr.
int RunEdidEdit(const std::vector<std::string>& args);

extern const char kEdidEditUsage[];

}  // namespace sc
