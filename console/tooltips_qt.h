#pragma once
// Tooltips that say what a click on a control does, for the main window and its pages,
// kept in one table by control id. A control a page does not have (yet) is skipped.

namespace sc {

class MainWindow;

// The tooltips of the main window's own controls (pageId 0) or of one page's, once that
// page has been built.
void ApplyTooltips(MainWindow& window, int pageId = 0);

}  // namespace sc
