// The EDID page's full decode and comparison in the core: what the view shows as the
// page's image changes, and what "Compare..." says when there is nothing to compare.

#include "edid/edid_inspector.h"

#include <gtest/gtest.h>

#include <fstream>

#include "edid/edid_page.h"
#include "tests/edid/edid_builder.h"
#include "tests/support/recording_sender.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_host.h"

namespace sc {
namespace {

const EdidImage kRead = test::EdidBuilder().Name(72, "READ").Cea().Block(2, {0x90, 0x04}).Build();
const EdidImage kOpened = test::EdidBuilder().Name(72, "OPENED").Cea().Block(2, {0x90}).Build();

class EdidInspectorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    page.Create();
    page.workingDirectory = dir.path().string();
    page.onOutcome = [this](const Outcome& outcome) {
      if (outcome.operation == Operation::kEdidCompare) compares.push_back(outcome.result);
    };
  }

  std::string Write(const std::string& name, const EdidImage& image, size_t count = kEdidSize) {
    const std::string path = dir / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(count));
    return path;
  }
  void Open(const std::string& path) {
    host.fileChoices.push_back(path);
    page.OpenEdidFile();
  }
  void CompareWith(const std::string& path) {
    host.fileChoices.push_back(path);
    page.CompareWithFile();
  }
  std::string FullDecode() { return page.view().GetText(edid_ids::kFullDecodeText); }
  std::string Summary() { return page.view().GetText(edid_ids::kCompareSummary); }
  const std::vector<std::string>& Rows() {
    return dynamic_cast<MemoryView&>(page.view()).Items(edid_ids::kDifferenceList);
  }
  std::string LastMessage() const { return host.messages.empty() ? "" : host.messages.back().text; }

  TempDir dir;
  TestHost host;
  RecordingSender sender;
  EdidPage page{host, sender};
  std::vector<Result> compares;  // how each comparison ended
};

TEST_F(EdidInspectorTest, NothingToCompareIsSaidAndChangesNothing) {
  page.CompareWithLastRead();
  EXPECT_EQ(LastMessage(), kNoEdidOnThePage);
  page.CompareWithFile();
  EXPECT_EQ(LastMessage(), kNoEdidOnThePage);
  EXPECT_TRUE(host.fileChoices.empty());  // no dialog was needed

  Open(Write("opened.bin", kOpened));
  page.CompareWithLastRead();
  EXPECT_EQ(LastMessage(), kNoEdidReadYet);

  CompareWith(dir / "missing.bin");
  EXPECT_EQ(LastMessage(),
            "File read failed\n" + (dir / "missing.bin") + ": No such file or directory");
  host.fileChoices.push_back(std::nullopt);  // cancelled
  page.CompareWithFile();
  EXPECT_FALSE(page.inspector.comparison());
  EXPECT_EQ(page.view().GetSelection(edid_ids::kViews), -1);
  EXPECT_EQ(compares, (std::vector<Result>{Result::kRefused, Result::kRefused, Result::kRefused,
                                           Result::kFileError, Result::kCancelled}));
}

TEST_F(EdidInspectorTest, TheFullDecodeFollowsReadsOpensAndAFailedOpen) {
  EXPECT_EQ(FullDecode(), "");
  page.OnEdidData(kRead.data(), kRead.size());
  EXPECT_NE(FullDecode().find("monitor name \"READ\""), std::string::npos);
  EXPECT_NE(FullDecode().find("Block 1: CTA-861 extension"), std::string::npos);

  // A DVI EDID: the base block alone, whatever the box sent after it.
  EdidImage dvi = test::EdidBuilder().Name(72, "DVI").Build();
  dvi[200] = 0x55;
  page.OnEdidData(dvi.data(), dvi.size());
  EXPECT_NE(FullDecode().find("monitor name \"DVI\""), std::string::npos);
  EXPECT_EQ(FullDecode().find("Block 1"), std::string::npos) << FullDecode();
  EXPECT_NE(FullDecode().find("Checks: none failed"), std::string::npos) << FullDecode();

  Open(Write("opened.bin", kOpened));
  EXPECT_NE(FullDecode().find("monitor name \"OPENED\""), std::string::npos);
  // A file that cannot be read, or is too short to be an EDID, leaves the page as it was:
  // the reports and the full decode alike.
  const std::string general = page.generalText, full = FullDecode();
  Open(dir / "missing.bin");
  Open(Write("short.bin", kOpened, 11));
  EXPECT_EQ(page.generalText, general);
  EXPECT_EQ(FullDecode(), full);
}

TEST_F(EdidInspectorTest, TheComparisonFollowsThePagesImage) {
  page.OnEdidData(kRead.data(), kRead.size());
  Open(Write("opened.bin", kOpened));
  page.CompareWithLastRead();
  EXPECT_EQ(page.view().GetSelection(edid_ids::kViews), edid_ids::kComparisonView);
  EXPECT_EQ(Summary(),
            "A: the page's EDID, opened from opened.bin\nB: the EDID last read from the box\n"
            "2 differences");
  ASSERT_EQ(Rows().size(), 2u);
  EXPECT_EQ(Rows()[0].rfind("Monitor name \"OPENED\" in A, \"READ\" in B (A: block 0 offset 0x48: "
                            "00 00 00 FC 00 4F 50 45 4E 45 44",
                            0),
            0u)
      << Rows()[0];
  EXPECT_EQ(Rows()[1], "VIC 4 (1280x720p 60 Hz 16:9) only in B (B: block 1 offset 0x06: 04)");

  // The page reads the same EDID again: the comparison is made again, and finds nothing.
  page.OnEdidData(kRead.data(), kRead.size());
  EXPECT_EQ(Summary(),
            "A: the page's EDID, read from the box\nB: the EDID last read from the box\n"
            "The two EDIDs are the same.");
  EXPECT_TRUE(Rows().empty());

  CompareWith(Write("other.bin", kOpened));
  EXPECT_EQ(Summary(), "A: the page's EDID, read from the box\nB: file other.bin\n2 differences");
  EXPECT_EQ(compares, (std::vector<Result>{Result::kDone, Result::kDone}));
  EXPECT_EQ(host.messages.size(), 0u);
}

}  // namespace
}  // namespace sc
