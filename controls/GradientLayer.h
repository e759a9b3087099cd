#pragma once

#include "Layer.h"

#include <QList>

// A layer filled with a linear gradient between two unit points of its bounds,
// its colours spread evenly.
class GradientLayer : public Layer {
public:
    QList<QColor> colors() const { return m_colors; }
    void setColors(const QList<QColor>& colors) { m_colors = colors; }
    QPointF startPoint() const { return m_startPoint; }
    void setStartPoint(QPointF point) { m_startPoint = point; }
    QPointF endPoint() const { return m_endPoint; }
    void setEndPoint(QPointF point) { m_endPoint = point; }

protected:
    void paintContents(QPainter* painter) const override;

private:
    QList<QColor> m_colors;
    QPointF m_startPoint{0.5, 0.0};
    QPointF m_endPoint{0.5, 1.0};
};
