#include "console/main_window_qt.h"

#include <QAction>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QTabBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "addressing/address_dialog_qt.h"
#include "addressing/notes_dialog_qt.h"
#include "console/control_ids.h"
#include "console/network_port_dialog_qt.h"
#include "console/status_bar_qt.h"
#include "console/tooltips_qt.h"
#include "console/traffic_log_qt.h"
#include "edid/edid_editor_dialog_qt.h"
#include "edid/edid_page.h"
#include "edid/edid_page_qt.h"
#include "infoframe/utility_page_qt.h"
#include "monitor/monitor_page_qt.h"
#include "resources/icons.h"
#include "timing/capture_windows_qt.h"
#include "timing/timing_page_qt.h"
#include "window/accessibility_qt.h"
#include "window/clickable_label_qt.h"
#include "window/drop_down_list_qt.h"
#include "window/read_only_qt.h"

namespace sc {

namespace {

// The pages in tab order, with their tab texts.
struct PageEntry {
  int dialogId;
  const char* tabText;
};
constexpr PageEntry kPages[] = {{ids::kTimingPage, "Timing"},
                                {ids::kUtilityPage, "Ultilities"},
                                {ids::kMonitorPage, "Monitor"},
                                {ids::kEdidPage, "EDID"}};

// The status panel's rows: value id and the caption beside it.
struct StatusRow {
  int id;
  const char* caption;
};
constexpr StatusRow kSignalRows[] = {{ids::kHdcpText, "HDCP:"},
                                     {ids::kSignalText, "Signal:"},
                                     {ids::kTimingText, "Timing:"},
                                     {ids::kColorSpaceText, "Color Space:"},
                                     {ids::kColorDepthText, "Color Depth:"},
                                     {ids::kStructureText, "2D/3D:"}};
constexpr StatusRow kAudioRows[] = {{ids::kSampleRateText, "Sample rate:"},
                                    {ids::kAudioBitText, "Audio bit:"},
                                    {ids::kAudioTypeText, "Audio Type:"},
                                    {ids::kChannelsText, "Channels:"}};

// The longest texts the status values show, so the panel does not change width when
// they arrive.
constexpr const char* kWidestValues[] = {"3D Side-by-Side", "DOLBYDIGTIAL", "1920x1080i(100)",
                                         "ONEBITAUDIO", "RGB4:4:4"};

// A flat button that shows an icon and reports clicks: the link icon and the lamps.
QToolButton* IconButton(const QString& accessibleName, QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setAutoRaise(true);
  button->setIconSize(QSize(32, 32));
  button->setFocusPolicy(Qt::StrongFocus);
  button->setAccessibleName(accessibleName);
  return button;
}

// A text that shows a value the core sets. Its shown text is what assistive technology
// reads, so it gets no accessible name; the caption beside it names it.
QLabel* ValueLabel(QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  int width = 0;
  for (const char* text : kWidestValues)
    width = std::max(width, label->fontMetrics().horizontalAdvance(QLatin1String(text)));
  label->setMinimumWidth(width + 2 * label->frameWidth() + 8);
  MarkValueText(label);
  MakeSelectableValue(label);
  return label;
}

// The page area: the pages take the room the window gives them, and scroll where a small
// screen gives less than they need.
class PageArea : public QScrollArea {
 public:
  explicit PageArea(QWidget* parent) : QScrollArea(parent) {
    setWidgetResizable(true);
    setFrameStyle(QFrame::NoFrame);
    // Tab goes from the tab bar to the page's controls, not to the area around them.
    setFocusPolicy(Qt::NoFocus);
  }
  // The pages' own size (QScrollArea would stop at a few dozen lines of text).
  QSize sizeHint() const override {
    return widget() ? widget()->sizeHint() + QSize(2 * frameWidth(), 2 * frameWidth())
                    : QScrollArea::sizeHint();
  }
};

}  // namespace

MainWindow::MainWindow(ConsoleDialog& dialog, QtHost& host, QWidget* parent)
    : QDialog(parent), dialog_(dialog), host_(host) {
  InstallAccessibility();
  setWindowTitle(QString::fromLatin1(kWindowCaption));
  setWindowIcon(icons::AppIcon());
  // A main window: it can be minimised (showing the application icon), enlarged (the pages
  // take the room) and maximised.
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                 Qt::WindowCloseButtonHint);

