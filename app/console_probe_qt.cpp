#include "app/console_probe_qt.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QSocketNotifier>
#include <QSpinBox>
#include <QTabBar>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console/control_ids.h"
#include "console/main_window_qt.h"
#include "window/widget_view.h"

namespace sc {

namespace {

// A request line longer than this ends the client: no one types requests that long.
constexpr size_t kMaxRequest = 4096;

QString Plain(QString text) {
  return text.remove(QLatin1Char('&'));
}

bool Named(QWidget* w, const QString& name) {
  if (w->accessibleName() == name) return true;
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return Plain(b->text()) == name;
  return false;
}

// The control labelled `name` (its buddy label's caption), named so, or a check box with
// that caption.
QWidget* Labelled(QWidget& window, const QString& name) {
  for (QLabel* label : window.findChildren<QLabel*>())
    if (label->buddy() && Plain(label->text()) == name) return label->buddy();
  for (QWidget* w : window.findChildren<QWidget*>())
    if (Named(w, name)) return w;
  return nullptr;
}

std::string Text(const QString& s) {
  return ToCoreText(s);
}

}  // namespace

struct ProbeServer::Client {
  int fd = -1;
  QSocketNotifier* reader = nullptr;
  QSocketNotifier* writer = nullptr;
  std::string in;
  std::string out;
};

std::unique_ptr<ProbeServer> ProbeServer::FromEnvironment(QWidget& window, ConsoleDialog& dialog) {
  const char* path = std::getenv(kVariable);
  if (!path || !*path) return nullptr;
  auto probe = std::make_unique<ProbeServer>(window, dialog, path);
  if (!probe->listening())
    std::fprintf(stderr, "signal-console: %s: %s\n", kVariable, probe->error().c_str());
  return probe;
}

ProbeServer::ProbeServer(QWidget& window, ConsoleDialog& dialog, const std::string& path)
    : window_(window), probe_(dialog, *this, meter_), path_(path) {
  // The main window builds a page when it is first shown: the probe reaches every control
  // by its caption, hidden pages' included, as it could before.
  if (auto* main = qobject_cast<MainWindow*>(&window))
    for (int id : {ids::kTimingPage, ids::kUtilityPage, ids::kMonitorPage, ids::kEdidPage})
      main->page(id);
  meterTimer_.setTimerType(Qt::PreciseTimer);
  meterTimer_.setInterval(static_cast<int>(kMeterInterval.count()));
  connect(&meterTimer_, &QTimer::timeout, this, [this] { meter_.Tick(BlockMeter::Clock::now()); });
  meterTimer_.start();
  qApp->installEventFilter(this);

  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    error_ = path + ": the path is too long for a socket";
    return;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error_ = std::string("socket: ") + std::strerror(errno);
    return;
  }
  // A socket left by a console that ended without its clean-up is replaced; nothing else.
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) ::unlink(path.c_str());
  // Only this user may drive the console.
  const mode_t old = ::umask(0177);
  const int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  const int bindErrno = errno;
  ::umask(old);
  if (bound != 0 || ::listen(fd, 4) != 0) {
    error_ = path + ": " + std::strerror(bound != 0 ? bindErrno : errno);
    ::close(fd);
    return;
  }
  listenFd_ = fd;
  acceptNotifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
  connect(acceptNotifier_, &QSocketNotifier::activated, this, [this] { Accept(); });
}

ProbeServer::~ProbeServer() {
  qApp->removeEventFilter(this);
  while (!clients_.empty())
    Drop(*clients_.back());
  if (listenFd_ >= 0) {
    delete acceptNotifier_;
    ::close(listenFd_);
    ::unlink(path_.c_str());
  }
}

void ProbeServer::Accept() {
  for (;;) {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    auto client = std::make_unique<Client>();
    client->fd = fd;
    Client* c = client.get();
    client->reader = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    client->writer = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    client->writer->setEnabled(false);
    connect(client->reader, &QSocketNotifier::activated, this, [this, c] { Read(*c); });
    connect(client->writer, &QSocketNotifier::activated, this, [this, c] { Flush(*c); });
    clients_.push_back(std::move(client));
  }
}

void ProbeServer::Read(Client& client) {
  char buffer[4096];
  const ssize_t n = ::read(client.fd, buffer, sizeof buffer);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
  if (n <= 0) return Drop(client);
  client.in.append(buffer, static_cast<size_t>(n));
  size_t end;
  while ((end = client.in.find('\n')) != std::string::npos) {
    const std::string line = client.in.substr(0, end);
    client.in.erase(0, end + 1);
    client.out += probe_.Answer(line) + "\n";
  }
  if (client.in.size() > kMaxRequest) return Drop(client);
  Flush(client);
}

