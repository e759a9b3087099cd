#include "Gauge.h"

#include "AccessibleFactory.h"
#include "AccessibleGauge.h"
#include "BezierPath.h"
#include "GaugeShapes.h"
#include "GradientLayer.h"
#include "LayerAnimation.h"
#include "NamedAssets.h"
#include "ShapeLayer.h"
#include "TextLayer.h"

#include <QAccessible>
#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QWindow>
#include <QtMath>
#include <cmath>
#include <numbers>

using GaugeShapes::ShapeStyle;

namespace {

constexpr qreal kBarCornerRadius = 6.0;
constexpr qreal kLabelHeight = 16.0;
constexpr qreal kLabelFontSize = 14.0;
constexpr double kAnimationSeconds = 0.3;

const QString kCircleAnimationKey = QStringLiteral("drawCircleAnimation");
const QString kRingAnimationKey = QStringLiteral("drawRingAnimation");

QColor withAlpha(QColor color, qreal alpha) {
    color.setAlphaF(std::clamp(alpha, 0.0, 1.0));
    return color;
}

// A gradient across frame that shows only where mask is drawn.
std::shared_ptr<GradientLayer> maskedGradient(QPointF start, QPointF end,
                                              const QList<QColor>& colors, const QRectF& frame,
                                              std::shared_ptr<Layer> mask) {
    auto gradient = std::make_shared<GradientLayer>();
    gradient->setStartPoint(start);
    gradient->setEndPoint(end);
    gradient->setColors(colors);
    gradient->setFrame(frame);
    gradient->setMask(std::move(mask));
    return gradient;
}

QPainterPath barPath(qreal width, qreal height) {
    return BezierPath::roundedRect(QRectF(0, 0, width, height), kBarCornerRadius, kBarCornerRadius)
        .quartzPath();
}

} // namespace

std::optional<Gauge::GaugeType> Gauge::gaugeTypeFromRawValue(int rawValue) {
    if (rawValue < 0 || rawValue > 5) {
        return std::nullopt;
    }
    return static_cast<GaugeType>(rawValue);
}

Gauge::Gauge(QWidget* parent)
    : QWidget(parent)
    , m_viewLayer(std::make_shared<Layer>())
    , m_startColor(QColor::fromRgbF(0.333F, 0.82F, 0.992F))
    , m_startLightColor(QColor::fromRgbF(0.282F, 0.616F, 0.973F)) {
    AccessibleFactory::install<Gauge, AccessibleGauge>();
    m_viewLayer->setAnchorPoint(QPointF(0, 0));
    m_viewLayer->setBounds(viewBounds());
    updateGauge();
}

Gauge::~Gauge() {
    // Stop the animations while their delegate is still whole.
    removeLayers();
    m_gaugeLayer.reset();
}

QColor Gauge::endColor() const {
    return m_endColor.value_or(m_startColor);
}

void Gauge::setEndColor(const QColor& color) {
    m_endColor = color.isValid() ? std::optional<QColor>(color) : std::nullopt;
}

void Gauge::setBgColor(const QColor& color) {
    m_bgColor = color.isValid() ? std::optional<QColor>(color) : std::nullopt;
}

QColor Gauge::trackStartColor() const {
    return withAlpha(m_bgColor.value_or(m_startLightColor), m_bgAlpha);
}

QColor Gauge::bgEndColor() const {
    return withAlpha(m_bgColor.value_or(endColor()), m_bgAlpha);
}

ShapeStyle Gauge::trackStyle(qreal strokeEnd) const {
    ShapeStyle style;
    style.strokeColor = trackStartColor();
    style.fillColor = Qt::transparent;
    style.lineWidth = m_lineWidth;
    style.strokeStart = 0.0;
    style.strokeEnd = strokeEnd;
    style.shadowRadius = m_shadowRadius;
    style.shadowOpacity = m_shadowOpacity;
    return style;
}