  auto* column = new QVBoxLayout;
  column->addWidget(BuildLinkControls());
  column->addWidget(BuildFrontPanel());
  column->addWidget(BuildSignalPanel());
  column->addStretch(1);

  auto* outer = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  top->addLayout(column);
  top->addWidget(BuildTabArea(), 1);
  outer->addLayout(top, 1);
  // The status bar reaches the window's edges, as a status bar does.
  statusBar_ = new StatusBarWidget(dialog_.statusBar, this);
  outer->addWidget(statusBar_);
  const QMargins margins = outer->contentsMargins();
  outer->setContentsMargins(0, margins.top(), 0, 0);
  top->setContentsMargins(margins.left(), 0, margins.right(), 0);
  BuildMenus();

  view_.BindIcon(ids::kMainDialog, this, {{ids::kIconApp, {icons::AppIcon(), QString()}}});
  dialog_.AttachView(&view_);
  host_.SetDialogParent(this);
  // The address dialog belongs to the core window, which outlives this one.
  host_.RegisterDialog(ids::kAddressDialog,
                       [&core = dialog_.addressDialog, &host = host_](QWidget* parent) {
                         RunAddressDialog(core, host, parent);
                       });
  host_.RegisterDialog(address_ids::kNotesDialog, RunNotesDialog);
  host_.RegisterDialog(edid_editor_ids::kDialog,
                       [&core = dialog_.edidPage.editor, &host = host_](QWidget* parent) {
                         RunEdidEditorDialog(core, host, parent);
                       });

  ApplyTooltips(*this);
  // What a capture saved opens in a window of its own once its message is closed.
  dialog_.capture.afterOutcome = [this](const Outcome& outcome) { ShowCaptured(outcome); };
  dialog_.Startup();
  // The size of the content, where the screen has room for it (adjustSize() would stop at
  // two thirds of the screen and cut the EDID page off); on a smaller screen the available
  // room, less the window manager's frame, and the pages scroll.
  resize(FittingSize());
}

QSize MainWindow::FittingSize() const {
  QSize size = sizeHint();
  if (const QScreen* display = screen()) {
    constexpr int kFrameAllowance = 48;
    const QSize room = display->availableGeometry().size() - QSize(16, kFrameAllowance);
    size = size.boundedTo(room.expandedTo(minimumSizeHint()));
  }
  return size;
}

MainWindow::~MainWindow() {
  dialog_.capture.afterOutcome = nullptr;
  // The log window stops the recording as it goes.
  delete trafficLog_;
  trafficLog_ = nullptr;
  // The core windows outlive this window: leave them with views of their own.
  dialog_.timingPage.AttachView(nullptr);
  dialog_.utilityPage.AttachView(nullptr);
  dialog_.monitorPage.AttachView(nullptr);
  dialog_.edidPage.AttachView(nullptr);
  dialog_.AttachView(nullptr);
  if (host_.dialogParent() == this) host_.SetDialogParent(nullptr);
  // The core window may go before the host: its dialog is no longer there to run.
  host_.RegisterDialog(ids::kAddressDialog, [](QWidget*) {});
  host_.RegisterDialog(edid_editor_ids::kDialog, [](QWidget*) {});
}

PageWidget* MainWindow::builtPage(int dialogId) const {
  auto it = pages_.find(dialogId);
  return it == pages_.end() ? nullptr : it->second;
}

PageWidget* MainWindow::page(int dialogId) {
  if (PageWidget* built = builtPage(dialogId)) return built;
  return BuildPage(dialogId);
}

