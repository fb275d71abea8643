#include "timing/line_chart.h"

#include <cstdio>

namespace sc {

std::string LineChart::ValuesAt(int x) const {
  if (x < 0 || x >= width()) return {};
  const auto at = static_cast<size_t>(x);
  char text[64];
  std::snprintf(text, sizeof text, "Pixel %d: R %d  G %d  B %d", x, red[at], green[at], blue[at]);
  return text;
}

LineChart ChartOfLine(const uint8_t* frame, int width, int line) {
  LineChart chart;
  chart.line = line;
  if (!frame || width <= 0 || line < 1) return chart;
  const auto pixels = static_cast<size_t>(width);
  const uint8_t* levels = frame + static_cast<size_t>(line - 1) * pixels * 3;
  chart.red.resize(pixels);
  chart.green.resize(pixels);
  chart.blue.resize(pixels);
  for (size_t x = 0; x < pixels; ++x) {
    chart.red[x] = levels[3 * x];
    chart.green[x] = levels[3 * x + 1];
    chart.blue[x] = levels[3 * x + 2];
  }
  return chart;
}

std::vector<uint8_t> LineChartCanvas(const LineChart& chart) {
  const auto width = static_cast<size_t>(chart.width());
  std::vector<uint8_t> canvas(width * kChartLevels * 3, kChartBackground);
  for (size_t x = 0; x < width; ++x) {
    canvas[(chart.red[x] * width + x) * 3 + 2] = 0xFF;
    canvas[(chart.green[x] * width + x) * 3 + 1] = 0xFF;
    canvas[(chart.blue[x] * width + x) * 3] = 0xFF;
  }
  return canvas;
}

std::vector<int> AxisTicks(int last, int most) {
  if (last <= 0 || most < 2) return {0};
  // The smallest step of 1, 2 or 5 times a power of ten that needs at most `most` ticks.
  long step = 1;
  for (long power = 1;; power *= 10) {
    bool found = false;
    for (const long factor : {1L, 2L, 5L}) {
      if (last / (factor * power) + 1 <= most) {
        step = factor * power;
        found = true;
        break;
      }
    }
    if (found) break;
  }
  std::vector<int> ticks;
  for (long at = 0; at <= last; at += step)
    ticks.push_back(static_cast<int>(at));
  return ticks;
}

}  // namespace sc
