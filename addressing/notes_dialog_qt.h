#pragma once
// The "Notes" dialog that "Help" shows over the address dialog: the addressing modes a box
// understands, the invalid ones, and OK.

#include <QDialog>

namespace sc {

class NotesDialog : public QDialog {
  Q_OBJECT

 public:
  explicit NotesDialog(QWidget* parent = nullptr);
};

// Runs the Notes dialog modally over `parent`.
void RunNotesDialog(QWidget* parent);

}  // namespace sc
