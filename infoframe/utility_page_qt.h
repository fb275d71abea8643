#pragma once
// The "Ultilities" page: the packet type list, "Read infoframe data", the grid of 34
// label and value boxes the InfoFrame reply fills and, beside it, the "Decoded" and
// "Checks" lists.

#include "window/page_widget_qt.h"

namespace sc {

class UtilityPage;

class UtilityPageWidget : public PageWidget {
  Q_OBJECT

 public:
  explicit UtilityPageWidget(UtilityPage& page, QWidget* parent = nullptr);
};

}  // namespace sc
