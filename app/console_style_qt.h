#pragma once
// The console's style: the desktop's own style (or the one -style names), with the
// console's drawn picture on the menu bar's "more" button and, over Fusion, the group box
// frame drawn in code (Fusion reads both from image files).

class QStyle;

namespace sc {

// The style over `base` (which it takes), or over the desktop's style when none is given.
QStyle* MakeConsoleStyle(QStyle* base = nullptr);

// Sets the application's style; call once, after QApplication and before any widget.
void InstallConsoleStyle();

}  // namespace sc
