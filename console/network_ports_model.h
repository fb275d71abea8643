#pragma once
// "Link > Network port...": the window that maps a COM number to a device server's port
// (rfc2217://HOST:PORT or tcp://HOST:PORT), as plain behaviour the Qt dialog binds to.
// The map lives in its own file beside the settings file; SIGNAL_CONSOLE_PORTS entries
// win over it, and the dialog says so for a number they name.

#include <string>
#include <vector>

namespace sc {

class ConsoleDialog;

// Texts of the window.
inline constexpr const char* kNetworkPortTitle = "Network port";
inline constexpr const char* kNetworkPortPortCaption = "Port:";
inline constexpr const char* kNetworkPortAddressCaption = "Address:";
inline constexpr const char* kNetworkPortListCaption = "Mapped ports:";
inline constexpr const char* kNetworkPortMapButton = "Map";
inline constexpr const char* kNetworkPortRemoveButton = "Remove";
inline constexpr const char* kNetworkPortCloseButton = "Close";
inline constexpr const char* kNetworkPortAddressHint = "rfc2217://HOST:PORT or tcp://HOST:PORT";

class NetworkPortsModel {
 public:
  explicit NetworkPortsModel(ConsoleDialog& console);

  // The chosen COM number (1..99) and the address in the box; choosing a number fills the
  // box with its mapped address ("" when none).
  int port() const { return port_; }
  void ChoosePort(int port);
  std::string address;

  // "Map": the address checked and kept for the chosen number. "Remove": the number's
  // mapping dropped. Each leaves `note` saying what happened or why nothing did.
  bool Map();
  bool Remove();
  std::string note;

  // The list: one row a mapped number, "COM5  rfc2217://rack-3:7001", with what stands
  // in its way ("COM2  tcp://rack:4001  (SIGNAL_CONSOLE_PORTS names COM2)").
  std::vector<std::string> Rows() const;
  // The COM number of list row `row` (0 when there is none).
  int PortOfRow(int row) const;
  // Whether the chosen number has a mapping (Remove has something to do).
  bool Mapped() const;

 private:
  ConsoleDialog& console_;
  int port_ = 1;
};

}  // namespace sc
