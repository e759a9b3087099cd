#include "Layer.h"

#include "AnimationDelegate.h"
#include "LayerAnimation.h"

#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QtMath>
#include <algorithm>

namespace {

QTransform linearPart(const QTransform& transform) {
    return QTransform(transform.m11(), transform.m12(), transform.m21(), transform.m22(), 0.0, 0.0);
}

} // namespace

Layer::Layer() = default;

Layer::~Layer() {
    removeAllAnimations();
}

QRectF Layer::frame() const {
    const QSizeF size = m_bounds.size();
    const QRectF local(-m_anchorPoint.x() * size.width(), -m_anchorPoint.y() * size.height(),
                       size.width(), size.height());
    return linearPart(m_transform).mapRect(local).translated(m_position);
}

void Layer::setFrame(const QRectF& frame) {
    const QTransform linear = linearPart(m_transform);
    QSizeF size = frame.size();
    if (!linear.isIdentity()) {
        bool invertible = false;
        const QTransform inverse = linear.inverted(&invertible);
        if (invertible) {
            size = inverse.mapRect(QRectF(QPointF(), frame.size())).size();
        }
    }
    m_bounds.setSize(size);
    const QPointF fromCentre((m_anchorPoint.x() - 0.5) * size.width(),
                             (m_anchorPoint.y() - 0.5) * size.height());
    m_position = frame.center() + linear.map(fromCentre);
}

void Layer::addSublayer(std::shared_ptr<Layer> layer) {
    if (layer) {
        m_sublayers.push_back(std::move(layer));
    }
}

void Layer::removeAllSublayers() {
    std::vector<std::shared_ptr<Layer>> removed;
    removed.swap(m_sublayers);
    for (const auto& layer : removed) {
        layer->removeAllAnimationsInTree();
    }
}

void Layer::addAnimation(LayerAnimation* animation, const QString& key) {
    if (!animation) {
        return;
    }
    removeAnimationForKey(key);
    m_animations.emplace_back(key, animation);
    QObject::connect(animation, &QAbstractAnimation::finished, animation,
                     [this, animation] { animationFinished(animation); });
    animation->start();
}

LayerAnimation* Layer::animationForKey(const QString& key) const {
    for (const auto& [name, animation] : m_animations) {
        if (name == key) {
            return animation;
        }
    }
    return nullptr;
}

void Layer::removeAnimationForKey(const QString& key) {
    const auto it = std::find_if(m_animations.begin(), m_animations.end(),
                                 [&key](const auto& entry) { return entry.first == key; });
    if (it == m_animations.end()) {
        return;
    }
    LayerAnimation* animation = it->second;
    m_animations.erase(it);
    stopAnimation(animation);
}

void Layer::removeAllAnimations() {
    std::vector<std::pair<QString, LayerAnimation*>> removed;
    removed.swap(m_animations);
    for (const auto& entry : removed) {
        stopAnimation(entry.second);
    }
}

void Layer::removeAllAnimationsInTree() {
    removeAllAnimations();
    for (const auto& layer : m_sublayers) {
        layer->removeAllAnimationsInTree();
    }
    if (m_mask) {
        m_mask->removeAllAnimationsInTree();
    }
}

void Layer::stopAnimation(LayerAnimation* animation) {
    const bool wasRunning = animation->state() == QAbstractAnimation::Running;
    QObject::disconnect(animation, nullptr, nullptr, nullptr);
    animation->stop();
    if (wasRunning && animation->delegate()) {
        animation->delegate()->animationDidStop(animation, false);
    }
    // Deferred: this may run inside one of the animation's own signals.
    animation->deleteLater();
}

void Layer::animationFinished(LayerAnimation* animation) {
    // The layer is left alone once the delegate is called: the delegate may
    // rebuild the tree this layer belongs to.
    if (animation->isRemovedOnCompletion()) {
        std::erase_if(m_animations,
                      [animation](const auto& entry) { return entry.second == animation; });
        QObject::disconnect(animation, &QAbstractAnimation::finished, animation, nullptr);
        animation->deleteLater();
    }
    if (animation->delegate()) {
        animation->delegate()->animationDidStop(animation, true);
    }
}

QVariant Layer::presentationValue(const QString& keyPath) const {
    for (auto it = m_animations.rbegin(); it != m_animations.rend(); ++it) {
        const LayerAnimation* animation = it->second;
        if (animation->keyPath() == keyPath && animation->state() == QAbstractAnimation::Running) {
            return animation->currentValue();
        }
    }
    return {};
}

QRectF Layer::presentedBounds() const {
    return presented("bounds", m_bounds);
}

QPointF Layer::presentedPosition() const {
    return presented("position", m_position);
}

qreal Layer::presentedOpacity() const {
    return std::clamp(presented("opacity", m_opacity), 0.0, 1.0);
}