QRectF Gauge::viewBounds() const {
    return QRectF(0, 0, width(), height());
}

qreal Gauge::fraction() const {
    // A maximum of zero would spread NaN through every path; show nothing.
    if (!(m_maxValue > 0.0) || !std::isfinite(m_currentValue)) {
        return 0.0;
    }
    return m_currentValue / m_maxValue;
}

// MARK: building

void Gauge::layoutGauge() {
    rebuildLayers();
    updateGauge();
}

void Gauge::rebuildLayers() {
    removeLayers();
    m_viewLayer->setBounds(viewBounds());
    switch (m_type) {
    case GaugeType::circle:
    case GaugeType::custom:
        m_gaugeLayer = drawCircle();
        break;
    case GaugeType::line:
        m_gaugeLayer = drawLine();
        break;
    case GaugeType::bar:
        m_gaugeLayer = drawBar(viewBounds().width() * fraction());
        break;
    case GaugeType::left:
    case GaugeType::right:
        m_gaugeLayer = drawSide(m_rotate / 10.0 * std::numbers::pi);
        break;
    }
    m_viewLayer->addSublayer(m_gaugeLayer);
    update();
}

void Gauge::removeLayers() {
    m_viewLayer->removeAllSublayers();
    m_bgLayer.reset();
    m_ringLayer.reset();
    m_ringTextLayer.reset();
    m_bgTextLayer.reset();
    m_ringGradientLayer.reset();
    m_bgGradientLayer.reset();
    update();
}

void Gauge::applyMirror(ShapeLayer& container) const {
    QTransform transform = container.transform();
    switch (m_type) {
    case GaugeType::circle:
    case GaugeType::custom:
    case GaugeType::bar:
    case GaugeType::left:
        if (m_reverse) {
            transform.scale(1.0, -1.0);
        }
        break;
    case GaugeType::line:
        if (m_reverse) {
            transform.scale(-1.0, 1.0);
        }
        break;
    case GaugeType::right:
        if (m_reverse) {
            transform.scale(1.0, -1.0);
        }
        transform.scale(-1.0, 1.0);
        break;
    }
    container.setTransform(transform);
}

std::shared_ptr<ShapeLayer> Gauge::drawCircle() {
    auto container = std::make_shared<ShapeLayer>();
    const QRectF bounds = viewBounds();
    ShapeStyle style = trackStyle(0.75);
    if (!m_bgLayer) {
        m_bgLayer = GaugeShapes::makeOvalLayer(style, bounds, true);
        m_bgLayer->setFrame(bounds);
        container->addSublayer(m_bgLayer);
    }
    if (!m_ringLayer) {
        style.strokeColor = m_startColor;
        m_ringLayer = GaugeShapes::makeOvalLayer(style, bounds, true);
        m_ringLayer->setFrame(bounds);
        container->addSublayer(m_ringLayer);
    }
    container->setFrame(bounds);
    container->setAnchorPoint(QPointF(0.5, 0.5));
    if (m_roundCap) {
        m_bgLayer->setLineCap(Qt::RoundCap);
        m_ringLayer->setLineCap(Qt::RoundCap);
    }
    applyMirror(*container);
    return container;
}

std::shared_ptr<ShapeLayer> Gauge::drawBar(qreal width) {
    auto container = std::make_shared<ShapeLayer>();
    const QRectF bounds = viewBounds();
    container->setFrame(bounds);
    container->setAnchorPoint(QPointF(0.5, 0.5));
    if (!m_bgLayer) {
        m_bgLayer = std::make_shared<ShapeLayer>();
        m_bgLayer->setPath(
            BezierPath::roundedRect(bounds, kBarCornerRadius, kBarCornerRadius).quartzPath());
        m_bgLayer->setFillColor(Qt::transparent);
        m_bgLayer->setFrame(bounds);
        container->addSublayer(m_bgLayer);
    }
    if (!m_ringLayer && width > 0.0) {
        m_ringLayer = std::make_shared<ShapeLayer>();
        m_ringLayer->setPath(barPath(width, bounds.height()));
        m_ringLayer->setFillColor(Qt::transparent);
        m_ringLayer->setFrame(QRectF(0, 0, width, bounds.height()));
        container->addSublayer(m_ringLayer);
    }
    applyMirror(*container);
    return container;
}

