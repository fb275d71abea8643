#pragma once
// Two EDIDs held against each other field by field: identity, the base block's
// parameters and timings, descriptors, each CTA-861 extension's flags, VICs, audio
// descriptors, speakers, HDMI and HDMI Forum blocks, colorimetry, video capability, HDR
// and 4:2:0 support, other data blocks and extensions by their bytes. Each difference is
// one line ("Audio: AC-3 6 channels only in B", "VIC 97 native in A, not native in B")
// with the bytes of the item in A and in B. Two EDIDs compare equal only when their bytes
// are the same: bytes no field covers that differ are listed too.

#include <string>
#include <vector>

#include "edid/edid_model.h"

namespace sc {

struct EdidDifference {
  std::string area;  // "Identity", "Video", "Audio", "HDMI", ...
  std::string text;  // the whole line
  std::vector<EdidSpan> inA, inB;
};

struct EdidComparison {
  std::vector<EdidDifference> differences;
  bool equal() const { return differences.empty(); }
};

EdidComparison CompareEdids(const EdidModel& a, const EdidModel& b);

// The line and, under it, the bytes of the item in each EDID:
//   "VIC 97 native in A, not native in B"
//   "    A: block 1 offset 0x05: E1"
//   "    B: block 1 offset 0x05: 61"
std::vector<std::string> DifferenceLines(const EdidModel& a, const EdidModel& b,
                                         const EdidDifference& difference);
// The comparison as text: which EDIDs, every difference with its bytes, the count.
std::string FormatEdidComparison(const std::string& nameA, const std::string& nameB,
                                 const EdidModel& a, const EdidModel& b,
                                 const EdidComparison& comparison);

}  // namespace sc
