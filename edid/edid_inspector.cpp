#include "edid/edid_inspector.h"

#include "edid/edid_checks.h"
#include "edid/edid_file.h"
#include "edid/edid_full_text.h"
#include "edid/edid_page.h"

namespace sc {

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

EdidInspector::EdidInspector(Host& host, std::function<View&()> view)
    : host_(host), view_(std::move(view)) {}

void EdidInspector::Follow(std::span<const uint8_t, 256> image, const std::string& source) {
  page_ = DecodeEdidModel(PageEdidBytes(image));
  pageSource_ = source;
  view_().SetText(edid_ids::kFullDecodeText, FormatEdidFullText(*page_, CheckEdid(*page_)));
  if (other_) Compare();
}

void EdidInspector::RememberDeviceRead(std::span<const uint8_t, 256> image) {
  const auto bytes = PageEdidBytes(image);
  lastRead_.emplace(bytes.begin(), bytes.end());
}

Outcome EdidInspector::CompareWithFile(const std::string& directory) {
  if (!page_) return Outcome(Operation::kEdidCompare, Result::kRefused, kNoEdidOnThePage);
  const auto chosen = host_.ChooseFile(kEdidOpenFilter, directory);
  if (!chosen) return Outcome(Operation::kEdidCompare, Result::kCancelled);
  const EdidBytesResult loaded = LoadEdidBytes(*chosen);
  if (!loaded.ok()) {
    std::string text = loaded.message;
    if (!loaded.detail.empty()) text += "\n" + *chosen + ": " + loaded.detail;
    return Outcome(Operation::kEdidCompare, Result::kFileError, text).WithFile(*chosen);
  }
  other_ = DecodeEdidModel(loaded.bytes, loaded.more);
  otherSource_ = "file " + FileNameOf(*chosen);
  Compare();
  view_().SetSelection(edid_ids::kViews, edid_ids::kComparisonView);
  return Outcome(Operation::kEdidCompare).WithFile(*chosen);
}

Outcome EdidInspector::CompareWithLastRead() {
  if (!page_) return Outcome(Operation::kEdidCompare, Result::kRefused, kNoEdidOnThePage);
  if (!lastRead_) return Outcome(Operation::kEdidCompare, Result::kRefused, kNoEdidReadYet);
  other_ = DecodeEdidModel(*lastRead_);
  otherSource_ = "the EDID last read from the box";
  Compare();
  view_().SetSelection(edid_ids::kViews, edid_ids::kComparisonView);
  return Outcome(Operation::kEdidCompare);
}

void EdidInspector::Compare() {
  comparison_ = CompareEdids(*page_, *other_);
  const size_t count = comparison_->differences.size();
  std::string summary = "A: the page's EDID, " + pageSource_ + "\nB: " + otherSource_ + "\n";
  if (count == 0)
    summary += "The two EDIDs are the same.";
  else
    summary += std::to_string(count) + (count == 1 ? " difference" : " differences");
  std::vector<std::string> rows;
  for (const EdidDifference& d : comparison_->differences)
    rows.push_back(DifferenceRow(*page_, *other_, d));
  View& view = view_();
  view.SetText(edid_ids::kCompareSummary, summary);
  view.SetItems(edid_ids::kDifferenceList, rows);
}

std::string DifferenceRow(const EdidModel& a, const EdidModel& b,
                          const EdidDifference& difference) {
  const std::vector<std::string> lines = DifferenceLines(a, b, difference);
  std::string row = lines[0];
  for (size_t i = 1; i < lines.size(); ++i) {
    const size_t start = lines[i].find_first_not_of(' ');
    row += (i == 1 ? " (" : "; ") + lines[i].substr(start);
  }
  if (lines.size() > 1) row += ")";
  return row;
}

}  // namespace sc
