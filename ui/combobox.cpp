#include "ui/combobox.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>

namespace {

// What a screen reader sees of a TComboBox: a combo box named by its caption, whose value is
// the entry chosen, whose one child is the list of entries, and which opens that list on
// request.
class ComboAccessible : public QAccessibleWidget {
 public:
  explicit ComboAccessible(QWidget* widget) : QAccessibleWidget(widget, QAccessible::ComboBox) {}

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value) return Combo()->currentText();
    if (t == QAccessible::Name && Combo()->accessibleName().isEmpty()) {
      for (const auto& [label, relation] : relations(QAccessible::Label)) {
        if (auto* caption = qobject_cast<const QLabel*>(label->object()))
          return QString(caption->text()).remove('&');
      }
    }
    return QAccessibleWidget::text(t);
  }

  int childCount() const override { return 1; }
  QAccessibleInterface* child(int index) const override {
    return index == 0 ? QAccessible::queryAccessibleInterface(Combo()->view()) : nullptr;
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    return child && child->object() == Combo()->view() ? 0 : -1;
  }

  QStringList actionNames() const override { return QStringList{showMenuAction()} + QAccessibleWidget::actionNames(); }
  void doAction(const QString& action) override {
    if (action == showMenuAction())
      Combo()->showPopup();
    else
      QAccessibleWidget::doAction(action);
  }

 private:
  QComboBox* Combo() const { return static_cast<QComboBox*>(widget()); }
};

QAccessibleInterface* ComboFactory(const QString& className, QObject* object) {
  if (className == QLatin1String("TComboBox") && object && object->isWidgetType())
    return new ComboAccessible(static_cast<QWidget*>(object));
  return nullptr;
}

}  // namespace

TComboBox::TComboBox(QWidget* parent) : QComboBox(parent) {
  static const bool installed = (QAccessible::installFactory(ComboFactory), true);
  (void)installed;
}
