#include "WidgetTabViewItem.h"

#include <QFontMetrics>
#include <QPainter>
#include <cmath>

WidgetTabViewItem::WidgetTabViewItem(QWidget* parent)
    : QWidget(parent) {}

QSize WidgetTabViewItem::sizeOfLabel(QSize proposed) {
    return {kLabelWidth, proposed.height()};
}

QRect WidgetTabViewItem::labelRect(const QRect& cell, int textWidth) {
    const int inset = int(std::floor((cell.width() - textWidth) * 0.5));
    return {cell.x() + inset, cell.y(), textWidth, cell.height()};
}

void WidgetTabViewItem::drawLabel(QPainter* painter, const QRect& cell, const QFont& font) const {
    const int textWidth = QFontMetrics(font).horizontalAdvance(m_label);
    painter->setFont(font);
    painter->drawText(labelRect(cell, textWidth), Qt::AlignCenter | Qt::TextSingleLine, m_label);
}
