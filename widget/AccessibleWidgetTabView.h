#pragma once

#include "AccessibleChoiceRow.h"

class WidgetTabView;

// The widget's tab switch as a list of page tabs named by their labels.
class AccessibleWidgetTabView : public AccessibleChoiceRow {
public:
    explicit AccessibleWidgetTabView(WidgetTabView* view);

    int choiceCount() const override;
    QString choiceName(int index) const override;
    bool isChosen(int index) const override;
    QRect choiceRect(int index) const override;
    void choose(int index) override;

    // The tabs, then the pages (of which a screen reader sees the shown one).
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;

private:
    WidgetTabView* view() const;
};
