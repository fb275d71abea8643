#pragma once
// The "Ultilities" page: the packet type list and the grid of 33 label and value boxes
// the InfoFrame reply fills.

#include "window/page_widget_qt.h"

namespace sc {

class UtilityPageWidget : public PageWidget {
  Q_OBJECT

 public:
  explicit UtilityPageWidget(QWidget* parent = nullptr);
};

}  // namespace sc
