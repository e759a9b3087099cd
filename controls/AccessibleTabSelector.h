#pragma once

#include "AccessibleChoiceRow.h"

class TabSelector;

// The setup window's tab selector as a list of page tabs, each named by the
// page it opens.
class AccessibleTabSelector : public AccessibleChoiceRow {
public:
    explicit AccessibleTabSelector(TabSelector* selector);

    int choiceCount() const override;
    QString choiceName(int index) const override;
    bool isChosen(int index) const override;
    QRect choiceRect(int index) const override;
    void choose(int index) override;

private:
    TabSelector* selector() const;
};
