// The main window through its real widgets: the start-up state, tabs, the about entry,
// Enter and Escape, the link controls, what assistive technology finds, and a shutdown
// with the link up.

#include <dirent.h>
#include <gtest/gtest.h>
#include <poll.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStyleFactory>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <filesystem>
#include <memory>
#include <set>

#include "app/about_dialog_qt.h"
#include "app/console_app.h"
#include "app/console_style_qt.h"
#include "console/control_ids.h"
#include "console/main_window_qt.h"
#include "infoframe/utility_page.h"
#include "resources/icons.h"
#include "sim/pty.h"
#include "tests/gui/console_window_fixture.h"
#include "tests/gui/gui_testing.h"
#include "tests/support/console_fixture.h"
#include "tests/support/temp_dir.h"
#include "window/qt_host.h"

namespace sc {
namespace {

using namespace std::chrono_literals;

constexpr int kPageIds[] = {ids::kTimingPage, ids::kUtilityPage, ids::kMonitorPage, ids::kEdidPage};

// The ids of this process's threads.
std::set<std::string> Threads() {
  std::set<std::string> ids;
  if (DIR* tasks = ::opendir("/proc/self/task")) {
    while (dirent* entry = ::readdir(tasks))
      if (entry->d_name[0] != '.') ids.insert(entry->d_name);
    ::closedir(tasks);
  }
  return ids;
}

// True when no one holds the console's end of the pseudo-terminal open.
bool HungUp(const PtyMaster& box) {
  pollfd p{box.fd(), POLLIN, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP);
}

// The bytes of the input query 0x8082 to 00/00, as the link sends it when it comes up.
std::vector<uint8_t> InputQuery() {
  return BuildFrame(kCommandLead, DeviceAddress{0, 0}, 0x8082);
}

QAccessibleInterface* FindAccessible(QAccessibleInterface* node, QAccessible::Role role,
                                     const QString& name) {
  if (!node) return nullptr;
  if (node->role() == role && node->text(QAccessible::Name) == name) return node;
  for (int i = 0; i < node->childCount(); ++i)
    if (QAccessibleInterface* found = FindAccessible(node->child(i), role, name)) return found;
  return nullptr;
}

class MainWindowTest : public testing::ConsoleWindowTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(box.ok());
    host.RegisterDialog(ids::kAboutDialog, RunAboutDialog);
    ASSERT_NO_FATAL_FAILURE(OpenWindow(box.SlavePath()));
  }

  std::vector<bool> PagesVisible() const {
    std::vector<bool> visible;
    for (int id : kPageIds)
      visible.push_back(window->page(id)->isVisible());
    return visible;
  }
  void ClickTab(int index) {
    QTabBar* tabs = window->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(index).center());
  }

  PtyMaster box;
};

