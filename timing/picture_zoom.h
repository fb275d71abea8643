#pragma once
// How the picture viewer scales a captured frame: to fit its window (the whole picture, as
// large as the window allows), at 1:1, or at a zoom step from 1/16 to 16 times. Zooming in
// or out from a fitted picture takes the next step from the scale it was fitted at.

#include <string>

namespace sc {

class PictureZoom {
 public:
  // The zoom steps, from 1/16 to 16 times.
  static constexpr double kSteps[] = {0.0625, 0.125, 0.25, 0.5, 1.0, 2.0, 4.0, 8.0, 16.0};

  bool fitting() const { return fitting_; }
  void Fit() { fitting_ = true; }
  void Actual() {
    fitting_ = false;
    scale_ = 1.0;
  }
  // One step larger or smaller than the scale shown now in a view of viewW x viewH.
  void In(int pictureW, int pictureH, int viewW, int viewH);
  void Out(int pictureW, int pictureH, int viewW, int viewH);
  // The scale a pictureW x pictureH picture is shown at in a view of viewW x viewH.
  double Scale(int pictureW, int pictureH, int viewW, int viewH) const;

 private:
  bool fitting_ = true;
  double scale_ = 1.0;
};

// "50 %", "12.5 %", "52.1 %", "1600 %".
std::string ZoomText(double scale);

}  // namespace sc
