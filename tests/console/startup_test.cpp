// The main window as it stands right after start-up, tab switching and the about entry.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "console/control_ids.h"
#include "infoframe/utility_page.h"
#include "sim/pty.h"
#include "tests/support/console_fixture.h"

namespace sc {
namespace {

using namespace std::chrono_literals;

class StartupTest : public ConsoleFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(box.ok());
    portMap[1] = box.SlavePath();
    StartConsole();
  }
  std::vector<bool> PagesVisible() const {
    return {view.Visible(ids::kTimingPage), view.Visible(ids::kUtilityPage),
            view.Visible(ids::kMonitorPage), view.Visible(ids::kEdidPage)};
  }
  PtyMaster box;
};

TEST_F(StartupTest, StartsWithTheLinkDownAndEverythingEmpty) {
  EXPECT_EQ(view.Icon(ids::kLinkIcon), ids::kIconLinkDown);
  EXPECT_EQ(view.Items(ids::kCommList).size(), 99u);
  EXPECT_EQ(view.Items(ids::kCommList)[view.GetSelection(ids::kCommList)], "COM1");
  EXPECT_EQ(view.Items(ids::kAddressList)[view.GetSelection(ids::kAddressList)],
            "All: 0000(with ACT)");
  EXPECT_EQ(view.GetSelection(ids::kTabControl), 0);
  EXPECT_EQ(PagesVisible(), (std::vector<bool>{true, false, false, false}));
  for (int id : ids::kStatusTexts) {
    EXPECT_TRUE(view.HasText(id)) << id;
    EXPECT_EQ(view.GetText(id), "") << id;
  }
  EXPECT_EQ(view.GetText(ids::kSearchStatus), "");
  EXPECT_EQ(view.GetRadio(ids::kHpdOn), -1);
  EXPECT_EQ(view.GetInt(ids::kVolumeBox), 0);
  EXPECT_EQ(dialog->TargetAddress(), (DeviceAddress{0, 0}));
  EXPECT_FALSE(dialog->linkUp() || dialog->uploadActive() || dialog->searchActive() ||
               dialog->deviceFound() || dialog->previewBusy() || dialog->lineMode());
  EXPECT_EQ(dialog->rx.state, FrameAssembler::kIdle);
  EXPECT_EQ(dialog->portSession().baud(), 115200);
  EXPECT_EQ(dialog->port(), 1);
  EXPECT_EQ(dialog->portSession().searchStatus, " ");  // set, but not shown until the next push
  for (uint8_t b : dialog->capture.previewImage)
    ASSERT_EQ(b, 0x40);
  EXPECT_TRUE(host.messages.empty());
  // Nothing was opened, so nothing was written.
  EXPECT_FALSE(dialog->serialPort().IsOpen());
  EXPECT_TRUE(box.Read(1, 50ms).empty());
  for (int id : {kSearchTimer, kUploadEndTimer, kStatusRecheckTimer, kUploadStartTimer})
    EXPECT_FALSE(host.TimerRunning(id));
}

TEST_F(StartupTest, PagesStartAsTheirLayoutsSay) {
  const MemoryView& edid = static_cast<const MemoryView&>(dialog->edidPage.view());
  EXPECT_EQ(edid.Items(1117).size(), 15u);
  EXPECT_EQ(edid.GetSelection(1117), -1);
  EXPECT_TRUE(edid.HasText(1118));
  EXPECT_EQ(edid.GetText(1118), "");

  const MemoryView& utility = static_cast<const MemoryView&>(dialog->utilityPage.view());
  EXPECT_EQ(utility.GetSelection(utility_ids::kPacketList), 5);
  EXPECT_EQ(utility.GetText(1110), "InfoFrame Type code");
  EXPECT_EQ(utility.GetText(1112), "InfoFrame Version");
  EXPECT_EQ(utility.GetText(1114), "InfoFrame Length");
  EXPECT_EQ(utility.GetText(1111), "");
  EXPECT_TRUE(utility.Visible(1114));
  EXPECT_FALSE(utility.Visible(1116));
  EXPECT_FALSE(utility.Visible(1177));
}

