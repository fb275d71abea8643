#pragma once
// signal-cli's InfoFrame output: the packet the Ultilities page holds, printed as the page
// shows it (the grid's rows, then the "Decoded" and "Checks" lists) or as one JSON object,
// and "infoframe decode HEX...", which decodes a payload given on the command line.

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "infoframe/infoframe_decoder.h"
#include "infoframe/utility_page.h"

namespace sc {

// The payload of "infoframe decode": hexadecimal bytes in one or more words ("82 02 0D",
// "82020D", "0x82"), a whole packet as the box would send it. Nothing, with a one-line
// message in *error, for bad hexadecimal or a payload shorter than its packet.
std::optional<std::vector<uint8_t>> ParseInfoFramePayload(const std::vector<std::string>& words,
                                                          std::string* error);

// The decode as one JSON object: {"type", "name", "version", "length", "checksum":
// {"received", "expected", "ok"}, "fields": [{"key", "label", "value", "text"}], "checks":
// [{"key", "text"}]}; version, length and checksum are null for a packet that has none.
std::string InfoFrameJson(const InfoFrameDecode& decode);

// The "Decoded" and "Checks" sections as text.
std::string InfoFrameDecodeText(const InfoFrameDecode& decode);

// A packet the page holds: the list entry's name, the grid's shown rows, then the decode;
// or the JSON object alone.
void PrintInfoFramePacket(std::ostream& out, const std::string& entry,
                          const InfoFramePacket& packet, bool json);

}  // namespace sc
