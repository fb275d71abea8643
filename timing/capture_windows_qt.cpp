#include "timing/capture_windows_qt.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QVBoxLayout>
#include <cmath>

#include "timing/frame_capture.h"
#include "window/accessibility_qt.h"
#include "window/read_only_qt.h"
#include "window/widget_view.h"

namespace sc {

namespace {

// The picture at the viewer's scale: smoothed when shrunk, every pixel a sharp square when
// enlarged.
class PictureCanvas : public QWidget {
 public:
  PictureCanvas(const QImage& image, QWidget* parent) : QWidget(parent), image_(image) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, width() < image_.width());
    painter.drawImage(rect(), image_);
  }

 private:
  const QImage& image_;
};

QPushButton* ToolButton(const QString& caption, const QString& tip, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setToolTip(tip);
  button->setAutoDefault(false);
  return button;
}

// A caption and the value beside it, labelled by the caption.
QLabel* CaptionedValue(const QString& caption, QHBoxLayout* row, QWidget* parent) {
  auto* label = new QLabel(caption, parent);
  auto* value = new QLabel(parent);
  value->setTextFormat(Qt::PlainText);
  MarkValueText(value);
  MakeSelectableValue(value);
  label->setBuddy(value);
  row->addWidget(label);
  row->addWidget(value);
  return value;
}

// The colours of the traces, added onto the chart's dark background, so that where levels
// coincide the colours mix as in the bitmap (red and green make yellow, all three white).
const QColor kTraceColours[] = {QColor(255, 0, 0), QColor(0, 230, 0), QColor(60, 100, 255)};
constexpr int kLevelTop = kChartLevels - 1;

}  // namespace

// ---------------------------------------------------------------------------------------
// The picture viewer

PictureViewer::PictureViewer(FrameCapture& capture, QWidget* parent)
    : QWidget(parent, Qt::Window), capture_(capture) {
  setWindowTitle(QStringLiteral("Picture"));
  MarkWindow(this);
  auto* layout = new QVBoxLayout(this);
  auto* tools = new QHBoxLayout;
  auto* fit =
      ToolButton(QStringLiteral("Fit"), QStringLiteral("Show the whole picture (Ctrl+0)"), this);
  auto* actual = ToolButton(QStringLiteral("1:1"),
                            QStringLiteral("One screen pixel a picture pixel (Ctrl+1)"), this);
  auto* in = ToolButton(QStringLiteral("Zoom In"), QStringLiteral("Larger (Ctrl++)"), this);
  auto* out = ToolButton(QStringLiteral("Zoom Out"), QStringLiteral("Smaller (Ctrl+-)"), this);
  auto* saveAs = ToolButton(QStringLiteral("Save As..."),
                            QStringLiteral("Save the picture as a bitmap of your choosing"), this);
  for (QPushButton* button : {fit, actual, in, out})
    tools->addWidget(button);
  zoomText_ = CaptionedValue(QStringLiteral("Zoom:"), tools, this);
  tools->addStretch(1);
  tools->addWidget(saveAs);
  layout->addLayout(tools);

  scroll_ = new QScrollArea(this);
  scroll_->setAlignment(Qt::AlignCenter);
  scroll_->setBackgroundRole(QPalette::Dark);
  // It takes the focus, so the keys scroll a picture larger than the window.
  scroll_->setAccessibleName(QStringLiteral("Picture view"));
  canvas_ = new PictureCanvas(image_, scroll_);
  MarkPicture(canvas_);  // before the name, whose change makes Qt build the interface
  canvas_->setAccessibleName(QStringLiteral("Picture"));
  scroll_->setWidget(canvas_);
  layout->addWidget(scroll_, 1);

  auto view = [this] { return ViewSize(); };
  connect(fit, &QPushButton::clicked, this, [this] {
    zoom_.Fit();
    Apply();
  });
  connect(actual, &QPushButton::clicked, this, [this] {
    zoom_.Actual();
    Apply();
  });
  connect(in, &QPushButton::clicked, this, [this, view] {
    zoom_.In(image_.width(), image_.height(), view().width(), view().height());
    Apply();
  });
  connect(out, &QPushButton::clicked, this, [this, view] {
    zoom_.Out(image_.width(), image_.height(), view().width(), view().height());
    Apply();
  });
  connect(saveAs, &QPushButton::clicked, this, [this] {
    if (!path_.empty()) capture_.SavePictureAs(path_);
  });
  const std::pair<QKeySequence, QPushButton*> keys[] = {
      {QKeySequence(Qt::CTRL | Qt::Key_0), fit},
      {QKeySequence(Qt::CTRL | Qt::Key_1), actual},
      {QKeySequence::ZoomIn, in},
      {QKeySequence(Qt::CTRL | Qt::Key_Equal), in},
      {QKeySequence::ZoomOut, out}};
  for (const auto& [sequence, button] : keys)
    connect(new QShortcut(sequence, this), &QShortcut::activated, button, &QPushButton::click);
  resize(960, 640);
}

