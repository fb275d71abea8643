// The plot's axes and the picture viewer's scales: where the line chart labels its axes,
// and how fit, 1:1 and the zoom steps scale a captured frame.

#include <gtest/gtest.h>

#include <vector>

#include "timing/line_chart.h"
#include "timing/picture_zoom.h"

namespace sc {
namespace {

TEST(AxisTicks, StepsOf125TimesAPowerOfTenWithinTheCount) {
  struct Case {
    int last, most;
    std::vector<int> ticks;
  };
  const Case cases[] = {
      {255, 10, {0, 50, 100, 150, 200, 250}},
      {255, 3, {0, 100, 200}},
      {255, 2, {0, 200}},
      {3, 10, {0, 1, 2, 3}},
      {1919, 12, {0, 200, 400, 600, 800, 1000, 1200, 1400, 1600, 1800}},
      {3839, 6, {0, 1000, 2000, 3000}},
      {0, 10, {0}},  // a line one pixel wide
      {100, 1, {0}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(AxisTicks(c.last, c.most), c.ticks) << c.last << " " << c.most;
}

TEST(PictureZoom, FitsZoomsInStepsAndShowsOneToOne) {
  PictureZoom zoom;
  // A frame larger than the window is fitted into it, a small one enlarged to it.
  EXPECT_TRUE(zoom.fitting());
  EXPECT_DOUBLE_EQ(zoom.Scale(1920, 1080, 960, 600), 0.5);
  EXPECT_DOUBLE_EQ(zoom.Scale(1920, 1080, 960, 270), 0.25);
  EXPECT_DOUBLE_EQ(zoom.Scale(640, 480, 1280, 1200), 2.0);
  EXPECT_DOUBLE_EQ(zoom.Scale(1, 1, 4000, 4000), 16.0);  // at most the largest step
  // From a fit of 0.3, in goes to 0.5 and out to 0.25: the steps around what is shown.
  zoom.In(1920, 1080, 576, 600);
  EXPECT_FALSE(zoom.fitting());
  EXPECT_DOUBLE_EQ(zoom.Scale(1920, 1080, 576, 600), 0.5);
  zoom.In(1920, 1080, 576, 600);
  EXPECT_DOUBLE_EQ(zoom.Scale(1920, 1080, 10, 10), 1.0);  // the window no longer matters
  zoom.Fit();
  zoom.Out(1920, 1080, 576, 600);
  EXPECT_DOUBLE_EQ(zoom.Scale(1920, 1080, 576, 600), 0.25);
  for (int i = 0; i < 10; ++i)
    zoom.Out(1920, 1080, 576, 600);
  EXPECT_DOUBLE_EQ(zoom.Scale(1920, 1080, 576, 600), 0.0625);
  zoom.Actual();
  EXPECT_DOUBLE_EQ(zoom.Scale(1920, 1080, 576, 600), 1.0);
  for (int i = 0; i < 10; ++i)
    zoom.In(1920, 1080, 576, 600);
  EXPECT_DOUBLE_EQ(zoom.Scale(1920, 1080, 576, 600), 16.0);

  const std::pair<double, const char*> texts[] = {
      {1.0, "100 %"},   {0.5, "50 %"}, {0.125, "12.5 %"},  {0.0625, "6.25 %"},
      {16.0, "1600 %"}, {0.3, "30 %"}, {0.52083, "52.1 %"}};
  for (const auto& [scale, text] : texts)
    EXPECT_EQ(ZoomText(scale), text) << scale;
}

}  // namespace
}  // namespace sc
