#pragma once
// The main window's status bar: the texts of ConsoleStatus, each in a label of its own,
// set when the core says they changed. Assistive technology reads a label's whole text as
// its name (a long text is shown cut in the middle); its description says which field it
// is ("Link", "Port").

#include <QStatusBar>
#include <QString>
#include <map>

#include "console/console_status.h"

class QLabel;

namespace sc {

class ConsoleStatusBar : public QStatusBar {
  Q_OBJECT

 public:
  ConsoleStatusBar(ConsoleStatus& status, QWidget* parent = nullptr);
  ~ConsoleStatusBar() override;

  // The label of one field (ConsoleStatus::Field).
  QLabel* field(unsigned field) const;

 private:
  void Show(unsigned fields);

  ConsoleStatus& status_;
  std::map<unsigned, QLabel*> labels_;
  std::map<unsigned, QString> tips_;
};

}  // namespace sc
