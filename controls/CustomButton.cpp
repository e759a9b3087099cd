#include "CustomButton.h"

#include "CustomButtonDelegate.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace {

QColor grey(float level) {
    return QColor::fromRgbF(level, level, level, 1.0F);
}

QPainterPath roundedRect(const QRectF& rect, qreal radius) {
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

// A gradient at 90 degrees: the first colour at the bottom edge, the second at
// the top.
QLinearGradient upwards(const QRectF& rect, const QColor& bottom, const QColor& top) {
    QLinearGradient gradient(QPointF(rect.left(), rect.bottom()), QPointF(rect.left(), rect.top()));
    gradient.setColorAt(0.0, bottom);
    gradient.setColorAt(1.0, top);
    return gradient;
}

} // namespace

QColor CustomButton::defaultStartColor() {
    return grey(0.914F);
}

QColor CustomButton::defaultEndColor() {
    return grey(0.965F);
}

QColor CustomButton::defaultHighlightStartColor() {
    return grey(0.722F);
}

QColor CustomButton::defaultHighlightEndColor() {
    return grey(0.894F);
}

CustomButton::CustomButton(QWidget* parent)
    : QWidget(parent)
    , m_startColor(defaultStartColor())
    , m_endColor(defaultEndColor())
    , m_highlightStartColor(defaultHighlightStartColor())
    , m_highlightEndColor(defaultHighlightEndColor())
    , m_fontColor(grey(1.0F / 3.0F)) {
    QFont titleFont = font();
    titleFont.setPixelSize(15);
    setFont(titleFont);
}

void CustomButton::setStartColor(const QColor& color) {
    m_startColor = color;
    update();
}

void CustomButton::setEndColor(const QColor& color) {
    m_endColor = color;
    update();
}

void CustomButton::setHighlightStartColor(const QColor& color) {
    m_highlightStartColor = color;
    update();
}

void CustomButton::setHighlightEndColor(const QColor& color) {
    m_highlightEndColor = color;
    update();
}

void CustomButton::setFontColor(const QColor& color) {
    m_fontColor = color;
    update();
}

void CustomButton::setAlignment(TitleAlignment alignment) {
    m_alignment = alignment;
    update();
}

void CustomButton::setTitle(const QString& title) {
    m_title = title;
    updateGeometry();
    update();
}

QSizeF CustomButton::titleSize() const {
    const QFontMetricsF metrics(font());
    return QSizeF(metrics.horizontalAdvance(m_title), metrics.height());
}

QPointF CustomButton::titleOrigin(const QSizeF& bounds, const QSizeF& titleSize,
                                  TitleAlignment alignment) {
    // Centred vertically, the box's distance from the top equals the one from
    // the bottom, so y-up and y-down agree.
    const qreal y = bounds.height() * 0.5 - titleSize.height() * 0.5;
    switch (alignment) {
    case TitleAlignment::left:
        return QPointF(kTitleInset, y);
    case TitleAlignment::right:
        return QPointF(bounds.width() - titleSize.width() - kTitleInset, y);
    case TitleAlignment::center:
        break;
    }
    return QPointF(bounds.width() * 0.5 - titleSize.width() * 0.5, y);
}

void CustomButton::draw(QPainter* painter, const QRect& rect) const {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::TextAntialiasing);
    painter->translate(rect.topLeft());
    const QRectF bounds(0, 0, rect.width(), rect.height());
    const QColor& start = m_selected ? m_highlightStartColor : m_startColor;
    const QColor& end = m_selected ? m_highlightEndColor : m_endColor;

    painter->fillPath(roundedRect(bounds, 5.0), upwards(bounds, grey(0.765F), grey(0.824F)));
    const QRectF inner = bounds.adjusted(1, 1, -1, -1);
    painter->fillPath(roundedRect(inner, 5.0), Qt::white);
    // One point lower at the top than the light edge, which shows above it.
    const QRectF face = inner.adjusted(0, 1, 0, 0);
    painter->fillPath(roundedRect(face, 4.0), upwards(face, start, end));

    const QSizeF size = titleSize();
    const QPointF origin = titleOrigin(bounds.size(), size, m_alignment);
    painter->setFont(font());
    painter->setPen(m_fontColor);
    painter->drawText(QRectF(origin, size), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip,
                      m_title);
    painter->restore();
}

void CustomButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    draw(&painter, rect());
}

void CustomButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_selected = true;
    update();
    if (m_delegate) {
        m_delegate->customButtonPressed(this);
    }
    Q_EMIT pressed();
}

void CustomButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_selected) {
        event->ignore();
        return;
    }
    m_selected = false;
    update();
    if (m_delegate) {
        m_delegate->customButtonReleased(this);
    }
    Q_EMIT released();
}

QSize CustomButton::sizeHint() const {
    const QSizeF size = titleSize();
    return QSize(qCeil(size.width() + 2 * kTitleInset), std::max(30, qCeil(size.height()) + 10));
}

QSize CustomButton::minimumSizeHint() const {
    const QSizeF size = titleSize();
    return QSize(qCeil(size.width()) + 10, qCeil(size.height()) + 4);
}
