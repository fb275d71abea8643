#include "tests/gui/gui_testing.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <memory>

namespace sc::testing {

namespace {
void Poll(std::shared_ptr<QElapsedTimer> clock, QPointer<QWidget> before,
          std::function<void(QWidget*)> action) {
  QWidget* modal = QApplication::activeModalWidget();
  if (modal && modal != before) {
    QPointer<QWidget> shown = modal;
    action(modal);
    if (shown && shown->isVisible()) {
      if (auto* dialog = qobject_cast<QDialog*>(shown.data()))
        dialog->reject();
      else
        shown->close();
    }
    return;
  }
  if (clock->elapsed() > 5000) return;
  QTimer::singleShot(10, [clock, before, action] { Poll(clock, before, action); });
}
}  // namespace

void OnNextModal(std::function<void(QWidget*)> action) {
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  QPointer<QWidget> before = QApplication::activeModalWidget();
  QTimer::singleShot(0, [clock, before, action] { Poll(clock, before, action); });
}

void PressButton(QWidget* dialog, const QString& text) {
  for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
    if (button->text() == text) {
      button->click();
      return;
    }
  }
}

}  // namespace sc::testing
