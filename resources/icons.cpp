#include "resources/icons.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>
#include <functional>
#include <map>
#include <utility>

namespace sc::icons {

namespace {

// Every picture is drawn on a 32 x 32 design grid and scaled to each size, so the
// small sizes stay sharp instead of being shrunk from one bitmap. These are the sizes an
// icon says it has (a window manager takes the application icon at each).
constexpr int kSizes[] = {16, 20, 24, 32, 48, 64, 128};

// Draws its picture at a size the first time that size is asked for, and keeps it: the
// window shows each icon at one or two of the sizes, so drawing all of them up front was
// wasted start-up time.
class DrawnIconEngine : public QIconEngine {
 public:
  explicit DrawnIconEngine(std::function<void(QPainter&)> paint) : paint_(std::move(paint)) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    QPixmap drawn = pixmap(rect.size() * ratio, mode, state);
    drawn.setDevicePixelRatio(ratio);
    painter->drawPixmap(rect, drawn);
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
    const int side = std::max(1, std::min(size.width(), size.height()));
    const auto key = std::make_pair(side, static_cast<int>(mode));
    if (auto it = drawn_.find(key); it != drawn_.end()) return it->second;
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(side / 32.0, side / 32.0);
    paint_(painter);
    painter.end();
    if (mode != QIcon::Normal) {
      // Greyed as the style greys any icon.
      QStyleOption option;
      option.palette = QGuiApplication::palette();
      if (QApplication::style())
        pixmap = QApplication::style()->generatedIconPixmap(mode, pixmap, &option);
    }
    drawn_[key] = pixmap;
    return pixmap;
  }

  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
    const int side = std::min(size.width(), size.height());
    return {side, side};
  }

  QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
    QList<QSize> sizes;
    for (int size : kSizes)
      sizes << QSize(size, size);
    return sizes;
  }

  QIconEngine* clone() const override { return new DrawnIconEngine(*this); }

 private:
  std::function<void(QPainter&)> paint_;
  std::map<std::pair<int, int>, QPixmap> drawn_;
};

QIcon Draw(std::function<void(QPainter&)> paint) {
  return QIcon(new DrawnIconEngine(std::move(paint)));
}

// A plug whose pins point right, its front face at x, its cable leaving to the left.
void DrawPlug(QPainter& p, double x, double y, const QColor& body) {
  p.setPen(QPen(QColor(40, 40, 40), 2.4, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(x - 7, y), QPointF(1, y));
  p.setPen(QPen(QColor(40, 40, 40), 1.2));
  p.setBrush(QColor(210, 210, 210));
  p.drawRect(QRectF(x, y - 4, 4, 2));
  p.drawRect(QRectF(x, y + 2, 4, 2));
  p.setBrush(body);
  p.drawRoundedRect(QRectF(x - 7, y - 6, 7, 12), 1.5, 1.5);
}

// The matching socket, its front face at x, its cable leaving to the right.
void DrawSocket(QPainter& p, double x, double y, const QColor& body) {
  p.setPen(QPen(QColor(40, 40, 40), 2.4, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(x + 7, y), QPointF(31, y));
  p.setPen(QPen(QColor(40, 40, 40), 1.2));
  p.setBrush(body);
  p.drawRoundedRect(QRectF(x, y - 6, 7, 12), 1.5, 1.5);
}

}  // namespace

static QIcon DrawLink(bool up);
static QIcon DrawLamp(bool lit);
static QIcon DrawMore(bool horizontal);

// Each picture is drawn once, the first time it is asked for, and shared afterwards (a
// QIcon is a shared handle): the window asks for some of them several times while it is
// built. Kept for the life of the program.
#define SC_DRAWN_ONCE(expression)                          \
  static const QIcon* const drawn = new QIcon(expression); \
  return *drawn

QIcon AppIcon() {
  SC_DRAWN_ONCE(Draw([](QPainter& p) {
    // A monitor showing a signal trace, the analyzer's subject.
    p.setPen(QPen(QColor(30, 40, 60), 1.5));
    p.setBrush(QColor(52, 73, 110));
    p.drawRoundedRect(QRectF(2, 4, 28, 20), 3, 3);
    p.setBrush(QColor(16, 24, 36));
    p.setPen(Qt::NoPen);
    p.drawRect(QRectF(5, 7, 22, 14));
    QPainterPath trace;
    trace.moveTo(6, 17);
    trace.lineTo(10, 17);
    trace.lineTo(10, 10);
    trace.lineTo(15, 10);
    trace.lineTo(15, 17);
    trace.lineTo(20, 17);
    trace.lineTo(20, 10);
    trace.lineTo(26, 10);
    p.setPen(QPen(QColor(90, 230, 120), 1.8, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(trace);
    p.setPen(QPen(QColor(30, 40, 60), 1.5));
    p.setBrush(QColor(120, 130, 150));
    p.drawRect(QRectF(13, 24, 6, 3));
    p.drawRoundedRect(QRectF(8, 27, 16, 3), 1, 1);
  }));
}

QIcon LinkIcon(bool up) {
  if (!up) {
    SC_DRAWN_ONCE(DrawLink(false));
  }
  SC_DRAWN_ONCE(DrawLink(true));
}

QIcon LampIcon(bool lit) {
  if (!lit) {
    SC_DRAWN_ONCE(DrawLamp(false));
  }
  SC_DRAWN_ONCE(DrawLamp(true));
}

QIcon MoreIcon(bool horizontal) {
  if (horizontal) {
    SC_DRAWN_ONCE(DrawMore(true));
  }
  SC_DRAWN_ONCE(DrawMore(false));
}

static QIcon DrawLink(bool up) {
  return Draw([up](QPainter& p) {
    if (up) {
      // Plug and socket joined, green.
      DrawPlug(p, 12, 16, QColor(60, 170, 80));
      DrawSocket(p, 16, 16, QColor(60, 170, 80));
    } else {
      // The halves apart, grey, with a red break mark between them.
      DrawPlug(p, 9, 16, QColor(150, 150, 150));
      DrawSocket(p, 22, 16, QColor(150, 150, 150));
      p.setPen(QPen(QColor(200, 40, 40), 2.0, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(15, 6), QPointF(19, 11));
      p.drawLine(QPointF(19, 21), QPointF(15, 26));
    }
  });
}

static QIcon DrawLamp(bool lit) {
  return Draw([lit](QPainter& p) {
    const QRectF lamp(5, 5, 22, 22);
    if (lit) {
      QRadialGradient glow(QPointF(13, 12), 16);
      glow.setColorAt(0, QColor(190, 255, 170));
      glow.setColorAt(0.6, QColor(40, 200, 60));
      glow.setColorAt(1, QColor(20, 120, 30));
      p.setPen(QPen(QColor(20, 90, 25), 1.6));
      p.setBrush(glow);
    } else {
      p.setPen(QPen(QColor(90, 90, 90), 1.6));
      p.setBrush(Qt::NoBrush);
    }
    p.drawEllipse(lamp);
  });
}

static QIcon DrawMore(bool horizontal) {
  return Draw([horizontal](QPainter& p) {
    // Two chevrons, drawn pointing right and turned for the vertical one.
    if (!horizontal) {
      p.translate(32, 0);
      p.rotate(90);
    }
    p.setPen(QPen(QGuiApplication::palette().color(QPalette::ButtonText), 3.0, Qt::SolidLine,
                  Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    for (double x : {8.0, 17.0}) {
      const QPointF chevron[] = {{x, 8}, {x + 7, 16}, {x, 24}};
      p.drawPolyline(chevron, 3);
    }
  });
}

}  // namespace sc::icons