TEST_F(MainWindowTest, StartsWithTheLinkDownAndNothingShown) {
  EXPECT_EQ(window->windowTitle(), "Signal Analyzer V1.19");
  EXPECT_FALSE(window->windowIcon().isNull());
  EXPECT_EQ(window->property(WidgetView::kIconIdProperty).toInt(), ids::kIconApp);

  auto* link = Control<QToolButton>(ids::kLinkIcon);
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->property(WidgetView::kIconIdProperty).toInt(), ids::kIconLinkDown);
  EXPECT_EQ(link->accessibleDescription(), "Link is down: click to connect (Ctrl+L)");
  EXPECT_EQ(Control<QToolButton>(ids::kHdmiIcon)->property(WidgetView::kIconIdProperty).toInt(),
            ids::kIconLampLit);
  EXPECT_EQ(Control<QToolButton>(ids::kSdiIcon)->property(WidgetView::kIconIdProperty).toInt(),
            ids::kIconLampUnlit);

  auto* comm = Control<QComboBox>(ids::kCommList);
  EXPECT_EQ(comm->count(), 99);
  EXPECT_EQ(comm->currentText(), "COM1");
  EXPECT_EQ(comm->itemText(98), "COM99");
  EXPECT_EQ(comm->itemData(0, Qt::ToolTipRole).toString().toStdString(), box.SlavePath());
  auto* address = Control<QComboBox>(ids::kAddressList);
  EXPECT_EQ(address->count(), 34);
  EXPECT_EQ(address->currentText(), "All: 0000(with ACT)");

  QTabBar* tabs = window->tabBar();
  ASSERT_EQ(tabs->count(), 4);
  EXPECT_EQ(tabs->currentIndex(), 0);
  EXPECT_EQ(tabs->tabText(1), "Ultilities");
  EXPECT_EQ(PagesVisible(), (std::vector<bool>{true, false, false, false}));

  for (int id : ids::kStatusTexts)
    EXPECT_EQ(Control<QLabel>(id)->text(), "") << id;
  EXPECT_EQ(Control<QLabel>(ids::kSearchStatus)->text(), "");
  EXPECT_FALSE(Control<QRadioButton>(ids::kHpdOn)->isChecked());
  EXPECT_FALSE(Control<QRadioButton>(ids::kHpdOff)->isChecked());
  auto* volume = Control<QLineEdit>(ids::kVolumeBox);
  EXPECT_EQ(volume->text(), "0");
  // Readable, not greyed; only the buttons change it.
  EXPECT_TRUE(volume->isEnabled());
  EXPECT_TRUE(volume->isReadOnly());

  // The Ultilities page as the start-up leaves it.
  auto* types = PageControl<QComboBox>(ids::kUtilityPage, utility_ids::kPacketList);
  EXPECT_EQ(types->currentText(), "5-AVI_INF");
  EXPECT_EQ(PageControl<QLineEdit>(ids::kUtilityPage, 1110)->text(), "InfoFrame Type code");
  EXPECT_FALSE(PageControl<QLineEdit>(ids::kUtilityPage, 1116)->isVisibleTo(window.get()));

  // Nothing was opened, so nothing was written; the settings file went to the test's
  // directory.
  EXPECT_FALSE(dialog->serialPort().IsOpen());
  EXPECT_TRUE(box.Read(1, 50ms).empty());
  EXPECT_TRUE(std::filesystem::exists(dir / "TQ.ini"));
}

