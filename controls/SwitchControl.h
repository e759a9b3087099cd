#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QEasingCurve>
#include <memory>

class Layer;
class LayerAnimation;

// An on/off switch: a rounded track that fills with the tint colour when on,
// and a white rounded knob with a soft shadow at its left (off) or right (on)
// end. Pressing makes the knob wider and the switch fainter.
//
// A click toggles the state; dragging across the middle puts it on the side
// the pointer is on when released; space toggles it from the keyboard. Every
// change of state emits toggled(bool) and, when the user made it, clicked().
// A disabled switch only shows its pressed look while pressed.
//
// The drawing is laid out with the y axis pointing up, flipped when painted.
class SwitchControl : public QAbstractButton {
    Q_OBJECT
    Q_PROPERTY(bool isOn READ isOn WRITE setIsOn)
    Q_PROPERTY(QColor tintColor READ tintColor WRITE setTintColor)

public:
    static constexpr qreal kBorderWidth = 1.0;
    // Track width to knob width, at rest and while pressed (a wider knob).
    static constexpr qreal kGoldenRatio = 1.61803398875;
    static constexpr qreal kDecreasedGoldenRatio = 1.38;
    static constexpr double kAnimationDuration = 0.4;
    static constexpr float kEnabledOpacity = 0.8F;
    static constexpr float kDisabledOpacity = 0.5F;

    explicit SwitchControl(QWidget* parent = nullptr);
    SwitchControl(bool on, const QColor& tintColor, QWidget* parent = nullptr);
    ~SwitchControl() override;

    bool isOn() const { return isChecked(); }
    // Stores the state and redraws, animated (also when it does not change).
    void setIsOn(bool on);
    QColor tintColor() const { return m_tintColor; }
    void setTintColor(const QColor& color);

    bool isActive() const { return m_isActive; }
    bool hasDragged() const { return m_hasDragged; }
    bool isDragginToOn() const { return m_isDragginToOn; }
    // Whether the knob is drawn on the "on" side: a drag decides while one is
    // under way, the state otherwise.
    bool showsOn() const;

    // The knob's frame on a track of this size.
    static QRectF knobRect(const QSizeF& track, bool active, bool showsOn);

    Layer* rootLayer() const { return m_rootLayer.get(); }
    Layer* backgroundLayer() const { return m_backgroundLayer.get(); }
    Layer* knobLayer() const { return m_knobLayer.get(); }
    Layer* knobInsideLayer() const { return m_knobInsideLayer.get(); }

    void draw(QPainter* painter, const QRect& rect) const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void nextCheckState() override;
    void checkStateSet() override;

private:
    static QColor systemBlue(const QPalette& palette);
    void setupLayers();
    void resizeLayers();
    void redraw();
    void animate(Layer& layer, const QString& keyPath, const QVariant& from, const QVariant& to,
                 const QEasingCurve& timing);

    QColor m_knobBackgroundColor{Qt::white};
    QColor m_disabledBorderColor;
    QColor m_disabledBackgroundColor{Qt::transparent};
    QColor m_tintColor;
    bool m_tintGiven = false;
    bool m_isActive = false;
    bool m_hasDragged = false;
    bool m_isDragginToOn = false;
    bool m_settingState = false;
    QPointF m_pressPosition;
    std::shared_ptr<Layer> m_rootLayer;
    std::shared_ptr<Layer> m_backgroundLayer;
    std::shared_ptr<Layer> m_knobLayer;
    std::shared_ptr<Layer> m_knobInsideLayer;
};
