#pragma once

#include "AccessibleSelectiveView.h"

class BoxView;

// A tile of the setup window as a check box: its name reads the reading as a
// person would say it, it is checked while the reading is in the widget, its
// description says what a click does, and it can be toggled and, where the
// tile has a gear, asked for its sensor chooser.
class AccessibleTile : public AccessibleSelectiveView {
public:
    explicit AccessibleTile(BoxView* box);

    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;
    QStringList actionNames() const override;
    void doAction(const QString& action) override;
    QStringList keyBindingsForAction(const QString& action) const override;

protected:
    QList<QWidget*> accessibleChildren() const override;

private:
    BoxView* box() const;
};