PageWidget* MainWindow::BuildPage(int dialogId) {
  const PageEntry* entry = nullptr;
  for (const PageEntry& e : kPages)
    if (e.dialogId == dialogId) entry = &e;
  if (!entry) return nullptr;
  PageWidget* page = nullptr;
  CoreWindow* core = nullptr;
  switch (dialogId) {
    case ids::kTimingPage:
      page = new TimingPageWidget(dialog_.timingPage, dialog_.capture, pageArea_);
      core = &dialog_.timingPage;
      break;
    case ids::kUtilityPage:
      page = new UtilityPageWidget(dialog_.utilityPage, pageArea_);
      core = &dialog_.utilityPage;
      break;
    case ids::kMonitorPage:
      page = new MonitorPageWidget(dialog_.monitorPage, pageArea_);
      core = &dialog_.monitorPage;
      break;
    case ids::kEdidPage:
      page = new EdidPageWidget(dialog_.edidPage, pageArea_);
      core = &dialog_.edidPage;
      break;
    default:
      page = new PageWidget(pageArea_);
      break;
  }
  page->setAccessibleName(QString::fromLatin1(entry->tabText));
  // A hidden page keeps its room, so switching pages does not resize the window.
  QSizePolicy policy = page->sizePolicy();
  policy.setRetainSizeWhenHidden(true);
  page->setSizePolicy(policy);
  // Shown only when the core shows it (a page built later is hidden until then).
  page->setVisible(false);
  pageStack_->addWidget(page, 0, 0);
  view_.Bind(dialogId, page);
  pages_[dialogId] = page;
  // What the core wrote to the page before it existed (the start-up's values, lists and
  // states) goes to its controls first.
  if (core) core->AttachViewWithState(page->view());
  ApplyTooltips(*this, dialogId);
  // A page that needs more room than the window has grows the window once, as the start
  // size would have made room for it (never beyond the screen, never smaller).
  if (isVisible()) {
    const QSize wanted = size().expandedTo(FittingSize());
    if (wanted != size()) resize(wanted);
  }
  return page;
}

QWidget* MainWindow::BuildLinkControls() {
  auto* box = new QWidget(this);
  auto* grid = new QGridLayout(box);
  grid->setContentsMargins(0, 0, 0, 0);

  auto* link = IconButton(QStringLiteral("Link"), box);
  view_.BindIcon(
      ids::kLinkIcon, link,
      {{ids::kIconLinkDown,
        {icons::LinkIcon(false), QStringLiteral("Link is down: click to connect (Ctrl+L)")}},
       {ids::kIconLinkUp,
        {icons::LinkIcon(true), QStringLiteral("Link is up: click to disconnect (Ctrl+L)")}}});
  view_.SetIcon(ids::kLinkIcon, ids::kIconLinkDown);
  connect(link, &QToolButton::clicked, this, [this] { dialog_.ToggleLink(); });

  auto* commCaption = new QLabel(QStringLiteral("Comm:"), box);
  // The 99 numbers open as a scrolling list; each shows the device behind it, and the
  // numbers without one are dimmed.
  auto* comm = new DropDownList(box);
  comm->setAccessibleName(QStringLiteral("Comm:"));
  comm->setMaxVisibleItems(16);
  comm->setMinimumContentsLength(6);
  comm->SetShowsNotes(true);
  commCaption->setBuddy(comm);
  view_.Bind(ids::kCommList, comm);
  // The user's choice, also the same item again, as the list confirms it.
  connect(comm, &QComboBox::activated, this, [this] { dialog_.SelectComPort(); });

  auto* search = new QPushButton(QStringLiteral("Search Machine"), box);
  view_.Bind(ids::kSearchButton, search);
  connect(search, &QPushButton::clicked, this, [this] { dialog_.SearchDevice(); });
  auto* searchStatus = ValueLabel(box);
  searchStatus->setFrameStyle(QFrame::NoFrame);
  searchStatus->setAccessibleDescription(QStringLiteral("Search status"));
  view_.Bind(ids::kSearchStatus, searchStatus);

  auto* addressCaption = new QLabel(QStringLiteral("Address:"), box);
  auto* address = new DropDownList(box);
  address->setAccessibleName(QStringLiteral("Address:"));
  address->setMaxVisibleItems(18);
  address->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  address->setMinimumContentsLength(20);
  addressCaption->setBuddy(address);
  view_.Bind(ids::kAddressList, address);
  connect(address, &QComboBox::activated, this, [this] { dialog_.SelectAddress(); });

  auto* management = new QPushButton(QStringLiteral("Address Management"), box);
  view_.Bind(ids::kAddressManagement, management);
  connect(management, &QPushButton::clicked, this, [this] { dialog_.OpenAddressManagement(); });

  auto* linkRow = new QHBoxLayout;
  linkRow->addWidget(link);
  linkRow->addStretch(1);
  linkRow->addWidget(commCaption);
  grid->addLayout(linkRow, 0, 0);
  grid->addWidget(comm, 0, 1);
  grid->addWidget(search, 1, 0);
  grid->addWidget(searchStatus, 1, 1);
  grid->addWidget(addressCaption, 2, 0);
  grid->addWidget(address, 2, 1);
  grid->addWidget(management, 3, 0, 1, 2);
  return box;
}

