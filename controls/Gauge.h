#pragma once

#include "AnimationDelegate.h"

#include <QColor>
#include <QWidget>
#include <memory>
#include <optional>

class GradientLayer;
class Layer;
class ShapeLayer;
class TextLayer;
namespace GaugeShapes {
struct ShapeStyle;
}

// One value against a maximum, drawn as layers: a ring (the fan boxes), a
// horizontal bar with two number labels (the memory bar), a line, or half an
// oval on the left or right. Set the properties, then updateGauge(); it
// animates from the value it showed last.
//
// The drawing is laid out with the y axis pointing up and turned over once
// when painted, so that mirrors and rotations read as they are specified.
class Gauge : public QWidget, public AnimationDelegate {
    Q_OBJECT
    Q_PROPERTY(GaugeType type READ type WRITE setType)
    Q_PROPERTY(qreal maxValue READ maxValue WRITE setMaxValue)
    Q_PROPERTY(qreal currentValue READ currentValue WRITE setCurrentValue)
    Q_PROPERTY(qreal lastValue READ lastValue WRITE setLastValue)
    Q_PROPERTY(qreal lineWidth READ lineWidth WRITE setLineWidth)
    Q_PROPERTY(qreal bgAlpha READ bgAlpha WRITE setBgAlpha)
    Q_PROPERTY(qreal rotate READ rotate WRITE setRotate)
    Q_PROPERTY(bool colorsArray READ colorsArray WRITE setColorsArray)
    Q_PROPERTY(bool reverse READ reverse WRITE setReverse)
    Q_PROPERTY(bool roundCap READ roundCap WRITE setRoundCap)
    Q_PROPERTY(bool isCircle READ isCircle WRITE setIsCircle)
    Q_PROPERTY(QColor startColor READ startColor WRITE setStartColor)
    Q_PROPERTY(QColor startLightColor READ startLightColor WRITE setStartLightColor)

public:
    enum class GaugeType { circle = 0, line = 1, bar = 2, left = 3, right = 4, custom = 5 };
    Q_ENUM(GaugeType)

    // The style with this raw value; nothing outside 0 to 5.
    static std::optional<GaugeType> gaugeTypeFromRawValue(int rawValue);

    explicit Gauge(QWidget* parent = nullptr);
    ~Gauge() override;

    // Layers of the current drawing; null until built, and after removeLayers
    // (except the container, which the next rebuild replaces).
    ShapeLayer* gaugeLayer() const { return m_gaugeLayer.get(); }
    ShapeLayer* ringLayer() const { return m_ringLayer.get(); }
    ShapeLayer* bgLayer() const { return m_bgLayer.get(); }
    TextLayer* ringTextLayer() const { return m_ringTextLayer.get(); }
    TextLayer* bgTextLayer() const { return m_bgTextLayer.get(); }
    GradientLayer* ringGradientLayer() const { return m_ringGradientLayer.get(); }
    GradientLayer* bgGradientLayer() const { return m_bgGradientLayer.get(); }
    // The view's own layer, which holds the container and the bar's labels.
    Layer* viewLayer() const { return m_viewLayer.get(); }

    QString backgroundText() const { return m_backgroundText; }
    QString ringText() const { return m_ringText; }

    QColor startColor() const { return m_startColor; }
    void setStartColor(const QColor& color) { m_startColor = color; }
    QColor startLightColor() const { return m_startLightColor; }
    void setStartLightColor(const QColor& color) { m_startLightColor = color; }
    // The gradient's end colour: the one set, else startColor. An invalid
    // colour clears it.
    QColor endColor() const;
    bool hasEndColor() const { return m_endColor.has_value(); }
    void setEndColor(const QColor& color);
    // The track colour: the one set (bgColor), else startLightColor.
    std::optional<QColor> bgColor() const { return m_bgColor; }
    void setBgColor(const QColor& color);
    qreal bgAlpha() const { return m_bgAlpha; }
    void setBgAlpha(qreal alpha) { m_bgAlpha = alpha; }
    // Track colours with bgAlpha: at the start of the track's gradient, and
    // at its end.
    QColor trackStartColor() const;
    QColor bgEndColor() const;

