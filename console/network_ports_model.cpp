#include "console/network_ports_model.h"

#include "console/console_dialog.h"

namespace sc {

NetworkPortsModel::NetworkPortsModel(ConsoleDialog& console) : console_(console) {
  ChoosePort(console.port());
}

void NetworkPortsModel::ChoosePort(int port) {
  if (port < kFirstPort || port > kLastPort) return;
  port_ = port;
  const auto& entries = console_.networkPorts().entries();
  const auto it = entries.find(port);
  address = it == entries.end() ? std::string() : it->second;
  note.clear();
}

bool NetworkPortsModel::Map() {
  const std::string problem = console_.MapNetworkPort(port_, address);
  if (!problem.empty()) {
    note = problem;
    return false;
  }
  address = console_.networkPorts().entries().at(port_);
  note = "COM" + std::to_string(port_) + " is " + address + ".";
  if (console_.NetworkPortOverridden(port_))
    note += " SIGNAL_CONSOLE_PORTS names COM" + std::to_string(port_) +
            " too, and its entry is used while it does.";
  return true;
}

bool NetworkPortsModel::Remove() {
  if (!Mapped()) {
    note = "COM" + std::to_string(port_) + " is not mapped to a network port.";
    return false;
  }
  const std::string problem = console_.UnmapNetworkPort(port_);
  if (!problem.empty()) {
    note = problem;
    return false;
  }
  address.clear();
  note = "COM" + std::to_string(port_) + " is no longer a network port.";
  return true;
}

bool NetworkPortsModel::Mapped() const {
  return console_.networkPorts().entries().count(port_) != 0;
}

std::vector<std::string> NetworkPortsModel::Rows() const {
  std::vector<std::string> rows;
  for (const auto& [port, mapped] : console_.networkPorts().entries()) {
    std::string row = "COM" + std::to_string(port) + "  " + mapped;
    if (console_.NetworkPortOverridden(port))
      row += "  (SIGNAL_CONSOLE_PORTS names COM" + std::to_string(port) + ")";
    rows.push_back(row);
  }
  return rows;
}

int NetworkPortsModel::PortOfRow(int row) const {
  int index = 0;
  for (const auto& entry : console_.networkPorts().entries())
    if (index++ == row) return entry.first;
  return 0;
}

}  // namespace sc
