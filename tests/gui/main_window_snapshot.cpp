// main-window-snapshot: saves a picture of the console's main window, for the README.
// scripts/screenshot.sh runs it under xvfb-run. Usage:
//   main-window-snapshot OUTPUT.png [--link-up] [--tab N] [--read-edid] [--log LOG.png]
// --link-up clicks the link icon first (COM1, e.g. signal-box-sim mapped through
// SIGNAL_CONSOLE_PORTS) and waits for the box's answers before the picture is taken;
// --tab N brings page N (0 Timing .. 3 EDID) to the front; --read-edid then presses
// "Read EDID from device" for the preset the box reported; --log opens the traffic log
// before the link comes up and saves its picture as LOG.png too.
// The settings file goes to a temporary directory, never beside this program.

#include <QApplication>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <cstdio>

#include "app/about_dialog_qt.h"
#include "app/console_style_qt.h"
#include "console/control_ids.h"
#include "console/main_window_qt.h"
#include "console/traffic_log_qt.h"
#include "window/qt_host.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  sc::InstallConsoleStyle();  // as the console's own main() does
  const QStringList args = QApplication::arguments();
  if (args.size() < 2 || args[1].startsWith(QLatin1Char('-'))) {
    std::fprintf(stderr, "usage: main-window-snapshot OUTPUT.png [--link-up] [--tab N]\n");
    return 2;
  }
  const QString output = args[1];
  const bool readEdid = args.contains(QStringLiteral("--read-edid"));
  const bool linkUp = readEdid || args.contains(QStringLiteral("--link-up"));
  const qsizetype tabArg = args.indexOf(QStringLiteral("--tab"));
  const int tab = tabArg > 0 && tabArg + 1 < args.size() ? args[tabArg + 1].toInt() : 0;
  const qsizetype logArg = args.indexOf(QStringLiteral("--log"));
  const QString logOutput = logArg > 0 && logArg + 1 < args.size() ? args[logArg + 1] : QString();

  QTemporaryDir settings;
  sc::ConsoleDialog::Options options;
  options.executablePath = settings.filePath(QStringLiteral("signal-console")).toStdString();
  sc::QtHost host;
  host.RegisterDialog(sc::ids::kAboutDialog, sc::RunAboutDialog);
  int status = 0;
  {
    sc::ConsoleDialog dialog(host, options);
    sc::MainWindow window(dialog, host);
    window.show();
    window.tabBar()->setCurrentIndex(tab);  // as a click would: the core shows the page
    if (!logOutput.isEmpty()) {
      window.action(QStringLiteral("Traffic Log"))->trigger();
      window.trafficLog()->move(window.x() + 40, window.y() + 80);
    }
    if (linkUp) {
      QTimer::singleShot(300, &window, [&window] {
        if (auto* link = qobject_cast<QToolButton*>(window.view().widget(sc::ids::kLinkIcon)))
          link->click();
      });
    }
    if (readEdid) {
      QTimer::singleShot(1500, &window, [&window] {
        for (auto* button : window.findChildren<QPushButton*>())
          if (button->text() == QStringLiteral("Read EDID from device")) button->click();
      });
    }
    QTimer::singleShot(linkUp ? 2500 : 800, &window, [&] {
      // What the screen shows where the window is; the widget's own rendering when the
      // platform has no screen to read (offscreen).
      // (The log window stands over the main window: then the widget's own rendering.)
      QPixmap shot = logOutput.isEmpty()
                         ? window.screen()->grabWindow(0, window.x(), window.y(), window.width(),
                                                       window.height())
                         : QPixmap();
      if (shot.isNull() || shot.width() <= 1) shot = window.grab();
      if (!logOutput.isEmpty()) {
        window.trafficLog()->SyncNow();
        if (!window.trafficLog()->grab().save(logOutput)) status = 1;
      }
      if (!shot.save(output)) {
        std::fprintf(stderr, "main-window-snapshot: cannot write %s\n", qPrintable(output));
        status = 1;
      }
      window.done(0);
    });
    window.exec();
    dialog.Destroy();
  }
  return status;
}
