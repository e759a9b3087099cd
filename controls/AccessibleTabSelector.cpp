#include "AccessibleTabSelector.h"

#include "TabSelector.h"

AccessibleTabSelector::AccessibleTabSelector(TabSelector* selector)
    : AccessibleChoiceRow(selector, QAccessible::PageTabList, QAccessible::PageTab) {}

TabSelector* AccessibleTabSelector::selector() const {
    return static_cast<TabSelector*>(widget());
}

int AccessibleTabSelector::choiceCount() const {
    return selector()->columnCount();
}

QString AccessibleTabSelector::choiceName(int index) const {
    return selector()->cellName(index);
}

bool AccessibleTabSelector::isChosen(int index) const {
    return selector()->selectedColumn() == index;
}

QRect AccessibleTabSelector::choiceRect(int index) const {
    return TabSelector::cellFrame(index).toAlignedRect();
}

void AccessibleTabSelector::choose(int index) {
    selector()->activateColumn(index);
}
