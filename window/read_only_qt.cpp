#include "window/read_only_qt.h"

#include <QLabel>
#include <QLineEdit>

namespace sc {

void MakeReadOnlyValue(QLineEdit* box) {
  box->setReadOnly(true);
  box->setEnabled(true);
  box->setFocusPolicy(Qt::ClickFocus);
}

void MakeSelectableValue(QLabel* label) {
  label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  label->setFocusPolicy(Qt::ClickFocus);
}

ReadOnlyRadioButton::ReadOnlyRadioButton(const QString& text, QWidget* parent)
    : QRadioButton(text, parent) {
  setFocusPolicy(Qt::NoFocus);
}

}  // namespace sc
