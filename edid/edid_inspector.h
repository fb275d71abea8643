#pragma once
// The EDID page's full decode and comparison: the "Full decode" view follows the image
// the page holds (read from the box or opened from a file), and "Compare..." holds that
// image against a file or the last image read from the box, listing the differences field
// by field with their bytes. Toolkit-free: it sets its controls' texts and items through
// the page's view; the Qt page shows them.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "edid/edid_diff.h"
#include "edid/edid_model.h"
#include "window/host.h"
#include "window/outcome.h"
#include "window/view.h"

namespace sc {

namespace edid_ids {
inline constexpr int kFullDecodeText = 1130;   // the full decode in words
inline constexpr int kCompare = 1131;          // "Compare...", with a file
inline constexpr int kCompareLastRead = 1135;  // "Compare with last read"
inline constexpr int kCompareSummary = 1132;   // which EDIDs were compared, and the count
inline constexpr int kDifferenceList = 1133;   // one row per difference, with its bytes
inline constexpr int kViews = 1134;            // the tabs "Reports", "Full decode", "Comparison"
inline constexpr int kReportsView = 0;
inline constexpr int kFullDecodeView = 1;
inline constexpr int kComparisonView = 2;
}  // namespace edid_ids

inline constexpr char kNoEdidOnThePage[] =
    "The page holds no EDID yet: read one from the box or open a file first.";
inline constexpr char kNoEdidReadYet[] = "No EDID has been read from the box yet.";

class EdidInspector {
 public:
  // view: the page's view, asked for at each use (the page may be given another).
  EdidInspector(Host& host, std::function<View&()> view);

  // The page holds a new image; `source` says where it came from ("read from the box").
  // The full decode is shown again, and a comparison made before is made again against
  // the new image.
  void Follow(std::span<const uint8_t, 256> image, const std::string& source);
  // The image the box sent for a read, kept for "Compare with the last read".
  void RememberDeviceRead(std::span<const uint8_t, 256> image);

  // "Compare..." with a file the user chooses (starting in `directory`), or with the last
  // image read from the box. Refused, with a message, when the page holds no image yet or
  // nothing was read; a file that cannot be read is a file error.
  Outcome CompareWithFile(const std::string& directory);
  Outcome CompareWithLastRead();

  // The comparison shown, if any.
  const std::optional<EdidComparison>& comparison() const { return comparison_; }

 private:
  void Compare();

  Host& host_;
  std::function<View&()> view_;
  std::optional<EdidModel> page_;
  std::string pageSource_;
  std::optional<std::vector<uint8_t>> lastRead_;
  // The other side of the comparison, kept so that it follows the page's image.
  std::optional<EdidModel> other_;
  std::string otherSource_;
  std::optional<EdidComparison> comparison_;
};

// The last part of a path: "tv.bin" for "/home/me/tv.bin".
std::string FileNameOf(const std::string& path);

// A difference as one row of the list: its line, then the bytes in A and B in brackets.
std::string DifferenceRow(const EdidModel& a, const EdidModel& b, const EdidDifference& difference);

}  // namespace sc
