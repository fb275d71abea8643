#include "addressing/address_dialog_qt.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace sc {

namespace {

constexpr int kRowsPerColumn = 16;

// An edit box taking at most `limit` characters, wide enough for `sample`.
QLineEdit* Box(int limit, const QString& sample, QWidget* parent) {
  auto* box = new QLineEdit(parent);
  box->setMaxLength(limit);
  box->setFixedWidth(box->fontMetrics().horizontalAdvance(sample) + 14);
  return box;
}

// Buttons that Enter never presses: Enter belongs to the focused box.
QPushButton* Button(const QString& caption, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setAutoDefault(false);
  button->setDefault(false);
  return button;
}

QLabel* Note(const char* text, QWidget* parent) {
  auto* label = new QLabel(QString::fromLatin1(text), parent);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  return label;
}

}  // namespace

AddressDialogWidget::AddressDialogWidget(AddressDialog& core, QtHost& host, QWidget* parent)
    : QDialog(parent), core_(core), host_(host) {
  setWindowTitle(QString::fromLatin1(kAddressDialogTitle));

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(BuildAddressBoxes());
  layout->addWidget(Note(
      "Note: When read or write address, there should be only one device is connected.", this));
  layout->addWidget(BuildTable());
  layout->addWidget(
      Note("Note: Please save the setting before you close the address mangerment "
           "dialog. Otherwise the data will be ignored.",
           this));

  auto* save = Button(QStringLiteral("Save"), this);
  auto* help = Button(QStringLiteral("Help"), this);
  view_.Bind(address_ids::kSave, save);
  view_.Bind(address_ids::kHelp, help);
  connect(save, &QPushButton::clicked, this, [this] { core_.Save(); });
  connect(help, &QPushButton::clicked, this, [this] { core_.Help(); });
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(save);
  buttons->addWidget(help);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  previousDialogParent_ = host_.dialogParent();
  host_.SetDialogParent(this);
  core_.AttachView(&view_);
  core_.OnOpen();
}

AddressDialogWidget::~AddressDialogWidget() {
  core_.AttachView(nullptr);
  if (host_.dialogParent() == this) host_.SetDialogParent(previousDialogParent_);
}

QWidget* AddressDialogWidget::BuildAddressBoxes() {
  auto* area = new QWidget(this);
  auto* row = new QHBoxLayout(area);
  row->setContentsMargins(0, 0, 0, 0);
  struct Frame {
    const char* title;
    int groupId, deviceId, buttonId;
    const char* button;
    bool readOnly;
  };
  // The original address is what the box reported: it is read, not typed.
  const Frame frames[] = {
      {"Original Address", address_ids::kOriginalGroup, address_ids::kOriginalDevice,
       address_ids::kReadAddress, "Read Address from device", true},
      {"New Address", address_ids::kNewGroup, address_ids::kNewDevice, address_ids::kWriteAddress,
       "Write Address to device", false}};
  for (const Frame& f : frames) {
    auto* group = new QGroupBox(QString::fromLatin1(f.title), area);
    auto* grid = new QGridLayout(group);
    const struct {
      const char* caption;
      int id;
    } boxes[] = {{"Group Address:", f.groupId}, {"Device Address:", f.deviceId}};
    int gridRow = 0;
    for (const auto& b : boxes) {
      auto* caption = new QLabel(QString::fromLatin1(b.caption), group);
      auto* box = Box(kAddressBoxLimit, QStringLiteral("WW"), group);
      box->setReadOnly(f.readOnly);
      // Both frames have a "Group Address:": the frame tells them apart.
      box->setAccessibleDescription(QString::fromLatin1(f.title));
      caption->setBuddy(box);
      view_.Bind(b.id, box);
      grid->addWidget(caption, gridRow, 0);
      grid->addWidget(box, gridRow, 1, Qt::AlignLeft);
      ++gridRow;
    }
    auto* button = Button(QString::fromLatin1(f.button), group);
    view_.Bind(f.buttonId, button);
    grid->addWidget(button, gridRow, 0, 1, 2);
    grid->setColumnStretch(2, 1);
    row->addWidget(group);
  }
  connect(qobject_cast<QPushButton*>(view_.widget(address_ids::kReadAddress)),
          &QPushButton::clicked, this, [this] { core_.ReadAddressFromDevice(); });
  connect(qobject_cast<QPushButton*>(view_.widget(address_ids::kWriteAddress)),
          &QPushButton::clicked, this, [this] { core_.WriteAddressToDevice(); });
  return area;
}

QWidget* AddressDialogWidget::BuildTable() {
  auto* frame = new QGroupBox(QStringLiteral("Address Table ( Every edit box is 2 hex digital "
                                             "mode,max number of char in Description is 10)"),
                              this);
  auto* columns = new QHBoxLayout(frame);
  for (int half = 0; half < kAddressBookSize / kRowsPerColumn; ++half) {
    auto* grid = new QGridLayout;
    grid->setVerticalSpacing(2);
    const char* headings[] = {"Group\nAddress", "Device\nAddress", "Description"};
    for (int c = 0; c < 3; ++c) {
      auto* heading = new QLabel(QString::fromLatin1(headings[c]), frame);
      heading->setAlignment(Qt::AlignCenter);
      grid->addWidget(heading, 0, c + 1);
    }
    for (int i = 0; i < kRowsPerColumn; ++i) {
      const int row = half * kRowsPerColumn + i;
      const QString number = QString::number(row + 1);
      auto* label = new QLabel(number + QLatin1Char(':'), frame);
      label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
      grid->addWidget(label, i + 1, 0);
      const struct {
        int id;
        int limit;
        const char* sample;
        const char* name;
      } boxes[] = {
          {address_ids::GroupBox(row), kAddressBoxLimit, "WW", "Group"},
          {address_ids::DeviceBox(row), kAddressBoxLimit, "WW", "Device"},
          {address_ids::DescriptionBox(row), kDescriptionBoxLimit, "WWWWWWWWWW", "Description"}};
      for (int c = 0; c < 3; ++c) {
        auto* box = Box(boxes[c].limit, QString::fromLatin1(boxes[c].sample), frame);
        box->setAccessibleName(number + QStringLiteral(": ") + QString::fromLatin1(boxes[c].name));
        view_.Bind(boxes[c].id, box);
        grid->addWidget(box, i + 1, c + 1);
      }
    }
    if (half > 0) columns->addSpacing(16);
    columns->addLayout(grid);
  }
  return frame;
}

void AddressDialogWidget::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      // The focused box has had it; the dialog neither closes nor presses a button.
      event->accept();
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}

void RunAddressDialog(AddressDialog& core, QtHost& host, QWidget* parent) {
  AddressDialogWidget dialog(core, host, parent);
  dialog.exec();
}

}  // namespace sc
