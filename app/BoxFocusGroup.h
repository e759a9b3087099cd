#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class BoxView;
class QWidget;

// The tiles of one panel as a single stop of the tab chain. Tab reaches one
// tile (the one used last, else the first shown) and leaves the panel from
// it; the arrow keys move between the shown tiles: Left and Right in panel
// order, Up and Down to the nearest tile of the row above or below, Home and
// End to the first and the last. A click on a tile makes it the one Tab
// reaches, and gives it the focus when the panel has the focus already, so
// the mouse never brings up a focus ring of its own.
class BoxFocusGroup : public QObject {
    Q_OBJECT
public:
    // panel holds the tiles; a tile counts as shown when it is visible in it.
    BoxFocusGroup(QWidget* panel, const QList<BoxView*>& boxes, QObject* parent = nullptr);

    // The tile in the tab chain.
    BoxView* current() const { return m_current; }
    // Moves the tab stop to a shown tile when its tile was hidden.
    void refresh();
    // Where an arrow key (or Home, End) leads from a tile; null for none.
    BoxView* neighbour(BoxView* from, int key) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool isShown(const BoxView* box) const;
    void setCurrent(BoxView* box, bool focus);

    QWidget* m_panel;
    QList<BoxView*> m_boxes;
    QPointer<BoxView> m_current;
};
