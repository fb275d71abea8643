#pragma once
// The EDID page's five texts written out for a terminal or a script, as signal-edid and
// signal-cli print them.

#include <string>

#include "edid/edid_decoder.h"

namespace sc {

// "==== NAME ====", the status, the hex dump in rows of 16 under column labels, and the
// Video, Audio and General reports, each line made printable.
std::string FormatEdidReadable(const std::string& name, const EdidTexts& texts);
// One JSON object and a line break: {"file", "status", "hex", "video", "audio", "general"}
// with the texts exactly as the console holds them.
std::string FormatEdidJson(const std::string& name, const EdidTexts& texts);

}  // namespace sc
