#pragma once
// The probe's Qt side: a Unix socket at the path SIGNAL_CONSOLE_PROBE names, served on the
// window thread; the controls found by their captions in the main window and pressed the
// way a person presses them; the message boxes noted as they appear; and the timer whose
// lateness measures how long the window thread was held up (every 10 ms). Nothing of it
// exists unless the variable is set.

#include <QObject>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "app/console_probe.h"

class QSocketNotifier;
class QWidget;

namespace sc {

class ProbeServer : public QObject, public ProbeControls {
 public:
  static constexpr const char* kVariable = "SIGNAL_CONSOLE_PROBE";
  static constexpr std::chrono::milliseconds kMeterInterval{10};

  // The probe at $SIGNAL_CONSOLE_PROBE for `window` (the main window, whose controls and
  // child windows it reaches), or nothing when the variable is unset or empty. A socket
  // that cannot be made is said on standard error, and the console runs without it.
  static std::unique_ptr<ProbeServer> FromEnvironment(QWidget& window, ConsoleDialog& dialog);

  ProbeServer(QWidget& window, ConsoleDialog& dialog, const std::string& path);
  ~ProbeServer() override;
  bool listening() const { return listenFd_ >= 0; }
  const std::string& error() const { return error_; }
  // The answer to one request, as a client gets it (tests use it without a socket).
  std::string Answer(const std::string& line) { return probe_.Answer(line); }

  std::string Click(const std::string& name) override;
  std::string Set(const std::string& name, const std::string& value) override;
  std::string ShowTab(const std::string& name) override;
  std::vector<Message> TakeShownMessages() override;
  int OpenMessages() override;
  int DismissMessages() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Client;
  void Accept();
  void Read(Client& client);
  void Flush(Client& client);
  void Drop(Client& client);

  QWidget& window_;
  BlockMeter meter_{kMeterInterval};
  ConsoleProbe probe_;
  QTimer meterTimer_;
  std::string path_;
  std::string error_;
  int listenFd_ = -1;
  QSocketNotifier* acceptNotifier_ = nullptr;
  std::vector<std::unique_ptr<Client>> clients_;
  std::vector<Message> shown_;
};

}  // namespace sc