std::shared_ptr<ShapeLayer> Gauge::drawLine() {
    auto container = std::make_shared<ShapeLayer>();
    const QRectF bounds = viewBounds();
    QPainterPath path;
    path.moveTo(m_lineWidth, bounds.center().y());
    path.lineTo(bounds.width() - m_lineWidth, bounds.center().y());
    ShapeStyle style = trackStyle(1.0);
    if (!m_bgLayer) {
        m_bgLayer = std::make_shared<ShapeLayer>();
        m_bgLayer->setPath(path);
        GaugeShapes::configureShapeLayer(*m_bgLayer, style);
        m_bgLayer->setFrame(bounds);
    }
    if (!m_ringLayer) {
        // The value only cuts out its gradient, so any opaque stroke does; one
        // is needed so that colour bands (which go to the gradient) show.
        m_ringLayer = std::make_shared<ShapeLayer>();
        m_ringLayer->setPath(path);
        style.strokeColor = m_startColor;
        GaugeShapes::configureShapeLayer(*m_ringLayer, style);
        m_ringLayer->setFrame(bounds);
    }
    if (!m_bgGradientLayer) {
        m_bgGradientLayer = maskedGradient(QPointF(0, 1), QPointF(1, 1),
                                           {trackStartColor(), bgEndColor()}, bounds, m_bgLayer);
        container->addSublayer(m_bgGradientLayer);
    }
    if (!m_ringGradientLayer) {
        m_ringGradientLayer = maskedGradient(QPointF(0, 1), QPointF(1, 1),
                                             {m_startColor, endColor()}, bounds, m_ringLayer);
        container->addSublayer(m_ringGradientLayer);
    }
    container->setFrame(bounds);
    container->setAnchorPoint(QPointF(0.5, 0.5));
    const Qt::PenCapStyle cap = m_roundCap ? Qt::RoundCap : Qt::SquareCap;
    m_bgLayer->setLineCap(cap);
    m_ringLayer->setLineCap(cap);
    applyMirror(*container);
    return container;
}

std::shared_ptr<ShapeLayer> Gauge::drawSide(qreal angle) {
    auto container = std::make_shared<ShapeLayer>();
    const QRectF bounds = viewBounds();
    const qreal w = bounds.width();
    const qreal h = bounds.height();
    // An oval twice as wide as the view, turned upright and pushed right so
    // that only its left half lies inside.
    const QRectF ovalBox(bounds.left(), bounds.top(), h, 2.0 * w - m_lineWidth);
    ShapeStyle style = trackStyle(0.5);
    style.rotation = std::numbers::pi / 2.0;
    const auto placed = [&](const std::shared_ptr<ShapeLayer>& layer) {
        layer->setFrame(bounds);
        layer->setPosition(layer->position() + QPointF(w - m_lineWidth, 0));
    };
    QPointF start(0.5, 1.0);
    QPointF end(0.5, 0.0);
    if (m_isCircle && h > w) {
        const qreal k = (h - w) * 0.5 / h;
        start = QPointF(0.5, 1.0 - k);
        end = QPointF(0.5, k);
    }
    if (!m_bgLayer) {
        m_bgLayer = GaugeShapes::makeOvalLayer(style, ovalBox, m_isCircle);
        placed(m_bgLayer);
    }
    if (!m_bgGradientLayer) {
        m_bgGradientLayer =
            maskedGradient(start, end, {trackStartColor(), bgEndColor()}, bounds, m_bgLayer);
        container->addSublayer(m_bgGradientLayer);
    }
    if (!m_ringLayer) {
        style.strokeColor = m_startColor;
        m_ringLayer = GaugeShapes::makeOvalLayer(style, ovalBox, m_isCircle);
        placed(m_ringLayer);
    }
    if (!m_ringGradientLayer) {
        m_ringGradientLayer =
            maskedGradient(start, end, {m_startColor, endColor()}, bounds, m_ringLayer);
        container->addSublayer(m_ringGradientLayer);
    }
    if (m_roundCap) {
        m_bgLayer->setLineCap(Qt::RoundCap);
        m_ringLayer->setLineCap(Qt::RoundCap);
    }
    container->setFrame(bounds);
    container->setAnchorPoint(QPointF(0.5, 0.5));
    QTransform transform;
    transform.rotateRadians(angle);
    container->setTransform(transform);
    applyMirror(*container);
    return container;
}