void Layer::render(QPainter* painter) const {
    if (m_hidden) {
        return;
    }
    const qreal opacity = presentedOpacity();
    if (opacity <= 0.0) {
        return;
    }
    const QRectF bounds = presentedBounds();
    painter->save();
    painter->translate(presentedPosition());
    painter->setTransform(m_transform, true);
    painter->translate(-m_anchorPoint.x() * bounds.width() - bounds.x(),
                       -m_anchorPoint.y() * bounds.height() - bounds.y());
    // A mask, or a translucent layer whose parts overlap, has to be composed
    // on its own before it meets what lies below.
    if (m_mask || (opacity < 1.0 && !m_sublayers.empty())) {
        renderAsGroup(painter, opacity);
    } else {
        painter->setOpacity(painter->opacity() * opacity);
        renderTree(painter);
    }
    painter->restore();
}

void Layer::renderTree(QPainter* painter) const {
    paintShadow(painter);
    const QPainterPath background = backgroundShape();
    const QColor backgroundColor = presented("backgroundColor", m_backgroundColor);
    if (backgroundColor.alpha() > 0) {
        painter->fillPath(background, backgroundColor);
    }
    paintContents(painter);
    std::vector<const Layer*> ordered;
    ordered.reserve(m_sublayers.size());
    for (const auto& layer : m_sublayers) {
        ordered.push_back(layer.get());
    }
    std::stable_sort(ordered.begin(), ordered.end(), [](const Layer* a, const Layer* b) {
        return a->m_zPosition < b->m_zPosition;
    });
    for (const Layer* layer : ordered) {
        layer->render(painter);
    }
    const QColor borderColor = presented("borderColor", m_borderColor);
    if (m_borderWidth > 0.0 && borderColor.alpha() > 0) {
        // The border lies inside the bounds.
        const qreal half = m_borderWidth / 2.0;
        const QRectF inner = presentedBounds().adjusted(half, half, -half, -half);
        const qreal radius = std::max(0.0, m_cornerRadius - half);
        painter->save();
        painter->setPen(QPen(borderColor, m_borderWidth));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(inner, radius, radius);
        painter->restore();
    }
}

void Layer::renderAsGroup(QPainter* painter, qreal opacity) const {
    const QPaintDevice* device = painter->device();
    if (!device || device->width() <= 0 || device->height() <= 0) {
        painter->setOpacity(painter->opacity() * opacity);
        renderTree(painter);
        return;
    }
    const qreal ratio = device->devicePixelRatioF();
    const QSize pixels(qCeil(device->width() * ratio), qCeil(device->height() * ratio));
    QImage group(pixels, QImage::Format_ARGB32_Premultiplied);
    group.setDevicePixelRatio(ratio);
    group.fill(Qt::transparent);
    {
        QPainter groupPainter(&group);
        groupPainter.setRenderHints(painter->renderHints());
        groupPainter.setTransform(painter->transform());
        renderTree(&groupPainter);
        if (m_mask) {
            QImage alpha(pixels, QImage::Format_ARGB32_Premultiplied);
            alpha.setDevicePixelRatio(ratio);
            alpha.fill(Qt::transparent);
            {
                QPainter maskPainter(&alpha);
                maskPainter.setRenderHints(painter->renderHints());
                maskPainter.setTransform(painter->transform());
                m_mask->render(&maskPainter);
            }
            groupPainter.resetTransform();
            groupPainter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
            groupPainter.drawImage(QPointF(0, 0), alpha);
        }
    }
    painter->save();
    painter->resetTransform();
    painter->setOpacity(painter->opacity() * opacity);
    painter->drawImage(QPointF(0, 0), group);
    painter->restore();
}

QPainterPath Layer::backgroundShape() const {
    QPainterPath shape;
    const QRectF bounds = presentedBounds();
    if (m_cornerRadius > 0.0) {
        const qreal radius = std::min({m_cornerRadius, bounds.width() / 2, bounds.height() / 2});
        shape.addRoundedRect(bounds, radius, radius);
    } else {
        shape.addRect(bounds);
    }
    return shape;
}

QPainterPath Layer::shadowShape() const {
    if (presented("backgroundColor", m_backgroundColor).alpha() == 0) {
        return {};
    }
    return backgroundShape();
}

void Layer::paintShadow(QPainter* painter) const {
    if (m_shadowOpacity <= 0.0) {
        return;
    }
    const QPainterPath shape = shadowShape();
    if (shape.isEmpty()) {
        return;
    }
    QColor color = m_shadowColor;
    color.setAlphaF(std::clamp(color.alphaF() * m_shadowOpacity, 0.0, 1.0));
    painter->save();
    painter->translate(m_shadowOffset);
    // A soft edge from a few widening outlines, each fainter than the shape.
    constexpr int kSteps = 3;
    if (m_shadowRadius > 0.0) {
        QColor edge = color;
        edge.setAlphaF(color.alphaF() / (kSteps + 1));
        for (int step = kSteps; step >= 1; --step) {
            painter->setPen(QPen(edge, 2.0 * m_shadowRadius * step / kSteps, Qt::SolidLine,
                                 Qt::RoundCap, Qt::RoundJoin));
            painter->setBrush(Qt::NoBrush);
            painter->drawPath(shape);
        }
    }
    painter->fillPath(shape, color);
    painter->restore();
}

void Layer::paintContents(QPainter*) const {}
