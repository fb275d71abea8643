#pragma once
// A line analysis as data: the red, green and blue levels of every pixel of the chosen
// line, which the chart bitmap "RGBline_BMP%02d.BMP" draws and the console's plot window
// shows (pixel position across, level 0..255 up), with the values under the pointer.

#include <cstdint>
#include <string>
#include <vector>

namespace sc {

inline constexpr int kChartLevels = 256;
// The bitmap's background, a dark grey (48, 48, 48).
inline constexpr uint8_t kChartBackground = 0x30;

struct LineChart {
  int line = 0;  // the line charted, from 1
  std::vector<uint8_t> red, green, blue;
  // The chart bitmap as it was saved (its path), "" before it is.
  std::string file;

  int width() const { return static_cast<int>(red.size()); }
  // "Pixel 120: R 255  G 0  B 16"; "" for a position outside the line.
  std::string ValuesAt(int x) const;
};

// Line `line` (from 1) of a frame of `width` pixels a line, three bytes a pixel (red, green,
// blue), which must hold that line.
LineChart ChartOfLine(const uint8_t* frame, int width, int line);

// The chart's bitmap canvas: `kChartLevels` rows of width pixels, level 0 first, three bytes
// a pixel (blue, green, red). Each level is marked in its colour's byte in its column, so
// coinciding levels mix (yellow, cyan, magenta, white).
std::vector<uint8_t> LineChartCanvas(const LineChart& chart);

// Where an axis from 0 to `last` gets its labelled ticks: 0 and the multiples of a step of
// 1, 2 or 5 times a power of ten, at most `most` of them (`last` itself when it falls on
// the step).
std::vector<int> AxisTicks(int last, int most);

}  // namespace sc
