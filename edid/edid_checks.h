#pragma once
// The EDID's faults, found in the full model: checksums and header, a declared block
// count that differs from the blocks present, data blocks running past the DTD offset or
// their block, detailed timings without a size, VICs the CTA table does not know, a 4:2:0
// capability map longer than the video block, an HDMI sink without its HDMI block, a TMDS
// limit below the formats the sink lists, and the like. Each check is one line with a
// severity.

#include <string>
#include <vector>

#include "edid/edid_model.h"

namespace sc {

enum class EdidSeverity { Error, Warning };

struct EdidCheck {
  EdidSeverity severity = EdidSeverity::Error;
  std::string text;
  bool operator==(const EdidCheck&) const = default;
};

// "error", "warning"
const char* SeverityName(EdidSeverity severity);

// Every check, errors and warnings in the order of the blocks they concern.
std::vector<EdidCheck> CheckEdid(const EdidModel& model);

}  // namespace sc
