// The Ultilities page's "Decoded" and "Checks" lists through their real widgets: what a
// reply puts in them, and how a screen reader meets them.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <algorithm>

#include "infoframe/utility_page.h"
#include "infoframe/utility_page_qt.h"
#include "tests/support/recording_sender.h"

namespace sc {
namespace {

using Bytes = std::vector<uint8_t>;

// HDR10 from a disc player: SMPTE ST 2084, BT.2020 primaries, 1000 cd/m².
const Bytes kHdr10 = {0x87, 0x01, 0x1A, 0x91, 0x02, 0x00, 0x34, 0x21, 0xAA, 0x9B,
                      0x96, 0x19, 0xFC, 0x08, 0x48, 0x8A, 0x08, 0x39, 0x13, 0x3D,
                      0x42, 0x40, 0xE8, 0x03, 0x32, 0x00, 0xE8, 0x03, 0x90, 0x01};

QStringList Rows(const QListWidget* list) {
  QStringList rows;
  for (int i = 0; i < list->count(); ++i)
    rows << list->item(i)->text();
  return rows;
}

QStringList Rows(const std::vector<std::string>& rows) {
  QStringList list;
  for (const std::string& row : rows)
    list << QString::fromStdString(row);
  return list;
}

TEST(UtilityPageLists, ShowTheDecodeOfEachReplyAndReadAsNamedLists) {
  RecordingSender sender;
  UtilityPage page(sender);
  UtilityPageWidget widget(page);
  page.AttachView(&widget.view());
  page.Create();
  page.PrepareHeaderRows();
  widget.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
  auto* decoded = qobject_cast<QListWidget*>(widget.view().widget(utility_ids::kDecodedList));
  auto* checks = qobject_cast<QListWidget*>(widget.view().widget(utility_ids::kChecksList));
  ASSERT_TRUE(decoded && checks);
  EXPECT_EQ(decoded->count(), 0);

  page.ShowInfoFrame(kHdr10.data(), kHdr10.size());
  EXPECT_EQ(Rows(decoded), Rows(DecodedRows(page.packet->decode)));
  EXPECT_TRUE(Rows(decoded).contains(
      "Mastering display maximum luminance (max_display_mastering_luminance): 1000 cd/m² (1000)"));
  EXPECT_EQ(Rows(checks), Rows(CheckRows(page.packet->decode)));

  // Each list reads by its caption, and each row as the text it shows.
  for (auto [list, caption] : {std::pair{decoded, "Decoded"}, std::pair{checks, "Checks"}}) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(list);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->text(QAccessible::Name), caption);
    EXPECT_EQ(a->role(), QAccessible::List);
    ASSERT_EQ(a->childCount(), list->count());
    EXPECT_EQ(a->child(0)->text(QAccessible::Name), list->item(0)->text());
    const auto labels = widget.findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [&](QLabel* l) {
      return l->text() == caption && l->buddy() == list;
    })) << caption;
  }
  QAccessibleInterface* row = QAccessible::queryAccessibleInterface(decoded)->child(1);
  EXPECT_EQ(row->text(QAccessible::Name), "Transfer function (EOTF): SMPTE ST 2084 (PQ) (2)");

  // The tenth entry asks for the mastering InfoFrame.
  auto* types = widget.findChild<QComboBox*>();
  ASSERT_EQ(types->count(), 10);
  EXPECT_EQ(types->itemText(9), "9-DRM_INF");
  types->setCurrentIndex(9);
  for (QPushButton* b : widget.findChildren<QPushButton*>())
    if (b->text() == "Read infoframe data") QTest::mouseClick(b, Qt::LeftButton);
  EXPECT_EQ(sender.sent, (std::vector<RecordingSender::Sent>{{0x8092, {0x87}}}));
  page.AttachView(nullptr);
}

}  // namespace
}  // namespace sc