TEST_F(StartupTest, FirstStartWritesTheAddressBookAndListsIt) {
  std::ifstream file(dir / "TQ.ini", std::ios::binary);
  std::stringstream content;
  content << file.rdbuf();
  std::string expected;
  for (int i = 0; i < 32; ++i)
    expected += "0000 ";
  expected += "\r\n";
  for (int i = 0; i < 32; ++i)
    expected += "* \r\n";
  EXPECT_EQ(content.str(), expected);
  ASSERT_EQ(view.Items(ids::kAddressList).size(), 34u);
  EXPECT_EQ(view.Items(ids::kAddressList)[1], "All: FFFF(no ACT)");
  EXPECT_EQ(view.Items(ids::kAddressList)[2], "No. 1:0000:  ");
  EXPECT_EQ(view.Items(ids::kAddressList)[33], "No.32:0000:  ");
}

TEST_F(StartupTest, AddressListRefreshRetargetsTheSelectedEntryOnly) {
  dialog->addressBook[2] = {{0x0A, 0x03}, "Rack A"};
  view.SetSelection(ids::kAddressList, 4);  // "No. 3:"
  dialog->RefreshAddressList();
  EXPECT_EQ(view.Items(ids::kAddressList)[4], "No. 3:0A03: Rack A");
  EXPECT_EQ(view.GetSelection(ids::kAddressList), 4);
  EXPECT_EQ(dialog->TargetAddress(), (DeviceAddress{0x0A, 0x03}));

  // With a broadcast item selected the refresh leaves the target and items 0 and 1 alone.
  dialog->SelectTarget({0x01, 0x02});
  view.SetSelection(ids::kAddressList, 1);
  dialog->addressBook[2].address = {0x0B, 0x04};
  dialog->RefreshAddressList();
  EXPECT_EQ(dialog->TargetAddress(), (DeviceAddress{0x01, 0x02}));
  EXPECT_EQ(view.Items(ids::kAddressList)[0], "All: 0000(with ACT)");
  EXPECT_EQ(view.Items(ids::kAddressList)[1], "All: FFFF(no ACT)");
  EXPECT_EQ(view.Items(ids::kAddressList)[4], "No. 3:0B04: Rack A");
}

TEST_F(StartupTest, TabSwitchingLeavesExactlyOnePageVisible) {
  const std::vector<std::pair<int, std::vector<bool>>> steps = {
      {3, {false, false, false, true}}, {0, {true, false, false, false}},
      {2, {false, false, true, false}}, {1, {false, true, false, false}},
      {7, {false, true, false, false}},  // no such tab: nothing changes
  };
  for (const auto& [tab, visible] : steps) {
    view.SetSelection(ids::kTabControl, tab);
    dialog->OnTabChanged();
    EXPECT_EQ(PagesVisible(), visible) << "tab " << tab;
  }
}

TEST_F(StartupTest, AboutEntryOpensTheAboutBox) {
  dialog->OnSystemCommand(0x0010);
  dialog->OnSystemCommand(0x0013);  // the low four bits do not matter
  dialog->OnSystemCommand(0xF060);  // close: not ours
  EXPECT_EQ(host.dialogsRun, (std::vector<int>{ids::kAboutDialog, ids::kAboutDialog}));
}

TEST_F(StartupTest, DestroyReleasesTheFrameBufferAndTheLink) {
  dialog->ToggleLink();
  ASSERT_TRUE(dialog->linkUp());
  ASSERT_TRUE(dialog->serialPort().WorkerRunning());
  dialog->Destroy();
  EXPECT_TRUE(dialog->capture.frameImage.bytes.empty());
  dialog.reset();
  // The port is free again: the worker has ended and closed it.
  PortDirectory directory = PortDirectory::Build("1=" + box.SlavePath(), {});
  SerialPort other(host, directory);
  EXPECT_EQ(other.OpenPort(nullptr, 1, 115200, 'N', 8, 1, 3, 512), 1);
}

}  // namespace
}  // namespace sc
