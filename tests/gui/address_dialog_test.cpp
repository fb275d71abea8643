// The address dialog through its real widgets, opened from the main window: names and
// limits of its boxes, Enter and Escape, Save, Help with the Notes dialog, a message over
// the dialog, and the main window's address list after it closed.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "addressing/address_dialog_qt.h"
#include "console/control_ids.h"
#include "console/main_window_qt.h"
#include "sim/pty.h"
#include "tests/gui/console_window_fixture.h"
#include "tests/gui/gui_testing.h"
#include "tests/support/console_fixture.h"
#include "tests/support/temp_dir.h"

namespace sc {
namespace {

QString AccessibleName(QWidget* widget) {
  QAccessibleInterface* node = QAccessible::queryAccessibleInterface(widget);
  return node ? node->text(QAccessible::Name) : QString();
}

QLineEdit* BoxNamed(QWidget* dialog, const QString& name) {
  for (QLineEdit* box : dialog->findChildren<QLineEdit*>())
    if (box->accessibleName() == name) return box;
  return nullptr;
}

QStringList LabelTexts(QWidget* dialog) {
  QStringList texts;
  for (QLabel* label : dialog->findChildren<QLabel*>())
    texts << label->text();
  return texts;
}

class AddressDialogGuiTest : public testing::ConsoleWindowTest {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(OpenWindow(box.SlavePath(), false)); }
  // Clicks "Address Management" and runs `action` on the dialog while it is up.
  void WithDialog(std::function<void(QDialog*)> action) {
    bool ran = false;
    testing::OnNextModal([&](QWidget* modal) {
      ran = true;
      auto* address = qobject_cast<AddressDialogWidget*>(modal);
      ASSERT_NE(address, nullptr);
      action(address);
    });
    qobject_cast<QPushButton*>(window->view().widget(ids::kAddressManagement))->click();
    ASSERT_TRUE(ran);
  }

  PtyMaster box;
};

TEST_F(AddressDialogGuiTest, BoxesAreNamedLimitedAndLabelledByTheirCaptions) {
  WithDialog([&](QDialog* d) {
    EXPECT_EQ(d->windowTitle(), "Device Address Management");
    EXPECT_EQ(d->parentWidget(), window.get());
    EXPECT_EQ(d->findChildren<QLineEdit*>().size(), 100);
    for (int row = 1; row <= 32; ++row) {
      const struct {
        const char* column;
        int limit;
      } columns[] = {{"Group", 2}, {"Device", 2}, {"Description", 10}};
      for (const auto& c : columns) {
        const QString name = QStringLiteral("%1: %2").arg(row).arg(QLatin1String(c.column));
        QLineEdit* box = BoxNamed(d, name);
        ASSERT_NE(box, nullptr) << name.toStdString();
        EXPECT_EQ(box->maxLength(), c.limit) << name.toStdString();
        EXPECT_EQ(AccessibleName(box), name);
      }
    }
    EXPECT_EQ(BoxNamed(d, "32: Group")->text(), "00");
    EXPECT_EQ(BoxNamed(d, "32: Description")->text(), " ");

    // The four address boxes: each labelled by its caption inside its frame.
    for (QGroupBox* frame : d->findChildren<QGroupBox*>()) {
      if (frame->title() != "Original Address" && frame->title() != "New Address") continue;
      QStringList captions;
      for (QLabel* caption : frame->findChildren<QLabel*>()) {
        auto* box = qobject_cast<QLineEdit*>(caption->buddy());
        ASSERT_NE(box, nullptr) << caption->text().toStdString();
        captions << caption->text();
        EXPECT_EQ(box->maxLength(), 2);
        EXPECT_EQ(AccessibleName(box), caption->text());
        EXPECT_EQ(box->isReadOnly(), frame->title() == "Original Address");
      }
      EXPECT_EQ(captions, (QStringList{"Group Address:", "Device Address:"}));
    }
    const QStringList texts = LabelTexts(d);
    EXPECT_TRUE(texts.contains(
        "Note: When read or write address, there should be only one device is connected."));
    EXPECT_TRUE(
        texts.contains("Note: Please save the setting before you close the address "
                       "mangerment dialog. Otherwise the data will be ignored."));
    EXPECT_TRUE(texts.contains("32:"));
  });
}

TEST_F(AddressDialogGuiTest, TypedEntriesAreSavedEnterKeepsTheDialogAndTheListFollows) {
  QStringList notes;
  QString noteTitle;
  TestHost::Message message;
  WithDialog([&](QDialog* d) {
    QLineEdit* group = BoxNamed(d, "1: Group");
    group->selectAll();
    QTest::keyClicks(group, "0A3");  // the third character does not go in
    EXPECT_EQ(group->text(), "0A");
    QLineEdit* device = BoxNamed(d, "1: Device");
    device->selectAll();
    QTest::keyClicks(device, "03");
    QLineEdit* description = BoxNamed(d, "1: Description");
    description->selectAll();
    QTest::keyClicks(description, "Rack A");

    // Enter in a box or on a button neither closes the dialog nor presses the button.
    QTest::keyClick(description, Qt::Key_Return);
    auto* save = qobject_cast<QPushButton*>(
        qobject_cast<AddressDialogWidget*>(d)->view().widget(address_ids::kSave));
    save->setFocus();
    QTest::keyClick(save, Qt::Key_Enter);
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(dialog->addressBook[0].address, (DeviceAddress{0, 0}));

    save->click();
    EXPECT_EQ(dialog->addressBook[0], (AddressBookEntry{{0x0A, 0x03}, "Rack A"}));

    testing::OnNextModal([&](QWidget* modal) {
      noteTitle = modal->windowTitle();
      notes = LabelTexts(modal);
      testing::PressButton(modal, "OK");
    });
    testing::PressButton(d, "Help");

    // A message stands over the dialog.
    testing::OnNextModal([&](QWidget* modal) {
      message.caption = modal->windowTitle().toStdString();
      message.text = qobject_cast<QMessageBox*>(modal)->text().toStdString();
      EXPECT_EQ(modal->parentWidget(), d);
      testing::PressButton(modal, "OK");
    });
    testing::PressButton(d, "Read Address from device");

    QTest::keyClick(group, Qt::Key_Escape);
    EXPECT_FALSE(d->isVisible());
  });
  EXPECT_EQ(noteTitle, "Notes");
  for (const char* text :
       {"Group Address", "Machine Address", "Description",
        "Broadcast to all devices ( with feedback from device)",
        "Broadcast to all devices (without feedbavck from device)",
        "Broadcast to the devices with the groupaddress XX (with feedback from device)",
        "Broadcast to the devices with the address XXYY (with feedback from device)",
        "Invalid address mode:", "Note: X,Y stands for any hexadecimal character."})
    EXPECT_TRUE(notes.contains(QLatin1String(text))) << text;
  EXPECT_EQ(notes.count("XXH"), 4);
  EXPECT_EQ(message.caption, "TQ-KVAD");
  EXPECT_EQ(message.text, "Com port is not on yet.");
  auto* list = qobject_cast<QComboBox*>(window->view().widget(ids::kAddressList));
  EXPECT_EQ(list->itemText(2), "No. 1:0A03: Rack A");
}

}  // namespace
}  // namespace sc
