#include "GaugeShapes.h"

#include "BezierPath.h"

#include <algorithm>

namespace GaugeShapes {

void configureShapeLayer(ShapeLayer& layer, const ShapeStyle& style) {
    layer.setLineWidth(style.lineWidth);
    layer.setStrokeStart(style.strokeStart);
    layer.setStrokeColor(style.strokeColor);
    layer.setFillColor(style.fillColor);
    layer.setShadowColor(Qt::black);
    layer.setShadowRadius(style.shadowRadius);
    layer.setShadowOpacity(style.shadowOpacity);
    layer.setShadowOffset(style.shadowOffset);
    if (style.anchorPoint) {
        layer.setAnchorPoint(*style.anchorPoint);
    }
    if (style.rotation) {
        QTransform transform = layer.transform();
        transform.rotateRadians(*style.rotation);
        layer.setTransform(transform);
    }
    layer.setStrokeEnd(style.strokeEnd);
}

QRectF ovalRect(const QRectF& rect, qreal lineWidth, bool circle) {
    if (circle) {
        const qreal diameter = std::min(rect.width(), rect.height()) - 2.0 * lineWidth;
        return QRectF(rect.center().x() - diameter / 2.0, rect.center().y() - diameter / 2.0,
                      diameter, diameter);
    }
    const qreal half = lineWidth / 2.0;
    return rect.adjusted(half, half, -half, -half);
}

std::shared_ptr<ShapeLayer> makeOvalLayer(const ShapeStyle& style, const QRectF& rect,
                                          bool circle) {
    auto layer = std::make_shared<ShapeLayer>();
    layer->setPath(BezierPath::ovalInRect(ovalRect(rect, style.lineWidth, circle)).quartzPath());
    configureShapeLayer(*layer, style);
    QTransform transform = layer->transform();
    transform.scale(-1.0, 1.0);
    layer->setTransform(transform);
    return layer;
}

} // namespace GaugeShapes