TEST_F(MainWindowTest, ClickingTabsLeavesExactlyOnePageVisible) {
  const std::pair<int, std::vector<bool>> steps[] = {
      {3, {false, false, false, true}},
      {0, {true, false, false, false}},
      {2, {false, false, true, false}},
      {1, {false, true, false, false}},
  };
  for (const auto& [tab, visible] : steps) {
    ClickTab(tab);
    EXPECT_EQ(window->tabBar()->currentIndex(), tab);
    EXPECT_EQ(PagesVisible(), visible) << "tab " << tab;
  }
  // From the keyboard too: Ctrl+Tab goes on to the next page, and round.
  QTest::keyClick(window->tabBar(), Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(PagesVisible(), (std::vector<bool>{false, false, true, false}));
  QTest::keyClick(window->tabBar(), Qt::Key_PageDown, Qt::ControlModifier);
  QTest::keyClick(window->tabBar(), Qt::Key_PageDown, Qt::ControlModifier);
  EXPECT_EQ(PagesVisible(), (std::vector<bool>{true, false, false, false}));
  // Switching pages does not resize the window.
  const QSize size = window->size();
  ClickTab(1);
  EXPECT_EQ(window->size(), size);
}

TEST_F(MainWindowTest, APageBehindItsTabIsBuiltWhenFirstShownWithWhatTheCoreGaveIt) {
  EXPECT_NE(window->builtPage(ids::kTimingPage), nullptr);
  for (int id : {ids::kUtilityPage, ids::kMonitorPage, ids::kEdidPage})
    EXPECT_EQ(window->builtPage(id), nullptr) << id;
  // The core goes on writing to a page that is not there yet.
  dialog->utilityPage.view().SetSelection(utility_ids::kPacketList, 2);
  dialog->utilityPage.view().SetText(1110, "Written before the page was built");
  dialog->utilityPage.view().SetDimmed(1110, true);
  const QSize before = window->size();
  ClickTab(1);
  ASSERT_NE(window->builtPage(ids::kUtilityPage), nullptr);
  EXPECT_TRUE(window->builtPage(ids::kUtilityPage)->isVisible());
  EXPECT_FALSE(window->builtPage(ids::kTimingPage)->isVisible());
  EXPECT_EQ(window->builtPage(ids::kEdidPage), nullptr);
  auto* types = PageControl<QComboBox>(ids::kUtilityPage, utility_ids::kPacketList);
  EXPECT_EQ(types->currentIndex(), 2);
  EXPECT_FALSE(types->toolTip().isEmpty());
  EXPECT_EQ(PageControl<QLineEdit>(ids::kUtilityPage, 1110)->text(),
            "Written before the page was built");
  // From now on the core writes to the page itself.
  dialog->utilityPage.view().SetText(1110, "Written to the page");
  EXPECT_EQ(PageControl<QLineEdit>(ids::kUtilityPage, 1110)->text(), "Written to the page");
  // A page that needs more room grows the window, never shrinks it.
  ClickTab(3);
  EXPECT_GE(window->width(), before.width());
  EXPECT_GE(window->height(), before.height());
  EXPECT_EQ(PagesVisible(), (std::vector<bool>{false, false, false, true}));
}

// The icons are drawn at a size when it is first asked for: each size is the picture at
// that size (not empty, not another size scaled), the same when asked again, and greyed
// when disabled.
TEST(IconsTest, AreDrawnAtTheSizeAskedForAndGreyedWhenDisabled) {
  for (const QIcon& icon :
       {icons::AppIcon(), icons::LinkIcon(false), icons::LinkIcon(true), icons::LampIcon(false),
        icons::LampIcon(true), icons::MoreIcon(true), icons::MoreIcon(false)}) {
    EXPECT_EQ(icon.availableSizes().size(), 7);
    for (int side : {16, 24, 48}) {
      const QImage image = icon.pixmap(side, side).toImage();
      ASSERT_EQ(image.size(), QSize(side, side));
      int drawn = 0;
      for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
          if (qAlpha(image.pixel(x, y)) > 0) ++drawn;
      EXPECT_GT(drawn, side) << side;
      EXPECT_EQ(icon.pixmap(side, side).toImage(), image);
    }
    EXPECT_NE(icon.pixmap(24, 24, QIcon::Disabled).toImage(), icon.pixmap(24, 24).toImage());
  }
  EXPECT_NE(icons::LampIcon(true).pixmap(24, 24).toImage(),
            icons::LampIcon(false).pixmap(24, 24).toImage());
}

// The console's style draws what Fusion would read from image files: a group box's frame
// as Fusion's, below its title (a titled and an untitled box), and the menu bar's "more"
// picture, its own for each direction.
TEST(ConsoleStyleTest, DrawsFusionsGroupBoxFrameAndItsOwnMorePicture) {
  for (const QString& title : {QStringLiteral("Timing"), QString()}) {
    auto grab = [&title](QStyle* style) {
      QWidget window;
      window.setStyle(style);
      window.resize(220, 120);
      auto* layout = new QVBoxLayout(&window);
      auto* box = new QGroupBox(title, &window);
      box->setStyle(style);
      (new QVBoxLayout(box))->addWidget(new QLabel(QStringLiteral("inside"), box));
      layout->addWidget(box);
      return window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("fusion")));
    std::unique_ptr<QStyle> console(
        MakeConsoleStyle(QStyleFactory::create(QStringLiteral("fusion"))));
    const QImage expected = grab(fusion.get());
    const QImage drawn = grab(console.get());
    ASSERT_EQ(drawn.size(), expected.size());
    int differing = 0, frame = 0;
    for (int y = 0; y < drawn.height(); ++y)
      for (int x = 0; x < drawn.width(); ++x) {
        const QRgb a = drawn.pixel(x, y), b = expected.pixel(x, y);
        if (std::abs(qGray(b) - qGray(expected.pixel(0, 0))) > 20) ++frame;
        if (std::abs(qRed(a) - qRed(b)) > 6 || std::abs(qGreen(a) - qGreen(b)) > 6 ||
            std::abs(qBlue(a) - qBlue(b)) > 6)
          ++differing;
      }
    // Only the rounded corners' shading may differ, by a few levels.
    EXPECT_LE(differing, 16) << title.toStdString();
    EXPECT_GT(frame, 200) << title.toStdString();  // Fusion did draw a frame to match
  }
  std::unique_ptr<QStyle> console(
      MakeConsoleStyle(QStyleFactory::create(QStringLiteral("fusion"))));
  const QImage right =
      console->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton).pixmap(16).toImage();
  EXPECT_EQ(right, icons::MoreIcon(true).pixmap(16).toImage());
  EXPECT_EQ(console->standardIcon(QStyle::SP_ToolBarVerticalExtensionButton).pixmap(16).toImage(),
            icons::MoreIcon(false).pixmap(16).toImage());
  EXPECT_NE(right, icons::MoreIcon(false).pixmap(16).toImage());
}

