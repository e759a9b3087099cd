#pragma once

#include <QList>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <array>

// A path as a list of drawing elements, the form shapes are built in before
// they become a painter path for a shape layer (quartzPath).
class BezierPath {
public:
    enum class ElementType { MoveTo, LineTo, CurveTo, ClosePath, QuadraticCurveTo };

    struct Element {
        ElementType type;
        // Up to three points: the end point of moves and lines; control
        // point 1, control point 2 and end point of curves.
        std::array<QPointF, 3> points;
    };

    // An oval inscribed in the rectangle: four curves from the middle of its
    // right side round through its top, left and bottom (the positive sense
    // when y points up), then closed.
    static BezierPath ovalInRect(const QRectF& rect);
    // A rectangle with rounded corners; radii beyond half the side are cut to it.
    static BezierPath roundedRect(const QRectF& rect, qreal xRadius, qreal yRadius);

    void moveTo(QPointF point);
    void lineTo(QPointF point);
    void curveTo(QPointF end, QPointF control1, QPointF control2);
    void quadraticCurveTo(QPointF end, QPointF control);
    void closePath();

    const QList<Element>& elements() const { return m_elements; }
    bool isEmpty() const { return m_elements.isEmpty(); }

    // The path for a shape layer. The last subpath is closed unless it already
    // was or nothing was drawn since; element kinds it has no case for are
    // reported on standard output and skipped.
    QPainterPath quartzPath() const;

private:
    QList<Element> m_elements;
};
