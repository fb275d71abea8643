#include "console/network_port_dialog_qt.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "console/console_dialog.h"
#include "window/accessibility_qt.h"
#include "window/drop_down_list_qt.h"

namespace sc {

namespace {
QString Q(const char* text) {
  return QString::fromLatin1(text);
}
}  // namespace

NetworkPortDialog::NetworkPortDialog(ConsoleDialog& console, QWidget* parent)
    : QDialog(parent), model_(console) {
  setWindowTitle(Q(kNetworkPortTitle));
  auto* fields = new QGridLayout;

  auto* portCaption = new QLabel(Q(kNetworkPortPortCaption), this);
  port_ = new DropDownList(this);
  // Named before it has items: its accessible interface is made by the first of them.
  port_->setAccessibleName(portCaption->text());
  for (int n = kFirstPort; n <= kLastPort; ++n)
    port_->addItem(QStringLiteral("COM%1").arg(n));
  port_->setMaxVisibleItems(16);
  portCaption->setBuddy(port_);
  fields->addWidget(portCaption, 0, 0);
  fields->addWidget(port_, 0, 1);

  auto* addressCaption = new QLabel(Q(kNetworkPortAddressCaption), this);
  address_ = new QLineEdit(this);
  address_->setPlaceholderText(Q(kNetworkPortAddressHint));
  address_->setMinimumWidth(address_->fontMetrics().horizontalAdvance(Q(kNetworkPortAddressHint)) +
                            24);
  address_->setAccessibleName(addressCaption->text());
  addressCaption->setBuddy(address_);
  fields->addWidget(addressCaption, 1, 0);
  fields->addWidget(address_, 1, 1);

  auto* map = new QPushButton(Q(kNetworkPortMapButton), this);
  map->setDefault(true);
  remove_ = new QPushButton(Q(kNetworkPortRemoveButton), this);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(map);
  buttons->addWidget(remove_);

  note_ = new QLabel(this);
  note_->setWordWrap(true);
  MarkValueText(note_);

  auto* listCaption = new QLabel(Q(kNetworkPortListCaption), this);
  mapped_ = new QListWidget(this);
  mapped_->setAccessibleName(listCaption->text());
  listCaption->setBuddy(mapped_);

  auto* close = new QPushButton(Q(kNetworkPortCloseButton), this);
  auto* closeRow = new QHBoxLayout;
  closeRow->addStretch();
  closeRow->addWidget(close);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addLayout(buttons);
  layout->addWidget(note_);
  layout->addWidget(listCaption);
  layout->addWidget(mapped_);
  layout->addLayout(closeRow);

  connect(port_, &QComboBox::activated, this, [this](int index) {
    model_.ChoosePort(index + 1);
    Show();
  });
  connect(map, &QPushButton::clicked, this, [this] {
    model_.address = address_->text().trimmed().toStdString();
    model_.Map();
    Show();
  });
  connect(remove_, &QPushButton::clicked, this, [this] {
    model_.Remove();
    Show();
  });
  connect(mapped_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
    const int port = model_.PortOfRow(mapped_->row(item));
    if (port == 0) return;
    model_.ChoosePort(port);
    Show();
  });
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  Show();
}

void NetworkPortDialog::Show() {
  port_->setCurrentIndex(model_.port() - 1);
  address_->setText(QString::fromStdString(model_.address));
  note_->setText(QString::fromStdString(model_.note));
  remove_->setEnabled(model_.Mapped());
  mapped_->clear();
  for (const std::string& row : model_.Rows())
    mapped_->addItem(QString::fromStdString(row));
}

}  // namespace sc
