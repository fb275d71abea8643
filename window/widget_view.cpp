#include "window/widget_view.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStringDecoder>
#include <QTabBar>
#include <cmath>

#include "window/qt_host.h"

namespace sc {

QString FromCoreText(const std::string& text) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString decoded = utf8.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
  if (!utf8.hasError()) return decoded;
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToCoreText(const QString& text) {
  return text.toUtf8().toStdString();
}

namespace {

// A whole number as an edit box gives it: surrounding blanks allowed, anything else
// reads as 0.
int ParseInt(const QString& text) {
  bool ok = false;
  const int value = text.trimmed().toInt(&ok);
  return ok ? value : 0;
}

double ParseFloat(const QString& text) {
  bool ok = false;
  const double value = text.trimmed().toDouble(&ok);
  return ok && std::isfinite(value) ? value : 0.0;
}

// Text with line breaks back in the core's CR LF form.
std::string MultiLineToCore(QString text) {
  text.replace(QLatin1String("\n"), QLatin1String("\r\n"));
  return ToCoreText(text);
}

void SetShownText(QWidget* w, const QString& text) {
  if (auto* label = qobject_cast<QLabel*>(w))
    label->setText(text);
  else if (auto* edit = qobject_cast<QLineEdit*>(w))
    edit->setText(text);
  else if (auto* plain = qobject_cast<QPlainTextEdit*>(w))
    plain->setPlainText(text);
}

// The widget of `id` if it shows single values as text (label or edit box).
bool ShowsValueText(QWidget* w) {
  return qobject_cast<QLabel*>(w) || qobject_cast<QLineEdit*>(w) ||
         qobject_cast<QPlainTextEdit*>(w);
}

QString ValueText(QWidget* w) {
  if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
  if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text();
  if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) return plain->toPlainText();
  return {};
}

}  // namespace

void WidgetView::Bind(int id, QWidget* widget) {
  widgets_[id] = widget;
  textDisplays_.erase(id);
  // The core's texts are plain text, never markup.
  if (auto* label = qobject_cast<QLabel*>(widget)) label->setTextFormat(Qt::PlainText);
}

void WidgetView::BindRadioGroup(int firstId, const std::vector<QAbstractButton*>& buttons) {
  auto& group = radioGroups_[firstId];
  group.clear();
  for (size_t i = 0; i < buttons.size(); ++i) {
    group.emplace_back(buttons[i]);
    widgets_[firstId + static_cast<int>(i)] = buttons[i];
  }
}

void WidgetView::BindIcon(int id, QWidget* widget, std::map<int, Picture> pictures) {
  widgets_[id] = widget;
  pictures_[id] = std::move(pictures);
}

void WidgetView::BindTextDisplay(int id, QWidget* widget, TextShower show) {
  widgets_[id] = widget;
  textDisplays_[id] = std::move(show);
}

QWidget* WidgetView::widget(int id) const {
  auto it = widgets_.find(id);
  return it == widgets_.end() ? nullptr : it->second.data();
}

void WidgetView::SetText(int id, const std::string& text) {
  if (auto display = textDisplays_.find(id); display != textDisplays_.end()) {
    MemoryView::SetText(id, text);
    if (display->second) display->second(text);
    return;
  }
  QWidget* w = widget(id);
  if (auto* label = qobject_cast<QLabel*>(w)) {
    labelTexts_[id] = text;
    label->setText(DisplayText(text));
  } else if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) {
    plain->setPlainText(DisplayText(text));
  } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    labelTexts_[id] = text;
    edit->setText(FromCoreText(text));
  } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    button->setText(FromCoreText(text));
  } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
    group->setTitle(FromCoreText(text));
  } else if (auto* combo = qobject_cast<QComboBox*>(w); combo && combo->isEditable()) {
    combo->setEditText(FromCoreText(text));
  } else {
    MemoryView::SetText(id, text);
  }
}

