#pragma once
// Helpers of the GUI tests. Modal dialogs: act on the next modal window once it is up (typically to
// read and close it), while the test's own call is blocked in its exec().

#include <gtest/gtest.h>

#include <QString>
#include <QTest>
#include <QWidget>
#include <functional>
#include <ostream>

// QTest's waiting checks, as GoogleTest assertions. Qt's own report a failure only inside
// QTest's runner: here they would return from the test in silence, and the test would pass.
// These wait the same way (events processed) and then assert.
#undef QTRY_VERIFY_WITH_TIMEOUT
#undef QTRY_VERIFY
#undef QTRY_COMPARE_WITH_TIMEOUT
#undef QTRY_COMPARE
#define QTRY_VERIFY_WITH_TIMEOUT(expr, timeout)                         \
  do {                                                                  \
    (void)QTest::qWaitFor([&]() -> bool { return (expr); }, (timeout)); \
    ASSERT_TRUE(expr) << "waited " << (timeout) << " ms";               \
  } while (false)
#define QTRY_VERIFY(expr) QTRY_VERIFY_WITH_TIMEOUT(expr, 5000)
#define QTRY_COMPARE_WITH_TIMEOUT(expr, expected, timeout)                            \
  do {                                                                                \
    (void)QTest::qWaitFor([&]() -> bool { return (expr) == (expected); }, (timeout)); \
    ASSERT_EQ((expr), (expected)) << "waited " << (timeout) << " ms";                 \
  } while (false)
#define QTRY_COMPARE(expr, expected) QTRY_COMPARE_WITH_TIMEOUT(expr, expected, 5000)

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
