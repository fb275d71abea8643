#pragma once
// The "Device Address Management" dialog's widgets: the original and new address boxes
// with their buttons, the 32-row address table, Save and Help. It binds the boxes to the
// core AddressDialog by control id and forwards the buttons; the core decides everything
// else. Enter stays with the focused box and never closes the dialog or presses a
// button; Escape and the close box close it.

#include <QDialog>
#include <QPointer>

#include "addressing/address_dialog.h"
#include "window/qt_host.h"
#include "window/widget_view.h"

namespace sc {

class AddressDialogWidget : public QDialog {
  Q_OBJECT

 public:
  // Attaches its view to `core` and opens it (the boxes get their texts). While the
  // dialog is up, the host's message boxes and dialogs stand over it.
  AddressDialogWidget(AddressDialog& core, QtHost& host, QWidget* parent = nullptr);
  ~AddressDialogWidget() override;

  WidgetView& view() { return view_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QWidget* BuildAddressBoxes();
  QWidget* BuildTable();

  AddressDialog& core_;
  QtHost& host_;
  QPointer<QWidget> previousDialogParent_;
  WidgetView view_;
};

// Runs the dialog modally over `parent`.
void RunAddressDialog(AddressDialog& core, QtHost& host, QWidget* parent);

}  // namespace sc