QWidget* MainWindow::BuildFrontPanel() {
  auto* box = new QWidget(this);
  auto* rows = new QVBoxLayout(box);
  rows->setContentsMargins(0, 0, 0, 0);

  auto* hpd = new QGroupBox(QStringLiteral("HDMI HPD On/Off:"), box);
  auto* on = new QRadioButton(QStringLiteral("ON"), hpd);
  auto* off = new QRadioButton(QStringLiteral("OFF"), hpd);
  auto* hpdRow = new QHBoxLayout(hpd);
  hpdRow->addWidget(on);
  hpdRow->addWidget(off);
  hpdRow->addStretch(1);
  view_.BindRadioGroup(ids::kHpdOn, {on, off});
  connect(on, &QRadioButton::clicked, this, [this] { dialog_.HpdOn(); });
  connect(off, &QRadioButton::clicked, this, [this] { dialog_.HpdOff(); });
  rows->addWidget(hpd);

  auto* volumeCaption = new QLabel(QStringLiteral("Volume:"), box);
  auto* down = new QPushButton(QStringLiteral("-"), box);
  down->setAccessibleDescription(QStringLiteral("Volume down"));
  auto* volume = new QLineEdit(box);
  // Shown as the box reports it: readable, not greyed, but only the buttons change it.
  volume->setReadOnly(true);
  volume->setAlignment(Qt::AlignRight);
  volume->setAccessibleName(QStringLiteral("Volume:"));
  volume->setFocusPolicy(Qt::ClickFocus);  // a click focuses it for copying; Tab passes it
  volume->setFixedWidth(volume->fontMetrics().horizontalAdvance(QStringLiteral("1000")) + 16);
  volumeCaption->setBuddy(volume);
  auto* percent = new QLabel(QStringLiteral("%"), box);
  auto* up = new QPushButton(QStringLiteral("+"), box);
  up->setAccessibleDescription(QStringLiteral("Volume up"));
  for (QPushButton* button : {down, up})
    button->setFixedWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("+")) + 24);
  view_.Bind(ids::kVolumeDown, down);
  view_.Bind(ids::kVolumeBox, volume);
  view_.Bind(ids::kVolumeUp, up);
  connect(down, &QPushButton::clicked, this, [this] { dialog_.VolumeDown(); });
  connect(up, &QPushButton::clicked, this, [this] { dialog_.VolumeUp(); });
  auto* volumeRow = new QHBoxLayout;
  volumeRow->addWidget(volumeCaption);
  volumeRow->addWidget(down);
  volumeRow->addWidget(volume);
  volumeRow->addWidget(percent);
  volumeRow->addWidget(up);
  volumeRow->addStretch(1);
  rows->addLayout(volumeRow);

  // The input lamps; the one of the box's input is lit (HDMI when the window opens).
  auto* inputRow = new QHBoxLayout;
  // A lamp says whether its input is the box's and what a click does.
  auto lampPictures = [](const char* input) {
    return std::map<int, WidgetView::Picture>{
        {ids::kIconLampUnlit,
         {icons::LampIcon(false),
          QStringLiteral("Unlit: click to select the %1 input").arg(QLatin1String(input))}},
        {ids::kIconLampLit,
         {icons::LampIcon(true),
          QStringLiteral("Lit: %1 is the box's input").arg(QLatin1String(input))}}};
  };
  struct Input {
    int lampId, textId;
    const char *name, *text;
    int iconId;
  };
  for (const Input& input :
       {Input{ids::kHdmiIcon, ids::kHdmiLabel, "HDMI input", "HDMI", ids::kIconLampLit},
        Input{ids::kSdiIcon, ids::kSdiLabel, "SDI input", "SDI", ids::kIconLampUnlit}}) {
    auto* lamp = IconButton(QString::fromLatin1(input.name), box);
    auto* text = new ClickableLabel(QString::fromLatin1(input.text), box);
    text->setBuddy(lamp);
    view_.BindIcon(input.lampId, lamp, lampPictures(input.text));
    view_.SetIcon(input.lampId, input.iconId);
    view_.Bind(input.textId, text);
    const bool sdi = input.lampId == ids::kSdiIcon;
    auto select = [this, sdi] { sdi ? dialog_.SelectSdiInput() : dialog_.SelectHdmiInput(); };
    connect(lamp, &QToolButton::clicked, this, select);
    connect(text, &ClickableLabel::clicked, this, select);
    inputRow->addWidget(lamp);
    inputRow->addWidget(text);
    inputRow->addSpacing(12);
  }
  inputRow->addStretch(1);
  rows->addLayout(inputRow);
  return box;
}

