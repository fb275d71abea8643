// The Timing page and the left column with the simulated box on the line: what a person
// reads after the status chain, the front-panel controls reaching the box, and the
// drop-down lists as a screen reader and a person opening them meet them.

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <memory>

#include "console/control_ids.h"
#include "console/main_window_qt.h"
#include "edid/edid_page.h"
#include "sim/box_server.h"
#include "tests/gui/console_window_fixture.h"
#include "tests/gui/gui_testing.h"
#include "tests/support/console_fixture.h"
#include "tests/support/temp_dir.h"
#include "timing/capture_windows_qt.h"
#include "timing/frame_capture.h"
#include "timing/timing_page.h"
#include "timing/timing_page_qt.h"
#include "window/drop_down_list_qt.h"
#include "window/qt_host.h"

namespace sc {
namespace {

using namespace timing_ids;

class TimingPageGuiTest : public testing::ConsoleWindowTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.StartOnPty());
    ASSERT_NO_FATAL_FAILURE(OpenWindow(server.path(), false));
  }

  template <typename T>
  T* PageControl(int id) const {
    return ConsoleWindowTest::PageControl<T>(ids::kTimingPage, id);
  }
  QString Shown(int id) const { return Control<QLabel>(id)->text(); }
  // Clicks the link icon and waits for the whole chain: the timing text comes with the
  // timing reply, the audio texts only with the status reply after it.
  void LinkUp() {
    QTest::mouseClick(Control<QToolButton>(ids::kLinkIcon), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(Shown(ids::kTimingText), QString("1920x1080(60)"), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(Shown(ids::kChannelsText), QString("2ch"), 5000);
  }
  template <class F>
  auto OnBox(F&& f) {
    return server.WithLine([&](BoxLine& line) { return f(line.box(0)); });
  }

  BoxServer server;
};

TEST_F(TimingPageGuiTest, AfterTheChainThePageAndThePanelShowTheBoxsSignal) {
  // Before the link: empty values, no radio checked.
  EXPECT_EQ(PageControl<QLineEdit>(kHActive)->text(), "0");
  EXPECT_FALSE(PageControl<QRadioButton>(kHSyncPlus)->isChecked());
  // A blank value reads as blank, not as the caption beside it.
  EXPECT_EQ(QAccessible::queryAccessibleInterface(Control<QLabel>(ids::kTimingText))
                ->text(QAccessible::Name),
            "");
  LinkUp();

  struct Field {
    int id;
    const char* caption;
    const char* text;
  };
  const Field fields[] = {
      {kPixelClock, "Video clk:", "148.5"},
      {kHFreq, "H freq:", "67.5"},
      {kVFreq, "V freq:", "60"},
      {kHActive, "H active:", "1920"},
      {kVActive, "V active:", "1080"},
      {kHTotal, "H total:", "2200"},
      {kVTotal, "V total:", "1125"},
      {kHBlank, "H blank:", "280"},
      {kVBlank, "V blank:", "45"},
      {kHSyncWidth, "Hs width:", "44"},
      {kVSyncWidth, "Vs width:", "5"},
      {kHSyncOffset, "Hs offset:", "88"},
      {kVSyncOffset, "Vs offset:", "4"},
  };
  for (const Field& f : fields) {
    auto* box = PageControl<QLineEdit>(f.id);
    ASSERT_NE(box, nullptr) << f.caption;
    EXPECT_EQ(box->text(), f.text) << f.caption;
    EXPECT_TRUE(box->isReadOnly()) << f.caption;
    EXPECT_TRUE(box->isVisibleTo(window.get())) << f.caption;
    // Named by its caption, its text readable, the unit as its description.
    QAccessibleInterface* node = QAccessible::queryAccessibleInterface(box);
    EXPECT_EQ(node->text(QAccessible::Name), f.caption);
    EXPECT_EQ(node->textInterface()->text(0, node->textInterface()->characterCount()), f.text);
  }
  EXPECT_EQ(QAccessible::queryAccessibleInterface(PageControl<QLineEdit>(kHFreq))
                ->text(QAccessible::Description),
            "KHz");
  struct Radio {
    int id;
    const char* caption;
    bool checked;
  };
  const Radio radios[] = {{kHSyncPlus, "+", true},          {kHSyncMinus, "-", false},
                          {kVSyncPlus, "+", true},          {kVSyncMinus, "-", false},
                          {kScanType, "Progressive", true}, {kInterlace, "Interlace", false}};
  for (const Radio& r : radios) {
    auto* button = PageControl<QRadioButton>(r.id);
    EXPECT_EQ(button->text(), r.caption) << r.id;
    EXPECT_EQ(button->isChecked(), r.checked) << r.id;
    // Shown as a value in the normal text colour, not greyed as a disabled control, and
    // neither a click nor a screen reader's press changes it.
    EXPECT_TRUE(button->isEnabled()) << r.id;
    QTest::mouseClick(button, Qt::LeftButton);
    button->click();
    EXPECT_EQ(button->isChecked(), r.checked) << r.id;
    EXPECT_EQ(button->focusPolicy(), Qt::NoFocus) << r.id;
  }
  EXPECT_EQ(dialog->timingPage.hSyncPolarity, kPolarityPlus);
  // A read-only value can be focused by a click and copied, but Tab passes it by.
  auto* hTotal = PageControl<QLineEdit>(kHTotal);
  EXPECT_EQ(hTotal->focusPolicy(), Qt::ClickFocus);
  hTotal->selectAll();
  EXPECT_EQ(hTotal->selectedText(), "2200");
  EXPECT_EQ(hTotal->palette().color(QPalette::Text),
            window->palette().color(QPalette::Active, QPalette::Text));

  // The panel and the front panel, as the box reports them.
  const std::pair<int, const char*> panel[] = {{ids::kHdcpText, "OFF"},
                                               {ids::kSignalText, "HDMI"},
                                               {ids::kTimingText, "1920x1080(60)"},
                                               {ids::kColorSpaceText, "RGB4:4:4"},
                                               {ids::kColorDepthText, "24bit"},
                                               {ids::kStructureText, "2D"},
                                               {ids::kSampleRateText, "48K"},
                                               {ids::kAudioBitText, "24bit"},
                                               {ids::kAudioTypeText, "PCM"},
                                               {ids::kChannelsText, "2ch"}};
  for (const auto& [id, text] : panel)
    EXPECT_EQ(Shown(id), text) << id;
  EXPECT_TRUE(Control<QRadioButton>(ids::kHpdOn)->isChecked());
  EXPECT_EQ(Control<QLineEdit>(ids::kVolumeBox)->text(), "50");
}

TEST_F(TimingPageGuiTest, FrontPanelControlsReachTheBox) {
  LinkUp();
  QTest::mouseClick(Control<QPushButton>(ids::kVolumeUp), Qt::LeftButton);
  EXPECT_EQ(Control<QLineEdit>(ids::kVolumeBox)->text(), "62");
  QTRY_COMPARE_WITH_TIMEOUT(OnBox([](SimulatedBox& b) { return int(b.panel().volumeStep); }), 5,
                            5000);

  // Hot-plug off: the box's source stops and the panel empties.
  auto* off = Control<QRadioButton>(ids::kHpdOff);
  QTest::mouseClick(off, Qt::LeftButton);
  QTRY_COMPARE_WITH_TIMEOUT(Shown(ids::kTimingText), QString(), 5000);
  EXPECT_TRUE(off->isChecked());
  EXPECT_EQ(PageControl<QLineEdit>(kHActive)->text(), "0");
  EXPECT_EQ(OnBox([](SimulatedBox& b) { return int(b.panel().hotPlug); }), 1);

  // The "SDI" text selects SDI: the lamps change, hot-plug cannot be set, and the SDI
  // signal arrives.
  auto* sdiText = window->view().widget(ids::kSdiLabel);
  QTest::mouseClick(sdiText, Qt::LeftButton);
  EXPECT_EQ(Control<QToolButton>(ids::kSdiIcon)->property(WidgetView::kIconIdProperty).toInt(),
            ids::kIconLampLit);
  EXPECT_FALSE(off->isEnabled());
  QTRY_COMPARE_WITH_TIMEOUT(Shown(ids::kSignalText), QString("SDI"), 5000);
  EXPECT_EQ(Shown(ids::kTimingText), "1920x1080i(50)");

  // "Update Status" asks again, from the input on.
  OnBox([](SimulatedBox& b) {
    b.ClearRecords();
    return 0;
  });
  for (auto* button : window->page(ids::kTimingPage)->findChildren<QPushButton*>())
    if (button->text() == "Update Status") QTest::mouseClick(button, Qt::LeftButton);
  QTRY_COMPARE_WITH_TIMEOUT(OnBox([](SimulatedBox& b) { return b.CommandCodes().size(); }), 6u,
                            5000);
  EXPECT_EQ(OnBox([](SimulatedBox& b) { return b.CommandCodes(); }),
            (std::vector<uint16_t>{0x8082, 0x8081, 0x8080, 0xF850, 0x8091, 0x8090}));
}

// A screen reader reads a closed drop-down's value from the item that reports "selected".
TEST_F(TimingPageGuiTest, EveryNamedListReportsItsCurrentItemSelected) {
  // Pages behind their tabs are built when first shown.
  for (int id : {ids::kUtilityPage, ids::kMonitorPage, ids::kEdidPage})
    window->page(id);
  int lists = 0;
  for (QComboBox* list : window->findChildren<QComboBox*>()) {
    if (list->accessibleName().isEmpty()) continue;
    ++lists;
    SCOPED_TRACE(list->accessibleName().toStdString());
    for (int choice : {1, 0}) {
      // Set as the core sets it (no signals), then read as a screen reader reads.
      {
        const QSignalBlocker blocker(list);
        list->setCurrentIndex(choice);
      }
      QAccessibleInterface* node = QAccessible::queryAccessibleInterface(list);
      ASSERT_EQ(node->text(QAccessible::Name), list->accessibleName());
      QAccessibleInterface* items = node->child(0);
      ASSERT_NE(items, nullptr);
      EXPECT_EQ(items->role(), QAccessible::List);
      EXPECT_TRUE(items->state().invisible);
      ASSERT_EQ(items->childCount(), list->count());
      QStringList selected;
      for (int row = 0; row < items->childCount(); ++row) {
        QAccessibleInterface* item = items->child(row);
        EXPECT_EQ(item->role(), QAccessible::ListItem);
        EXPECT_EQ(item->parent(), items);
        EXPECT_EQ(items->indexOfChild(item), row);
        if (item->state().selected) selected << item->text(QAccessible::Name);
      }
      EXPECT_EQ(selected, QStringList{list->itemText(choice)});
    }
  }
  EXPECT_EQ(lists, 4);  // Comm:, Address:, the EDID selection and the packet type
}

TEST_F(TimingPageGuiTest, TheCommListOpensAsAScrollingListShowingTheDevices) {
  auto* comm = Control<DropDownList>(ids::kCommList);
  ASSERT_NE(comm, nullptr);
  EXPECT_EQ(comm->itemData(0, Qt::ToolTipRole).toString().toStdString(), server.path());
  comm->showPopup();
  QAbstractItemView* popup = comm->view();
  QTRY_VERIFY(popup->isVisible());
  const int row = popup->sizeHintForRow(0);
  EXPECT_LE(popup->viewport()->height(), 16 * row + 2);
  EXPECT_GT(popup->verticalScrollBar()->maximum(), 0);
  // Room for the device beside the number.
  const QString note = DropDownList::NoteOf(QString::fromStdString(server.path()));
  EXPECT_TRUE(note.startsWith("pts/")) << note.toStdString();
  EXPECT_GE(popup->width(), popup->fontMetrics().horizontalAdvance("COM1" + note));
  // Open, the list and its highlighted item are on screen for assistive technology.
  QAccessibleInterface* items = QAccessible::queryAccessibleInterface(comm)->child(0);
  EXPECT_FALSE(items->state().invisible);
  EXPECT_GT(items->rect().height(), 0);
  EXPECT_TRUE(items->child(0)->state().selected);
  EXPECT_EQ(items->child(0)->text(QAccessible::Description).toStdString(), server.path());
  comm->hidePopup();

  const std::pair<const char*, const char*> notes[] = {
      {"/dev/ttyUSB0", "ttyUSB0"},
      {"/dev/serial/by-id/usb-FTDI_FT232R-if00-port0", "usb-FTDI_FT232R-if00-port0"},
      {"", ""},
  };
  for (const auto& [tip, shown] : notes)
    EXPECT_EQ(DropDownList::NoteOf(tip), shown) << tip;
}

TEST_F(TimingPageGuiTest, FrameCaptureShowsTheUploadControls) {
  auto* check = PageControl<QCheckBox>(kFrameCaptureCheck);
  ASSERT_NE(check, nullptr);
  EXPECT_EQ(check->text(), "Frame capture");
  EXPECT_FALSE(check->isChecked());
  QWidget* page = window->page(ids::kTimingPage);
  // Named the way a screen reader finds them: buttons by caption, the line number by
  // its label, the progress box by what it shows.
  struct Control {
    int id;
    const char* name;
  };
  const Control controls[] = {{kUploadWholeImage, "Upload Whole Image"},
                              {kLineAnalyse, "Line Image data Analyse"},
                              {kLineNumber, "Line No.:"},
                              {kUploadProgress, "Upload progress"}};
  for (const Control& c : controls) {
    QWidget* w = window->page(ids::kTimingPage)->view().widget(c.id);
    ASSERT_NE(w, nullptr) << c.name;
    EXPECT_FALSE(w->isVisibleTo(page)) << c.name;
    EXPECT_EQ(QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name), c.name);
  }
  EXPECT_TRUE(PageControl<QPushButton>(kUpdateImage)->isVisibleTo(page));
  QTest::mouseClick(check, Qt::LeftButton);
  EXPECT_TRUE(dialog->timingPage.captureControlsShown);
  for (const Control& c : controls)
    EXPECT_TRUE(window->page(ids::kTimingPage)->view().widget(c.id)->isVisibleTo(page)) << c.name;
  EXPECT_EQ(PageControl<QSpinBox>(kLineNumber)->value(), 1);
  check->setFocus();
  QTest::keyClick(check, Qt::Key_Space);
  EXPECT_FALSE(dialog->timingPage.captureControlsShown);
  EXPECT_FALSE(PageControl<QPushButton>(kUploadWholeImage)->isVisibleTo(page));
}

