#include "edid/edid_editor_dialog_qt.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace sc {

namespace ids = edid_editor_ids;

namespace {

// Buttons that Enter never presses: Enter belongs to the focused box.
QPushButton* Button(const char* caption, QWidget* parent) {
  auto* button = new QPushButton(QString::fromUtf8(caption), parent);
  button->setAutoDefault(false);
  button->setDefault(false);
  return button;
}

}  // namespace

EdidEditorDialog::EdidEditorDialog(EdidEditorWindow& core, QtHost& host, QWidget* parent)
    : QDialog(parent), core_(core), host_(host) {
  setWindowTitle(QString::fromLatin1(kEdidEditorTitle));
  auto* layout = new QVBoxLayout(this);
  auto* upper = new QHBoxLayout;
  layout->addLayout(upper, 1);

  auto* sections = new QTabWidget(this);
  sections->setAccessibleName(QStringLiteral("Sections"));
  sections->addTab(Identity(), QStringLiteral("Identity"));
  sections->addTab(Timings(), QStringLiteral("Timings"));
  sections->addTab(Video(), QStringLiteral("Video"));
  sections->addTab(Audio(), QStringLiteral("Audio"));
  sections->addTab(Hdmi(), QStringLiteral("HDMI"));
  sections->addTab(Hdr(), QStringLiteral("HDR"));
  // Every section's tab in sight.
  sections->setUsesScrollButtons(false);
  sections->setMinimumWidth(sections->tabBar()->sizeHint().width() + 8);
  upper->addWidget(sections, 1);

  // What the edits came to: the last one's result, the changes, the new faults.
  auto* side = new QVBoxLayout;
  upper->addLayout(side, 1);
  auto* resultCaption = new QLabel(QStringLiteral("Last edit:"), this);
  auto* result = new QLabel(this);
  result->setTextFormat(Qt::PlainText);
  result->setWordWrap(true);
  result->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  resultCaption->setBuddy(result);
  view_.Bind(ids::kResult, result);
  auto* summaryCaption = new QLabel(QStringLiteral("Changes:"), this);
  auto* summary = new QLabel(this);
  summary->setTextFormat(Qt::PlainText);
  summaryCaption->setBuddy(summary);
  view_.Bind(ids::kChangesSummary, summary);
  auto* changes = new QListWidget(this);
  changes->setAccessibleName(QStringLiteral("Differences"));
  view_.Bind(ids::kChangeList, changes);
  auto* faultsCaption = new QLabel(QStringLiteral("New errors and warnings:"), this);
  auto* faults = new QListWidget(this);
  faults->setAccessibleName(faultsCaption->text());
  faultsCaption->setBuddy(faults);
  view_.Bind(ids::kFaultList, faults);
  for (QWidget* w : std::initializer_list<QWidget*>{resultCaption, result, summaryCaption, summary})
    side->addWidget(w);
  side->addWidget(changes, 2);
  side->addWidget(faultsCaption);
  side->addWidget(faults, 1);

  auto* apply = Button("Apply", this);
  auto* revert = Button("Revert", this);
  auto* cancel = Button("Cancel", this);
  view_.Bind(ids::kApply, apply);
  view_.Bind(ids::kRevert, revert);
  connect(apply, &QPushButton::clicked, this, [this] {
    if (core_.Apply()) accept();
  });
  connect(revert, &QPushButton::clicked, this, [this] { core_.Revert(); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(apply);
  buttons->addWidget(revert);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);

  // Room for the differences' rows, which carry their bytes.
  resize(sizeHint().width() * 3 / 2, sizeHint().height());

  previousDialogParent_ = host_.dialogParent();
  host_.SetDialogParent(this);
  core_.AttachView(&view_);
  core_.Refresh();
}

EdidEditorDialog::~EdidEditorDialog() {
  core_.AttachView(nullptr);
  if (host_.dialogParent() == this) host_.SetDialogParent(previousDialogParent_);
}

namespace {

// A section's form: boxes labelled by their captions, buttons under them.
class Section {
 public:
  Section(QWidget* parent, WidgetView& view, EdidEditorWindow& core)
      : page_(new QWidget(parent)), view_(view), core_(core) {
    layout_ = new QVBoxLayout(page_);
    form_ = new QFormLayout;
    layout_->addLayout(form_);
  }
  QLineEdit* Box(const char* caption, int id) {
    auto* label = new QLabel(QString::fromUtf8(caption), page_);
    auto* box = new QLineEdit(page_);
    label->setBuddy(box);
    view_.Bind(id, box);
    form_->addRow(label, box);
    return box;
  }
  QListWidget* List(const char* caption, int id) {
    auto* label = new QLabel(QString::fromUtf8(caption), page_);
    auto* list = new QListWidget(page_);
    QString name = label->text();
    name.chop(1);  // "VICs:" names the list "VICs"
    list->setAccessibleName(name);
    label->setBuddy(list);
    view_.Bind(id, list);
    layout_->addWidget(label);
    layout_->addWidget(list, 1);
    return list;
  }
  QCheckBox* Check(const char* caption, int id, void (EdidEditorWindow::*action)()) {
    auto* box = new QCheckBox(QString::fromUtf8(caption), page_);
    view_.Bind(id, box);
    QObject::connect(box, &QCheckBox::clicked, page_,
                     [&core = core_, action] { (core.*action)(); });
    layout_->addWidget(box);
    return box;
  }
  // Buttons in a row.
  void Buttons(
      std::initializer_list<std::tuple<const char*, int, void (EdidEditorWindow::*)()>> buttons) {
    auto* row = new QHBoxLayout;
    for (const auto& [caption, id, action] : buttons) {
      QPushButton* button = Button(caption, page_);
      view_.Bind(id, button);
      QObject::connect(button, &QPushButton::clicked, page_,
                       [&core = core_, action = action] { (core.*action)(); });
      row->addWidget(button);
    }
    row->addStretch(1);
    layout_->addLayout(row);
  }
  // The next boxes go into a form of their own, under what came before.
  void NewForm() {
    form_ = new QFormLayout;
    layout_->addLayout(form_);
  }
  QWidget* Done() {
    layout_->addStretch(0);
    return page_;
  }

 private:
  QWidget* page_;
  QVBoxLayout* layout_;
  QFormLayout* form_;
  WidgetView& view_;
  EdidEditorWindow& core_;
};

}  // namespace

QWidget* EdidEditorDialog::Identity() {
  Section s(this, view_, core_);
  s.Box("Monitor name:", ids::kName)->setMaxLength(13);
  s.Box("Manufacturer:", ids::kManufacturer)->setMaxLength(3);
  s.Box("Product code:", ids::kProduct);
  s.Box("Serial number:", ids::kSerial);
  s.Buttons({{"Set identity", ids::kSetIdentity, &EdidEditorWindow::SetIdentity}});
  return s.Done();
}

QWidget* EdidEditorDialog::Timings() {
  Section s(this, view_, core_);
  s.List("Detailed timings:", ids::kTimingList);
  s.Buttons({{"Make preferred", ids::kMakePreferred, &EdidEditorWindow::MakePreferred}});
  s.NewForm();
  s.Box("Preferred VIC:", ids::kPreferredVic);
  s.Buttons({{"Set preferred VIC", ids::kSetPreferredVic, &EdidEditorWindow::SetPreferredVic}});
  return s.Done();
}

QWidget* EdidEditorDialog::Video() {
  Section s(this, view_, core_);
  s.List("VICs:", ids::kVicList);
  s.Buttons({{"Remove VIC", ids::kRemoveVic, &EdidEditorWindow::RemoveVic},
             {"Mark native", ids::kMarkNative, &EdidEditorWindow::MarkNative}});
  s.NewForm();
  s.Box("VIC to add:", ids::kNewVic);
  s.Buttons({{"Add VIC", ids::kAddVic, &EdidEditorWindow::AddVic}});
  s.NewForm();
  s.Box("Highest clock (MHz):", ids::kMaxClock);
  s.Buttons({{"Keep VICs up to the clock", ids::kKeepUpTo, &EdidEditorWindow::KeepUpTo}});
  s.Check("YCbCr 4:4:4", ids::kYcbcr444, &EdidEditorWindow::SetYcbcr);
  s.Check("YCbCr 4:2:2", ids::kYcbcr422, &EdidEditorWindow::SetYcbcr);
  return s.Done();
}

QWidget* EdidEditorDialog::Audio() {
  Section s(this, view_, core_);
  s.List("Audio formats:", ids::kAudioList);
  s.Buttons({{"Remove format", ids::kRemoveAudio, &EdidEditorWindow::RemoveAudio}});
  s.NewForm();
  s.Box("LPCM channels:", ids::kLpcmChannels)->setText(QStringLiteral("2"));
  s.Box("LPCM rates (kHz):", ids::kLpcmRates)->setText(QStringLiteral("32,44.1,48"));
  s.Box("LPCM sizes (bits):", ids::kLpcmSizes)->setText(QStringLiteral("16,20,24"));
  s.Buttons({{"Set LPCM", ids::kSetLpcm, &EdidEditorWindow::SetLpcm}});
  s.NewForm();
  s.Box("Speakers:", ids::kSpeakers);
  s.Buttons({{"Set speakers", ids::kSetSpeakers, &EdidEditorWindow::SetSpeakers}});
  return s.Done();
}

QWidget* EdidEditorDialog::Hdmi() {
  Section s(this, view_, core_);
  s.Box("Physical address:", ids::kPhysicalAddress);
  s.Buttons(
      {{"Set physical address", ids::kSetPhysicalAddress, &EdidEditorWindow::SetPhysicalAddress}});
  s.NewForm();
  s.Box("Max TMDS clock (MHz):", ids::kMaxTmds);
  s.Buttons({{"Set TMDS clock", ids::kSetMaxTmds, &EdidEditorWindow::SetMaxTmds}});
  s.NewForm();
  s.Box("Max TMDS character rate (MHz):", ids::kForumRate);
  s.Buttons({{"Set character rate", ids::kSetForumRate, &EdidEditorWindow::SetForumRate},
             {"Remove HDMI Forum block", ids::kRemoveForum, &EdidEditorWindow::RemoveForum}});
  return s.Done();
}

QWidget* EdidEditorDialog::Hdr() {
  Section s(this, view_, core_);
  s.Box("EOTFs:", ids::kEotfs);
  s.Buttons({{"Set EOTFs", ids::kSetEotfs, &EdidEditorWindow::SetEotfs},
             {"Remove HDR block", ids::kRemoveHdr, &EdidEditorWindow::RemoveHdr}});
  return s.Done();
}

void RunEdidEditorDialog(EdidEditorWindow& core, QtHost& host, QWidget* parent) {
  EdidEditorDialog dialog(core, host, parent);
  dialog.exec();
}

}  // namespace sc