QGroupBox* MainWindow::BuildSignalPanel() {
  auto* panel = new QGroupBox(QStringLiteral("Received Signal info"), this);
  auto* grid = new QGridLayout(panel);
  // Greyed, under a line that says since when, while the values are not live.
  view_.Bind(ids::kSignalPanel, panel);
  auto* freshness = new QLabel(panel);
  freshness->setWordWrap(true);
  freshness->setVisible(false);
  freshness->setAccessibleDescription(QStringLiteral("Values not live"));
  MarkValueText(freshness);
  view_.BindTextDisplay(ids::kFreshnessNote, freshness,
                        [shown = QPointer<QLabel>(freshness)](const std::string& text) {
                          if (!shown) return;
                          shown->setText(FromCoreText(text));
                          shown->setVisible(!text.empty());
                        });
  grid->addWidget(freshness, 0, 0, 1, 2);
  auto addRows = [this](QGridLayout* layout, QWidget* parent, const auto& rows) {
    int row = layout->rowCount();
    for (const StatusRow& entry : rows) {
      auto* caption = new QLabel(QString::fromLatin1(entry.caption), parent);
      auto* value = ValueLabel(parent);
      caption->setBuddy(value);
      view_.Bind(entry.id, value);
      layout->addWidget(caption, row, 0);
      layout->addWidget(value, row, 1);
      ++row;
    }
  };
  addRows(grid, panel, kSignalRows);
  auto* audio = new QGroupBox(QStringLiteral("Audio"), panel);
  // Qt would name the inner group after the outer one.
  audio->setAccessibleName(audio->title());
  auto* audioGrid = new QGridLayout(audio);
  addRows(audioGrid, audio, kAudioRows);
  grid->addWidget(audio, grid->rowCount(), 0, 1, 2);
  grid->setColumnStretch(1, 1);
  audioGrid->setColumnStretch(1, 1);
  return panel;
}