void PictureViewer::ShowPicture(const std::string& path) {
  path_ = path;
  image_ = QImage(QFile::decodeName(path.c_str()));
  const QString name = QFileInfo(QFile::decodeName(path.c_str())).fileName();
  if (image_.isNull()) {
    setWindowTitle(name + QStringLiteral(" \u2014 cannot be shown"));
    canvas_->setAccessibleDescription(QString());
  } else {
    const QString size = QStringLiteral("%1 x %2").arg(image_.width()).arg(image_.height());
    setWindowTitle(name + QStringLiteral(" \u2014 ") + size);
    canvas_->setAccessibleDescription(name + QStringLiteral(", ") + size +
                                      QStringLiteral(" pixels"));
  }
  zoom_.Fit();
  Apply();
}

QSize PictureViewer::ViewSize() const {
  return scroll_->maximumViewportSize();
}

double PictureViewer::scale() const {
  const QSize view = ViewSize();
  return zoom_.Scale(image_.width(), image_.height(), view.width(), view.height());
}

void PictureViewer::Apply() {
  const double s = scale();
  const QSize shown(std::max(1, static_cast<int>(std::floor(image_.width() * s))),
                    std::max(1, static_cast<int>(std::floor(image_.height() * s))));
  canvas_->setFixedSize(image_.isNull() ? QSize(1, 1) : shown);
  zoomText_->setText(image_.isNull() ? QString() : QString::fromStdString(ZoomText(s)));
  canvas_->update();
}

void PictureViewer::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (zoom_.fitting()) Apply();
}

void PictureViewer::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

// ---------------------------------------------------------------------------------------
// The line chart

LineChartWindow::LineChartWindow(FrameCapture& capture, QWidget* parent)
    : QWidget(parent, Qt::Window), capture_(capture) {
  setWindowTitle(QStringLiteral("Line chart"));
  MarkWindow(this);
  auto* layout = new QVBoxLayout(this);
  auto* tools = new QHBoxLayout;
  readout_ = CaptionedValue(QStringLiteral("At the pointer:"), tools, this);
  readout_->setMinimumWidth(
      readout_->fontMetrics().horizontalAdvance(QStringLiteral("Pixel 7679: R 255  G 255  B 255")));
  tools->addStretch(1);
  auto* saveAs = ToolButton(QStringLiteral("Save As..."),
                            QStringLiteral("Save the chart as a bitmap of your choosing"), this);
  tools->addWidget(saveAs);
  layout->addLayout(tools);
  plot_ = new LineChartPlot(chart_, this);
  MarkChart(plot_);
  plot_->setAccessibleName(QStringLiteral("Chart"));
  layout->addWidget(plot_, 1);
  connect(plot_, &LineChartPlot::pointed, this,
          [this](int pixel) { readout_->setText(QString::fromStdString(chart_.ValuesAt(pixel))); });
  connect(saveAs, &QPushButton::clicked, this, [this] { capture_.SaveChartAs(chart_); });
  resize(900, 480);
}

void LineChartWindow::ShowChart(const LineChart& chart) {
  chart_ = chart;
  const QString name =
      chart.file.empty() ? QString() : QFileInfo(QFile::decodeName(chart.file.c_str())).fileName();
  setWindowTitle(QStringLiteral("Line %1").arg(chart.line) +
                 (name.isEmpty() ? QString() : QStringLiteral(" \u2014 ") + name));
  plot_->setAccessibleDescription(
      QStringLiteral("Red, green and blue levels of line %1, %2 pixels: pixel position across, "
                     "level 0 to 255 up")
          .arg(chart.line)
          .arg(chart.width()));
  readout_->clear();
  plot_->update();
}

void LineChartWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

