#include "app/console_style_qt.h"

#include <QApplication>
#include <QGroupBox>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOption>
#include <algorithm>

#include "resources/icons.h"

namespace sc {

namespace {

// Fusion reads the menu bar's "more" picture and the group boxes' frame from PNG files, and
// the first image read loads every image-format plugin (GIF, ICO, JPEG, and libjpeg with
// it): about a millisecond of the window's start-up, for pictures the console draws as
// well in code.
class ConsoleStyle : public QProxyStyle {
 public:
  explicit ConsoleStyle(QStyle* base) : QProxyStyle(base) {}

  QIcon standardIcon(StandardPixmap icon, const QStyleOption* option,
                     const QWidget* widget) const override {
    if (icon == SP_ToolBarHorizontalExtensionButton) return icons::MoreIcon(true);
    if (icon == SP_ToolBarVerticalExtensionButton) return icons::MoreIcon(false);
    return QProxyStyle::standardIcon(icon, option, widget);
  }

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
    if (element == PE_FrameGroupBox && fusion_) {
      DrawGroupBoxFrame(option, painter, widget);
      return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
  }

 private:
  // Fusion's frame: a faint rounded line with a fainter one inside it, over a faint shade,
  // below the title.
  void DrawGroupBoxFrame(const QStyleOption* option, QPainter* painter,
                         const QWidget* widget) const {
    const auto* box = qobject_cast<const QGroupBox*>(widget);
    const bool titled = !box || box->isCheckable() || !box->title().isEmpty();
    constexpr int kTopMargin = 4;  // above the frame, and between the title and the frame
    const int top =
        kTopMargin + (titled ? std::max(pixelMetric(PM_ExclusiveIndicatorHeight, option, widget),
                                        option->fontMetrics.height())
                             : 0);
    const QRectF frame = QRectF(option->rect.adjusted(0, top, 0, 0)).adjusted(1.5, 0.5, -0.5, -0.5);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(QPen(QColor(0, 0, 0, 24), 1));
    painter->setBrush(QColor(0, 0, 0, 3));
    painter->drawRoundedRect(frame, 2, 2);
    painter->setPen(QPen(QColor(0, 0, 0, 6), 1));
    painter->setBrush(Qt::NoBrush);
    painter->drawRoundedRect(frame.adjusted(1, 1, -1, -1), 1.5, 1.5);
    painter->restore();
  }

  const bool fusion_ =
      baseStyle()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) == 0;
};

}  // namespace

QStyle* MakeConsoleStyle(QStyle* base) {
  // With no base given, the proxy takes the style the desktop (or -style) would have.
  return new ConsoleStyle(base);
}

void InstallConsoleStyle() {
  QApplication::setStyle(MakeConsoleStyle());
}

}  // namespace sc
