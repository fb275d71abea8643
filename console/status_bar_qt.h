#pragma once
// The main window's status bar: the texts of StatusBarModel, each in a label of its own,
// set when the core says they changed. Assistive technology reads a label's whole text as
// its name (a long text is shown cut in the middle); its description says which field it
// is ("Link", "Port").

#include <QStatusBar>
#include <QString>
#include <map>

#include "console/status_bar_model.h"

class QLabel;

namespace sc {

class StatusBarWidget : public QStatusBar {
  Q_OBJECT

 public:
  StatusBarWidget(StatusBarModel& status, QWidget* parent = nullptr);
  ~StatusBarWidget() override;

  // The label of one field (StatusBarModel::Field).
  QLabel* field(unsigned field) const;

 private:
  void Show(unsigned fields);

  StatusBarModel& status_;
  std::map<unsigned, QLabel*> labels_;
  std::map<unsigned, QString> tips_;
};

}  // namespace sc