void ProbeServer::Flush(Client& client) {
  while (!client.out.empty()) {
    const ssize_t n = ::send(client.fd, client.out.data(), client.out.size(), MSG_NOSIGNAL);
    if (n > 0) {
      client.out.erase(0, static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) break;
    return Drop(client);
  }
  client.writer->setEnabled(!client.out.empty());
}

void ProbeServer::Drop(Client& client) {
  // Later in this pass a notifier of this client may still be about to report.
  client.reader->setEnabled(false);
  client.writer->setEnabled(false);
  client.reader->deleteLater();
  client.writer->deleteLater();
  ::close(client.fd);
  std::erase_if(clients_, [&](const std::unique_ptr<Client>& c) { return c.get() == &client; });
}

std::string ProbeServer::Click(const std::string& name) {
  const QString wanted = QString::fromStdString(name);
  for (QAction* action : window_.findChildren<QAction*>()) {
    // A menu's own entry (the "Link" menu) is no command.
    if (action->isSeparator() || action->menu() || Plain(action->text()) != wanted) continue;
    if (!action->isEnabled()) return name + ": disabled";
    // Later, so that a message box the action opens does not hold up the answer.
    QTimer::singleShot(0, action, [action] { action->trigger(); });
    return "";
  }
  for (QWidget* w : window_.findChildren<QWidget*>()) {
    auto* button = qobject_cast<QAbstractButton*>(w);
    if (!button || !Named(button, wanted)) continue;
    if (!button->isEnabled()) return name + ": disabled";
    QTimer::singleShot(0, button, [button] { button->click(); });
    return "";
  }
  return "no button or menu entry '" + name + "'";
}

std::string ProbeServer::Set(const std::string& name, const std::string& value) {
  QWidget* w = Labelled(window_, QString::fromStdString(name));
  if (!w) return "no control labelled '" + name + "'";
  if (!w->isEnabled()) return name + ": disabled";
  const QString v = QString::fromStdString(value);
  if (auto* spin = qobject_cast<QSpinBox*>(w)) {
    bool ok = false;
    const int number = v.toInt(&ok);
    if (!ok || number < spin->minimum() || number > spin->maximum())
      return name + ": not a number in its range";
    spin->setValue(number);
    return "";
  }
  if (auto* list = qobject_cast<QComboBox*>(w)) {
    int index = list->findText(v);
    bool isNumber = false;
    if (index < 0) index = v.toInt(&isNumber);
    if (index < 0 || index >= list->count() || (!isNumber && list->findText(v) < 0))
      return name + ": no item '" + value + "'";
    QPointer<QComboBox> guard(list);
    QTimer::singleShot(0, list, [guard, index] {
      if (!guard) return;
      guard->setCurrentIndex(index);
      emit guard->activated(index);
    });
    return "";
  }
  if (auto* button = qobject_cast<QAbstractButton*>(w); button && button->isCheckable()) {
    if (value != "on" && value != "off") return name + ": on or off";
    if (button->isChecked() != (value == "on"))
      QTimer::singleShot(0, button, [button] { button->click(); });
    return "";
  }
  if (auto* edit = qobject_cast<QLineEdit*>(w); edit && !edit->isReadOnly()) {
    edit->setText(v);
    return "";
  }
  return name + ": not a control the probe can set";
}

std::string ProbeServer::ShowTab(const std::string& name) {
  const QString wanted = QString::fromStdString(name);
  for (QTabBar* bar : window_.findChildren<QTabBar*>()) {
    for (int i = 0; i < bar->count(); ++i) {
      if (Plain(bar->tabText(i)) != wanted) continue;
      bar->setCurrentIndex(i);
      return "";
    }
  }
  return "no page '" + name + "'";
}

bool ProbeServer::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Show) {
    if (auto* box = qobject_cast<QMessageBox*>(watched))
      shown_.push_back({Text(box->windowTitle()), Text(box->text())});
  }
  return QObject::eventFilter(watched, event);
}

std::vector<ProbeServer::Message> ProbeServer::TakeShownMessages() {
  return std::exchange(shown_, {});
}

int ProbeServer::OpenMessages() {
  int open = 0;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (qobject_cast<QMessageBox*>(w) && w->isVisible()) ++open;
  return open;
}

int ProbeServer::DismissMessages() {
  int dismissed = 0;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<QMessageBox*>(w);
    if (!box || !box->isVisible()) continue;
    ++dismissed;
    QPointer<QMessageBox> guard(box);
    QTimer::singleShot(0, box, [guard] {
      if (!guard) return;
      if (QAbstractButton* ok = guard->button(QMessageBox::Ok))
        ok->click();
      else
        guard->accept();
    });
  }
  return dismissed;
}

}  // namespace sc