TEST_F(TimingPageGuiTest, ThePreviewIsPaintedLargeAndSharp) {
  QWidget* preview = window->page(ids::kTimingPage)->view().widget(kPreviewFrame);
  ASSERT_NE(preview, nullptr);
  // At the least three screen pixels a pixel, more when the page has the room.
  const QRect inside = PreviewPictureRect(preview->rect());
  const int scale = inside.width() / kPreviewWidth;
  EXPECT_GE(scale, kMinimumPreviewScale);
  EXPECT_EQ(inside.size(), QSize(kPreviewWidth * scale, kPreviewHeight * scale));
  auto shown = [&] { return preview->grab().toImage().convertToFormat(QImage::Format_RGB888); };
  // Grey until the first preview.
  const QImage before = shown();
  for (const QPoint& at : {inside.topLeft(), inside.center(), inside.bottomRight()})
    EXPECT_EQ(before.pixelColor(at), QColor(64, 64, 64));

  LinkUp();
  QTest::mouseClick(PageControl<QPushButton>(kUpdateImage), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(dialog->capture.previewImage[0] != 0x40, 5000);
  QTRY_VERIFY_WITH_TIMEOUT(!dialog->previewBusy(), 5000);
  const QImage after = shown();
  const PreviewImage& image = dialog->capture.previewImage;
  // Every preview pixel is a square of its own colour: no smoothing between them.
  for (int row = 0; row < kPreviewHeight; row += 9) {
    for (int column = 0; column < kPreviewWidth; column += 7) {
      const size_t at = (static_cast<size_t>(row) * kPreviewWidth + column) * 3;
      const QColor want(image[at + 2], image[at + 1], image[at]);
      for (int dy = 0; dy < scale; ++dy)
        for (int dx = 0; dx < scale; ++dx)
          ASSERT_EQ(after.pixelColor(inside.left() + scale * column + dx,
                                     inside.top() + scale * row + dy),
                    want)
              << row << "," << column;
    }
  }
}

TEST_F(TimingPageGuiTest, AnUploadShowsItsProgressAndCanBeCancelled) {
  // At the line's own pace the frame takes two minutes: time to watch and to cancel.
  server.SetPacing(true);
  dialog->capture.workingDirectory = dir.path().string();
  LinkUp();
  QTest::mouseClick(PageControl<QCheckBox>(kFrameCaptureCheck), Qt::LeftButton);
  auto* upload = PageControl<QPushButton>(kUploadWholeImage);
  auto* progress = PageControl<QLineEdit>(kUploadProgress);
  QTest::mouseClick(upload, Qt::LeftButton);
  EXPECT_EQ(PageControl<QLabel>(kUploadLabel)->text(), "Uploading...");
  QTRY_VERIFY_WITH_TIMEOUT(progress->text().toDouble() > 0.3, 10000);
  // The window still answers: the page switches and comes back while the frame arrives.
  window->tabBar()->setCurrentIndex(3);
  window->tabBar()->setCurrentIndex(0);
  const double seen = progress->text().toDouble();
  QTRY_VERIFY_WITH_TIMEOUT(progress->text().toDouble() > seen, 5000);

  QTest::mouseClick(upload, Qt::LeftButton);
  EXPECT_EQ(PageControl<QLabel>(kUploadLabel)->text(), " ");
  EXPECT_FALSE(dialog->uploadActive());
  // The window thread keeps running meanwhile: the serial worker hands it what arrives.
  QTRY_VERIFY_WITH_TIMEOUT(!server.WithLine([](BoxLine& line) { return line.Streaming(); }), 5000);
  // Timer 6 brings the port back; the link answers again.
  QTRY_COMPARE_WITH_TIMEOUT(dialog->serialPort().CurrentRates(), std::make_pair(115200, 115200),
                            5000);
  QTest::mouseClick(PageControl<QPushButton>(kUpdateImage), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(dialog->capture.previewImage[0] != 0x40, 5000);
  EXPECT_LT(dialog->capture.frameImage.linesCompleted, 1080);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "IMAGEFULL_BMP00.BMP"));
}

