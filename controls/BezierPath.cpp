#include "BezierPath.h"

#include <algorithm>
#include <cstdio>

namespace {

// Control-point distance of a quarter ellipse drawn as one cubic curve.
constexpr qreal kKappa = 0.5522847498;

} // namespace

BezierPath BezierPath::ovalInRect(const QRectF& rect) {
    const qreal rx = rect.width() / 2.0;
    const qreal ry = rect.height() / 2.0;
    const qreal cx = rect.center().x();
    const qreal cy = rect.center().y();
    const qreal kx = rx * kKappa;
    const qreal ky = ry * kKappa;
    BezierPath path;
    path.moveTo({cx + rx, cy});
    path.curveTo({cx, cy + ry}, {cx + rx, cy + ky}, {cx + kx, cy + ry});
    path.curveTo({cx - rx, cy}, {cx - kx, cy + ry}, {cx - rx, cy + ky});
    path.curveTo({cx, cy - ry}, {cx - rx, cy - ky}, {cx - kx, cy - ry});
    path.curveTo({cx + rx, cy}, {cx + kx, cy - ry}, {cx + rx, cy - ky});
    path.closePath();
    return path;
}

BezierPath BezierPath::roundedRect(const QRectF& rect, qreal xRadius, qreal yRadius) {
    const QRectF r = rect.normalized();
    const qreal rx = std::clamp(xRadius, 0.0, r.width() / 2.0);
    const qreal ry = std::clamp(yRadius, 0.0, r.height() / 2.0);
    const qreal kx = rx * kKappa;
    const qreal ky = ry * kKappa;
    const qreal x0 = r.left();
    const qreal x1 = r.right();
    const qreal y0 = r.top();
    const qreal y1 = r.bottom();
    // Always the same elements, even for zero radii or width, so that two
    // rounded rectangles can be blended point by point.
    BezierPath path;
    path.moveTo({x0 + rx, y0});
    path.lineTo({x1 - rx, y0});
    path.curveTo({x1, y0 + ry}, {x1 - rx + kx, y0}, {x1, y0 + ry - ky});
    path.lineTo({x1, y1 - ry});
    path.curveTo({x1 - rx, y1}, {x1, y1 - ry + ky}, {x1 - rx + kx, y1});
    path.lineTo({x0 + rx, y1});
    path.curveTo({x0, y1 - ry}, {x0 + rx - kx, y1}, {x0, y1 - ry + ky});
    path.lineTo({x0, y0 + ry});
    path.curveTo({x0 + rx, y0}, {x0, y0 + ry - ky}, {x0 + rx - kx, y0});
    path.closePath();
    return path;
}

void BezierPath::moveTo(QPointF point) {
    m_elements.append({ElementType::MoveTo, {point, {}, {}}});
}

void BezierPath::lineTo(QPointF point) {
    m_elements.append({ElementType::LineTo, {point, {}, {}}});
}

void BezierPath::curveTo(QPointF end, QPointF control1, QPointF control2) {
    m_elements.append({ElementType::CurveTo, {control1, control2, end}});
}

void BezierPath::quadraticCurveTo(QPointF end, QPointF control) {
    m_elements.append({ElementType::QuadraticCurveTo, {control, end, {}}});
}

void BezierPath::closePath() {
    m_elements.append({ElementType::ClosePath, {}});
}

QPainterPath BezierPath::quartzPath() const {
    QPainterPath path;
    bool closed = true;
    for (const Element& element : m_elements) {
        switch (element.type) {
        case ElementType::MoveTo:
            path.moveTo(element.points[0]);
            break;
        case ElementType::LineTo:
            path.lineTo(element.points[0]);
            closed = false;
            break;
        case ElementType::CurveTo:
            path.cubicTo(element.points[0], element.points[1], element.points[2]);
            closed = false;
            break;
        case ElementType::ClosePath:
            path.closeSubpath();
            closed = true;
            break;
        default:
            std::fputs("unkown case quartzPath\n", stdout);
            std::fflush(stdout);
            break;
        }
    }
    if (!closed) {
        path.closeSubpath();
    }
    return path;
}
