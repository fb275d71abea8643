// The widget view: what the core sets shows in the widgets, what the user changes comes
// back, and setting never reports a change as if the user had made it.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QToolButton>
#include <QWidget>

#include "window/widget_view.h"

namespace sc {
namespace {

class WidgetViewTest : public ::testing::Test {
 protected:
  QWidget window;
  WidgetView view;
};

TEST_F(WidgetViewTest, TextsShowLineBreaksAndComeBackAsTheCoreSetThem) {
  auto* label = new QLabel(&window);
  auto* edit = new QPlainTextEdit(&window);
  view.Bind(1, label);
  view.Bind(2, edit);

  struct Case {
    std::string core, shown, fromEdit;
  };
  const Case cases[] = {
      {"1920x1080(60)", "1920x1080(60)", "1920x1080(60)"},
      {"a\r\nb", "a\nb", "a\r\nb"},
      {"a\rb\r", "a\nb\n", "a\r\nb\r\n"},  // lone CRs
      {"<b>x</b> & y", "<b>x</b> & y", "<b>x</b> & y"},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    view.SetText(1, c.core);
    view.SetText(2, c.core);
    EXPECT_EQ(label->text().toStdString(), c.shown) << c.core;
    EXPECT_EQ(edit->toPlainText().toStdString(), c.shown) << c.core;
    // A label gives back exactly what the core set, bare CRs included.
    EXPECT_EQ(view.GetText(1), c.core);
    EXPECT_EQ(view.GetText(2), c.fromEdit);
  }
  // Markup is never interpreted.
  view.SetText(1, "<b>x</b>");
  EXPECT_EQ(label->textFormat(), Qt::PlainText);
}

TEST_F(WidgetViewTest, NumbersShowInPlainFormAndParseBack) {
  auto* box = new QLineEdit(&window);
  box->setReadOnly(true);
  view.Bind(7, box);

  view.SetInt(7, -42);
  EXPECT_EQ(box->text(), "-42");
  EXPECT_EQ(view.GetInt(7), -42);

  view.SetFloat(7, 59.94);
  EXPECT_EQ(box->text(), "59.94");
  EXPECT_DOUBLE_EQ(view.GetFloat(7), 59.94);

  struct ParseCase {
    const char* text;
    int asInt;
    double asFloat;
  };
  for (const ParseCase& c :
       {ParseCase{" 17 ", 17, 17}, ParseCase{"abc", 0, 0}, ParseCase{"12abc", 0, 0},
        ParseCase{"", 0, 0}, ParseCase{"2.5", 0, 2.5}, ParseCase{"nan", 0, 0}}) {
    box->setText(c.text);
    EXPECT_EQ(view.GetInt(7), c.asInt) << c.text;
    EXPECT_DOUBLE_EQ(view.GetFloat(7), c.asFloat) << c.text;
  }
}

TEST_F(WidgetViewTest, RadioGroupCanShowNoneCheckedAndFollowsTheUser) {
  auto* on = new QRadioButton("ON", &window);
  auto* off = new QRadioButton("OFF", &window);
  view.BindRadioGroup(1119, {on, off});
  window.show();
  QSignalSpy clicks(on, &QRadioButton::clicked);

  view.SetRadio(1119, 1);
  EXPECT_TRUE(off->isChecked());
  view.SetRadio(1119, -1);
  EXPECT_FALSE(on->isChecked());
  EXPECT_FALSE(off->isChecked());
  EXPECT_EQ(view.GetRadio(1119), -1);
  EXPECT_TRUE(on->autoExclusive());

  QTest::mouseClick(on, Qt::LeftButton);
  EXPECT_EQ(view.GetRadio(1119), 0);
  QTest::mouseClick(off, Qt::LeftButton);
  EXPECT_EQ(view.GetRadio(1119), 1);
  EXPECT_FALSE(on->isChecked());
  EXPECT_EQ(clicks.count(), 1);  // only the user's click

  // Each button is also a control of its own.
  view.SetEnabled(1120, false);
  EXPECT_FALSE(off->isEnabled());
  EXPECT_TRUE(on->isEnabled());
}

TEST_F(WidgetViewTest, ListsTakeItemsTipsAndSelectionsWithoutReportingThem) {
  auto* combo = new QComboBox(&window);
  view.Bind(1106, combo);
  QSignalSpy activated(combo, &QComboBox::activated);
  QSignalSpy changed(combo, &QComboBox::currentIndexChanged);

  view.SetItems(1106, {"COM1", "COM2", "COM3"});
  view.SetItemTip(1106, 1, "/dev/ttyUSB0");
  view.SetItemTip(1106, 7, "out of range");
  view.SetSelection(1106, 2);
  EXPECT_EQ(combo->count(), 3);
  EXPECT_EQ(combo->itemData(1, Qt::ToolTipRole).toString(), "/dev/ttyUSB0");
  EXPECT_FALSE(combo->itemData(0, Qt::ToolTipRole).isValid());
  EXPECT_EQ(combo->currentText(), "COM3");
  EXPECT_EQ(view.GetSelection(1106), 2);

  view.SetItem(1106, 4, "COM5");  // past the end: the gap fills with empty items
  EXPECT_EQ(combo->count(), 5);
  EXPECT_EQ(combo->itemText(4), "COM5");
  EXPECT_EQ(combo->itemText(3), "");
  view.SetSelection(1106, -1);
  EXPECT_EQ(view.GetSelection(1106), -1);
  view.SetSelection(1106, 99);
  EXPECT_EQ(view.GetSelection(1106), -1);
  EXPECT_EQ(activated.count(), 0);
  EXPECT_EQ(changed.count(), 0);
}

TEST_F(WidgetViewTest, EditableListWithTypedTextHasNoSelection) {
  auto* combo = new QComboBox(&window);
  combo->setEditable(true);
  view.Bind(1132, combo);
  view.SetItems(1132, {"4-VS_INF", "5-AVI_INF"});
  view.SetSelection(1132, 1);
  EXPECT_EQ(view.GetSelection(1132), 1);
  combo->setEditText("junk");
  EXPECT_EQ(view.GetSelection(1132), -1);
  EXPECT_EQ(view.GetText(1132), "junk");
}

TEST_F(WidgetViewTest, TabBarSelectionIsSetQuietlyAndAlwaysValid) {
  auto* tabs = new QTabBar(&window);
  view.Bind(1000, tabs);
  QSignalSpy changed(tabs, &QTabBar::currentChanged);
  view.SetItems(1000, {"Timing", "Ultilities", "Monitor", "EDID"});
  view.SetSelection(1000, 3);
  view.SetSelection(1000, 7);
  view.SetSelection(1000, -1);
  EXPECT_EQ(tabs->count(), 4);
  EXPECT_EQ(tabs->tabText(1), "Ultilities");
  EXPECT_EQ(view.GetSelection(1000), 3);
  EXPECT_EQ(changed.count(), 0);
  view.SetItems(1000, {"A", "B"});  // rebuilding replaces the tabs
  EXPECT_EQ(tabs->count(), 2);
  EXPECT_EQ(changed.count(), 0);
}

TEST_F(WidgetViewTest, IconIdsPickEachControlsOwnPicture) {
  auto* link = new QToolButton(&window);
  auto* lamp = new QToolButton(&window);
  const QIcon down = QIcon(QPixmap(8, 8)), up = QIcon(QPixmap(9, 9));
  const QIcon unlit = QIcon(QPixmap(10, 10)), lit = QIcon(QPixmap(11, 11));
  view.BindIcon(1007, link, {{133, {down, "Link is down"}}, {134, {up, "Link is up"}}});
  view.BindIcon(1017, lamp, {{133, {unlit, "Unlit"}}, {182, {lit, "Lit"}}});

  view.SetIcon(1007, 133);
  view.SetIcon(1017, 133);
  // The same id means a different picture on each control.
  EXPECT_EQ(link->icon().cacheKey(), down.cacheKey());
  EXPECT_EQ(lamp->icon().cacheKey(), unlit.cacheKey());
  EXPECT_EQ(link->accessibleDescription(), "Link is down");
  EXPECT_EQ(lamp->property(WidgetView::kIconIdProperty).toInt(), 133);

  view.SetIcon(1007, 134);
  view.SetIcon(1017, 182);
  EXPECT_EQ(link->icon().cacheKey(), up.cacheKey());
  EXPECT_EQ(lamp->icon().cacheKey(), lit.cacheKey());
  EXPECT_EQ(link->toolTip(), "Link is up");
  EXPECT_EQ(view.Icon(1007), 134);

  view.SetIcon(1017, 999);  // no such picture: the lamp keeps its own
  EXPECT_EQ(lamp->icon().cacheKey(), lit.cacheKey());
  EXPECT_EQ(lamp->property(WidgetView::kIconIdProperty).toInt(), 182);
}

TEST_F(WidgetViewTest, ControlsWithoutAWidgetKeepTheirStateInMemory) {
  // A core window may exchange controls its Qt page does not have yet; a push then a
  // pull must not lose their values.
  view.SetText(5000, "kept");
  view.SetInt(5001, 77);
  view.SetFloat(5002, 148.5);
  view.SetRadio(5003, 1);
  view.SetItems(5004, {"a", "b"});
  view.SetSelection(5004, 1);
  view.SetVisible(5005, false);
  EXPECT_EQ(view.GetText(5000), "kept");
  EXPECT_EQ(view.GetInt(5001), 77);
  EXPECT_DOUBLE_EQ(view.GetFloat(5002), 148.5);
  EXPECT_EQ(view.GetRadio(5003), 1);
  EXPECT_EQ(view.GetSelection(5004), 1);
  EXPECT_EQ(view.Items(5004).size(), 2u);
  EXPECT_FALSE(view.Visible(5005));
}

TEST_F(WidgetViewTest, WidgetsDestroyedBeforeTheViewAreForgotten) {
  auto* label = new QLabel(&window);
  view.Bind(1, label);
  delete label;
  view.SetText(1, "after");  // no crash; kept in memory
  EXPECT_EQ(view.GetText(1), "after");
}

TEST(CoreTextTest, Utf8OrLatin1) {
  EXPECT_EQ(FromCoreText("Caf\xc3\xa9"), QString::fromUtf8("Caf\xc3\xa9"));
  // Not UTF-8: read as Latin-1 instead of showing replacement characters.
  EXPECT_EQ(FromCoreText("Caf\xe9"), QString::fromLatin1("Caf\xe9"));
  EXPECT_EQ(ToCoreText(QString::fromUtf8("Caf\xc3\xa9")), "Caf\xc3\xa9");
}

TEST_F(WidgetViewTest, AnUntouchedEditBoxGivesBackTheCoresBytes) {
  auto* box = new QLineEdit(&window);
  view.Bind(1, box);
  view.SetText(1, "Caf\xe9");  // Latin-1, from an older file
  EXPECT_EQ(view.GetText(1), "Caf\xe9");
  box->setText(box->text() + QLatin1Char('s'));  // typed: UTF-8 from here on
  EXPECT_EQ(view.GetText(1), "Caf\xc3\xa9s");
  view.SetInt(1, 7);
  EXPECT_EQ(view.GetText(1), "7");
}

}  // namespace
}  // namespace sc
