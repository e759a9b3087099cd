#include "LayerAnimation.h"

#include <QColor>
#include <QPainterPath>
#include <QRectF>
#include <algorithm>

LayerAnimation::LayerAnimation(const QString& keyPath, QObject* parent)
    : QVariantAnimation(parent)
    , m_keyPath(keyPath) {
    setEasingCurve(QEasingCurve::Linear);
    setDurationSeconds(m_durationSeconds);
}

void LayerAnimation::setDurationSeconds(double seconds) {
    m_durationSeconds = std::max(0.0, seconds);
    setDuration(qRound(m_durationSeconds * 1000.0));
}

QEasingCurve LayerAnimation::cubicBezierTiming(QPointF control1, QPointF control2) {
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(control1, control2, QPointF(1.0, 1.0));
    return curve;
}

QEasingCurve LayerAnimation::defaultTiming() {
    return cubicBezierTiming(QPointF(0.25, 0.1), QPointF(0.25, 1.0));
}

namespace {

// Two outlines with different elements (a rounded corner that has shrunk to
// a half circle loses its straight piece) blend as polygons sampled at the
// same fractions of their lengths.
constexpr int kBlendSamples = 96;

QPainterPath blendedOutline(const QPainterPath& from, const QPainterPath& to, qreal progress) {
    QPainterPath result;
    if (from.isEmpty() || to.isEmpty() || from.length() <= 0.0 || to.length() <= 0.0) {
        return progress < 1.0 ? from : to;
    }
    for (int i = 0; i <= kBlendSamples; ++i) {
        const qreal at = qreal(i) / kBlendSamples;
        const QPointF a = from.pointAtPercent(at);
        const QPointF b = to.pointAtPercent(at);
        const QPointF point = a + (b - a) * progress;
        if (i == 0) {
            result.moveTo(point);
        } else {
            result.lineTo(point);
        }
    }
    result.closeSubpath();
    return result;
}

} // namespace

QPainterPath LayerAnimation::interpolatedPath(const QPainterPath& from, const QPainterPath& to,
                                              qreal progress) {
    if (progress <= 0.0) {
        return from;
    }
    if (progress >= 1.0) {
        return to;
    }
    bool sameElements = from.elementCount() == to.elementCount();
    for (int i = 0; sameElements && i < from.elementCount(); ++i) {
        sameElements = from.elementAt(i).type == to.elementAt(i).type;
    }
    if (!sameElements) {
        return blendedOutline(from, to, progress);
    }
    QPainterPath result = from;
    for (int i = 0; i < from.elementCount(); ++i) {
        const QPainterPath::Element a = from.elementAt(i);
        const QPainterPath::Element b = to.elementAt(i);
        result.setElementPositionAt(i, a.x + (b.x - a.x) * progress, a.y + (b.y - a.y) * progress);
    }
    return result;
}

namespace {

qreal mixed(qreal a, qreal b, qreal progress) {
    return std::clamp(a + (b - a) * progress, 0.0, 1.0);
}

} // namespace

QVariant LayerAnimation::interpolated(const QVariant& from, const QVariant& to,
                                      qreal progress) const {
    const QMetaType type = from.metaType();
    const bool same = to.metaType() == type;
    if (same && type == QMetaType::fromType<QPainterPath>()) {
        return QVariant::fromValue(
            interpolatedPath(from.value<QPainterPath>(), to.value<QPainterPath>(), progress));
    }
    if (same && type == QMetaType::fromType<QColor>()) {
        // Colours stay within their range even when the timing overshoots.
        const QColor a = from.value<QColor>().toRgb();
        const QColor b = to.value<QColor>().toRgb();
        return QColor::fromRgbF(
            mixed(a.redF(), b.redF(), progress), mixed(a.greenF(), b.greenF(), progress),
            mixed(a.blueF(), b.blueF(), progress), mixed(a.alphaF(), b.alphaF(), progress));
    }
    if (same && type == QMetaType::fromType<double>()) {
        const double a = from.toDouble();
        return a + (to.toDouble() - a) * progress;
    }
    return QVariantAnimation::interpolated(from, to, progress);
}
