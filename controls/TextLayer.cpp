#include "TextLayer.h"

#include <QPainter>

QFont TextLayer::effectiveFont() const {
    QFont font = m_font;
    font.setPixelSize(qMax(1, qRound(m_fontSize)));
    return font;
}

void TextLayer::paintContents(QPainter* painter) const {
    if (m_string.isEmpty()) {
        return;
    }
    const QRectF bounds = presentedBounds();
    painter->save();
    painter->translate(bounds.left(), bounds.bottom());
    painter->scale(1.0, -1.0);
    painter->setFont(effectiveFont());
    painter->setPen(m_foregroundColor);
    const Qt::Alignment horizontal = m_alignment & Qt::AlignHorizontal_Mask;
    painter->drawText(QRectF(0, 0, bounds.width(), bounds.height()),
                      int(horizontal | Qt::AlignTop) | Qt::TextDontClip | Qt::TextSingleLine,
                      m_string);
    painter->restore();
}
