// signal-console: the Qt program around the console's core.

#include <QApplication>

#include "app/about_dialog_qt.h"
#include "app/console_app.h"
#include "console/control_ids.h"
#include "console/main_window_qt.h"
#include "resources/icons.h"
#include "window/qt_host.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("signal-console"));
  QApplication::setWindowIcon(sc::icons::AppIcon());

  sc::QtHost host;
  host.RegisterDialog(sc::ids::kAboutDialog, sc::RunAboutDialog);

  sc::ConsoleApp app(host);
  return app.Run([&host](sc::ConsoleDialog& dialog) {
    sc::MainWindow window(dialog, host);
    window.exec();
  });
}
