#include "AccessibleChoiceRow.h"

#include <QPointer>
#include <QWidget>

namespace {

// One choice of a row: it lives as long as the row's interface, which
// deletes it, and reads everything from the row when asked.
class AccessibleChoice : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    AccessibleChoice(AccessibleChoiceRow* row, int index)
        : m_row(row)
        , m_widget(row->rowWidget())
        , m_index(index) {}

    bool isValid() const override { return m_widget && m_index < m_row->choiceCount(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_row->window(); }
    QAccessibleInterface* parent() const override { return m_row; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* focusChild() const override { return nullptr; }

    QString text(QAccessible::Text t) const override {
        return isValid() && t == QAccessible::Name ? m_row->choiceName(m_index) : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QAccessible::Role role() const override { return m_row->choiceRole(); }

    QAccessible::State state() const override {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        const bool chosen = m_row->isChosen(m_index);
        state.focusable = true;
        state.focused = chosen && m_widget->hasFocus();
        state.invisible = !m_widget->isVisible();
        state.disabled = !m_widget->isEnabled();
        if (role() == QAccessible::RadioButton) {
            state.checkable = true;
            state.checked = chosen;
        } else {
            state.selectable = true;
            state.selected = chosen;
        }
        return state;
    }

    QRect rect() const override {
        if (!isValid()) {
            return {};
        }
        const QRect local = m_row->choiceRect(m_index);
        return QRect(m_widget->mapToGlobal(local.topLeft()), local.size());
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& action) override {
        if (isValid() && action == pressAction()) {
            m_row->choose(m_index);
        }
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    AccessibleChoiceRow* m_row;
    QPointer<QWidget> m_widget;
    int m_index;
};

} // namespace

AccessibleChoiceRow::AccessibleChoiceRow(QWidget* widget, QAccessible::Role rowRole,
                                         QAccessible::Role choiceRole)
    : QAccessibleWidget(widget, rowRole)
    , m_choiceRole(choiceRole) {}

AccessibleChoiceRow::~AccessibleChoiceRow() {
    for (QAccessible::Id id : std::as_const(m_children)) {
        QAccessible::deleteAccessibleInterface(id);
    }
}

int AccessibleChoiceRow::childCount() const {
    return choiceCount();
}

QAccessibleInterface* AccessibleChoiceRow::child(int index) const {
    if (index < 0 || index >= choiceCount()) {
        return nullptr;
    }
    if (QAccessibleInterface* known = QAccessible::accessibleInterface(m_children.value(index))) {
        return known;
    }
    auto* choice = new AccessibleChoice(const_cast<AccessibleChoiceRow*>(this), index);
    m_children.insert(index, QAccessible::registerAccessibleInterface(choice));
    return choice;
}

int AccessibleChoiceRow::indexOfChild(const QAccessibleInterface* child) const {
    for (auto it = m_children.cbegin(); it != m_children.cend(); ++it) {
        if (QAccessible::accessibleInterface(it.value()) == child) {
            return it.key();
        }
    }
    return -1;
}

QAccessibleInterface* AccessibleChoiceRow::childAt(int x, int y) const {
    const QPoint local = widget()->mapFromGlobal(QPoint(x, y));
    for (int i = 0; i < choiceCount(); ++i) {
        if (choiceRect(i).contains(local)) {
            return child(i);
        }
    }
    return nullptr;
}

QAccessibleInterface* AccessibleChoiceRow::focusChild() const {
    if (!widget()->hasFocus()) {
        return nullptr;
    }
    for (int i = 0; i < choiceCount(); ++i) {
        if (isChosen(i)) {
            return child(i);
        }
    }
    return nullptr;
}

void AccessibleChoiceRow::notifyChosen(QWidget* widget, int index) {
    QAccessible::State changed;
    changed.checked = true;
    changed.selected = true;
    QAccessibleStateChangeEvent state(widget, changed);
    state.setChild(index);
    QAccessible::updateAccessibility(&state);
    if (widget->hasFocus()) {
        notifyFocus(widget, index);
    }
}

void AccessibleChoiceRow::notifyFocus(QWidget* widget, int index) {
    QAccessibleEvent focus(widget, QAccessible::Focus);
    focus.setChild(index);
    QAccessible::updateAccessibility(&focus);
}