QWidget* MainWindow::BuildTabArea() {
  auto* box = new QWidget(this);
  auto* layout = new QVBoxLayout(box);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  tabBar_ = new QTabBar(box);
  tabBar_->setDrawBase(false);
  tabBar_->setExpanding(false);
  tabBar_->setAccessibleName(QStringLiteral("Pages"));
  for (const PageEntry& entry : kPages)
    tabBar_->addTab(QString::fromLatin1(entry.tabText));
  view_.Bind(ids::kTabControl, tabBar_);
  connect(tabBar_, &QTabBar::currentChanged, this, [this](int index) {
    // A page behind another tab is built when it is first shown.
    if (index >= 0 && index < static_cast<int>(std::size(kPages))) page(kPages[index].dialogId);
    dialog_.OnTabChanged();
  });
  layout->addWidget(tabBar_);

  // All pages share one place; the core shows one and hides the others. Only the first
  // page, which the window opens on, is built now; the others when first shown.
  auto* scroll = new PageArea(box);
  auto* area = new QFrame(scroll);
  scroll->setWidget(area);
  area->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
  pageArea_ = area;
  pageStack_ = new QGridLayout(area);
  BuildPage(kPages[0].dialogId);
  // The area takes the room its largest page needs (no fixed minimum that would let a
  // page be cut off), and more when the window grows.
  layout->addWidget(scroll, 1);

  // Ctrl+Tab and Ctrl+PgDown (and back) switch pages from anywhere in the window.
  for (const QKeySequence& next :
       {QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)})
    connect(new QShortcut(next, this), &QShortcut::activated, this, [this] { SwitchTab(1); });
  for (const QKeySequence& previous : {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
                                       QKeySequence(Qt::CTRL | Qt::Key_PageUp)})
    connect(new QShortcut(previous, this), &QShortcut::activated, this, [this] { SwitchTab(-1); });
  return box;
}

void MainWindow::SwitchTab(int step) {
  const int count = tabBar_->count();
  if (count > 0) tabBar_->setCurrentIndex((tabBar_->currentIndex() + step + count) % count);
}

void MainWindow::BuildMenus() {
  aboutAction_ = new QAction(QString::fromLatin1(kAboutMenuText), this);
  connect(aboutAction_, &QAction::triggered, this,
          [this] { dialog_.OnSystemCommand(ids::kAboutCommand); });

  // The window menu: what a title-bar menu offers, then the about entry after a
  // separator. Shown on the window's background (right click, or the menu key).
  windowMenu_ = new QMenu(this);
  windowMenu_->addAction(QStringLiteral("Mi&nimize"), this, &QWidget::showMinimized);
  windowMenu_->addAction(QStringLiteral("&Close"), this, &QWidget::close);
  windowMenu_->addSeparator();
  windowMenu_->addAction(aboutAction_);

  // The common actions, with their shortcuts; each does what its control does.
  auto* bar = new QMenuBar(this);
  QMenu* link = bar->addMenu(QStringLiteral("&Link"));
  AddAction(link, QStringLiteral("&Link Up/Down"), QKeySequence(Qt::CTRL | Qt::Key_L),
            [this] { dialog_.ToggleLink(); });
  AddAction(link, QStringLiteral("&Search Machine"), QKeySequence(Qt::CTRL | Qt::Key_F),
            [this] { dialog_.SearchDevice(); });
  AddAction(link, QStringLiteral("&Network port..."), QKeySequence(), [this] {
    // Modal over the main window, without a loop of its own: the caller returns at once.
    auto* ports = new NetworkPortDialog(dialog_, this);
    ports->setAttribute(Qt::WA_DeleteOnClose);
    ports->open();
  });
  link->addSeparator();
  AddAction(link, QStringLiteral("&Update Status"), QKeySequence(Qt::Key_F5),
            [this] { dialog_.timingPage.UpdateStatus(); });
  QMenu* edid = bar->addMenu(QStringLiteral("&EDID"));
  AddAction(edid, QStringLiteral("&Read EDID from Device"), QKeySequence(Qt::CTRL | Qt::Key_R),
            [this] {
              ShowPage(ids::kEdidPage);
              dialog_.edidPage.ReadEdidFromDevice();
            });
  AddAction(edid, QStringLiteral("&Open EDID File..."), QKeySequence(Qt::CTRL | Qt::Key_O), [this] {
    ShowPage(ids::kEdidPage);
    dialog_.edidPage.OpenEdidFile();
  });
  AddAction(edid, QStringLiteral("&Save EDID to File"), QKeySequence(Qt::CTRL | Qt::Key_S), [this] {
    ShowPage(ids::kEdidPage);
    dialog_.edidPage.SaveEdidFile();
  });
  QMenu* view = bar->addMenu(QStringLiteral("&View"));
  trafficLogAction_ =
      AddAction(view, QStringLiteral("&Traffic Log"), QKeySequence(Qt::CTRL | Qt::Key_T), nullptr);
  trafficLogAction_->setCheckable(true);
  connect(trafficLogAction_, &QAction::toggled, this,
          [this](bool shown) { ShowTrafficLog(shown); });
  QMenu* help = bar->addMenu(QStringLiteral("&Help"));
  help->addAction(aboutAction_);
  layout()->setMenuBar(bar);
}

