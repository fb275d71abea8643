#include "timing/picture_zoom.h"

#include <algorithm>
#include <cstdio>

namespace sc {

double PictureZoom::Scale(int pictureW, int pictureH, int viewW, int viewH) const {
  if (!fitting_) return scale_;
  if (pictureW <= 0 || pictureH <= 0 || viewW <= 0 || viewH <= 0) return 1.0;
  const double fit =
      std::min(static_cast<double>(viewW) / pictureW, static_cast<double>(viewH) / pictureH);
  return std::clamp(fit, kSteps[0], kSteps[std::size(kSteps) - 1]);
}

void PictureZoom::In(int pictureW, int pictureH, int viewW, int viewH) {
  const double now = Scale(pictureW, pictureH, viewW, viewH);
  fitting_ = false;
  scale_ = kSteps[std::size(kSteps) - 1];
  for (const double step : kSteps) {
    if (step > now * 1.0001) {
      scale_ = step;
      break;
    }
  }
}

void PictureZoom::Out(int pictureW, int pictureH, int viewW, int viewH) {
  const double now = Scale(pictureW, pictureH, viewW, viewH);
  fitting_ = false;
  scale_ = kSteps[0];
  for (auto step = std::rbegin(kSteps); step != std::rend(kSteps); ++step) {
    if (*step < now * 0.9999) {
      scale_ = *step;
      break;
    }
  }
}

std::string ZoomText(double scale) {
  const double percent = scale * 100.0;
  char text[32];
  if (percent >= 100.0 || percent == static_cast<double>(static_cast<long>(percent)))
    std::snprintf(text, sizeof text, "%.0f %%", percent);
  else
    std::snprintf(text, sizeof text, "%.3g %%", percent);
  return text;
}

}  // namespace sc
