#pragma once
// Values the console shows and a person only reads: in the normal text colour (not greyed
// as a disabled control), selectable and copyable, and left out of the Tab order (a click
// still focuses them, for copying), so Tab goes from control to control.

#include <QRadioButton>

class QLabel;
class QLineEdit;

namespace sc {

// A read-only edit box that shows a value.
void MakeReadOnlyValue(QLineEdit* box);
// A label whose text can be selected and copied.
void MakeSelectableValue(QLabel* label);

// A radio button that shows a state the console decided: enabled and readable, but
// neither a click, a key nor an assistive technology's "press" changes it.
class ReadOnlyRadioButton : public QRadioButton {
  Q_OBJECT

 public:
  explicit ReadOnlyRadioButton(const QString& text, QWidget* parent = nullptr);

 protected:
  bool hitButton(const QPoint&) const override { return false; }
  void nextCheckState() override {}
};

}  // namespace sc
