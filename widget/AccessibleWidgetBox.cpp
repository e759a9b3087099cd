#include "AccessibleWidgetBox.h"

#include "WidgetBoxView.h"

AccessibleWidgetBox::AccessibleWidgetBox(WidgetBoxView* box)
    : AccessibleSelectiveView(box, QAccessible::StaticText) {}

WidgetBoxView* AccessibleWidgetBox::box() const {
    return static_cast<WidgetBoxView*>(widget());
}

QList<QWidget*> AccessibleWidgetBox::accessibleChildren() const {
    return box()->accessibleChildren();
}

QString AccessibleWidgetBox::text(QAccessible::Text t) const {
    if (t == QAccessible::Name && box()->accessibleName().isEmpty()) {
        return box()->accessibleReading();
    }
    return AccessibleSelectiveView::text(t);
}