// Old values are greyed under a line that says since when; no signal says "No signal".
TEST_F(TimingPageGuiTest, OldValuesAreGreyedAndNoSignalIsSaid) {
  LinkUp();
  auto* pageNote = PageControl<QLabel>(kFreshnessNote);
  auto* panelNote = Control<QLabel>(ids::kFreshnessNote);
  auto* hActive = PageControl<QLineEdit>(kHActive);
  auto* timing = Control<QLabel>(ids::kTimingText);
  const QColor normal = hActive->palette().color(QPalette::Active, QPalette::Text);
  EXPECT_EQ(pageNote->text(), "");
  EXPECT_FALSE(panelNote->isVisibleTo(window.get()));

  QTest::mouseClick(Control<QToolButton>(ids::kLinkIcon), Qt::LeftButton);  // down
  EXPECT_TRUE(pageNote->text().startsWith("Last received ")) << pageNote->text().toStdString();
  EXPECT_TRUE(pageNote->text().endsWith(QString::fromUtf8(" \u2014 link down")));
  EXPECT_EQ(panelNote->text(), pageNote->text());
  EXPECT_TRUE(panelNote->isVisibleTo(window.get()));
  // Greyed but still the values, readable and enabled.
  EXPECT_EQ(hActive->text(), "1920");
  EXPECT_TRUE(hActive->isEnabled());
  EXPECT_NE(hActive->palette().color(QPalette::Active, QPalette::Text), normal);
  EXPECT_EQ(timing->text(), "1920x1080(60)");
  EXPECT_EQ(timing->palette().color(QPalette::Active, QPalette::WindowText),
            timing->palette().color(QPalette::Disabled, QPalette::WindowText));

  host.StopTimer(kStatusRecheckTimer);                                      // the first chain's
  QTest::mouseClick(Control<QToolButton>(ids::kLinkIcon), Qt::LeftButton);  // up
  QTRY_COMPARE_WITH_TIMEOUT(pageNote->text(), QString(), 5000);
  EXPECT_FALSE(panelNote->isVisibleTo(window.get()));
  EXPECT_EQ(hActive->palette().color(QPalette::Active, QPalette::Text), normal);

  // The source's cable pulled: no radio checked, and the page says so. (Once the chain
  // has ended: a request written meanwhile would discard the box's notice.)
  QTRY_VERIFY_WITH_TIMEOUT(host.TimerRunning(kStatusRecheckTimer), 5000);
  auto* noSignal = PageControl<QLabel>(kSignalNote);
  EXPECT_EQ(noSignal->text(), "");
  OnBox([](SimulatedBox& b) {
    b.SetSourceConnected(kHdmiInput, false, true);
    return 0;
  });
  QTRY_COMPARE_WITH_TIMEOUT(noSignal->text(), QString(kNoSignalText), 5000);
  EXPECT_TRUE(noSignal->font().bold());
  for (int id : {kHSyncPlus, kHSyncMinus, kVSyncPlus, kVSyncMinus, kScanType, kInterlace})
    EXPECT_FALSE(PageControl<QRadioButton>(id)->isChecked()) << id;
}