    qreal rotate() const { return m_rotate; }
    void setRotate(qreal tenthsOfPi) { m_rotate = tenthsOfPi; }
    bool colorsArray() const { return m_colorsArray; }
    void setColorsArray(bool on) { m_colorsArray = on; }
    qreal shadowRadius() const { return m_shadowRadius; }
    void setShadowRadius(qreal radius) { m_shadowRadius = radius; }
    float shadowOpacity() const { return m_shadowOpacity; }
    void setShadowOpacity(float opacity) { m_shadowOpacity = opacity; }
    bool reverse() const { return m_reverse; }
    void setReverse(bool on) { m_reverse = on; }
    bool roundCap() const { return m_roundCap; }
    void setRoundCap(bool on) { m_roundCap = on; }
    GaugeType type() const { return m_type; }
    void setType(GaugeType type) { m_type = type; }
    qreal maxValue() const { return m_maxValue; }
    void setMaxValue(qreal value) { m_maxValue = value; }
    qreal currentValue() const { return m_currentValue; }
    void setCurrentValue(qreal value) { m_currentValue = value; }
    bool isCircle() const { return m_isCircle; }
    void setIsCircle(bool on) { m_isCircle = on; }
    qreal lineWidth() const { return m_lineWidth; }
    void setLineWidth(qreal width) { m_lineWidth = width; }
    qreal lastValue() const { return m_lastValue; }
    void setLastValue(qreal value) { m_lastValue = value; }

    // The reading a screen reader is told: currentValue of maxValue, unless
    // the owner's reading is on another scale than the drawing (a fan ring
    // is drawn on 10 but stands for a share of 100 percent).
    qreal accessibleValue() const;
    qreal accessibleMaximum() const;
    void setAccessibleReading(qreal value, qreal maximum);

    // The layout pass: rebuild the layers for the current style and size,
    // then updateGauge. Runs on every resize.
    void layoutGauge();
    // Drops every layer of the drawing.
    void removeLayers();
    // Shows currentValue on the existing layers, animating where the style does.
    void updateGauge();
    // Asks for a display pass: a bar rebuilds its layers on it, and every
    // style then updates (what a redraw of the whole view does).
    void setNeedsDisplay();

    void animationDidStop(LayerAnimation* animation, bool finished) override;

    // "%.2f" without a fraction of zeros: 12.00 gives "12", 3.456 "3.46",
    // 3.5 "3.50".
    static QString formatValue(qreal value);
    // The colour of the value for a filled fraction when colorsArray is on.
    static QColor bandColor(qreal fraction);
    // How much of the half-oval path left and right styles stroke.
    static qreal halfStrokeEnd(qreal currentValue, qreal maxValue);
    // The font of the bar's labels.
    QFont labelFont() const;

    // Paints the layers into rect (the view's size unless scaled to another).
    void draw(QPainter* painter, const QRect& rect) const;

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QRectF viewBounds() const;
    // The track's stroke: its start colour, the line width and the shadow,
    // stroked up to strokeEnd.
    GaugeShapes::ShapeStyle trackStyle(qreal strokeEnd) const;
    qreal fraction() const;
    void rebuildLayers();
    void displayIfNeeded();
    std::shared_ptr<ShapeLayer> drawCircle();
    std::shared_ptr<ShapeLayer> drawLine();
    std::shared_ptr<ShapeLayer> drawBar(qreal width);
    std::shared_ptr<ShapeLayer> drawSide(qreal angle);
    void applyMirror(ShapeLayer& container) const;
    void updateBar(qreal fraction);
    void applyColors(qreal fraction);
    void drawText(const QString& text, bool ring);
    void drawBarLabels();
    void watch(LayerAnimation* animation);
    void notifyAccessibleValue();

    std::shared_ptr<Layer> m_viewLayer;
    std::shared_ptr<ShapeLayer> m_gaugeLayer;
    std::shared_ptr<ShapeLayer> m_ringLayer;
    std::shared_ptr<ShapeLayer> m_bgLayer;
    std::shared_ptr<TextLayer> m_ringTextLayer;
    std::shared_ptr<TextLayer> m_bgTextLayer;
    std::shared_ptr<GradientLayer> m_ringGradientLayer;
    std::shared_ptr<GradientLayer> m_bgGradientLayer;
    QString m_backgroundText;
    QString m_ringText;
    QColor m_startColor;
    QColor m_startLightColor;
    std::optional<QColor> m_endColor;
    std::optional<QColor> m_bgColor;
    qreal m_bgAlpha = 0.25;
    qreal m_rotate = 0.0;
    bool m_colorsArray = false;
    qreal m_shadowRadius = 0.0;
    float m_shadowOpacity = 0.0F;
    bool m_reverse = false;
    bool m_roundCap = true;
    GaugeType m_type = GaugeType::circle;
    qreal m_maxValue = 10.0;
    qreal m_currentValue = 0.0;
    bool m_isCircle = false;
    qreal m_lineWidth = 8.0;
    qreal m_lastValue = 0.0;
    std::optional<std::pair<qreal, qreal>> m_accessibleReading;
    std::optional<qreal> m_notifiedValue;
    bool m_needsDisplay = true;
};
