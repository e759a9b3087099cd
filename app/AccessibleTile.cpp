#include "AccessibleTile.h"

#include "BoxView.h"

#include <QKeySequence>

AccessibleTile::AccessibleTile(BoxView* box)
    : AccessibleSelectiveView(box, QAccessible::CheckBox) {}

BoxView* AccessibleTile::box() const {
    return static_cast<BoxView*>(widget());
}

QList<QWidget*> AccessibleTile::accessibleChildren() const {
    return box()->accessibleChildren();
}

QString AccessibleTile::text(QAccessible::Text t) const {
    switch (t) {
    case QAccessible::Name:
        return box()->accessibleName().isEmpty() ? box()->accessibleReading()
                                                 : box()->accessibleName();
    case QAccessible::Description:
        return box()->clickDescription();
    default:
        return AccessibleSelectiveView::text(t);
    }
}

QAccessible::State AccessibleTile::state() const {
    QAccessible::State state = AccessibleSelectiveView::state();
    state.checkable = true;
    state.checked = box()->isSelected();
    // Every tile of a panel is reached with the arrow keys, though only one
    // of them stands in the tab chain.
    state.focusable = true;
    return state;
}

QStringList AccessibleTile::actionNames() const {
    QStringList names{toggleAction()};
    if (box()->hasChooser()) {
        names.append(showMenuAction());
    }
    names.append(setFocusAction());
    return names;
}

void AccessibleTile::doAction(const QString& action) {
    if (action == toggleAction()) {
        box()->performClick();
    } else if (action == showMenuAction()) {
        box()->openChooser();
    } else {
        AccessibleSelectiveView::doAction(action);
    }
}

QStringList AccessibleTile::keyBindingsForAction(const QString& action) const {
    if (action == toggleAction()) {
        return {QKeySequence(Qt::Key_Space).toString()};
    }
    if (action == showMenuAction()) {
        return {QKeySequence(Qt::Key_Menu).toString()};
    }
    return AccessibleSelectiveView::keyBindingsForAction(action);
}