std::string WidgetView::GetText(int id) const {
  if (textDisplays_.count(id) != 0) return MemoryView::GetText(id);
  QWidget* w = widget(id);
  if (auto* label = qobject_cast<QLabel*>(w)) {
    // A label shows CRs as breaks; give back what the core set while it still shows it.
    auto it = labelTexts_.find(id);
    if (it != labelTexts_.end() && label->text() == DisplayText(it->second)) return it->second;
    return ToCoreText(label->text());
  }
  if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) return MultiLineToCore(plain->toPlainText());
  if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    // Untouched, a box gives back the core's bytes even when they were not UTF-8 (a
    // Latin-1 name from an older settings file), so saving it again changes nothing.
    auto it = labelTexts_.find(id);
    if (it != labelTexts_.end() && edit->text() == FromCoreText(it->second)) return it->second;
    return ToCoreText(edit->text());
  }
  if (auto* button = qobject_cast<QAbstractButton*>(w)) return ToCoreText(button->text());
  if (auto* group = qobject_cast<QGroupBox*>(w)) return ToCoreText(group->title());
  if (auto* combo = qobject_cast<QComboBox*>(w)) return ToCoreText(combo->currentText());
  return MemoryView::GetText(id);
}

void WidgetView::SetInt(int id, int value) {
  QWidget* w = widget(id);
  if (auto* spin = qobject_cast<QSpinBox*>(w)) {
    spin->setValue(value);
  } else if (auto* bar = qobject_cast<QProgressBar*>(w)) {
    bar->setValue(value);
  } else if (ShowsValueText(w)) {
    labelTexts_.erase(id);
    SetShownText(w, QString::number(value));
  } else {
    MemoryView::SetInt(id, value);
  }
}

int WidgetView::GetInt(int id) const {
  QWidget* w = widget(id);
  if (auto* spin = qobject_cast<QSpinBox*>(w)) return spin->value();
  if (auto* bar = qobject_cast<QProgressBar*>(w)) return bar->value();
  if (ShowsValueText(w)) return ParseInt(ValueText(w));
  return MemoryView::GetInt(id);
}

void WidgetView::SetFloat(int id, double value) {
  QWidget* w = widget(id);
  if (auto* bar = qobject_cast<QProgressBar*>(w)) {
    bar->setValue(static_cast<int>(std::lround(std::isfinite(value) ? value : 0.0)));
  } else if (ShowsValueText(w)) {
    labelTexts_.erase(id);
    SetShownText(w, QString::fromStdString(FormatFloat(value)));
  } else {
    MemoryView::SetFloat(id, value);
  }
}

double WidgetView::GetFloat(int id) const {
  QWidget* w = widget(id);
  if (auto* bar = qobject_cast<QProgressBar*>(w)) return bar->value();
  if (ShowsValueText(w)) return ParseFloat(ValueText(w));
  return MemoryView::GetFloat(id);
}

void WidgetView::SetRadio(int firstId, int index) {
  auto it = radioGroups_.find(firstId);
  if (it == radioGroups_.end()) return MemoryView::SetRadio(firstId, index);
  for (size_t i = 0; i < it->second.size(); ++i) {
    QAbstractButton* button = it->second[i];
    if (!button) continue;
    const QSignalBlocker blocker(button);
    // Exclusive buttons cannot all be cleared; "none checked" is a state of the group.
    const bool exclusive = button->autoExclusive();
    button->setAutoExclusive(false);
    button->setChecked(static_cast<int>(i) == index);
    button->setAutoExclusive(exclusive);
  }
}

int WidgetView::GetRadio(int firstId) const {
  auto it = radioGroups_.find(firstId);
  if (it == radioGroups_.end()) return MemoryView::GetRadio(firstId);
  for (size_t i = 0; i < it->second.size(); ++i)
    if (it->second[i] && it->second[i]->isChecked()) return static_cast<int>(i);
  return -1;
}

void WidgetView::SetVisible(int id, bool visible) {
  if (QWidget* w = widget(id))
    w->setVisible(visible);
  else
    MemoryView::SetVisible(id, visible);
}

void WidgetView::SetEnabled(int id, bool enabled) {
  if (QWidget* w = widget(id))
    w->setEnabled(enabled);
  else
    MemoryView::SetEnabled(id, enabled);
}

void WidgetView::SetIcon(int id, int iconId) {
  MemoryView::SetIcon(id, iconId);
  QWidget* w = widget(id);
  auto pictures = pictures_.find(id);
  if (!w || pictures == pictures_.end()) return;
  auto picture = pictures->second.find(iconId);
  if (picture == pictures->second.end()) return;  // an icon this control has no picture of
  if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    button->setIcon(picture->second.icon);
  } else if (auto* label = qobject_cast<QLabel*>(w)) {
    const int size = label->style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, label);
    label->setPixmap(picture->second.icon.pixmap(size, size));
  } else if (w->isWindow()) {
    w->setWindowIcon(picture->second.icon);  // title bar, task bar and minimised window
  }
  w->setProperty(kIconIdProperty, iconId);
  if (!picture->second.description.isEmpty()) {
    w->setToolTip(picture->second.description);
    w->setAccessibleDescription(picture->second.description);
  }
}

