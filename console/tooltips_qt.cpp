#include "console/tooltips_qt.h"

#include <QWidget>

#include "console/control_ids.h"
#include "console/main_window_qt.h"
#include "edid/edid_page.h"
#include "infoframe/utility_page.h"
#include "monitor/monitor_page.h"
#include "timing/timing_page.h"

namespace sc {

namespace {

struct Hint {
  int pageId;  // 0: the main window itself
  int controlId;
  const char* text;
};

constexpr Hint kHints[] = {
    {0, ids::kCommList,
     "The COM port the box is on. Choosing it while the link is down connects; while the link "
     "is up the link goes down, and choosing the port again connects"},
    {0, ids::kSearchButton, "Try COM1 to COM99 for a box that answers and connect to it (Ctrl+F)"},
    {0, ids::kAddressList, "The box, or the boxes, that the console's commands go to"},
    {0, ids::kAddressManagement, "Edit the address book, or read and change a box's bus address"},
    {0, ids::kHpdOn, "Tell the box to offer hot-plug to the source"},
    {0, ids::kHpdOff, "Tell the box to withdraw hot-plug from the source"},
    {0, ids::kVolumeDown, "Turn the box's volume down one step"},
    {0, ids::kVolumeUp, "Turn the box's volume up one step"},
    {0, ids::kVolumeBox, "The box's audio volume"},
    {0, ids::kHdmiLabel, "Click to select the box's HDMI input"},
    {0, ids::kSdiLabel, "Click to select the box's SDI input"},
    {ids::kTimingPage, timing_ids::kUpdateStatus,
     "Read the box's state and signal again, from its input on (F5)"},
    {ids::kTimingPage, timing_ids::kUpdateImage,
     "Fetch a small preview of the picture the box receives"},
    {ids::kTimingPage, timing_ids::kUploadWholeImage,
     "Upload the whole received frame at 512000 baud and save it as a bitmap (click again to "
     "cancel)"},
    {ids::kTimingPage, timing_ids::kLineAnalyse,
     "Upload the frame down to the chosen line and save a chart of its colour levels (click "
     "again to cancel)"},
    {ids::kEdidPage, edid_ids::kSelectionList,
     "The EDID the box presents on its input; choosing one tells the box. Read and write use "
     "the preset chosen here"},
    {ids::kEdidPage, edid_ids::kReadFromDevice,
     "Read the EDID of the preset chosen in the list from the box (Ctrl+R)"},
    {ids::kEdidPage, edid_ids::kOpenFile, "Load an EDID from a .bin or .txt file (Ctrl+O)"},
    {ids::kEdidPage, edid_ids::kSaveToFile,
     "Save the EDID shown as TQ_EDIDnn.txt and TQ_EDIDnn.bin in the files folder (the status "
     "bar names it) (Ctrl+S)"},
    {ids::kEdidPage, edid_ids::kSaveAs, "Save the EDID shown as a .bin or .txt file you name"},
    {ids::kEdidPage, edid_ids::kWriteUserEdid,
     "Write the EDID shown into the USER slot chosen in the list"},
    {ids::kUtilityPage, utility_ids::kPacketList, "The type of packet to read"},
    {ids::kUtilityPage, utility_ids::kReadInfoFrame,
     "Read the packet of the chosen type that the box last received"},
    {ids::kMonitorPage, monitor_ids::kNewStart,
     "Start a new recording on the box with these settings"},
    {ids::kMonitorPage, monitor_ids::kReadRecord, "Read the recording from the box"},
    {ids::kMonitorPage, monitor_ids::kSave,
     "Save the recording as TQ5R_StatusRecordnn.txt in the files folder (the status bar names "
     "it)"},
    {ids::kMonitorPage, monitor_ids::kSaveAs, "Save the recording as a text file you name"},
};

}  // namespace

void ApplyTooltips(MainWindow& window, int pageId) {
  for (const Hint& hint : kHints) {
    if (hint.pageId != pageId) continue;
    PageWidget* page = hint.pageId ? window.builtPage(hint.pageId) : nullptr;
    if (hint.pageId && !page) continue;
    QWidget* control =
        page ? page->view().widget(hint.controlId) : window.view().widget(hint.controlId);
    if (control) control->setToolTip(QString::fromLatin1(hint.text));
  }
}

}  // namespace sc
