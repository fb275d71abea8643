#pragma once
// A tab page of the main window: a plain widget with the view its core page exchanges
// with. Pages whose controls come later are shown empty.

#include <QKeyEvent>
#include <QWidget>

#include "window/widget_view.h"

namespace sc {

class PageWidget : public QWidget {
  Q_OBJECT

 public:
  explicit PageWidget(QWidget* parent = nullptr) : QWidget(parent) {}

  WidgetView& view() { return view_; }

 protected:
  // Enter stays with the page's focused control (a focused button takes it first) and
  // never ends the window; Escape does nothing on a page.
  void keyPressEvent(QKeyEvent* event) override {
    switch (event->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
      case Qt::Key_Escape:
        event->accept();
        return;
      default:
        QWidget::keyPressEvent(event);
    }
  }

  WidgetView view_;
};

}  // namespace sc
