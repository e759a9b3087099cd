#include "AccessibleSelectiveView.h"

#include <QWidget>

AccessibleSelectiveView::AccessibleSelectiveView(QWidget* view, QAccessible::Role role)
    : QAccessibleWidget(view, role) {}

int AccessibleSelectiveView::childCount() const {
    return int(accessibleChildren().size());
}

QAccessibleInterface* AccessibleSelectiveView::child(int index) const {
    QWidget* child = accessibleChildren().value(index);
    return child ? QAccessible::queryAccessibleInterface(child) : nullptr;
}

int AccessibleSelectiveView::indexOfChild(const QAccessibleInterface* child) const {
    if (!child) {
        return -1;
    }
    return int(accessibleChildren().indexOf(qobject_cast<QWidget*>(child->object())));
}