TEST_F(MainWindowTest, AboutEntryOpensTheAboutBoxAndReturns) {
  // The window menu ends with a separator and the about entry.
  const QList<QAction*> entries = window->windowMenu()->actions();
  ASSERT_GE(entries.size(), 2);
  EXPECT_TRUE(entries[entries.size() - 2]->isSeparator());
  EXPECT_EQ(entries.last(), window->aboutAction());
  EXPECT_EQ(window->aboutAction()->text(), "&About TQ5RCONSOLE...");

  QString title, version;
  QWidget* parent = nullptr;
  bool closedByOk = false;
  testing::OnNextModal([&](QWidget* modal) {
    title = modal->windowTitle();
    parent = modal->parentWidget();
    for (QLabel* label : modal->findChildren<QLabel*>())
      if (!label->text().isEmpty()) version = label->text();
    testing::PressButton(modal, "OK");
    closedByOk = !modal->isVisible();
  });
  window->aboutAction()->trigger();
  EXPECT_EQ(title, "About TQ5RCONSOLE");
  EXPECT_EQ(version, "TQ5RCONSOLE Version 1.0");
  EXPECT_EQ(parent, window.get());
  EXPECT_TRUE(closedByOk);
  EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindowTest, EnterAndEscapeEndTheWindowOnlyFromItsOwnControls) {
  auto* comm = Control<QComboBox>(ids::kCommList);
  auto* hpdOn = Control<QRadioButton>(ids::kHpdOn);
  auto* types = PageControl<QComboBox>(ids::kUtilityPage, utility_ids::kPacketList);
  auto* byteBox = PageControl<QLineEdit>(ids::kUtilityPage, 1111);
  struct Case {
    const char* what;
    QWidget* control;
    Qt::Key key;
    int ends;  // -1 stays open, else the dialog result
  };
  const Case cases[] = {
      {"Escape on the Comm list", comm, Qt::Key_Escape, QDialog::Rejected},
      {"Enter on the Comm list", comm, Qt::Key_Return, QDialog::Accepted},
      {"keypad Enter on a radio button", hpdOn, Qt::Key_Enter, QDialog::Accepted},
      {"Escape on the tab bar", window->tabBar(), Qt::Key_Escape, QDialog::Rejected},
      {"Escape on a page's list", types, Qt::Key_Escape, -1},
      {"Enter on a page's list", types, Qt::Key_Return, -1},
      {"Enter on a page's box", byteBox, Qt::Key_Return, -1},
  };
  ClickTab(1);  // the Ultilities page, so its controls can take the focus
  for (const Case& c : cases) {
    if (!window->isVisible()) {
      window->show();
      ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    QSignalSpy finished(window.get(), &QDialog::finished);
    c.control->setEnabled(true);
    c.control->setFocus();
    QTest::keyClick(c.control, c.key);
    if (c.ends < 0) {
      EXPECT_EQ(finished.count(), 0) << c.what;
      EXPECT_TRUE(window->isVisible()) << c.what;
    } else {
      ASSERT_EQ(finished.count(), 1) << c.what;
      EXPECT_EQ(finished[0][0].toInt(), c.ends) << c.what;
      EXPECT_FALSE(window->isVisible()) << c.what;
    }
  }
}

TEST_F(MainWindowTest, EnterOnTheFocusedLinkIconBringsTheLinkUp) {
  QSignalSpy finished(window.get(), &QDialog::finished);
  auto* link = Control<QToolButton>(ids::kLinkIcon);
  link->setFocus();
  QTest::keyClick(link, Qt::Key_Return);
  QTRY_VERIFY_WITH_TIMEOUT(dialog->linkUp(), 2000);
  EXPECT_EQ(finished.count(), 0);
  EXPECT_EQ(link->property(WidgetView::kIconIdProperty).toInt(), ids::kIconLinkUp);
  EXPECT_EQ(box.Read(10, 2000ms), InputQuery());

  // A click takes it down again.
  QTest::mouseClick(link, Qt::LeftButton);
  EXPECT_FALSE(dialog->linkUp());
  EXPECT_EQ(link->property(WidgetView::kIconIdProperty).toInt(), ids::kIconLinkDown);
}

TEST_F(MainWindowTest, ChoosingAPortInTheListOpensIt) {
  PtyMaster second;
  ASSERT_TRUE(second.ok());
  ports[2] = second.SlavePath();
  auto* comm = Control<QComboBox>(ids::kCommList);
  comm->setFocus();
  QTest::keyClick(comm, Qt::Key_Down);  // the user's choice: COM2
  EXPECT_EQ(comm->currentText(), "COM2");
  EXPECT_TRUE(dialog->linkUp());
  EXPECT_EQ(dialog->port(), 2);
  EXPECT_EQ(second.Read(10, 2000ms), InputQuery());
  EXPECT_TRUE(box.Read(1, 50ms).empty());
}

TEST_F(MainWindowTest, CoreMessagesShowOverTheWindow) {
  ports.clear();  // COM1 maps to no device
  QString caption, text;
  QWidget* parent = nullptr;
  testing::OnNextModal([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    caption = box->windowTitle();
    text = box->text();
    parent = box->parentWidget();
    testing::PressButton(box, "OK");
  });
  QTest::mouseClick(Control<QToolButton>(ids::kLinkIcon), Qt::LeftButton);
  EXPECT_EQ(caption, "TQ-KVAD");
  EXPECT_EQ(text, "Can not find this port or used by other application");
  EXPECT_EQ(parent, window.get());
  EXPECT_FALSE(dialog->linkUp());
}

TEST_F(MainWindowTest, EveryControlCanBeFoundByAssistiveTechnology) {
  // Pages behind their tabs are built when first shown.
  for (int id : kPageIds)
    window->page(id);
  QAccessibleInterface* root = QAccessible::queryAccessibleInterface(window.get());
  ASSERT_NE(root, nullptr);
  struct Expected {
    QAccessible::Role role;
    const char* name;
  };
  const Expected controls[] = {
      {QAccessible::Button, "Search Machine"},
      {QAccessible::Button, "Address Management"},
      {QAccessible::Button, "-"},
      {QAccessible::Button, "+"},
      {QAccessible::Button, "Link"},
      {QAccessible::Button, "HDMI input"},
      {QAccessible::Button, "SDI input"},
      {QAccessible::RadioButton, "ON"},
      {QAccessible::RadioButton, "OFF"},
      {QAccessible::ComboBox, "Comm:"},
      {QAccessible::ComboBox, "Address:"},
      {QAccessible::EditableText, "Volume:"},
      {QAccessible::PageTab, "Timing"},
      {QAccessible::PageTab, "Ultilities"},
      {QAccessible::PageTab, "Monitor"},
      {QAccessible::PageTab, "EDID"},
      {QAccessible::StaticText, "HDMI"},
      {QAccessible::Grouping, "Received Signal info"},
      {QAccessible::Grouping, "Audio"},
      {QAccessible::ComboBox, "Packet type"},
  };
  for (const Expected& e : controls)
    EXPECT_NE(FindAccessible(root, e.role, e.name), nullptr) << e.name;
  // A named list still reads its current item as its value.
  QAccessibleInterface* comm =
      QAccessible::queryAccessibleInterface(Control<QComboBox>(ids::kCommList));
  EXPECT_EQ(comm->text(QAccessible::Value), "COM1");
  EXPECT_EQ(comm->childCount(), 1);

  // Every control that Tab reaches has a name. (Values that only a click focuses, for
  // copying, read as what they show.)
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (!(w->focusPolicy() & Qt::TabFocus) || !w->isVisibleTo(window.get())) continue;
    QAccessibleInterface* node = QAccessible::queryAccessibleInterface(w);
    ASSERT_NE(node, nullptr);
    EXPECT_FALSE(node->text(QAccessible::Name).isEmpty()) << w->metaObject()->className();
  }

  // The status texts read as what they show, named by the caption beside them.
  std::map<int, QStringList> labelledBy;
  for (int id : ids::kStatusTexts) {
    window->view().SetText(id, "HDMI");
    QAccessibleInterface* value = QAccessible::queryAccessibleInterface(Control<QLabel>(id));
    EXPECT_EQ(value->text(QAccessible::Name), "HDMI") << id;
    QStringList captions;
    for (const auto& relation : value->relations(QAccessible::Label))
      captions << relation.first->text(QAccessible::Name);
    EXPECT_EQ(captions.filter(QRegularExpression(":$")).size(), 1) << id;
    labelledBy[id] = captions;
  }
  EXPECT_TRUE(labelledBy[ids::kHdcpText].contains("HDCP:"));
  EXPECT_TRUE(labelledBy[ids::kStructureText].contains("2D/3D:"));
  EXPECT_TRUE(labelledBy[ids::kChannelsText].contains("Channels:"));
  auto* search = Control<QLabel>(ids::kSearchStatus);
  window->view().SetText(ids::kSearchStatus, "Please wait.....");
  QAccessibleInterface* status = QAccessible::queryAccessibleInterface(search);
  EXPECT_EQ(status->text(QAccessible::Name), "Please wait.....");
  EXPECT_EQ(status->text(QAccessible::Description), "Search status");
}

