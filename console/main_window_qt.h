#pragma once
// The console's main window "Signal Analyzer V1.19": the left column with the link
// controls, the address list, the front-panel controls and the received-signal panel,
// and the tab bar over the four pages. It binds its widgets to the core ConsoleDialog by
// control id and forwards the user's actions; the core decides what the widgets show,
// which page is in front included.

#include <QDialog>
#include <QString>
#include <functional>
#include <map>

#include "console/console_dialog.h"
#include "window/page_widget_qt.h"
#include "window/qt_host.h"
#include "window/widget_view.h"

class QAction;
class QComboBox;
class QGridLayout;
class QKeySequence;
class QGroupBox;
class QMenu;
class QTabBar;

namespace sc {

class LineChartWindow;
class PictureViewer;
class StatusBarWidget;
class TrafficLogWindow;

class MainWindow : public QDialog {
  Q_OBJECT

 public:
  // Builds the window, attaches its views to `dialog` and its pages and runs the core's
  // start-up. The window detaches its views again when it is destroyed.
  MainWindow(ConsoleDialog& dialog, QtHost& host, QWidget* parent = nullptr);
  ~MainWindow() override;

  WidgetView& view() { return view_; }
  QTabBar* tabBar() const { return tabBar_; }
  // The page shown for a page dialog id (129, 174, 187, 132). A page behind another tab
  // is built when it is first shown, or here when asked for first, with the state its
  // core window was given meanwhile.
  PageWidget* page(int dialogId);
  // The page if it has been built, else nullptr.
  PageWidget* builtPage(int dialogId) const;
  // "&About TQ5RCONSOLE...", in the Help menu and in the window menu.
  QAction* aboutAction() const { return aboutAction_; }
  // The window menu (the context menu of the window's background).
  QMenu* windowMenu() const { return windowMenu_; }
  StatusBarWidget* statusBar() const { return statusBar_; }
  // The menu entries with their shortcuts, by their text without "&" ("Traffic Log").
  QAction* action(const QString& text) const;
  // The traffic log window, once it has been opened.
  TrafficLogWindow* trafficLog() const { return trafficLog_; }
  // The windows that show what a capture saved, once one has.
  PictureViewer* pictureViewer() const { return pictureViewer_; }
  LineChartWindow* chartWindow() const { return chartWindow_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  QWidget* BuildLinkControls();
  QWidget* BuildFrontPanel();
  QGroupBox* BuildSignalPanel();
  QWidget* BuildTabArea();
  PageWidget* BuildPage(int dialogId);
  // The window's size hint where the screen has room for it.
  QSize FittingSize() const;
  void BuildMenus();
  void SwitchTab(int step);
  QAction* AddAction(QMenu* menu, const QString& text, const QKeySequence& keys,
                     std::function<void()> run);
  void ShowPage(int dialogId);
  void ShowTrafficLog(bool shown);
  // Opens the picture or the chart a capture saved.
  void ShowCaptured(const Outcome& outcome);

  ConsoleDialog& dialog_;
  QtHost& host_;
  WidgetView view_;
  QTabBar* tabBar_ = nullptr;
  std::map<int, PageWidget*> pages_;  // the pages built so far
  QWidget* pageArea_ = nullptr;
  QGridLayout* pageStack_ = nullptr;
  QAction* aboutAction_ = nullptr;
  QMenu* windowMenu_ = nullptr;
  StatusBarWidget* statusBar_ = nullptr;
  TrafficLogWindow* trafficLog_ = nullptr;
  PictureViewer* pictureViewer_ = nullptr;
  LineChartWindow* chartWindow_ = nullptr;
  QAction* trafficLogAction_ = nullptr;
  std::map<QString, QAction*> actions_;
};

}  // namespace sc
