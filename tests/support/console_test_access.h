#pragma once
// Puts the main window into a state for a test without the steps that reach it (a link up
// on a port the test closed itself, an upload said to run). Only tests reach in like this;
// everything else changes the state through the window's operations.

#include "console/console_dialog.h"

namespace sc {

struct ConsoleTestAccess {
  static void SetLinkUp(ConsoleDialog& d, bool up) { d.session_.linkUp_ = up; }
  static void SetSearchActive(ConsoleDialog& d, bool active) { d.session_.searchActive_ = active; }
  static void SetDeviceFound(ConsoleDialog& d, bool found) { d.session_.deviceFound_ = found; }
  static void SetUploadActive(ConsoleDialog& d, bool active) { d.capture.SetUploadActive(active); }
  static void SetPreviewBusy(ConsoleDialog& d, bool busy) { d.capture.SetPreviewBusy(busy); }
  static void SetLineMode(ConsoleDialog& d, bool on) { d.capture.SetLineMode(on); }
  // The status bar after the test changed what it shows (an upload's progress) by hand.
  static void SyncStatus(ConsoleDialog& d) { d.SyncStatus(); }
};

}  // namespace sc
