// SPDX-License-Identifier: GPL-3.0-or-later

#include "window/list_accessibility.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>

namespace {

// A drop-down list that a reader announces by its name ("Type"), with the chosen item as the
// value and the popup list as its one child, which it opens as its action.
class NamedListAccessible final : public QAccessibleWidget
{
public:
    explicit NamedListAccessible(QComboBox *list) : QAccessibleWidget(list, QAccessible::ComboBox) {}

    QString text(QAccessible::Text kind) const override
    {
        return kind == QAccessible::Value ? list()->currentText() : QAccessibleWidget::text(kind);
    }

    int childCount() const override { return 1; }
    QAccessibleInterface *child(int index) const override
    {
        return index == 0 ? QAccessible::queryAccessibleInterface(list()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child && child->object() == list()->view() ? 0 : -1;
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.expandable = true;
        state.expanded = list()->view()->isVisible();
        return state;
    }

    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    void doAction(const QString &action) override
    {
        if (action == showMenuAction() || action == pressAction())
            list()->showPopup();
    }

private:
    QComboBox *list() const { return static_cast<QComboBox *>(widget()); }
};

QAccessibleInterface *NamedListFactory(const QString &, QObject *object)
{
    auto *list = qobject_cast<QComboBox *>(object);
    if (!list || list->isEditable() || list->accessibleName().isEmpty())
        return nullptr; // Qt's own interface
    return new NamedListAccessible(list);
}

} // namespace

void InstallListAccessibility()
{
    [[maybe_unused]] static const bool installed = [] {
        QAccessible::installFactory(NamedListFactory);
        return true;
    }();
}
