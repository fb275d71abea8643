// The front panel's volume steps, and what the controls and replies show while the link
// is down; the commands themselves reach the simulated box in status_chain_test.

#include "console/front_panel.h"

#include <gtest/gtest.h>

#include "console/control_ids.h"
#include "tests/support/console_fixture.h"
#include "tests/support/console_test_access.h"

namespace sc {
namespace {

TEST(FrontPanel, VolumeStepsAndPercentages) {
  struct Case {
    int percent;
    VolumeSetting down, up;
  };
  const Case cases[] = {
      {0, {0, 0}, {1, 12}},   {12, {0, 0}, {2, 25}},   {25, {1, 12}, {3, 38}},
      {38, {2, 25}, {4, 50}}, {50, {3, 38}, {5, 62}},  {62, {4, 50}, {6, 75}},
      {75, {5, 62}, {7, 88}}, {88, {6, 75}, {8, 100}}, {100, {7, 88}, {8, 100}},
      {13, {0, 0}, {8, 100}}, {-12, {0, 0}, {8, 100}}, {1000, {0, 0}, {8, 100}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VolumeStepDown(c.percent).step, c.down.step) << c.percent;
    EXPECT_EQ(VolumeStepDown(c.percent).percent, c.down.percent) << c.percent;
    EXPECT_EQ(VolumeStepUp(c.percent).step, c.up.step) << c.percent;
    EXPECT_EQ(VolumeStepUp(c.percent).percent, c.up.percent) << c.percent;
  }
  // A reported step: 0..7 from the table, anything else (8, 9, -1) 100.
  const std::pair<int8_t, int> reported[] = {{0, 0},   {1, 12},  {7, 88},
                                             {8, 100}, {9, 100}, {-1, 100}};
  for (const auto& [step, percent] : reported)
    EXPECT_EQ(VolumePercentOfStep(step), percent) << int(step);
}

class FrontPanelTest : public ConsoleFixture {
 protected:
  void SetUp() override { StartConsole(); }
};

TEST_F(FrontPanelTest, ControlsTakeTheirStateAlsoWhileTheLinkIsDown) {
  view.SetRadio(ids::kHpdOn, 1);  // the click on "OFF"
  dialog->HpdOff();
  dialog->VolumeUp();
  EXPECT_EQ(MessageTexts(),
            (std::vector<std::string>{"Com port is not on yet.", "Com port is not on yet."}));
  EXPECT_EQ(view.GetRadio(ids::kHpdOn), 1);
  EXPECT_EQ(view.GetInt(ids::kVolumeBox), 12);

  dialog->SelectSdiInput();
  EXPECT_TRUE(dialog->inputIsSdi());
  EXPECT_EQ(view.Icon(ids::kHdmiIcon), ids::kIconLampUnlit);
  EXPECT_EQ(view.Icon(ids::kSdiIcon), ids::kIconLampLit);
  EXPECT_FALSE(view.Enabled(ids::kHpdOn));
  EXPECT_FALSE(view.Enabled(ids::kHpdOff));
  // The box's input reply, HDMI, brings hot-plug back.
  Feed(Reply({0x01, 0x01}, 0x8082, {0x00}));
  EXPECT_FALSE(dialog->inputIsSdi());
  EXPECT_EQ(view.Icon(ids::kHdmiIcon), ids::kIconLampLit);
  EXPECT_TRUE(view.Enabled(ids::kHpdOn));
  EXPECT_TRUE(view.Enabled(ids::kHpdOff));

  // Choosing a book entry while the link is down asks nothing and says nothing.
  host.messages.clear();
  dialog->addressBook[0].address = {0x0A, 0x03};
  view.SetSelection(ids::kAddressList, 2);
  dialog->SelectAddress();
  EXPECT_EQ(dialog->TargetAddress(), (DeviceAddress{0x0A, 0x03}));
  view.SetSelection(ids::kAddressList, 0);
  dialog->SelectAddress();
  EXPECT_EQ(dialog->TargetAddress(), (DeviceAddress{0x00, 0x00}));
  // During an upload the target stays.
  ConsoleTestAccess::SetUploadActive(*dialog, true);
  view.SetSelection(ids::kAddressList, 2);
  dialog->SelectAddress();
  EXPECT_EQ(dialog->TargetAddress(), (DeviceAddress{0x00, 0x00}));
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(FrontPanelTest, AStatusReplyWithoutATimingEmptiesThePanel) {
  dialog->statusPanel.hdcp = "HDCP1.4";
  dialog->statusPanel.timing = "1920x1080(60)";
  dialog->Push();
  host.StartTimer(kStatusRecheckTimer, 2000);
  Feed(Reply({0x01, 0x01}, 0x8090, {0, 0, 1, 1, 3, 3, 1, 1, 0, 0}));
  for (int id : ids::kStatusTexts)
    EXPECT_EQ(view.GetText(id), "") << id;
  EXPECT_FALSE(host.TimerRunning(kStatusRecheckTimer));
  // A timing reply shorter than its record is not taken.
  Feed(Reply({0x01, 0x01}, 0x8091, std::vector<uint8_t>(19, 0x07)));
  EXPECT_EQ(dialog->timingPage.hActive, 0);
  EXPECT_TRUE(host.messages.empty());
}

}  // namespace
}  // namespace sc
