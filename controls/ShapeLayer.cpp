#include "ShapeLayer.h"

#include <QLineF>
#include <QPainter>
#include <QPainterPathStroker>
#include <algorithm>
#include <cmath>

namespace {

// Curves are flattened at this many times their size, so that a trimmed arc
// is as round as a whole one.
constexpr qreal kFlatteningScale = 4.0;

qreal clampedFraction(qreal value) {
    return std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0.0;
}

} // namespace

QPainterPath ShapeLayer::presentedPath() const {
    return presented("path", m_path);
}

qreal ShapeLayer::presentedStrokeEnd() const {
    return presented("strokeEnd", m_strokeEnd);
}

QPainterPath ShapeLayer::trimmedPath(const QPainterPath& path, qreal start, qreal end) {
    start = clampedFraction(start);
    end = clampedFraction(end);
    QPainterPath result;
    if (end <= start || path.isEmpty()) {
        return result;
    }
    const QTransform up = QTransform::fromScale(kFlatteningScale, kFlatteningScale);
    const QList<QPolygonF> polygons = path.toSubpathPolygons(up);
    qreal total = 0.0;
    for (const QPolygonF& polygon : polygons) {
        for (qsizetype i = 1; i < polygon.size(); ++i) {
            total += QLineF(polygon.at(i - 1), polygon.at(i)).length();
        }
    }
    if (total <= 0.0) {
        return result;
    }
    const qreal from = start * total;
    const qreal to = end * total;
    qreal walked = 0.0;
    for (const QPolygonF& polygon : polygons) {
        bool open = false;
        for (qsizetype i = 1; i < polygon.size(); ++i) {
            const QLineF segment(polygon.at(i - 1), polygon.at(i));
            const qreal length = segment.length();
            const qreal segmentStart = walked;
            const qreal segmentEnd = walked + length;
            walked = segmentEnd;
            if (segmentEnd < from || segmentStart > to || length <= 0.0) {
                continue;
            }
            const qreal t0 = std::max(0.0, (from - segmentStart) / length);
            const qreal t1 = std::min(1.0, (to - segmentStart) / length);
            const QPointF a = segment.pointAt(t0) / kFlatteningScale;
            const QPointF b = segment.pointAt(t1) / kFlatteningScale;
            if (!open) {
                result.moveTo(a);
                open = true;
            }
            result.lineTo(b);
        }
    }
    return result;
}

QPen ShapeLayer::strokePen() const {
    QPen pen(m_strokeColor, m_lineWidth);
    pen.setCapStyle(m_lineCap);
    pen.setJoinStyle(m_lineJoin);
    return pen;
}

void ShapeLayer::paintContents(QPainter* painter) const {
    const QPainterPath path = presentedPath();
    if (path.isEmpty()) {
        return;
    }
    if (m_fillColor.isValid() && m_fillColor.alpha() > 0) {
        painter->fillPath(path, m_fillColor);
    }
    if (!m_strokeColor.isValid() || m_strokeColor.alpha() == 0 || m_lineWidth <= 0.0) {
        return;
    }
    const qreal start = clampedFraction(m_strokeStart);
    const qreal end = clampedFraction(presentedStrokeEnd());
    if (end <= start) {
        return;
    }
    painter->save();
    painter->setPen(strokePen());
    painter->setBrush(Qt::NoBrush);
    painter->drawPath(start <= 0.0 && end >= 1.0 ? path : trimmedPath(path, start, end));
    painter->restore();
}

QPainterPath ShapeLayer::shadowShape() const {
    const QPainterPath path = presentedPath();
    QPainterPath shape;
    if (m_fillColor.isValid() && m_fillColor.alpha() > 0) {
        shape = path;
    }
    if (m_strokeColor.isValid() && m_strokeColor.alpha() > 0 && m_lineWidth > 0.0) {
        QPainterPathStroker stroker(strokePen());
        const qreal end = clampedFraction(presentedStrokeEnd());
        shape = shape.united(
            stroker.createStroke(trimmedPath(path, clampedFraction(m_strokeStart), end)));
    }
    return shape;
}