LineChartPlot::LineChartPlot(const LineChart& chart, QWidget* parent)
    : QWidget(parent), chart_(chart) {
  setMouseTracking(true);
  setMinimumSize(320, 200);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QRect LineChartPlot::PlotArea() const {
  const QFontMetrics metrics(font());
  const int left = metrics.horizontalAdvance(QStringLiteral("255")) + 2 * metrics.height() + 8;
  const int bottom = 2 * metrics.height() + 12;
  const int top = metrics.height() / 2 + 4;
  const int right = metrics.horizontalAdvance(QStringLiteral("0000")) / 2 + 8;
  return QRect(QPoint(left, top), QPoint(width() - 1 - right, height() - 1 - bottom));
}

namespace {
// The traces keep this far from the plot's frame, so that levels 0 and 255 and the line's
// ends are not drawn over it.
constexpr int kPlotInset = 3;
}  // namespace

QPointF LineChartPlot::PointOf(int pixel, int level) const {
  const QRect data = PlotArea().adjusted(kPlotInset, kPlotInset, -kPlotInset, -kPlotInset);
  const int last = std::max(1, chart_.width() - 1);
  return {data.left() + static_cast<double>(pixel) * data.width() / last,
          data.bottom() - static_cast<double>(level) * data.height() / kLevelTop};
}

int LineChartPlot::PixelAt(const QPoint& at) const {
  const QRect area = PlotArea();
  if (chart_.width() == 0 || !area.contains(at)) return -1;
  const QRect data = area.adjusted(kPlotInset, kPlotInset, -kPlotInset, -kPlotInset);
  const int last = std::max(1, chart_.width() - 1);
  const double pixel = static_cast<double>(at.x() - data.left()) * last / data.width();
  return std::clamp(static_cast<int>(std::lround(pixel)), 0, chart_.width() - 1);
}

void LineChartPlot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().window());
  const QRect area = PlotArea();
  painter.fillRect(area, QColor(kChartBackground, kChartBackground, kChartBackground));
  const QFontMetrics metrics(font());
  const QColor axis = palette().color(QPalette::WindowText);

  // Axes, ticks and their numbers; a faint grid at each tick.
  painter.setPen(axis);
  painter.drawRect(area);
  const int lastPixel = std::max(0, chart_.width() - 1);
  for (const int x : AxisTicks(lastPixel, std::max(2, area.width() / 70))) {
    const QPointF at = PointOf(x, 0);
    painter.setPen(QColor(80, 80, 80));
    painter.drawLine(QPointF(at.x(), area.top()), QPointF(at.x(), area.bottom()));
    painter.setPen(axis);
    painter.drawLine(at, at + QPointF(0, 4));
    const QString text = QString::number(x);
    painter.drawText(QPointF(at.x() - metrics.horizontalAdvance(text) / 2.0,
                             area.bottom() + 6 + metrics.ascent()),
                     text);
  }
  for (const int level : AxisTicks(kLevelTop, std::max(2, area.height() / 30))) {
    const QPointF at = PointOf(0, level);
    painter.setPen(QColor(80, 80, 80));
    painter.drawLine(QPointF(area.left(), at.y()), QPointF(area.right(), at.y()));
    painter.setPen(axis);
    painter.drawLine(at, at - QPointF(4, 0));
    const QString text = QString::number(level);
    painter.drawText(QPointF(area.left() - 6 - metrics.horizontalAdvance(text),
                             at.y() + metrics.ascent() / 2.0 - 1),
                     text);
  }
  const QString across = QStringLiteral("Pixel position");
  painter.drawText(QPointF(area.center().x() - metrics.horizontalAdvance(across) / 2.0,
                           height() - metrics.descent() - 2),
                   across);
  painter.save();
  painter.translate(metrics.ascent() + 2, area.center().y());
  painter.rotate(-90);
  const QString up = QStringLiteral("Level");
  painter.drawText(QPointF(-metrics.horizontalAdvance(up) / 2.0, 0), up);
  painter.restore();

  // The traces.
  painter.setClipRect(area.adjusted(0, 0, 1, 1));
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setCompositionMode(QPainter::CompositionMode_Plus);
  const std::vector<uint8_t>* levels[] = {&chart_.red, &chart_.green, &chart_.blue};
  for (int colour = 2; colour >= 0; --colour) {
    const std::vector<uint8_t>& values = *levels[colour];
    if (values.empty()) continue;
    QPolygonF trace;
    trace.reserve(static_cast<qsizetype>(values.size()));
    for (size_t x = 0; x < values.size(); ++x)
      trace << PointOf(static_cast<int>(x), values[x]);
    painter.setPen(QPen(kTraceColours[colour], 1));
    if (trace.size() == 1)
      painter.drawPoint(trace.front());
    else
      painter.drawPolyline(trace);
  }
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  if (pointer_ >= 0) {
    painter.setPen(QPen(axis, 1, Qt::DashLine));
    const QPointF at = PointOf(pointer_, 0);
    painter.drawLine(QPointF(at.x(), area.top()), QPointF(at.x(), area.bottom()));
  }
}

void LineChartPlot::mouseMoveEvent(QMouseEvent* event) {
  const int pixel = PixelAt(event->position().toPoint());
  if (pixel != pointer_) {
    pointer_ = pixel;
    update();
    emit pointed(pixel);
  }
  QWidget::mouseMoveEvent(event);
}

void LineChartPlot::leaveEvent(QEvent* event) {
  if (pointer_ != -1) {
    pointer_ = -1;
    update();
    emit pointed(-1);
  }
  QWidget::leaveEvent(event);
}

}  // namespace sc
