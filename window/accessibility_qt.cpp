#include "window/accessibility_qt.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QHash>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QWindow>

namespace sc {

namespace {

bool PopupOpen(const QComboBox* list) {
  return list && list->view() && list->view()->isVisible();
}

QWindow* WindowOf(const QComboBox* list) {
  if (!list) return nullptr;
  const QWidget* top = list->window();
  return top ? top->windowHandle() : nullptr;
}

class ListItemsAccessible;

// One item of a named list. Closed, the list's current item is the selected one, so a
// screen reader reads the list's value from it; open, the highlighted item is.
class ListItemAccessible : public QAccessibleInterface {
 public:
  ListItemAccessible(QComboBox* list, ListItemsAccessible* items, int row)
      : list_(list), items_(items), row_(row) {}

  bool isValid() const override { return list_ && row_ < list_->count(); }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override { return WindowOf(list_); }
  QAccessibleInterface* parent() const override;
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* focusChild() const override { return nullptr; }
  QAccessible::Role role() const override { return QAccessible::ListItem; }

  QString text(QAccessible::Text type) const override {
    if (!isValid()) return {};
    switch (type) {
      case QAccessible::Name:
        return list_->itemText(row_);
      case QAccessible::Description:
        return list_->itemData(row_, Qt::ToolTipRole).toString();
      default:
        return {};
    }
  }
  void setText(QAccessible::Text, const QString&) override {}

  QRect rect() const override {
    if (!isValid() || !PopupOpen(list_)) return {};
    QAbstractItemView* view = list_->view();
    const QRect r = view->visualRect(Index());
    return QRect(view->viewport()->mapToGlobal(r.topLeft()), r.size());
  }

  QAccessible::State state() const override {
    QAccessible::State s;
    if (!isValid()) {
      s.invalid = true;
      return s;
    }
    s.selectable = true;
    s.focusable = true;
    if (!(list_->model()->flags(Index()) & Qt::ItemIsEnabled)) s.disabled = true;
    if (PopupOpen(list_)) {
      QAbstractItemView* view = list_->view();
      s.selected = view->selectionModel() && view->selectionModel()->isSelected(Index());
      s.focused = view->hasFocus() && view->currentIndex() == Index();
    } else {
      s.invisible = true;
      s.offscreen = true;
      s.selected = row_ == list_->currentIndex();
    }
    return s;
  }

 private:
  QModelIndex Index() const {
    return list_->model()->index(row_, list_->modelColumn(), list_->rootModelIndex());
  }

  QPointer<QComboBox> list_;
  ListItemsAccessible* items_;
  int row_;
};

// The items of a named list, as the list's one child: shown while the list is open.
class ListItemsAccessible : public QAccessibleInterface {
 public:
  explicit ListItemsAccessible(QComboBox* list) : list_(list) {}
  ~ListItemsAccessible() override {
    for (QAccessible::Id id : std::as_const(itemIds_))
      QAccessible::deleteAccessibleInterface(id);
  }

  bool isValid() const override { return !list_.isNull(); }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override { return WindowOf(list_); }
  QAccessibleInterface* parent() const override {
    return list_ ? QAccessible::queryAccessibleInterface(list_.data()) : nullptr;
  }
  int childCount() const override { return list_ ? list_->count() : 0; }
  QAccessibleInterface* child(int index) const override {
    if (!list_ || index < 0 || index >= list_->count()) return nullptr;
    auto found = itemIds_.constFind(index);
    if (found != itemIds_.constEnd()) return QAccessible::accessibleInterface(*found);
    auto* item = new ListItemAccessible(list_, const_cast<ListItemsAccessible*>(this), index);
    itemIds_.insert(index, QAccessible::registerAccessibleInterface(item));
    return item;
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    for (auto it = itemIds_.constBegin(); it != itemIds_.constEnd(); ++it)
      if (QAccessible::accessibleInterface(it.value()) == child) return it.key();
    return -1;
  }
  QAccessibleInterface* childAt(int x, int y) const override {
    for (int i = 0; i < childCount(); ++i)
      if (QAccessibleInterface* item = child(i); item && item->rect().contains(x, y)) return item;
    return nullptr;
  }
  QAccessibleInterface* focusChild() const override { return nullptr; }
  QAccessible::Role role() const override { return QAccessible::List; }
  QString text(QAccessible::Text) const override { return {}; }
  void setText(QAccessible::Text, const QString&) override {}

