#pragma once
// Tooltips that say what a click on a control does, for the main window and its pages,
// kept in one table by control id. A control a page does not have (yet) is skipped.

namespace sc {

class MainWindow;

void ApplyTooltips(MainWindow& window);

}  // namespace sc
