#include "app/console_app.h"

namespace sc {

bool InitSocketLayer() {
  return true;
}

ConsoleApp::ConsoleApp(Host& host, ConsoleDialog::Options options)
    : host_(host), options_(std::move(options)) {}

int ConsoleApp::Run(const ModalRun& runModal) {
  if (!socketStartup_ || !socketStartup_()) {
    host_.ShowMessage(kMessageCaption, kSocketFailureMessage);
    return 1;
  }
  // Nothing to enable for embedded controls or the control look: the toolkit has them.
  mainWindow_ = std::make_unique<ConsoleDialog>(host_, options_);
  runModal(*mainWindow_);
  // The window is gone; its clean-up, then the object: the serial port's destructor ends
  // the worker and closes the port before the program goes on.
  mainWindow_->Destroy();
  mainWindow_.reset();
  return 0;
}

}  // namespace sc
