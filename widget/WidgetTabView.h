#pragma once

#include <QList>
#include <QWidget>

class QStackedWidget;
class WidgetTabViewItem;

// The widget's tab view: a centred row of fixed-width tab cells above the
// selected item's page. Items can be taken out and put back at any place,
// which is how the widget hides a section the user turned off.
//
// It takes the keyboard from Tab: Left and Right (Home, End) select the
// neighbouring (first, last) tab, and a ring in the palette's highlight
// marks the selected cell meanwhile.
class WidgetTabView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kBarHeight = 24;
    static constexpr int kPageGap = 14;

    explicit WidgetTabView(QWidget* parent = nullptr);

    // The interface file's way to add its pages, in order.
    void addItem(WidgetTabViewItem* item);
    // index is clamped into the current range.
    void insertItem(WidgetTabViewItem* item, int index);
    // The item leaves the view but is kept, so it can be inserted again.
    void removeItem(WidgetTabViewItem* item);
    QList<WidgetTabViewItem*> items() const;
    WidgetTabViewItem* selectedItem() const;
    void selectItem(WidgetTabViewItem* item);

    // The pages, the selected one shown.
    QWidget* pages() const;
    // The cell of the index-th tab within a view of this width.
    static QRect cellRect(int index, int count, int viewWidth);
    QFont labelFont() const;

Q_SIGNALS:
    // The selection changed, by the user, by selectItem or because the
    // selected item was removed.
    void didSelectItem(WidgetTabViewItem* item);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QStackedWidget* m_stack;
};
