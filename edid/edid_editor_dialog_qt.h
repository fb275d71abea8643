#pragma once
// The EDID editor's dialog ("Edit EDID"): one tab per section (Identity, Timings, Video,
// Audio, HDMI, HDR) with the image's values in labelled boxes and lists and the buttons
// that change them; beside the tabs, what the last edit did, the changes against the
// original and the new faults; "Apply", "Revert" and "Cancel" below. It binds its controls
// to the core EdidEditorWindow by id and forwards the buttons; "Apply" closes it once the
// page has the image.

#include <QDialog>
#include <QPointer>

#include "edid/edid_editor_window.h"
#include "window/qt_host.h"
#include "window/widget_view.h"

namespace sc {

class EdidEditorDialog : public QDialog {
  Q_OBJECT

 public:
  // Attaches its view to `core` and shows the image the core holds. While it is up, the
  // host's message boxes stand over it.
  EdidEditorDialog(EdidEditorWindow& core, QtHost& host, QWidget* parent = nullptr);
  ~EdidEditorDialog() override;

  WidgetView& view() { return view_; }

 private:
  QWidget* Identity();
  QWidget* Timings();
  QWidget* Video();
  QWidget* Audio();
  QWidget* Hdmi();
  QWidget* Hdr();

  EdidEditorWindow& core_;
  QtHost& host_;
  QPointer<QWidget> previousDialogParent_;
  WidgetView view_;
};

// Runs the dialog modally over `parent`.
void RunEdidEditorDialog(EdidEditorWindow& core, QtHost& host, QWidget* parent);

}  // namespace sc
