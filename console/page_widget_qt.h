#pragma once
// A tab page of the main window: a plain widget with the view its core page exchanges
// with. Pages whose controls come later are shown empty.

#include <QWidget>

#include "console/widget_view.h"

namespace sc {

class PageWidget : public QWidget {
  Q_OBJECT

 public:
  explicit PageWidget(QWidget* parent = nullptr) : QWidget(parent) {}

  WidgetView& view() { return view_; }

 protected:
  WidgetView view_;
};

}  // namespace sc
