// What the InfoFrame checks are told of the signal: the Timing page's picture and the
// colour space and audio of the last status, as far as the status panel states them.

#include "console/measured_signal.h"

#include <gtest/gtest.h>

#include <array>

#include "tests/support/recording_sender.h"

namespace sc {
namespace {

TEST(MeasuredSignal, TakesThePagesPictureAndWhatThePanelStates) {
  RecordingSender sender;
  TimingPage timing(sender, [] { return false; });
  auto status = [](std::array<uint8_t, kSignalStatusSize> bytes) {
    return std::optional<SignalStatus>(SignalStatus::FromBytes(bytes.data()));
  };
  const auto stereo = status({0, 0, 0, 1, 3, 3, 1, 1, 0, 0});

  // No timing: the panel is empty, whatever status came last.
  MeasuredSignal m = MeasuredSignalOf(timing, stereo, false);
  EXPECT_EQ(m.width, 0);
  EXPECT_EQ(m.colourSpace, -1);
  EXPECT_EQ(m.sampleRateCode, 0);

  // A pixel-repeated picture, as the Timing page shows it.
  timing.hActive = 720;
  timing.vActive = 480;
  timing.scanType = kInterlaced;
  timing.vFreq = 59.94;
  timing.pixelRepetition = 1;
  m = MeasuredSignalOf(timing, status({1, 0, 0, 1, 3, 3, 5, 1, 0, 1}), false);
  EXPECT_TRUE(m.interlaced);
  EXPECT_EQ(m.pixelRepetition, 1);
  EXPECT_EQ(m.colourSpace, 1);
  EXPECT_EQ(m.channelCount, 6);

  // Values the panel's tables do not list state nothing (the bytes are signed).
  for (const auto& unlisted :
       {status({7, 0, 0, 1, 0, 3, 0, 1, 0, 0}), status({0xFF, 0, 0, 1, 0x81, 3, 0xFF, 1, 0, 0})}) {
    m = MeasuredSignalOf(timing, unlisted, false);
    EXPECT_EQ(m.colourSpace, -1);
    EXPECT_EQ(m.sampleRateCode, 0);
    EXPECT_EQ(m.channelCount, 0);
  }
  // The SDI input's texts are fixed, not measured; no status yet states nothing either.
  EXPECT_EQ(MeasuredSignalOf(timing, stereo, true).colourSpace, -1);
  EXPECT_EQ(MeasuredSignalOf(timing, std::nullopt, false).sampleRateCode, 0);
  EXPECT_EQ(MeasuredSignalOf(timing, stereo, false).sampleRateCode, 3);
}

}  // namespace
}  // namespace sc
