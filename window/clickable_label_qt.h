#pragma once
// A text that reports clicks, like the "HDMI" and "SDI" texts beside the input lamps.

#include <QLabel>
#include <QMouseEvent>

namespace sc {

class ClickableLabel : public QLabel {
  Q_OBJECT

 public:
  using QLabel::QLabel;

 signals:
  void clicked();

 protected:
  // The press is taken, or the release would go to the parent.
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton)
      event->accept();
    else
      QLabel::mousePressEvent(event);
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
      emit clicked();
    else
      QLabel::mouseReleaseEvent(event);
  }
};

}  // namespace sc
