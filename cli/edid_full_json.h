#pragma once
// The full decode of an EDID file as one JSON object (signal-edid --full --json). Scripts
// rely on its keys:
//   "file", "blocks" (whole blocks in the file), "extension_count" (byte 126), "version",
//   "manufacturer", "product", "serial", "name" (monitor name or null),
//   "detailed_timings": [{"pixel_clock_khz", "h_active", "v_active" (the frame's height),
//                         "interlaced"}] in EDID order over every block,
//   "cta": [{"block", "revision", "vics": [{"vic", "native"}], "audio": [{"format",
//            "format_code", "channels", "rates_khz", "sizes_bits" (LPCM) or
//            "max_bitrate_kbps" (formats 2-8)}], "speakers", "physical_address",
//            "max_tmds_mhz", "max_tmds_character_rate_mhz", "hdr_eotfs", "ycbcr420_vics"}],
//   "checks": [{"severity", "text"}].
// A comparison of two EDIDs (signal-edid diff --json) as one object too:
//   {"a", "b", "equal", "differences": [{"area", "text", "a": [{"block", "offset", "bytes"}],
//    "b": [...]}]}.

#include <string>
#include <vector>

#include "edid/edid_checks.h"
#include "edid/edid_diff.h"
#include "edid/edid_model.h"

namespace sc {

// One line: the object and a line break.
std::string FormatEdidFullJson(const std::string& file, const EdidModel& model,
                               const std::vector<EdidCheck>& checks);
std::string FormatEdidComparisonJson(const std::string& fileA, const std::string& fileB,
                                     const EdidModel& a, const EdidModel& b,
                                     const EdidComparison& comparison);

}  // namespace sc