// MARK: updating

qreal Gauge::accessibleValue() const {
    return m_accessibleReading ? m_accessibleReading->first : m_currentValue;
}

qreal Gauge::accessibleMaximum() const {
    return m_accessibleReading ? m_accessibleReading->second : m_maxValue;
}

void Gauge::setAccessibleReading(qreal value, qreal maximum) {
    m_accessibleReading = std::pair(value, maximum);
    notifyAccessibleValue();
}

void Gauge::notifyAccessibleValue() {
    const qreal value = accessibleValue();
    if (m_notifiedValue && qFuzzyCompare(*m_notifiedValue + 1.0, value + 1.0)) {
        return;
    }
    m_notifiedValue = value;
    QAccessibleValueChangeEvent event(this, value);
    QAccessible::updateAccessibility(&event);
}

void Gauge::updateGauge() {
    notifyAccessibleValue();
    if (!m_ringLayer) {
        // A bar without its value layer gets one on the next display pass.
        if (m_type == GaugeType::bar) {
            update();
        }
        return;
    }
    const qreal f = fraction();
    switch (m_type) {
    case GaugeType::circle:
    case GaugeType::custom:
        m_ringLayer->setStrokeEnd(f);
        m_ringLayer->setFillColor(Qt::transparent);
        if (m_lastValue != m_currentValue) {
            auto* animation = new LayerAnimation(QStringLiteral("strokeEnd"));
            animation->setDurationSeconds(kAnimationSeconds);
            animation->setRemovedOnCompletion(false);
            animation->setFromValue(m_maxValue > 0.0 ? m_lastValue / m_maxValue : 0.0);
            animation->setToValue(f);
            animation->setTimingFunction(QEasingCurve::Linear);
            animation->setDelegate(this);
            watch(animation);
            m_ringLayer->addAnimation(animation, kCircleAnimationKey);
            m_lastValue = m_currentValue;
        }
        break;
    case GaugeType::line:
        m_ringLayer->setStrokeEnd(f);
        break;
    case GaugeType::left:
    case GaugeType::right:
        m_ringLayer->setStrokeEnd(halfStrokeEnd(m_currentValue, m_maxValue));
        break;
    case GaugeType::bar:
        updateBar(f);
        break;
    }
    applyColors(f);
    update();
}

