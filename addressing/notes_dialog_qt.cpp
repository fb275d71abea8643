#include "addressing/notes_dialog_qt.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace sc {

namespace {

struct Mode {
  const char* group;
  const char* machine;
  const char* description;
};
constexpr Mode kModes[] = {
    {"00H", "00H", "Broadcast to all devices ( with feedback from device)"},
    {"FFH", "FFH", "Broadcast to all devices (without feedbavck from device)"},
    {"XXH", "00H", "Broadcast to the devices with the groupaddress XX (with feedback from device)"},
    {"XXH", "YYH", "Broadcast to the devices with the address XXYY (with feedback from device)"},
};
constexpr const char* kInvalidModes[][2] = {
    {"00H", "FFH"}, {"FFH", "00H"}, {"00H", "XXH"}, {"FFH", "XXH"}};

QLabel* Text(const char* text, QWidget* parent) {
  auto* label = new QLabel(QString::fromLatin1(text), parent);
  label->setTextFormat(Qt::PlainText);
  return label;
}

}  // namespace

NotesDialog::NotesDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Notes"));
  auto* layout = new QVBoxLayout(this);

  auto* table = new QGridLayout;
  table->setHorizontalSpacing(16);
  int row = 0;
  table->addWidget(Text("Group Address", this), row, 0);
  table->addWidget(Text("Machine Address", this), row, 1);
  table->addWidget(Text("Description", this), row, 2);
  for (const Mode& m : kModes) {
    ++row;
    table->addWidget(Text(m.group, this), row, 0);
    table->addWidget(Text(m.machine, this), row, 1);
    table->addWidget(Text(m.description, this), row, 2);
  }
  ++row;
  table->addWidget(Text("Invalid address mode:", this), ++row, 0, 1, 3);
  for (const auto& pair : kInvalidModes) {
    ++row;
    table->addWidget(Text(pair[0], this), row, 0);
    table->addWidget(Text(pair[1], this), row, 1);
  }
  layout->addLayout(table);
  layout->addWidget(Text("Note: X,Y stands for any hexadecimal character.", this));

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  ok->setFocus();
}

void RunNotesDialog(QWidget* parent) {
  NotesDialog dialog(parent);
  dialog.exec();
}

}  // namespace sc
