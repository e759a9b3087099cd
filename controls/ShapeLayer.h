#pragma once

#include "Layer.h"

#include <QPainterPath>

// A layer that draws a path: filled (black unless told otherwise), then
// stroked between strokeStart and strokeEnd, fractions of the path's length.
class ShapeLayer : public Layer {
public:
    QPainterPath path() const { return m_path; }
    void setPath(const QPainterPath& path) { m_path = path; }
    // An invalid colour draws nothing, like a transparent one.
    QColor strokeColor() const { return m_strokeColor; }
    void setStrokeColor(const QColor& color) { m_strokeColor = color; }
    QColor fillColor() const { return m_fillColor; }
    void setFillColor(const QColor& color) { m_fillColor = color; }
    qreal lineWidth() const { return m_lineWidth; }
    void setLineWidth(qreal width) { m_lineWidth = width; }
    qreal strokeStart() const { return m_strokeStart; }
    void setStrokeStart(qreal start) { m_strokeStart = start; }
    qreal strokeEnd() const { return m_strokeEnd; }
    void setStrokeEnd(qreal end) { m_strokeEnd = end; }
    Qt::PenCapStyle lineCap() const { return m_lineCap; }
    void setLineCap(Qt::PenCapStyle cap) { m_lineCap = cap; }
    Qt::PenJoinStyle lineJoin() const { return m_lineJoin; }
    void setLineJoin(Qt::PenJoinStyle join) { m_lineJoin = join; }

    QPainterPath presentedPath() const;
    qreal presentedStrokeEnd() const;

    // The part of a path between two fractions of its length, as open
    // polylines (one per subpath it touches).
    static QPainterPath trimmedPath(const QPainterPath& path, qreal start, qreal end);

protected:
    void paintContents(QPainter* painter) const override;
    QPainterPath shadowShape() const override;

private:
    QPen strokePen() const;

    QPainterPath m_path;
    QColor m_strokeColor;
    QColor m_fillColor{Qt::black};
    qreal m_lineWidth = 1.0;
    qreal m_strokeStart = 0.0;
    qreal m_strokeEnd = 1.0;
    Qt::PenCapStyle m_lineCap = Qt::FlatCap;
    Qt::PenJoinStyle m_lineJoin = Qt::MiterJoin;
};