QAction* MainWindow::AddAction(QMenu* menu, const QString& text, const QKeySequence& keys,
                               std::function<void()> run) {
  auto* action = menu->addAction(text);
  action->setShortcut(keys);
  // The shortcut works wherever the focus is in this window, the menus closed.
  addAction(action);
  if (run) connect(action, &QAction::triggered, this, [run = std::move(run)] { run(); });
  QString plain = text;
  actions_[plain.remove(QLatin1Char('&'))] = action;
  return action;
}

QAction* MainWindow::action(const QString& text) const {
  auto it = actions_.find(text);
  return it == actions_.end() ? nullptr : it->second;
}

void MainWindow::ShowPage(int dialogId) {
  for (int i = 0; i < static_cast<int>(std::size(kPages)); ++i)
    if (kPages[i].dialogId == dialogId) tabBar_->setCurrentIndex(i);
}

void MainWindow::ShowCaptured(const Outcome& outcome) {
  if (outcome.files.empty()) return;
  QWidget* shown = nullptr;
  if (outcome.operation == Operation::kFrameCapture && !dialog_.capture.lastPicture.empty()) {
    if (!pictureViewer_) pictureViewer_ = new PictureViewer(dialog_.capture, this);
    pictureViewer_->ShowPicture(dialog_.capture.lastPicture);
    shown = pictureViewer_;
  } else if (outcome.operation == Operation::kLineCapture &&
             dialog_.capture.lastChart.width() > 0) {
    if (!chartWindow_) chartWindow_ = new LineChartWindow(dialog_.capture, this);
    chartWindow_->ShowChart(dialog_.capture.lastChart);
    shown = chartWindow_;
  }
  if (!shown) return;
  shown->show();
  shown->raise();
  shown->activateWindow();
}

void MainWindow::ShowTrafficLog(bool shown) {
  if (!trafficLog_) {
    if (!shown) return;
    trafficLog_ = new TrafficLogWindow(dialog_, this);
    // Closing the log window from its title bar clears the menu's check mark.
    trafficLog_->installEventFilter(this);
    // F5 and the other shortcuts work while the log has the focus.
    trafficLog_->addActions(actions());
  }
  trafficLog_->setVisible(shown);
  if (shown) {
    trafficLog_->raise();
    trafficLog_->activateWindow();
  }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == trafficLog_ && event->type() == QEvent::Hide && !event->spontaneous() &&
      trafficLogAction_->isChecked()) {
    const QSignalBlocker blocker(trafficLogAction_);
    trafficLogAction_->setChecked(false);
  }
  return QDialog::eventFilter(watched, event);
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
  windowMenu_->popup(event->globalPos());
  event->accept();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (event->modifiers() & ~Qt::KeypadModifier) break;
      // Enter on a focused button presses it; on the window's other controls it ends the
      // window. (Keys from the pages never get here.)
      if (auto* button = qobject_cast<QAbstractButton*>(focusWidget());
          button && (qobject_cast<QPushButton*>(button) || qobject_cast<QToolButton*>(button))) {
        button->animateClick();
      } else {
        accept();
      }
      event->accept();
      return;
    case Qt::Key_Escape:
      if (event->modifiers() != Qt::NoModifier) break;
      reject();
      event->accept();
      return;
    default:
      break;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace sc
