#pragma once
// Names for assistive technology. Qt on Linux names a drop-down list by its current item
// and leaves its caption to a label relation; the console's lists carry an accessible
// name (the caption beside them, "Comm:") that tools searching by name must find, so a
// list with an accessible name gets an interface that reports it as its name and its
// current item as its value. Its items are its one child list; the current item reports
// itself selected while the list is closed, as screen readers expect of a closed
// drop-down, and the highlighted item while it is open.

class QLabel;
class QWidget;

namespace sc {

// A text that shows a value beside its caption reads as what it shows, an empty one as
// empty (not as its caption).
void MarkValueText(QLabel* label);

// A window of the console's own that is neither a dialog nor a main window (the traffic
// log) reads as a window, titled by its window title: Qt would report it as a filler.
void MarkWindow(QWidget* window);

// A widget that draws a picture (a captured frame) reads as an image, one that draws a
// chart as a chart, named by their accessible name: Qt would report either as a filler.
// Mark it before naming it.
void MarkPicture(QWidget* widget);
void MarkChart(QWidget* widget);

// Installs the interface for named lists; safe to call more than once. Needs the
// QApplication.
void InstallAccessibility();

}  // namespace sc
