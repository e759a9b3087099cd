#include "SwitchControl.h"

#include "Layer.h"
#include "LayerAnimation.h"
#include "NamedAssets.h"

#include <QApplication>
#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

SwitchControl::SwitchControl(QWidget* parent)
    : SwitchControl(false, QColor(), parent) {}

SwitchControl::SwitchControl(bool on, const QColor& tintColor, QWidget* parent)
    : QAbstractButton(parent)
    , m_disabledBorderColor(QColor::fromRgbF(0.0F, 0.0F, 0.0F, 0.2F))
    , m_tintColor(tintColor.isValid() ? tintColor : systemBlue(palette()))
    , m_tintGiven(tintColor.isValid())
    , m_rootLayer(std::make_shared<Layer>())
    , m_backgroundLayer(std::make_shared<Layer>())
    , m_knobLayer(std::make_shared<Layer>())
    , m_knobInsideLayer(std::make_shared<Layer>()) {
    setCheckable(true);
    m_settingState = true;
    setChecked(on);
    m_settingState = false;
    setFocusPolicy(Qt::StrongFocus);
    setupLayers();
}

SwitchControl::~SwitchControl() {
    m_rootLayer->removeAllAnimationsInTree();
}

QColor SwitchControl::systemBlue(const QPalette& palette) {
    return NamedAssets::isDark(palette) ? QColor(0x0A, 0x84, 0xFF) : QColor(0x00, 0x7A, 0xFF);
}

void SwitchControl::setIsOn(bool on) {
    if (on != isChecked()) {
        m_settingState = true;
        setChecked(on);
        m_settingState = false;
    }
    redraw();
}

void SwitchControl::setTintColor(const QColor& color) {
    m_tintGiven = color.isValid();
    m_tintColor = m_tintGiven ? color : systemBlue(palette());
    redraw();
}

bool SwitchControl::showsOn() const {
    return (m_hasDragged && m_isDragginToOn) || (!m_hasDragged && isOn());
}

QRectF SwitchControl::knobRect(const QSizeF& track, bool active, bool showsOn) {
    const qreal ratio = active ? kDecreasedGoldenRatio : kGoldenRatio;
    const qreal height = track.height() - 2.0;
    const qreal width = (track.width() - 2.0) / ratio;
    const qreal x = showsOn ? track.width() - width - 1.0 : 1.0;
    return QRectF(x, 1.0, width, height);
}

void SwitchControl::setupLayers() {
    m_rootLayer->setAnchorPoint(QPointF(0, 0));
    m_rootLayer->setBounds(QRectF(0, 0, width(), height()));

    m_backgroundLayer->setBounds(m_rootLayer->bounds());
    m_backgroundLayer->setAnchorPoint(QPointF(0, 0));
    m_backgroundLayer->setBorderWidth(kBorderWidth);
    m_rootLayer->addSublayer(m_backgroundLayer);

    m_knobLayer->setFrame(knobRect(m_backgroundLayer->bounds().size(), m_isActive, showsOn()));
    m_knobLayer->setBackgroundColor(m_knobBackgroundColor);
    m_knobLayer->setShadowColor(Qt::black);
    m_knobLayer->setShadowOffset(QPointF(0.0, -2.0));
    m_knobLayer->setShadowRadius(1.0);
    m_knobLayer->setShadowOpacity(0.3);
    m_rootLayer->addSublayer(m_knobLayer);

    m_knobInsideLayer->setFrame(QRectF(QPointF(0, 0), m_knobLayer->bounds().size()));
    m_knobInsideLayer->setBackgroundColor(Qt::white);
    m_knobInsideLayer->setShadowColor(Qt::black);
    m_knobInsideLayer->setShadowOffset(QPointF(0.0, 0.0));
    m_knobInsideLayer->setShadowRadius(1.0);
    m_knobInsideLayer->setShadowOpacity(0.35);
    m_knobLayer->addSublayer(m_knobInsideLayer);

    resizeLayers();
    redraw();
}

void SwitchControl::resizeLayers() {
    // Without animation: the switch takes its new size at once.
    m_rootLayer->setBounds(QRectF(0, 0, width(), height()));
    // The track follows the view, so that a switch sized after it was made
    // still fills it.
    m_backgroundLayer->setBounds(m_rootLayer->bounds());
    for (const QString& key : {QStringLiteral("position"), QStringLiteral("bounds")}) {
        m_knobLayer->removeAnimationForKey(key);
        m_knobInsideLayer->removeAnimationForKey(key);
    }
    m_knobLayer->setFrame(knobRect(m_backgroundLayer->bounds().size(), m_isActive, showsOn()));
    m_knobInsideLayer->setFrame(QRectF(QPointF(0, 0), m_knobLayer->bounds().size()));
    m_backgroundLayer->setCornerRadius(m_backgroundLayer->bounds().height() * 0.5);
    m_knobLayer->setCornerRadius(m_knobLayer->bounds().height() * 0.5);
    m_knobInsideLayer->setCornerRadius(m_knobLayer->bounds().height() * 0.5);
    update();
}

void SwitchControl::animate(Layer& layer, const QString& keyPath, const QVariant& from,
                            const QVariant& to, const QEasingCurve& timing) {
    if (!isVisible() || from == to) {
        layer.removeAnimationForKey(keyPath);
        return;
    }
    auto* animation = new LayerAnimation(keyPath);
    animation->setFromValue(from);
    animation->setToValue(to);
    animation->setDurationSeconds(kAnimationDuration);
    animation->setTimingFunction(timing);
    connect(animation, &QVariantAnimation::valueChanged, this, [this] { update(); });
    layer.addAnimation(animation, keyPath);
}

