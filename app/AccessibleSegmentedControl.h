#pragma once

#include "AccessibleChoiceRow.h"

class SegmentedControl;

// A unit selector as a group of radio buttons, one per segment, named by
// the words the segments stand for.
class AccessibleSegmentedControl : public AccessibleChoiceRow {
public:
    explicit AccessibleSegmentedControl(SegmentedControl* control);

    int choiceCount() const override;
    QString choiceName(int index) const override;
    bool isChosen(int index) const override;
    QRect choiceRect(int index) const override;
    void choose(int index) override;

private:
    SegmentedControl* control() const;
};
