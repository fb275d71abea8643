#pragma once
// The program's application object: prepares the platform, runs the main window
// (ConsoleDialog) modally until the user closes it, tears it down and ends. The toolkit
// supplies the modal run; everything else is here, so it runs the same under the tests.

#include <functional>
#include <memory>

#include "console/console_dialog.h"
#include "window/host.h"

namespace sc {

inline constexpr const char* kSocketFailureMessage = "Windows sockets initialization failed.";

// The socket layer the program sets up at start (and never uses afterwards). Linux has
// nothing to set up, so it always succeeds.
bool InitSocketLayer();

class ConsoleApp {
 public:
  // Shows the main window for `dialog`, which the window starts up, and returns when the
  // user has closed it. The window must be gone (its views detached) when it returns.
  using ModalRun = std::function<void(ConsoleDialog& dialog)>;

  explicit ConsoleApp(Host& host, ConsoleDialog::Options options = {});
  ConsoleApp(const ConsoleApp&) = delete;
  ConsoleApp& operator=(const ConsoleApp&) = delete;

  // For tests: another socket-layer start-up.
  void SetSocketStartup(std::function<bool()> startup) { socketStartup_ = std::move(startup); }

  // Runs the program. Returns its exit status: 0 after the main window closed, 1 when the
  // platform could not be prepared (the message has been shown, no window opened).
  int Run(const ModalRun& runModal);

  // The main window while it exists.
  ConsoleDialog* mainWindow() const { return mainWindow_.get(); }

 private:
  Host& host_;
  ConsoleDialog::Options options_;
  std::function<bool()> socketStartup_ = InitSocketLayer;
  std::unique_ptr<ConsoleDialog> mainWindow_;
};

}  // namespace sc