void SwitchControl::redraw() {
    const bool on = showsOn();
    // Settling after a change overshoots a little; a drag follows the pointer
    // with the plain curve.
    const QEasingCurve timing =
        m_hasDragged ? LayerAnimation::defaultTiming()
                     : LayerAnimation::cubicBezierTiming(QPointF(0.25, 1.5), QPointF(0.5, 1.0));
    const auto shown = [](const Layer& layer, const char* key, const QVariant& model) {
        const QVariant value = layer.presentationValue(QLatin1String(key));
        return value.isValid() ? value : model;
    };

    Layer& track = *m_backgroundLayer;
    const QColor border = on ? m_tintColor : m_disabledBorderColor;
    const QColor fill = on ? m_tintColor : m_disabledBackgroundColor;
    const QVariant fromBorder = shown(track, "borderColor", track.borderColor());
    const QVariant fromFill = shown(track, "backgroundColor", track.backgroundColor());
    track.setBorderColor(border);
    track.setBackgroundColor(fill);
    animate(track, QStringLiteral("borderColor"), fromBorder, border, timing);
    animate(track, QStringLiteral("backgroundColor"), fromFill, fill, timing);

    const qreal opacity = m_isActive ? kDisabledOpacity : kEnabledOpacity;
    const QVariant fromOpacity = shown(*m_rootLayer, "opacity", m_rootLayer->opacity());
    m_rootLayer->setOpacity(opacity);
    animate(*m_rootLayer, QStringLiteral("opacity"), fromOpacity, opacity, timing);

    for (Layer* layer : {m_knobLayer.get(), m_knobInsideLayer.get()}) {
        const QVariant fromPosition = shown(*layer, "position", layer->position());
        const QVariant fromBounds = shown(*layer, "bounds", layer->bounds());
        if (layer == m_knobLayer.get()) {
            layer->setFrame(knobRect(track.bounds().size(), m_isActive, on));
        } else {
            layer->setFrame(QRectF(QPointF(0, 0), m_knobLayer->bounds().size()));
        }
        animate(*layer, QStringLiteral("position"), fromPosition, layer->position(), timing);
        animate(*layer, QStringLiteral("bounds"), fromBounds, layer->bounds(), timing);
    }
    update();
}

void SwitchControl::draw(QPainter* painter, const QRect& rect) const {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->translate(rect.left(), rect.top() + rect.height());
    const qreal sx = width() > 0 ? qreal(rect.width()) / width() : 1.0;
    const qreal sy = height() > 0 ? qreal(rect.height()) / height() : 1.0;
    painter->scale(sx, -sy);
    m_rootLayer->render(painter);
    painter->restore();
}

void SwitchControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    draw(&painter, rect());
    if (hasFocus()) {
        painter.setRenderHint(QPainter::Antialiasing);
        QColor ring = palette().color(QPalette::Highlight);
        ring.setAlphaF(0.6F);
        painter.setPen(QPen(ring, 2.0));
        painter.setBrush(Qt::NoBrush);
        const QRectF outline = QRectF(rect()).adjusted(1, 1, -1, -1);
        painter.drawRoundedRect(outline, outline.height() / 2, outline.height() / 2);
    }
}

void SwitchControl::resizeEvent(QResizeEvent* event) {
    QAbstractButton::resizeEvent(event);
    resizeLayers();
}

void SwitchControl::changeEvent(QEvent* event) {
    QAbstractButton::changeEvent(event);
    switch (event->type()) {
    case QEvent::EnabledChange:
        if (isEnabled()) {
            m_isActive = false;
        }
        redraw();
        break;
    case QEvent::PaletteChange:
        if (!m_tintGiven) {
            m_tintColor = systemBlue(palette());
        }
        redraw();
        break;
    default:
        break;
    }
}

bool SwitchControl::event(QEvent* event) {
    if (!isEnabled()) {
        // A disabled switch gets no clicks; it only shows that it is pressed.
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                m_isActive = true;
                redraw();
            }
            return true;
        case QEvent::MouseButtonRelease:
            if (m_isActive) {
                m_isActive = false;
                redraw();
            }
            return true;
        default:
            break;
        }
    }
    return QAbstractButton::event(event);
}

void SwitchControl::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_pressPosition = event->position();
    m_isActive = true;
    m_hasDragged = false;
    m_isDragginToOn = false;
    redraw();
}

void SwitchControl::mouseMoveEvent(QMouseEvent* event) {
    if (!m_isActive || !(event->buttons() & Qt::LeftButton)) {
        event->ignore();
        return;
    }
    if (!m_hasDragged && (event->position() - m_pressPosition).manhattanLength() <
                             QApplication::startDragDistance()) {
        return;
    }
    const bool towardsOn = event->position().x() >= width() / 2.0;
    if (!m_hasDragged || towardsOn != m_isDragginToOn) {
        m_hasDragged = true;
        m_isDragginToOn = towardsOn;
        redraw();
    }
}

void SwitchControl::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_isActive) {
        event->ignore();
        return;
    }
    const bool newState = m_hasDragged ? m_isDragginToOn : !isOn();
    m_isActive = false;
    m_hasDragged = false;
    m_isDragginToOn = false;
    setIsOn(newState);
    Q_EMIT clicked(isOn());
}

void SwitchControl::nextCheckState() {
    setIsOn(!isOn());
}

void SwitchControl::checkStateSet() {
    if (!m_settingState) {
        redraw();
    }
}

QSize SwitchControl::sizeHint() const {
    return QSize(50, 30);
}

QSize SwitchControl::minimumSizeHint() const {
    return QSize(30, 18);
}