void Gauge::updateBar(qreal f) {
    m_ringLayer->setFillColor(m_startLightColor);
    if (m_bgLayer) {
        m_bgLayer->setFillColor(withAlpha(m_startLightColor, m_bgAlpha));
    }
    const QRectF bounds = viewBounds();
    const qreal h = bounds.height();
    const qreal targetWidth = bounds.width() * f;
    const QPainterPath target = barPath(targetWidth, h);
    const bool animated =
        QString::asprintf("%.2f", m_lastValue) != QString::asprintf("%.2f", m_currentValue);
    if (animated) {
        const qreal lastFraction = m_maxValue > 0.0 ? m_lastValue / m_maxValue : 0.0;
        const qreal startWidth = bounds.width() * lastFraction + 1.0;
        const QPainterPath start = barPath(startWidth, h);
        m_ringLayer->setPath(start);
        m_ringLayer->setFrame(QRectF(0, 0, startWidth, h));
        auto* animation = new LayerAnimation(QStringLiteral("path"));
        animation->setDurationSeconds(kAnimationSeconds);
        animation->setRemovedOnCompletion(true);
        animation->setFromValue(QVariant::fromValue(start));
        animation->setToValue(QVariant::fromValue(target));
        animation->setTimingFunction(QEasingCurve::Linear);
        animation->setDelegate(this);
        watch(animation);
        m_ringLayer->addAnimation(animation, kRingAnimationKey);
    }
    m_ringLayer->setPath(target);
    m_ringLayer->setFrame(QRectF(0, 0, targetWidth, h));
    m_lastValue = m_currentValue;
    // Without an animation no end comes to write the labels; a rebuild
    // dropped them or the maximum moved, so write them now.
    if (!animated) {
        drawBarLabels();
    }
}

qreal Gauge::halfStrokeEnd(qreal currentValue, qreal maxValue) {
    if (currentValue >= maxValue) {
        return 0.5;
    }
    qreal x = std::fmod(currentValue * 0.5 / maxValue, 0.5);
    if (x == 0.0 && currentValue != 0.0) {
        x += 0.5;
    }
    return x;
}

QColor Gauge::bandColor(qreal fraction) {
    if (fraction >= 0.75) {
        return QColor::fromHsvF(112.0F / 360.0F, 0.39F, 0.85F, 1.0F);
    }
    if (fraction >= 0.5) {
        return QColor::fromHsvF(208.0F / 360.0F, 0.51F, 0.75F, 1.0F);
    }
    if (fraction >= 0.25) {
        return QColor::fromHsvF(40.0F / 360.0F, 0.39F, 0.85F, 1.0F);
    }
    return QColor::fromHsvF(359.0F / 360.0F, 0.48F, 0.63F, 1.0F);
}

void Gauge::applyColors(qreal f) {
    if (!m_colorsArray) {
        m_ringLayer->setStrokeColor(m_startLightColor);
        return;
    }
    const QColor color = bandColor(f);
    if (m_ringGradientLayer) {
        m_ringGradientLayer->setColors({color, color});
    } else {
        m_ringLayer->setStrokeColor(color);
    }
}

void Gauge::setNeedsDisplay() {
    m_needsDisplay = true;
    update();
}

void Gauge::displayIfNeeded() {
    const bool barWithoutValue =
        m_type == GaugeType::bar && !m_ringLayer && viewBounds().width() * fraction() > 0.0;
    if (!m_needsDisplay && !barWithoutValue) {
        return;
    }
    m_needsDisplay = false;
    if (m_type == GaugeType::bar) {
        rebuildLayers();
    }
    updateGauge();
}

void Gauge::watch(LayerAnimation* animation) {
    connect(animation, &QVariantAnimation::valueChanged, this, [this] { update(); });
    connect(animation, &QAbstractAnimation::finished, this, [this] { update(); });
}

// MARK: labels

void Gauge::animationDidStop(LayerAnimation*, bool finished) {
    if (m_type == GaugeType::bar && finished) {
        drawBarLabels();
    }
}

void Gauge::drawBarLabels() {
    m_ringText = formatValue(m_currentValue);
    drawText(m_ringText, true);
    m_backgroundText = formatValue(m_maxValue - m_currentValue);
    drawText(m_backgroundText, false);
}

QString Gauge::formatValue(qreal value) {
    QString text = QString::asprintf("%.2f", value);
    if (text == QLatin1String("-0.00")) {
        // A difference that is zero up to rounding is no negative number.
        text = QStringLiteral("0.00");
    }
    const qsizetype point = text.indexOf(QLatin1Char('.'));
    if (point >= 0 && QStringView(text).mid(point + 1) == QLatin1String("00")) {
        return text.left(point);
    }
    return text;
}