// The whole program's path: the application object runs the window, the user brings the
// link up and closes the window with Escape; the worker has ended and the port is closed
// when Run returns.
TEST(ConsoleAppGuiTest, ClosingWithTheLinkUpEndsTheWorkerAndClosesThePort) {
  TempDir dir;
  PtyMaster box;
  ASSERT_TRUE(box.ok());
  std::map<int, std::string> ports{{1, box.SlavePath()}};
  QtHost host;
  ConsoleApp app(host, TestConsoleOptions(dir, &ports));
  // Qt starts threads of its own as the window comes up; the link adds the worker.
  std::set<std::string> worker;
  bool hungUpWhileUp = true;
  std::vector<uint8_t> received;

  const int status = app.Run([&](ConsoleDialog& dialog) {
    MainWindow window(dialog, host);
    QTimer::singleShot(0, &window, [&] {
      const std::set<std::string> before = Threads();
      QTest::mouseClick(window.view().widget(ids::kLinkIcon), Qt::LeftButton);
      received = box.Read(10, 2000ms);
      for (const std::string& id : Threads())
        if (!before.count(id)) worker.insert(id);
      hungUpWhileUp = HungUp(box);
      QWidget* comm = window.view().widget(ids::kCommList);
      comm->setFocus();
      QTest::keyClick(comm, Qt::Key_Escape);
    });
    window.exec();
    EXPECT_TRUE(dialog.linkUp());
  });

  EXPECT_EQ(status, 0);
  EXPECT_EQ(received, InputQuery());
  EXPECT_FALSE(hungUpWhileUp);
  EXPECT_EQ(app.mainWindow(), nullptr);
  ASSERT_EQ(worker.size(), 1u);
  EXPECT_EQ(Threads().count(*worker.begin()), 0u);
  EXPECT_TRUE(HungUp(box));
}

}  // namespace
}  // namespace sc
