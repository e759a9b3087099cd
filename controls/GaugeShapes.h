#pragma once

#include "ShapeLayer.h"

#include <QColor>
#include <QPointF>
#include <QRectF>
#include <memory>
#include <optional>

// The shape-layer routines the gauge's styles share.
namespace GaugeShapes {

struct ShapeStyle {
    QColor strokeColor;
    QColor fillColor{Qt::transparent};
    qreal lineWidth = 1.0;
    qreal strokeStart = 0.0;
    qreal strokeEnd = 1.0;
    qreal shadowRadius = 0.0;
    qreal shadowOpacity = 0.0;
    QPointF shadowOffset;
    std::optional<qreal> rotation; // radians about z
    std::optional<QPointF> anchorPoint;
};

// Applies the style: line width, stroke start, colours, a black shadow, the
// anchor point when given, the rotation when given, stroke end last.
void configureShapeLayer(ShapeLayer& layer, const ShapeStyle& style);

// The rectangle an oval of this line width is drawn in: a centred square
// keeping a line width clear of the edges (circle), or the rectangle inset by
// half the line width so that the stroke stays inside it.
QRectF ovalRect(const QRectF& rect, qreal lineWidth, bool circle);

// A shape layer stroking the oval in rect, mirrored horizontally so that its
// stroke runs the other way round.
std::shared_ptr<ShapeLayer> makeOvalLayer(const ShapeStyle& style, const QRectF& rect, bool circle);

} // namespace GaugeShapes