QFont Gauge::labelFont() const {
    QFont labelFont = font();
    labelFont.setPixelSize(int(kLabelFontSize));
    return labelFont;
}

void Gauge::drawText(const QString& text, bool ring) {
    if (!m_ringLayer || !m_gaugeLayer) {
        return;
    }
    const qreal textWidth = QFontMetricsF(labelFont()).horizontalAdvance(text);
    const QRectF ringBounds = m_ringLayer->bounds();
    QRectF frame;
    if (ring) {
        const qreal y = (ringBounds.height() - kLabelHeight) * 0.5 + 1.0;
        frame = QRectF(ringBounds.left(), y, ringBounds.width(), kLabelHeight);
    } else {
        const QRectF gaugeBounds = m_gaugeLayer->bounds();
        const qreal y = (gaugeBounds.height() - kLabelHeight) * 0.5 + 1.0;
        frame =
            QRectF(ringBounds.width(), y, gaugeBounds.width() - ringBounds.width(), kLabelHeight);
    }
    std::shared_ptr<TextLayer>& layer = ring ? m_ringTextLayer : m_bgTextLayer;
    if (layer) {
        layer->setFrame(frame);
        layer->setString(text);
    } else {
        layer = std::make_shared<TextLayer>();
        layer->setString(text);
        layer->setForegroundColor(
            ring ? QColor(Qt::white)
                 : NamedAssets::shared().color(QStringLiteral("MemDarkColor"), palette()));
        layer->setFrame(frame);
        layer->setFont(labelFont());
        layer->setFontSize(kLabelFontSize);
        layer->setAlignment(Qt::AlignHCenter);
        layer->setContentsScale(window() && window()->windowHandle()
                                    ? window()->windowHandle()->devicePixelRatio()
                                    : devicePixelRatioF());
        m_viewLayer->addSublayer(layer);
    }
    const qreal space =
        ring ? m_ringLayer->frame().width()
             : (m_bgLayer ? m_bgLayer->frame().width() : 0.0) - m_ringLayer->frame().width();
    layer->setHidden(textWidth >= space);
    update();
}

// MARK: painting

void Gauge::draw(QPainter* painter, const QRect& rect) const {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::TextAntialiasing);
    // Turn the y-up drawing over into the painter's y-down coordinates.
    painter->translate(rect.left(), rect.top() + rect.height());
    const qreal sx = width() > 0 ? qreal(rect.width()) / width() : 1.0;
    const qreal sy = height() > 0 ? qreal(rect.height()) / height() : 1.0;
    painter->scale(sx, -sy);
    m_viewLayer->render(painter);
    painter->restore();
}

void Gauge::paintEvent(QPaintEvent*) {
    displayIfNeeded();
    QPainter painter(this);
    draw(&painter, rect());
}

void Gauge::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutGauge();
}

void Gauge::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_needsDisplay = true;
}

void Gauge::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange) {
        // The labels take their colour and font when made: make them again.
        setNeedsDisplay();
    }
}

QSize Gauge::minimumSizeHint() const {
    const int stroke = qCeil(m_lineWidth);
    switch (m_type) {
    case GaugeType::bar:
        return QSize(48, 16);
    case GaugeType::line:
        return QSize(2 * stroke + 16, stroke + 2);
    case GaugeType::left:
    case GaugeType::right:
        return QSize(stroke + 8, 2 * stroke + 16);
    case GaugeType::circle:
    case GaugeType::custom:
        break;
    }
    return QSize(2 * stroke + 16, 2 * stroke + 16);
}

QSize Gauge::sizeHint() const {
    switch (m_type) {
    case GaugeType::bar:
        return QSize(240, 20);
    case GaugeType::line:
        return QSize(120, qCeil(m_lineWidth) * 2);
    case GaugeType::left:
    case GaugeType::right:
        return QSize(30, 80);
    case GaugeType::circle:
    case GaugeType::custom:
        break;
    }
    return QSize(60, 60);
}
