#pragma once
// The windows that show what a capture saved, so it can be looked at without leaving the
// console: the picture viewer (a whole frame: fit, 1:1, zoom, the file's name and size in
// its title) and the line chart (the red, green and blue levels of one line over the
// pixel position, with the values under the pointer). Each offers "Save As..." for its
// file; the numbered file is written as before.

#include <QImage>
#include <QWidget>
#include <string>

#include "timing/line_chart.h"
#include "timing/picture_zoom.h"

class QLabel;
class QPushButton;
class QScrollArea;

namespace sc {

class FrameCapture;

class PictureViewer : public QWidget {
  Q_OBJECT

 public:
  explicit PictureViewer(FrameCapture& capture, QWidget* parent = nullptr);

  // Shows the picture saved at `path` (read from the file).
  void ShowPicture(const std::string& path);
  const std::string& picturePath() const { return path_; }
  const QImage& image() const { return image_; }
  // The scale the picture is shown at now.
  double scale() const;
  QWidget* canvas() const { return canvas_; }
  QLabel* zoomText() const { return zoomText_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Apply();
  QSize ViewSize() const;

  FrameCapture& capture_;
  PictureZoom zoom_;
  QImage image_;
  std::string path_;
  QScrollArea* scroll_ = nullptr;
  QWidget* canvas_ = nullptr;
  QLabel* zoomText_ = nullptr;
};

class LineChartPlot;

class LineChartWindow : public QWidget {
  Q_OBJECT

 public:
  explicit LineChartWindow(FrameCapture& capture, QWidget* parent = nullptr);

  void ShowChart(const LineChart& chart);
  const LineChart& chart() const { return chart_; }
  LineChartPlot* plot() const { return plot_; }
  // The values under the pointer.
  QLabel* readout() const { return readout_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  FrameCapture& capture_;
  LineChart chart_;
  LineChartPlot* plot_ = nullptr;
  QLabel* readout_ = nullptr;
};

// The plot: pixel position across, level 0..255 up, a trace for each colour.
class LineChartPlot : public QWidget {
  Q_OBJECT

 public:
  LineChartPlot(const LineChart& chart, QWidget* parent = nullptr);

  // The area the traces are drawn in.
  QRect PlotArea() const;
  // The pixel of the line at a position in the widget, -1 outside the plot area.
  int PixelAt(const QPoint& at) const;
  // Where a pixel's level is drawn.
  QPointF PointOf(int pixel, int level) const;

 signals:
  void pointed(int pixel);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  const LineChart& chart_;
  int pointer_ = -1;
};

}  // namespace sc