// The pages take the room the window gets, the window opens no larger than the screen,
// and Tab goes from the page's tab to "Update Status" past the read-only values.
TEST_F(TimingPageGuiTest, PagesGrowWithTheWindowAndTabReachesUpdateStatus) {
  const QSize screen = window->screen()->availableGeometry().size();
  EXPECT_LE(window->width(), screen.width());
  EXPECT_LE(window->height(), screen.height());

  auto* hActive = PageControl<QLineEdit>(kHActive);
  QWidget* preview = window->page(ids::kTimingPage)->view().widget(kPreviewFrame);
  QWidget* report = window->page(ids::kEdidPage)->view().widget(edid_ids::kGeneralText);
  auto reportWidth = [&] {
    window->tabBar()->setCurrentIndex(3);
    QApplication::processEvents();
    const int width = report->width();
    window->tabBar()->setCurrentIndex(0);
    return width;
  };
  const QSize before[] = {hActive->size(), preview->size()};
  const int reportBefore = reportWidth();
  window->resize(window->size() + QSize(600, 400));
  QTRY_VERIFY(hActive->width() > before[0].width());
  EXPECT_GT(PreviewPictureRect(preview->rect()).width(),
            PreviewPictureRect(QRect(QPoint(), before[1])).width());
  EXPECT_GT(reportWidth(), reportBefore);

  window->tabBar()->setFocus();
  QTest::keyClick(window->tabBar(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), PageControl<QPushButton>(kUpdateStatus));
  // A click still focuses a value, for copying.
  QTest::mouseClick(hActive, Qt::LeftButton);
  EXPECT_EQ(QApplication::focusWidget(), hActive);
}

