#include "WidgetTabView.h"

#include "AccessibleChoiceRow.h"
#include "AccessibleFactory.h"
#include "AccessibleWidgetTabView.h"
#include "FocusRing.h"
#include "NamedAssets.h"
#include "WidgetTabViewItem.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStackedWidget>
#include <QVBoxLayout>

WidgetTabView::WidgetTabView(QWidget* parent)
    : QWidget(parent)
    , m_stack(new QStackedWidget(this)) {
    AccessibleFactory::install<WidgetTabView, AccessibleWidgetTabView>();
    setFocusPolicy(Qt::TabFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, kBarHeight + kPageGap, 0, 0);
    layout->addWidget(m_stack);
    connect(m_stack, &QStackedWidget::currentChanged, this, [this](int index) {
        update();
        if (auto* item = qobject_cast<WidgetTabViewItem*>(m_stack->widget(index))) {
            AccessibleChoiceRow::notifyChosen(this, index);
            Q_EMIT didSelectItem(item);
        }
    });
}

void WidgetTabView::addItem(WidgetTabViewItem* item) {
    insertItem(item, m_stack->count());
}

void WidgetTabView::insertItem(WidgetTabViewItem* item, int index) {
    if (item == nullptr || m_stack->indexOf(item) >= 0) {
        return;
    }
    m_stack->insertWidget(std::clamp(index, 0, int(m_stack->count())), item);
    update();
}

void WidgetTabView::removeItem(WidgetTabViewItem* item) {
    if (m_stack->indexOf(item) < 0) {
        return;
    }
    m_stack->removeWidget(item);
    item->hide();
    update();
}

QList<WidgetTabViewItem*> WidgetTabView::items() const {
    QList<WidgetTabViewItem*> result;
    for (int i = 0; i < m_stack->count(); ++i) {
        if (auto* item = qobject_cast<WidgetTabViewItem*>(m_stack->widget(i))) {
            result.append(item);
        }
    }
    return result;
}

WidgetTabViewItem* WidgetTabView::selectedItem() const {
    return qobject_cast<WidgetTabViewItem*>(m_stack->currentWidget());
}

void WidgetTabView::selectItem(WidgetTabViewItem* item) {
    if (m_stack->indexOf(item) >= 0) {
        m_stack->setCurrentWidget(item);
    }
}

QWidget* WidgetTabView::pages() const {
    return m_stack;
}

QRect WidgetTabView::cellRect(int index, int count, int viewWidth) {
    const QSize cell = WidgetTabViewItem::sizeOfLabel({0, kBarHeight});
    const int left = (viewWidth - cell.width() * count) / 2;
    return {left + index * cell.width(), 0, cell.width(), cell.height()};
}

QFont WidgetTabView::labelFont() const {
    QFont font = this->font();
    font.setPixelSize(12);
    return font;
}

void WidgetTabView::paintEvent(QPaintEvent* event) {
    // A box whose reading changed repaints what lies under it, this view
    // included. Drawing the bar then, clipped away to the last pixel, cost
    // more than the reading itself: its labels are shaped at each paint.
    const QList<WidgetTabViewItem*> all = items();
    if (all.isEmpty() || !event->region().intersects(QRect(0, 0, width(), kBarHeight))) {
        return;
    }
    const NamedAssets& assets = NamedAssets::shared();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect first = cellRect(0, int(all.size()), width());
    const QRectF row =
        QRectF(first.x(), 0, first.width() * all.size(), kBarHeight).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(assets.color(QStringLiteral("TabLineColor"), palette()));
    painter.setBrush(assets.color(QStringLiteral("BackColor"), palette()));
    painter.drawRoundedRect(row, 6, 6);

    const QFont font = labelFont();
    for (int i = 0; i < all.size(); ++i) {
        const QRect cell = cellRect(i, int(all.size()), width());
        const bool selected = all[i] == selectedItem();
        if (selected) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(assets.color(QStringLiteral("BoxColor"), palette()));
            painter.drawRoundedRect(QRectF(cell).adjusted(2, 2, -2, -2), 4, 4);
        }
        painter.setPen(assets.color(
            selected ? QStringLiteral("CurrentTabColor") : QStringLiteral("TabColor"), palette()));
        all[i]->drawLabel(&painter, cell, font);
        if (selected && FocusRing::isShown(this)) {
            painter.setPen(QPen(FocusRing::color(this), 2));
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(QRectF(cell).adjusted(2, 2, -2, -2), 4, 4);
        }
    }
}

void WidgetTabView::keyPressEvent(QKeyEvent* event) {
    const QList<WidgetTabViewItem*> all = items();
    const int at = int(all.indexOf(selectedItem()));
    int next = -1;
    switch (event->key()) {
    case Qt::Key_Left:
        next = at - 1;
        break;
    case Qt::Key_Right:
        next = at + 1;
        break;
    case Qt::Key_Home:
        next = 0;
        break;
    case Qt::Key_End:
        next = int(all.size()) - 1;
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    // At either end the key is spent: the tabs do not wrap round.
    if (next >= 0 && next < all.size()) {
        selectItem(all[next]);
    }
}

void WidgetTabView::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
    if (m_stack->currentIndex() >= 0) {
        AccessibleChoiceRow::notifyFocus(this, m_stack->currentIndex());
    }
}

void WidgetTabView::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

void WidgetTabView::mousePressEvent(QMouseEvent* event) {
    const QList<WidgetTabViewItem*> all = items();
    for (int i = 0; i < all.size(); ++i) {
        if (cellRect(i, int(all.size()), width()).contains(event->position().toPoint())) {
            selectItem(all[i]);
            return;
        }
    }
    QWidget::mousePressEvent(event);
}
