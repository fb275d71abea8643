// The outcome each operation of the pages, the capture and the address dialog ends in:
// what front ends decide by, instead of the texts of the messages.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "addressing/address_dialog.h"
#include "edid/edid_page.h"
#include "monitor/monitor_page.h"
#include "tests/support/console_fixture.h"
#include "tests/support/console_test_access.h"
#include "timing/timing_page.h"

namespace sc {
namespace {

using Bytes = std::vector<uint8_t>;

class OutcomeTest : public ConsoleFixture {
 protected:
  void SetUp() override {
    StartConsole();
    dialog->edidPage.AttachView(&edidView);
    dialog->monitorPage.AttachView(&monitorView);
    dialog->addressDialog.AttachView(&addressView);
    dialog->timingPage.AttachView(&timingView);
    dialog->edidPage.Create();
    dialog->edidPage.workingDirectory = dir.path().string();
    dialog->monitorPage.workingDirectory = dir.path().string();
    dialog->monitorPage.localTime = [] { return std::tm{}; };
    dialog->onOutcome = [this](const Outcome& o) { outcomes.push_back(o); };
  }

  MemoryView edidView, monitorView, addressView, timingView;
  std::vector<Outcome> outcomes;
};

TEST_F(OutcomeTest, EachOperationEndsInItsOutcome) {
  const std::string edidFile = (dir.path() / "tv.bin").string();
  {
    Bytes bytes(256, 0);
    for (int i = 1; i < 7; ++i)
      bytes[i] = 0xFF;
    std::ofstream(edidFile, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), 256);
  }
  struct Case {
    const char* name;
    std::function<void()> act;
    Operation operation;
    Result result;
    size_t files;
    int answer;
  };
  const Case cases[] = {
      {"write without a user slot", [&] { dialog->edidPage.WriteUserEdid(); },
       Operation::kEdidWrite, Result::kRefused, 0, -1},
      {"write of an empty image",
       [&] {
         edidView.SetSelection(edid_ids::kSelectionList, kFirstUserPreset);
         dialog->edidPage.WriteUserEdid();
       },
       Operation::kEdidWrite, Result::kRefused, 0, -1},
      {"open cancelled",
       [&] {
         host.fileChoices.push_back(std::nullopt);
         dialog->edidPage.OpenEdidFile();
       },
       Operation::kEdidOpen, Result::kCancelled, 0, -1},
      {"open of a missing file",
       [&] {
         host.fileChoices.push_back((dir.path() / "none.bin").string());
         dialog->edidPage.OpenEdidFile();
       },
       Operation::kEdidOpen, Result::kFileError, 1, -1},
      {"open",
       [&] {
         host.fileChoices.push_back(edidFile);
         dialog->edidPage.OpenEdidFile();
       },
       Operation::kEdidOpen, Result::kDone, 1, -1},
      {"save", [&] { dialog->edidPage.SaveEdidFile(); }, Operation::kEdidSave, Result::kDone, 2,
       -1},
      {"the box writes the EDID",
       [&] {
         Feed(Reply({0, 0}, 0xFFFF, {0x51, 0x78, 0x00}));
       },
       Operation::kEdidWrite, Result::kDone, 0, 0},
      {"the box refuses the EDID",
       [&] {
         Feed(Reply({0, 0}, 0xFFFF, {0x51, 0x78, 0x01}));
       },
       Operation::kEdidWrite, Result::kRefused, 0, 1},
      {"EDID read back",
       [&] {
         Feed(Reply({0, 0}, 0xF851, Bytes(256, 0x00)));
       },
       Operation::kEdidRead, Result::kDone, 0, -1},
      {"monitor save with nothing recorded", [&] { dialog->monitorPage.Save(); },
       Operation::kMonitorSave, Result::kRefused, 0, -1},
      {"monitor start with slot length 0", [&] { dialog->monitorPage.NewStart(); },
       Operation::kMonitorStart, Result::kBadInput, 0, -1},
      {"monitor record",
       [&] {
         Feed(Reply({0, 0}, 0x8096, Bytes(12, 0x01)));
       },
       Operation::kMonitorRead, Result::kDone, 0, -1},
      {"monitor save", [&] { dialog->monitorPage.Save(); }, Operation::kMonitorSave, Result::kDone,
       1, -1},
      {"address write of a non-hex group",
       [&] {
         addressView.SetText(address_ids::kNewGroup, "G1");
         dialog->addressDialog.WriteAddressToDevice();
       },
       Operation::kAddressWrite, Result::kBadInput, 0, -1},
      {"address read with the link down", [&] { dialog->addressDialog.ReadAddressFromDevice(); },
       Operation::kAddressRead, Result::kRefused, 0, -1},
      {"address read back",
       [&] {
         Feed(Reply({0x0A, 0x03}, 0xF801, {0x0A, 0x03}));
       },
       Operation::kAddressRead, Result::kDone, 0, 0x0A03},
      {"preview with the link down", [&] { dialog->capture.UpdateImage(); }, Operation::kPreview,
       Result::kRefused, 0, -1},
      {"frame capture with the link down", [&] { dialog->capture.UploadWholeImage(); },
       Operation::kFrameCapture, Result::kRefused, 0, -1},
  };
  for (const Case& c : cases) {
    outcomes.clear();
    c.act();
    ASSERT_EQ(outcomes.size(), 1u) << c.name;
    const Outcome& o = outcomes.front();
    EXPECT_EQ(o.operation, c.operation) << c.name;
    EXPECT_EQ(o.result, c.result) << c.name;
    EXPECT_EQ(o.files.size(), c.files) << c.name;
    EXPECT_EQ(o.answer, c.answer) << c.name;
  }
}

// An upload whose chunks did not fit and that never stored a frame is a failure, not a
// success (signal-cli once exited 0 for it).
TEST_F(OutcomeTest, AnUploadThatNeverStoredItsFrameEndsWithoutAFile) {
  ConsoleTestAccess::SetLinkUp(*dialog, true);
  // The page reads its controls when the upload starts.
  timingView.SetInt(timing_ids::kHActive, 100);
  timingView.SetInt(timing_ids::kVActive, 2);
  timingView.SetInt(timing_ids::kLineNumber, 1);
  dialog->capture.UploadWholeImage();
  host.Advance(kUploadStartFirstTick);
  host.Advance(kUploadStartSecondTick);
  ASSERT_TRUE(dialog->uploadActive());
  outcomes.clear();
  // A chunk that ends a line far short of it, then silence until timer 6.
  Bytes chunk(3 + kFrameChunkData, 0x11);
  chunk[0] = chunk[1] = 0;
  chunk[2] = kChunkLineEnd;
  dialog->capture.OnFrameChunk(chunk.data(), 3);
  host.Advance(kChunkWait);
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_EQ(outcomes.front().operation, Operation::kFrameCapture);
  EXPECT_EQ(outcomes.front().result, Result::kDataError);
  EXPECT_TRUE(outcomes.front().files.empty());
}

}  // namespace
}  // namespace sc
