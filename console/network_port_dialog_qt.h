#pragma once
// "Link > Network port...": the Qt window over NetworkPortsModel. A COM number ("Port:"),
// the address it stands for ("Address:"), "Map" and "Remove", the mapped ports as a list
// ("Mapped ports:"), and a line that says what happened. Modal; closed with "Close".

#include <QDialog>

#include "console/network_ports_model.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace sc {

class NetworkPortDialog : public QDialog {
  Q_OBJECT

 public:
  NetworkPortDialog(ConsoleDialog& console, QWidget* parent = nullptr);

  NetworkPortsModel& model() { return model_; }
  QComboBox* portList() const { return port_; }
  QLineEdit* addressEdit() const { return address_; }
  QListWidget* mappedList() const { return mapped_; }
  QLabel* noteLabel() const { return note_; }

 private:
  void Show();

  NetworkPortsModel model_;
  QComboBox* port_ = nullptr;
  QLineEdit* address_ = nullptr;
  QListWidget* mapped_ = nullptr;
  QLabel* note_ = nullptr;
  QPushButton* remove_ = nullptr;
};

}  // namespace sc
