#pragma once
// The names of the codes on the line, as the traffic log and the status bar show them:
// what each command the console sends asks for, what each reply the console takes
// carries, and which reply answers which request.

#include <cstdint>
#include <optional>

namespace sc {

// The command's name ("Read EDID"), or nullptr for a code the console never sends.
const char* CommandName(uint16_t code);
// The reply's name ("EDID data"); "no action" for the codes the console takes without
// acting on them; nullptr for a code it does not take.
const char* ReplyName(uint16_t code);
// The reply code that answers `command`, or nothing for a command the box does not answer
// (the search probe's answer goes to the search, not to a handler).
std::optional<uint16_t> ExpectedReply(uint16_t command);

}  // namespace sc
