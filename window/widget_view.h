#pragma once
// The View of a Qt window: control ids bound to widgets. Values go to and come from the
// bound widget (labels, edit boxes, lists, tab bars, radio groups, icon buttons); an id
// without a widget keeps its state in memory like a MemoryView, so a core window may
// exchange a control that this window does not show (yet) without losing its value.
// Setting a value never reports a change back: only the user's actions are forwarded
// to the core, as the window connects them.

#include <QIcon>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "window/view.h"

class QAbstractButton;

namespace sc {

// The core's byte strings as Qt text: UTF-8, or Latin-1 when the bytes are not UTF-8
// (names typed into an older settings file). Back to the core as UTF-8.
QString FromCoreText(const std::string& text);
std::string ToCoreText(const QString& text);

class WidgetView : public MemoryView {
 public:
  // A picture an icon control can show, with a short text for assistive technology and
  // the tooltip ("Link is up").
  struct Picture {
    QIcon icon;
    QString description;
  };

  // Binds `id` to a widget: QLabel, QLineEdit, QPlainTextEdit, QComboBox, QListWidget,
  // QTabBar, QSpinBox, QProgressBar, a button, a group box, or any widget (a page) whose
  // visibility and enabled state the core sets.
  void Bind(int id, QWidget* widget);
  // Radio buttons with ids firstId, firstId + 1, ...: one group, named by firstId.
  void BindRadioGroup(int firstId, const std::vector<QAbstractButton*>& buttons);
  // An icon control (a button or a label) and the pictures it shows, by icon id.
  void BindIcon(int id, QWidget* widget, std::map<int, Picture> pictures);
  // A control that shows the core's text its own way (a hex dump broken into rows, names
  // with control bytes made visible): `show` gets each text the core sets, and the core
  // reads back exactly what it set.
  using TextShower = std::function<void(const std::string& text)>;
  void BindTextDisplay(int id, QWidget* widget, TextShower show);

  QWidget* widget(int id) const;

  void SetText(int id, const std::string& text) override;
  std::string GetText(int id) const override;
  void SetInt(int id, int value) override;
  int GetInt(int id) const override;
  void SetFloat(int id, double value) override;
  double GetFloat(int id) const override;
  void SetRadio(int firstId, int index) override;
  int GetRadio(int firstId) const override;

  void SetVisible(int id, bool visible) override;
  void SetEnabled(int id, bool enabled) override;
  void SetIcon(int id, int iconId) override;
  void Repaint(int id) override;
  // Greys the texts of the widget and its children (their palette's text colours become
  // the disabled ones); they stay enabled, selectable and copyable.
  void SetDimmed(int id, bool dimmed) override;

  void SetItems(int id, const std::vector<std::string>& items) override;
  void SetItem(int id, int index, const std::string& text) override;
  void SetItemTip(int id, int index, const std::string& tip) override;
  void SetSelection(int id, int index) override;
  int GetSelection(int id) const override;

  // The property on an icon control that names the icon id it shows.
  static constexpr const char* kIconIdProperty = "scIconId";

 private:
  std::map<int, QPointer<QWidget>> widgets_;
  std::map<int, std::vector<QPointer<QAbstractButton>>> radioGroups_;
  std::map<int, std::map<int, Picture>> pictures_;
  std::map<int, TextShower> textDisplays_;
  // What the core last set on a label or an edit box, which may show it otherwise: CRs as
  // breaks, bytes that are not UTF-8 as Latin-1 characters.
  std::map<int, std::string> labelTexts_;
};

}  // namespace sc
