#pragma once

#include <QAccessibleWidget>

// A view whose screen-reader tree holds only the child widgets it names. A
// tile shows one reading through labels of its own: it is read as one object
// whose name says the whole reading, so the labels stay out and only what a
// user can act on or read apart (a gear, a ring) is in. A tab view that
// draws its own selector leaves out the tab bar it hides.
class AccessibleSelectiveView : public QAccessibleWidget {
public:
    AccessibleSelectiveView(QWidget* view, QAccessible::Role role);

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;

protected:
    virtual QList<QWidget*> accessibleChildren() const = 0;
};
