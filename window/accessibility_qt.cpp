#include "window/accessibility_qt.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLineEdit>

namespace sc {

namespace {

class NamedListAccessible : public QAccessibleWidget {
 public:
  explicit NamedListAccessible(QComboBox* list) : QAccessibleWidget(list, QAccessible::ComboBox) {}

  QString text(QAccessible::Text type) const override {
    switch (type) {
      case QAccessible::Name:
        if (!list()->accessibleName().isEmpty()) return list()->accessibleName();
        return Value();
      case QAccessible::Value:
        return Value();
      default:
        return QAccessibleWidget::text(type);
    }
  }

  // The item list (shown when the list drops down) and, for an editable list, its edit.
  int childCount() const override { return list()->lineEdit() ? 2 : 1; }
  QAccessibleInterface* child(int index) const override {
    if (index == 0 && list()->view()) return QAccessible::queryAccessibleInterface(list()->view());
    if (index == 1 && list()->lineEdit())
      return QAccessible::queryAccessibleInterface(list()->lineEdit());
    return nullptr;
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    if (!child) return -1;
    if (child->object() == list()->view()) return 0;
    if (list()->lineEdit() && child->object() == list()->lineEdit()) return 1;
    return -1;
  }

  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    state.expandable = true;
    state.expanded = list()->view() && list()->view()->isVisible();
    state.editable = list()->isEditable();
    return state;
  }

  QStringList actionNames() const override {
    return {QAccessibleActionInterface::showMenuAction(),
            QAccessibleActionInterface::pressAction()};
  }
  void doAction(const QString& action) override {
    if (action == QAccessibleActionInterface::showMenuAction() ||
        action == QAccessibleActionInterface::pressAction())
      list()->showPopup();
  }
  QStringList keyBindingsForAction(const QString&) const override { return {}; }

 private:
  QComboBox* list() const { return static_cast<QComboBox*>(object()); }
  QString Value() const {
    return list()->lineEdit() ? list()->lineEdit()->text() : list()->currentText();
  }
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
  if (className != QLatin1String("QComboBox")) return nullptr;
  auto* list = qobject_cast<QComboBox*>(object);
  // Lists without a name of their own keep Qt's interface.
  if (!list || list->accessibleName().isEmpty()) return nullptr;
  return new NamedListAccessible(list);
}

}  // namespace

void InstallAccessibility() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  QAccessible::installFactory(Factory);
}

}  // namespace sc
