#pragma once

#include <QEasingCurve>
#include <QPainterPath>
#include <QVariantAnimation>

class AnimationDelegate;

// A basic animation of one layer property, named by its key path ("strokeEnd",
// "path", "position", "bounds", "opacity", "backgroundColor", "borderColor").
// While it runs, the layer paints its current value instead of the property's
// own (the model value), which the code sets to the end value beforehand.
class LayerAnimation : public QVariantAnimation {
    Q_OBJECT
public:
    explicit LayerAnimation(const QString& keyPath, QObject* parent = nullptr);

    QString keyPath() const { return m_keyPath; }

    QVariant fromValue() const { return startValue(); }
    void setFromValue(const QVariant& value) { setStartValue(value); }
    QVariant toValue() const { return endValue(); }
    void setToValue(const QVariant& value) { setEndValue(value); }

    double durationSeconds() const { return m_durationSeconds; }
    void setDurationSeconds(double seconds);

    QEasingCurve timingFunction() const { return easingCurve(); }
    void setTimingFunction(const QEasingCurve& curve) { setEasingCurve(curve); }

    // Whether the layer drops the animation once it has finished (default true).
    bool isRemovedOnCompletion() const { return m_removedOnCompletion; }
    void setRemovedOnCompletion(bool removed) { m_removedOnCompletion = removed; }

    AnimationDelegate* delegate() const { return m_delegate; }
    void setDelegate(AnimationDelegate* delegate) { m_delegate = delegate; }

    // Timing curves by their control points, as cubic Bézier curves from (0, 0)
    // to (1, 1). The default one eases in and out.
    static QEasingCurve cubicBezierTiming(QPointF control1, QPointF control2);
    static QEasingCurve defaultTiming();

    // Paths with the same elements move point by point; others blend as
    // outlines sampled along their lengths.
    static QPainterPath interpolatedPath(const QPainterPath& from, const QPainterPath& to,
                                         qreal progress);

protected:
    QVariant interpolated(const QVariant& from, const QVariant& to, qreal progress) const override;

private:
    QString m_keyPath;
    double m_durationSeconds = 0.25;
    bool m_removedOnCompletion = true;
    AnimationDelegate* m_delegate = nullptr;
};
