#pragma once
// Helpers of the GUI tests. Modal dialogs: act on the next modal window once it is up (typically to
// read and close it), while the test's own call is blocked in its exec().

#include <QString>
#include <QWidget>
#include <functional>
#include <ostream>

// Readable Qt strings in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace sc::testing {

// Runs `action` on the next modal widget that appears within a few seconds. A widget
// that is still up afterwards is closed, so a test never hangs in a modal loop.
void OnNextModal(std::function<void(QWidget*)> action);

// Presses the button with `text` on a message box or dialog.
void PressButton(QWidget* dialog, const QString& text);

}  // namespace sc::testing
