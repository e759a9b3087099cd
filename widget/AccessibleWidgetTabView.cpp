#include "AccessibleWidgetTabView.h"

#include "WidgetTabView.h"
#include "WidgetTabViewItem.h"

AccessibleWidgetTabView::AccessibleWidgetTabView(WidgetTabView* view)
    : AccessibleChoiceRow(view, QAccessible::PageTabList, QAccessible::PageTab) {}

WidgetTabView* AccessibleWidgetTabView::view() const {
    return static_cast<WidgetTabView*>(widget());
}

int AccessibleWidgetTabView::choiceCount() const {
    return int(view()->items().size());
}

QString AccessibleWidgetTabView::choiceName(int index) const {
    const WidgetTabViewItem* item = view()->items().value(index);
    return item ? item->label() : QString();
}

bool AccessibleWidgetTabView::isChosen(int index) const {
    const WidgetTabViewItem* item = view()->items().value(index);
    return item && item == view()->selectedItem();
}

QRect AccessibleWidgetTabView::choiceRect(int index) const {
    return WidgetTabView::cellRect(index, choiceCount(), view()->width());
}

void AccessibleWidgetTabView::choose(int index) {
    view()->selectItem(view()->items().value(index));
}

int AccessibleWidgetTabView::childCount() const {
    return choiceCount() + 1;
}

QAccessibleInterface* AccessibleWidgetTabView::child(int index) const {
    if (index == choiceCount()) {
        return QAccessible::queryAccessibleInterface(view()->pages());
    }
    return AccessibleChoiceRow::child(index);
}

int AccessibleWidgetTabView::indexOfChild(const QAccessibleInterface* child) const {
    if (child && child->object() == view()->pages()) {
        return choiceCount();
    }
    return AccessibleChoiceRow::indexOfChild(child);
}
