#include "AccessibleSegmentedControl.h"

#include "SegmentedControl.h"

AccessibleSegmentedControl::AccessibleSegmentedControl(SegmentedControl* control)
    : AccessibleChoiceRow(control, QAccessible::Grouping, QAccessible::RadioButton) {}

SegmentedControl* AccessibleSegmentedControl::control() const {
    return static_cast<SegmentedControl*>(widget());
}

int AccessibleSegmentedControl::choiceCount() const {
    return int(control()->segments().size());
}

QString AccessibleSegmentedControl::choiceName(int index) const {
    return control()->segmentName(index);
}

bool AccessibleSegmentedControl::isChosen(int index) const {
    return control()->selectedSegment() == index;
}

QRect AccessibleSegmentedControl::choiceRect(int index) const {
    return control()->segmentRect(index);
}

void AccessibleSegmentedControl::choose(int index) {
    control()->activateSegment(index);
}
