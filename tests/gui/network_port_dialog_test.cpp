// "Link > Network port..." through its widgets: the menu opens it, a port and an address
// typed and "Map" pressed reach the console (the "Comm:" list shows the address), and
// every control reads by its caption over the accessibility interface.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "console/control_ids.h"
#include "console/network_port_dialog_qt.h"
#include "sim/pty.h"
#include "tests/gui/console_window_fixture.h"

namespace sc {
namespace {

QAccessibleInterface* FindAccessible(QAccessibleInterface* node, QAccessible::Role role,
                                     const QString& name) {
  if (!node) return nullptr;
  if (node->role() == role && node->text(QAccessible::Name) == name) return node;
  for (int i = 0; i < node->childCount(); ++i)
    if (QAccessibleInterface* found = FindAccessible(node->child(i), role, name)) return found;
  return nullptr;
}

QPushButton* Button(QWidget* parent, const QString& text) {
  for (auto* button : parent->findChildren<QPushButton*>())
    if (button->text() == text) return button;
  return nullptr;
}

class NetworkPortDialogTest : public testing::ConsoleWindowTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(box.ok());
    ASSERT_NO_FATAL_FAILURE(OpenWindow(box.SlavePath(), false));
  }
  PtyMaster box;
};

TEST_F(NetworkPortDialogTest, TheMenuOpensItAndAMappedPortReachesTheCommList) {
  QAction* entry = window->action("Network port...");
  ASSERT_NE(entry, nullptr);
  entry->trigger();
  auto* opened = window->findChild<NetworkPortDialog*>();
  ASSERT_NE(opened, nullptr);
  EXPECT_TRUE(opened->isVisible());
  EXPECT_TRUE(opened->isModal());
  EXPECT_EQ(opened->windowTitle(), "Network port");
  QComboBox* port = opened->portList();
  port->setCurrentIndex(4);
  emit port->activated(4);  // the user's choice of COM5
  QTest::keyClicks(opened->addressEdit(), "tcp://[::1]:4001");
  QTest::mouseClick(Button(opened, "Map"), Qt::LeftButton);
  EXPECT_EQ(opened->mappedList()->count(), 1);
  EXPECT_EQ(opened->mappedList()->item(0)->text(), "COM5  tcp://[::1]:4001");
  EXPECT_EQ(opened->noteLabel()->text(), "COM5 is tcp://[::1]:4001.");

  // A bad one is refused where it was typed, and the list stays.
  opened->addressEdit()->setText("tcp://rack");
  QTest::mouseClick(Button(opened, "Map"), Qt::LeftButton);
  EXPECT_EQ(opened->noteLabel()->text().left(25), "\"tcp://rack\" has no port:");
  EXPECT_EQ(opened->mappedList()->count(), 1);
  QTest::mouseClick(Button(opened, "Close"), Qt::LeftButton);
  EXPECT_FALSE(opened->isVisible());
  auto* comm = Control<QComboBox>(ids::kCommList);
  EXPECT_EQ(comm->itemText(4), "COM5  tcp://[::1]:4001");
  EXPECT_EQ(comm->itemData(4, Qt::ToolTipRole).toString(), "tcp://[::1]:4001");
  EXPECT_EQ(comm->itemText(0), "COM1");
}

TEST_F(NetworkPortDialogTest, EveryControlReadsByItsCaption) {
  NetworkPortDialog ports(*dialog, window.get());
  ports.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&ports));
  QAccessibleInterface* root = QAccessible::queryAccessibleInterface(&ports);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->text(QAccessible::Name), "Network port");
  const struct {
    QAccessible::Role role;
    const char* name;
  } controls[] = {
      {QAccessible::ComboBox, "Port:"},     {QAccessible::EditableText, "Address:"},
      {QAccessible::List, "Mapped ports:"}, {QAccessible::Button, "Map"},
      {QAccessible::Button, "Remove"},      {QAccessible::Button, "Close"},
  };
  for (const auto& c : controls)
    EXPECT_NE(FindAccessible(root, c.role, c.name), nullptr) << c.name;
  // The address box is labelled by its caption, and its text stays readable.
  QAccessibleInterface* address = QAccessible::queryAccessibleInterface(ports.addressEdit());
  const auto labels = address->relations(QAccessible::Label);
  ASSERT_FALSE(labels.empty());
  EXPECT_EQ(labels.front().first->text(QAccessible::Name), "Address:");
  ports.addressEdit()->setText("rfc2217://rack-3:7001");
  EXPECT_EQ(address->text(QAccessible::Value), "rfc2217://rack-3:7001");
  // Remove has nothing to do for a port without a mapping.
  EXPECT_FALSE(Button(&ports, "Remove")->isEnabled());
}

}  // namespace
}  // namespace sc
