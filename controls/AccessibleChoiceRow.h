#pragma once

#include <QAccessibleWidget>
#include <QHash>

// The accessible side of a painted row of choices that have no widgets of
// their own: the tabs of a tab selector, the segments of a unit selector.
// The row is a list (of tabs, a group of radio buttons); each choice becomes
// a child a screen reader can read, focus and press.
//
// Widgets call notifyChosen when their choice changes and notifyFocus when
// they take the keyboard, so a screen reader follows what they show.
class AccessibleChoiceRow : public QAccessibleWidget {
public:
    AccessibleChoiceRow(QWidget* widget, QAccessible::Role rowRole, QAccessible::Role choiceRole);
    ~AccessibleChoiceRow() override;

    // What the row's widget knows about its choices.
    virtual int choiceCount() const = 0;
    virtual QString choiceName(int index) const = 0;
    virtual bool isChosen(int index) const = 0;
    // In the widget's coordinates.
    virtual QRect choiceRect(int index) const = 0;
    virtual void choose(int index) = 0;

    QAccessible::Role choiceRole() const { return m_choiceRole; }
    QWidget* rowWidget() const { return widget(); }

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;

    // The choice at index became the chosen one: its state changed, and while
    // the row has the keyboard it is what a screen reader reads next.
    static void notifyChosen(QWidget* widget, int index);
    // The row took the keyboard: the chosen choice at index has the focus.
    static void notifyFocus(QWidget* widget, int index);

private:
    QAccessible::Role m_choiceRole;
    mutable QHash<int, QAccessible::Id> m_children;
};
