#pragma once
// The console's own pictures, drawn at the sizes the window uses: the application icon
// (icon 128), the link icon in its down (133) and up (134) states and the input lamp
// unlit (133) and lit (182), and the menu bar's "more" button (a chevron).

#include <QIcon>

namespace sc::icons {

QIcon AppIcon();
QIcon LinkIcon(bool up);
QIcon LampIcon(bool lit);
// Points right when `horizontal` (the menus that do not fit), down when not.
QIcon MoreIcon(bool horizontal);

}  // namespace sc::icons