void WidgetView::Repaint(int id) {
  MemoryView::Repaint(id);
  if (QWidget* w = widget(id)) w->update();
}

void WidgetView::SetDimmed(int id, bool dimmed) {
  MemoryView::SetDimmed(id, dimmed);
  QWidget* w = widget(id);
  if (!w) return;
  if (!dimmed) {
    // An empty palette resolves nothing: the widget takes its parent's again.
    w->setPalette(QPalette());
    return;
  }
  QPalette palette = w->palette();
  for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
      palette.setColor(group, role, palette.color(QPalette::Disabled, role));
  w->setPalette(palette);
}

void WidgetView::SetItems(int id, const std::vector<std::string>& items) {
  QWidget* w = widget(id);
  QStringList texts;
  for (const auto& item : items)
    texts << FromCoreText(item);
  if (auto* combo = qobject_cast<QComboBox*>(w)) {
    const QSignalBlocker blocker(combo);
    combo->clear();
    combo->addItems(texts);
  } else if (auto* list = qobject_cast<QListWidget*>(w)) {
    const QSignalBlocker blocker(list);
    list->clear();
    list->addItems(texts);
  } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
    const QSignalBlocker blocker(tabs);
    while (tabs->count() > 0)
      tabs->removeTab(tabs->count() - 1);
    for (const QString& text : texts)
      tabs->addTab(text);
  } else {
    MemoryView::SetItems(id, items);
  }
}

void WidgetView::SetItem(int id, int index, const std::string& text) {
  if (index < 0) return;
  QWidget* w = widget(id);
  const QString shown = FromCoreText(text);
  if (auto* combo = qobject_cast<QComboBox*>(w)) {
    const QSignalBlocker blocker(combo);
    while (combo->count() <= index)
      combo->addItem(QString());
    combo->setItemText(index, shown);
  } else if (auto* list = qobject_cast<QListWidget*>(w)) {
    const QSignalBlocker blocker(list);
    while (list->count() <= index)
      list->addItem(QString());
    list->item(index)->setText(shown);
  } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
    const QSignalBlocker blocker(tabs);
    while (tabs->count() <= index)
      tabs->addTab(QString());
    tabs->setTabText(index, shown);
  } else {
    MemoryView::SetItem(id, index, text);
  }
}

void WidgetView::SetItemTip(int id, int index, const std::string& tip) {
  QWidget* w = widget(id);
  const QString shown = FromCoreText(tip);
  if (auto* combo = qobject_cast<QComboBox*>(w)) {
    if (index >= 0 && index < combo->count())
      combo->setItemData(index, shown.isEmpty() ? QVariant() : QVariant(shown), Qt::ToolTipRole);
  } else if (auto* list = qobject_cast<QListWidget*>(w)) {
    if (index >= 0 && index < list->count()) list->item(index)->setToolTip(shown);
  } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
    if (index >= 0 && index < tabs->count()) tabs->setTabToolTip(index, shown);
  } else {
    MemoryView::SetItemTip(id, index, tip);
  }
}

void WidgetView::SetSelection(int id, int index) {
  QWidget* w = widget(id);
  if (auto* combo = qobject_cast<QComboBox*>(w)) {
    const QSignalBlocker blocker(combo);
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
  } else if (auto* list = qobject_cast<QListWidget*>(w)) {
    const QSignalBlocker blocker(list);
    list->setCurrentRow(index >= 0 && index < list->count() ? index : -1);
  } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
    // A tab bar always has a current tab; an index outside it changes nothing.
    const QSignalBlocker blocker(tabs);
    if (index >= 0 && index < tabs->count()) tabs->setCurrentIndex(index);
  } else {
    MemoryView::SetSelection(id, index);
  }
}

int WidgetView::GetSelection(int id) const {
  QWidget* w = widget(id);
  if (auto* combo = qobject_cast<QComboBox*>(w)) {
    const int index = combo->currentIndex();
    // Typed text that is not the current item's leaves no item selected.
    if (combo->isEditable() && index >= 0 && combo->currentText() != combo->itemText(index))
      return -1;
    return index;
  }
  if (auto* list = qobject_cast<QListWidget*>(w)) return list->currentRow();
  if (auto* tabs = qobject_cast<QTabBar*>(w)) return tabs->currentIndex();
  return MemoryView::GetSelection(id);
}

}  // namespace sc
