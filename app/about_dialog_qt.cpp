#include "app/about_dialog_qt.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "resources/icons.h"

namespace sc {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromLatin1(kAboutTitle));
  setWindowIcon(icons::AppIcon());

  auto* icon = new QLabel(this);
  const int size = style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, this);
  icon->setPixmap(icons::AppIcon().pixmap(size, size));
  icon->setAccessibleName(QStringLiteral("Application icon"));
  auto* version = new QLabel(QString::fromLatin1(kAboutVersion), this);
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QGridLayout(this);
  layout->addWidget(icon, 0, 0, Qt::AlignTop);
  layout->addWidget(version, 0, 1, Qt::AlignVCenter);
  layout->setColumnMinimumWidth(2, 24);
  layout->addWidget(ok, 0, 3, Qt::AlignTop);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  ok->setFocus();
}

void RunAboutDialog(QWidget* parent) {
  AboutDialog dialog(parent);
  dialog.exec();
}

}  // namespace sc
