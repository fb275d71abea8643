#pragma once
// The about box: "About TQ5RCONSOLE" with the application icon, the version line and OK.

#include <QDialog>

namespace sc {

inline constexpr const char* kAboutTitle = "About TQ5RCONSOLE";
inline constexpr const char* kAboutVersion = "TQ5RCONSOLE Version 1.0";

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent = nullptr);
};

// Runs the about box modally over `parent`.
void RunAboutDialog(QWidget* parent);

}  // namespace sc
