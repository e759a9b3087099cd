#pragma once

#include "AccessibleSelectiveView.h"

class WidgetBoxView;

// A box of the widget as one piece of text that reads the reading as a
// person would say it; a fan box holds its ring.
class AccessibleWidgetBox : public AccessibleSelectiveView {
public:
    explicit AccessibleWidgetBox(WidgetBoxView* box);

    QString text(QAccessible::Text t) const override;

protected:
    QList<QWidget*> accessibleChildren() const override;

private:
    WidgetBoxView* box() const;
};
