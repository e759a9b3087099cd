#include "GradientLayer.h"

#include <QLinearGradient>
#include <QPainter>

void GradientLayer::paintContents(QPainter* painter) const {
    if (m_colors.isEmpty()) {
        return;
    }
    const QRectF bounds = presentedBounds();
    const auto inBounds = [&bounds](QPointF unit) {
        return QPointF(bounds.left() + unit.x() * bounds.width(),
                       bounds.top() + unit.y() * bounds.height());
    };
    QLinearGradient gradient(inBounds(m_startPoint), inBounds(m_endPoint));
    if (m_colors.size() == 1) {
        gradient.setColorAt(0.0, m_colors.first());
        gradient.setColorAt(1.0, m_colors.first());
    } else {
        for (qsizetype i = 0; i < m_colors.size(); ++i) {
            gradient.setColorAt(qreal(i) / qreal(m_colors.size() - 1), m_colors.at(i));
        }
    }
    painter->fillRect(bounds, gradient);
}