  QRect rect() const override {
    if (!PopupOpen(list_)) return {};
    QAbstractItemView* view = list_->view();
    return QRect(view->mapToGlobal(QPoint(0, 0)), view->size());
  }
  QAccessible::State state() const override {
    QAccessible::State s;
    if (!PopupOpen(list_)) {
      s.invisible = true;
      s.offscreen = true;
    }
    s.multiSelectable = false;
    return s;
  }

 private:
  QPointer<QComboBox> list_;
  mutable QHash<int, QAccessible::Id> itemIds_;
};

QAccessibleInterface* ListItemAccessible::parent() const {
  return items_;
}

class NamedListAccessible : public QAccessibleWidget {
 public:
  explicit NamedListAccessible(QComboBox* list) : QAccessibleWidget(list, QAccessible::ComboBox) {}
  ~NamedListAccessible() override {
    if (itemsId_) QAccessible::deleteAccessibleInterface(itemsId_);
  }

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

  // The items (shown when the list drops down) and, for an editable list, its edit.
  int childCount() const override { return list()->lineEdit() ? 2 : 1; }
  QAccessibleInterface* child(int index) const override {
    if (index == 0) return Items();
    if (index == 1 && list()->lineEdit())
      return QAccessible::queryAccessibleInterface(list()->lineEdit());
    return nullptr;
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    if (!child) return -1;
    if (itemsId_ && child == QAccessible::accessibleInterface(itemsId_)) return 0;
    if (list()->lineEdit() && child->object() == list()->lineEdit()) return 1;
    return -1;
  }

  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    state.expandable = true;
    state.expanded = PopupOpen(list());
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
  QAccessibleInterface* Items() const {
    if (!itemsId_)
      itemsId_ = QAccessible::registerAccessibleInterface(new ListItemsAccessible(list()));
    return QAccessible::accessibleInterface(itemsId_);
  }

  mutable QAccessible::Id itemsId_ = 0;
};

constexpr const char* kValueTextProperty = "scValueText";
constexpr const char* kWindowProperty = "scWindow";
constexpr const char* kRoleProperty = "scAccessibleRole";

// A text showing a value beside its caption: its name is what it shows, also when that is
// nothing (Qt would name an empty label after the caption whose buddy it is, so a blank
// value would read as its caption).
class ValueTextAccessible : public QAccessibleWidget {
 public:
  explicit ValueTextAccessible(QLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}
  QString text(QAccessible::Text type) const override {
    if (type == QAccessible::Name) return static_cast<QLabel*>(object())->text();
    return QAccessibleWidget::text(type);
  }
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
  if (auto* widget = qobject_cast<QWidget*>(object);
      widget && widget->isWindow() && widget->property(kWindowProperty).toBool())
    return new QAccessibleWidget(widget, QAccessible::Window);
  if (auto* widget = qobject_cast<QWidget*>(object);
      widget && widget->property(kRoleProperty).isValid())
    return new QAccessibleWidget(
        widget, static_cast<QAccessible::Role>(widget->property(kRoleProperty).toInt()));
  if (auto* label = qobject_cast<QLabel*>(object)) {
    if (label->property(kValueTextProperty).toBool()) return new ValueTextAccessible(label);
    return nullptr;
  }
  auto* list = qobject_cast<QComboBox*>(object);
  // Lists without a name of their own keep Qt's interface.
  if (!list || list->accessibleName().isEmpty()) return nullptr;
  (void)className;
  return new NamedListAccessible(list);
}

}  // namespace

void MarkValueText(QLabel* label) {
  label->setProperty(kValueTextProperty, true);
}

void MarkWindow(QWidget* window) {
  window->setProperty(kWindowProperty, true);
}

void MarkPicture(QWidget* widget) {
  widget->setProperty(kRoleProperty, static_cast<int>(QAccessible::Graphic));
}

void MarkChart(QWidget* widget) {
  widget->setProperty(kRoleProperty, static_cast<int>(QAccessible::Chart));
}

void InstallAccessibility() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  QAccessible::installFactory(Factory);
}

}  // namespace sc
