// signal-console: the Qt program around the console's core.

#include <malloc.h>

#include <QApplication>
#include <cstdio>
#include <cstring>

#include "app/about_dialog_qt.h"
#include "app/console_app.h"
#include "app/console_probe_qt.h"
#include "app/console_style_qt.h"
#include "console/control_ids.h"
#include "console/main_window_qt.h"
#include "resources/icons.h"
#include "window/qt_host.h"

namespace {

constexpr char kHelp[] =
    "Usage: signal-console [Qt options]\n"
    "The desktop console of the HDMI/SDI signal analyzer box: choose the box's port in the\n"
    "\"Comm:\" list and click the link icon, or press \"Search Machine\".\n"
    "\n"
    "  --help      this text\n"
    "  --version   the version\n"
    "\n"
    "SIGNAL_CONSOLE_PORTS=N=PATH,... gives COM numbers to devices; the serial devices\n"
    "found (/dev/ttyUSB*, /dev/ttyACM*, /dev/ttyS*) take the free numbers from COM1.\n"
    "signal-cli(1) drives the box from the command line.\n";

}  // namespace

int main(int argc, char* argv[]) {
  // Answered before the toolkit starts, so they work without a display.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::fputs("signal-console 1.19\n", stdout);
      return 0;
    }
  }
  // Blocks of 128 KiB and more (a capture's chart canvas, the chart window's image) are
  // mapped on their own and handed back when freed. glibc would otherwise raise that
  // threshold each time such a block is freed, take the next ones from the heap and keep
  // the freed heap: resident memory that steps up at captures and does not come down.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("signal-console"));
  QApplication::setWindowIcon(sc::icons::AppIcon());
  sc::InstallConsoleStyle();

  sc::QtHost host;
  host.RegisterDialog(sc::ids::kAboutDialog, sc::RunAboutDialog);

  sc::ConsoleApp app(host);
  return app.Run([&host](sc::ConsoleDialog& dialog) {
    sc::MainWindow window(dialog, host);
    // Only when SIGNAL_CONSOLE_PROBE asks for it (a soak, a test bench).
    const std::unique_ptr<sc::ProbeServer> probe = sc::ProbeServer::FromEnvironment(window, dialog);
    window.exec();
  });
}