// A captured frame opens in the picture viewer, a line's chart in the plot window, each
// with "Save As..."; the numbered files are written as before.
TEST_F(TimingPageGuiTest, CapturesOpenInTheirWindows) {
  dialog->capture.workingDirectory = dir.path().string();
  OnBox([](SimulatedBox& b) {
    b.SetSignal(*FindBoxSignal("640x480p60"), false);
    return 0;
  });
  QTest::mouseClick(Control<QToolButton>(ids::kLinkIcon), Qt::LeftButton);
  QTRY_COMPARE_WITH_TIMEOUT(Shown(ids::kTimingText), QString("640x480(60)"), 5000);
  QTest::mouseClick(PageControl<QCheckBox>(kFrameCaptureCheck), Qt::LeftButton);

  QString said;
  auto closeMessage = [&](QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) said = box->text();
    testing::PressButton(modal, "OK");
  };
  testing::OnNextModal(closeMessage);
  QTest::mouseClick(PageControl<QPushButton>(kUploadWholeImage), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(window->pictureViewer() && window->pictureViewer()->isVisible(), 15000);
  EXPECT_EQ(said, "Save image data to ./IMAGEFULL_BMP00.BMP");
  PictureViewer* viewer = window->pictureViewer();
  EXPECT_EQ(viewer->windowTitle(), QString::fromUtf8("IMAGEFULL_BMP00.BMP \u2014 640 x 480"));
  EXPECT_EQ(viewer->image().size(), QSize(640, 480));
  EXPECT_EQ(QAccessible::queryAccessibleInterface(viewer)->role(), QAccessible::Window);
  auto button = [](QWidget* parent, const QString& caption) {
    for (auto* b : parent->findChildren<QPushButton*>())
      if (b->text() == caption) return b;
    return static_cast<QPushButton*>(nullptr);
  };
  QTest::mouseClick(button(viewer, "1:1"), Qt::LeftButton);
  EXPECT_EQ(viewer->canvas()->size(), QSize(640, 480));
  EXPECT_EQ(viewer->zoomText()->text(), "100 %");
  QTest::mouseClick(button(viewer, "Zoom In"), Qt::LeftButton);
  EXPECT_EQ(viewer->canvas()->size(), QSize(1280, 960));
  QTest::mouseClick(button(viewer, "Fit"), Qt::LeftButton);
  EXPECT_LE(viewer->canvas()->width(), viewer->width());
  EXPECT_EQ(QAccessible::queryAccessibleInterface(viewer->canvas())->text(QAccessible::Name),
            "Picture");
  EXPECT_EQ(QAccessible::queryAccessibleInterface(viewer->canvas())->role(), QAccessible::Graphic);
  // Save As through the standard dialog, which suggests the file's name.
  const std::string copy = dir / "kept.bmp";
  QString suggested;
  testing::OnNextModal([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    suggested = dialog->selectedFiles().value(0);
    dialog->selectFile(QString::fromStdString(copy));
    QMetaObject::invokeMethod(dialog, "accept");
  });
  QTest::mouseClick(button(viewer, "Save As..."), Qt::LeftButton);
  EXPECT_TRUE(suggested.endsWith("IMAGEFULL_BMP00.BMP")) << suggested.toStdString();
  EXPECT_EQ(ReadText(copy), ReadText(dir / "IMAGEFULL_BMP00.BMP"));
  EXPECT_FALSE(ReadText(copy).empty());
  viewer->close();

  // The line analysis: its chart in a plot with the values under the pointer.
  QTRY_COMPARE_WITH_TIMEOUT(dialog->serialPort().CurrentRates(), std::make_pair(115200, 115200),
                            5000);
  PageControl<QSpinBox>(kLineNumber)->setValue(5);
  testing::OnNextModal(closeMessage);
  QTest::mouseClick(PageControl<QPushButton>(kLineAnalyse), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(window->chartWindow() && window->chartWindow()->isVisible(), 15000);
  EXPECT_EQ(said, "Save image data to ./RGBline_BMP00.BMP");
  LineChartWindow* chart = window->chartWindow();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(chart));
  EXPECT_EQ(chart->windowTitle(), QString::fromUtf8("Line 5 \u2014 RGBline_BMP00.BMP"));
  EXPECT_EQ(chart->chart().width(), 640);
  LineChartPlot* plot = chart->plot();
  EXPECT_EQ(QAccessible::queryAccessibleInterface(plot)->text(QAccessible::Name), "Chart");
  EXPECT_EQ(QAccessible::queryAccessibleInterface(plot)->role(), QAccessible::Chart);
  // The pointer over pixel 320 (the offscreen platform moves no pointer: the event is sent).
  const QPoint over(qRound(plot->PointOf(320, 0).x()), plot->PlotArea().center().y());
  QMouseEvent move(QEvent::MouseMove, QPointF(over), plot->mapToGlobal(QPointF(over)), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(plot, &move);
  const int pixel = plot->PixelAt(over);
  EXPECT_NEAR(pixel, 320, 1);
  EXPECT_EQ(chart->readout()->text().toStdString(), chart->chart().ValuesAt(pixel));
  // The traces are drawn in their colours.
  const QImage drawn = plot->grab().toImage();
  bool red = false, green = false, blue = false;
  for (int y = plot->PlotArea().top(); y <= plot->PlotArea().bottom(); ++y)
    for (int x = plot->PlotArea().left(); x <= plot->PlotArea().right(); x += 3) {
      const QColor c = drawn.pixelColor(x, y);
      red |= c.red() > 200 && c.green() < 100 && c.blue() < 100;
      green |= c.green() > 200 && c.red() < 100 && c.blue() < 100;
      blue |= c.blue() > 200 && c.red() < 150 && c.green() < 200;
    }
  EXPECT_TRUE(red && green && blue);
  chart->close();
}

}  // namespace
}  // namespace sc
