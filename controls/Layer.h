#pragma once

#include <QColor>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QTransform>
#include <QVariant>
#include <memory>
#include <utility>
#include <vector>

class LayerAnimation;
class QPainter;

// A record of one drawing layer, the way the controls compose their pictures:
// bounds in the layer's own coordinates, a position of its anchor point in the
// superlayer's, a transform about that anchor, colours, a shadow, sublayers
// and an optional mask whose alpha cuts out what the layer shows.
//
// Coordinates are whatever the owning view paints in: the gauge and the switch
// use a y axis pointing up (their drawing is specified that way) and flip once
// when painting; the tab selector uses the widget's own y-down coordinates.
class Layer {
public:
    Layer();
    virtual ~Layer();
    Layer(const Layer&) = delete;
    Layer& operator=(const Layer&) = delete;

    QRectF bounds() const { return m_bounds; }
    void setBounds(const QRectF& bounds) { m_bounds = bounds; }
    QPointF position() const { return m_position; }
    void setPosition(QPointF position) { m_position = position; }
    // Unit point of the bounds that sits at position and that the transform
    // turns about; (0.5, 0.5) is the centre.
    QPointF anchorPoint() const { return m_anchorPoint; }
    void setAnchorPoint(QPointF anchor) { m_anchorPoint = anchor; }
    // The box the layer covers in its superlayer. Setting it on a transformed
    // layer sizes the bounds so that their transformed box fills the frame.
    QRectF frame() const;
    void setFrame(const QRectF& frame);
    QTransform transform() const { return m_transform; }
    void setTransform(const QTransform& transform) { m_transform = transform; }

    bool isHidden() const { return m_hidden; }
    void setHidden(bool hidden) { m_hidden = hidden; }
    qreal opacity() const { return m_opacity; }
    void setOpacity(qreal opacity) { m_opacity = opacity; }
    qreal zPosition() const { return m_zPosition; }
    void setZPosition(qreal z) { m_zPosition = z; }

    QColor backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const QColor& color) { m_backgroundColor = color; }
    QColor borderColor() const { return m_borderColor; }
    void setBorderColor(const QColor& color) { m_borderColor = color; }
    qreal borderWidth() const { return m_borderWidth; }
    void setBorderWidth(qreal width) { m_borderWidth = width; }
    qreal cornerRadius() const { return m_cornerRadius; }
    void setCornerRadius(qreal radius) { m_cornerRadius = radius; }

    QColor shadowColor() const { return m_shadowColor; }
    void setShadowColor(const QColor& color) { m_shadowColor = color; }
    qreal shadowRadius() const { return m_shadowRadius; }
    void setShadowRadius(qreal radius) { m_shadowRadius = radius; }
    qreal shadowOpacity() const { return m_shadowOpacity; }
    void setShadowOpacity(qreal opacity) { m_shadowOpacity = opacity; }
    QPointF shadowOffset() const { return m_shadowOffset; }
    void setShadowOffset(QPointF offset) { m_shadowOffset = offset; }

    const std::vector<std::shared_ptr<Layer>>& sublayers() const { return m_sublayers; }
    void addSublayer(std::shared_ptr<Layer> layer);
    // Drops every sublayer; animations running in the dropped layers stop as
    // interrupted.
    void removeAllSublayers();

    Layer* mask() const { return m_mask.get(); }
    void setMask(std::shared_ptr<Layer> mask) { m_mask = std::move(mask); }

    // Takes ownership and starts the animation; one already under the key stops
    // as interrupted.
    void addAnimation(LayerAnimation* animation, const QString& key);
    LayerAnimation* animationForKey(const QString& key) const;
    void removeAnimationForKey(const QString& key);
    void removeAllAnimations();
    // The same for this layer and everything below it.
    void removeAllAnimationsInTree();

    // What is on screen for a property: the value of a running animation of
    // that key path, or an invalid value when none runs.
    QVariant presentationValue(const QString& keyPath) const;
    QRectF presentedBounds() const;
    QPointF presentedPosition() const;
    qreal presentedOpacity() const;

    // Paints the layer and its sublayers into the painter's current coordinates
    // (those of the superlayer).
    void render(QPainter* painter) const;

protected:
    template <typename T> T presented(const char* keyPath, const T& model) const {
        const QVariant value = presentationValue(QLatin1String(keyPath));
        return value.isValid() ? value.value<T>() : model;
    }

    // The layer's own content, above its background, below its sublayers.
    virtual void paintContents(QPainter* painter) const;
    // The outline a shadow follows.
    virtual QPainterPath shadowShape() const;

private:
    void renderTree(QPainter* painter) const;
    void renderAsGroup(QPainter* painter, qreal opacity) const;
    void paintShadow(QPainter* painter) const;
    QPainterPath backgroundShape() const;
    void animationFinished(LayerAnimation* animation);
    void stopAnimation(LayerAnimation* animation);

    QRectF m_bounds;
    QPointF m_position;
    QPointF m_anchorPoint{0.5, 0.5};
    QTransform m_transform;
    bool m_hidden = false;
    qreal m_opacity = 1.0;
    qreal m_zPosition = 0.0;
    QColor m_backgroundColor{Qt::transparent};
    QColor m_borderColor{Qt::black};
    qreal m_borderWidth = 0.0;
    qreal m_cornerRadius = 0.0;
    QColor m_shadowColor{Qt::black};
    qreal m_shadowRadius = 3.0;
    qreal m_shadowOpacity = 0.0;
    QPointF m_shadowOffset{0.0, -3.0};
    std::vector<std::shared_ptr<Layer>> m_sublayers;
    std::shared_ptr<Layer> m_mask;
    std::vector<std::pair<QString, LayerAnimation*>> m_animations;
};
