// What the InfoFrame checks are told of the signal: the Timing page's picture and the
// status panel's colour space and audio, as far as the panel states them.

#include "console/measured_signal.h"

#include <gtest/gtest.h>

#include <array>

#include "tests/support/recording_sender.h"

namespace sc {
namespace {

TEST(MeasuredSignal, TakesThePagesPictureAndWhatThePanelStates) {
  RecordingSender sender;
  TimingPage timing(sender, [] { return false; });
  StatusPanel panel;
  using Status = std::array<uint8_t, kSignalStatusSize>;
  auto decode = [&](Status status, bool sdi) { panel.Decode(status.data(), sdi); };

  MeasuredSignal m = MeasuredSignalOf(timing, panel);
  EXPECT_EQ(m.width, 0);
  EXPECT_EQ(m.colourSpace, -1);
  EXPECT_EQ(m.sampleRateCode, 0);
  EXPECT_EQ(m.channelCount, 0);

  // A pixel-repeated picture, as the Timing page shows it.
  timing.hActive = 720;
  timing.vActive = 480;
  timing.scanType = kInterlaced;
  timing.vFreq = 59.94;
  timing.pixelRepetition = 1;
  decode({1, 0, 0, 1, 3, 3, 5, 1, 0, 1}, false);
  m = MeasuredSignalOf(timing, panel);
  EXPECT_TRUE(m.interlaced);
  EXPECT_EQ(m.pixelRepetition, 1);
  EXPECT_EQ(m.channelCount, 6);

  // Values the panel's tables do not list state nothing (the bytes are signed).
  decode({7, 0, 0, 1, 0, 3, 0, 1, 0, 0}, false);
  m = MeasuredSignalOf(timing, panel);
  EXPECT_EQ(m.colourSpace, -1);
  EXPECT_EQ(m.sampleRateCode, 0);
  EXPECT_EQ(m.channelCount, 0);
  decode({0xFF, 0, 0, 1, 0x81, 3, 0xFF, 1, 0, 0}, false);
  m = MeasuredSignalOf(timing, panel);
  EXPECT_EQ(m.colourSpace, -1);
  EXPECT_EQ(m.sampleRateCode, 0);
  EXPECT_EQ(m.channelCount, 0);

  // The SDI input's texts are fixed, not measured; an empty panel states nothing.
  decode({0, 0, 0, 1, 3, 3, 1, 1, 0, 0}, true);
  EXPECT_EQ(MeasuredSignalOf(timing, panel).colourSpace, -1);
  decode({0, 0, 0, 1, 3, 3, 1, 1, 0, 0}, false);
  panel.Clear();
  EXPECT_EQ(MeasuredSignalOf(timing, panel).sampleRateCode, 0);

  timing.hActive = 0;  // no signal
  EXPECT_EQ(MeasuredSignalOf(timing, panel).width, 0);
}

}  // namespace
}  // namespace sc
