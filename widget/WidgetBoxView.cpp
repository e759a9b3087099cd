#include "WidgetBoxView.h"

#include "AccessibleFactory.h"
#include "AccessibleWidgetBox.h"
#include "Gauge.h"
#include "NamedAssets.h"

#include <QAccessible>
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <cmath>

namespace {

// A label of a fixed size tells no layout of a new text: the box places
// its labels itself, and a changed reading then costs its repaint alone.
void place(QLabel* label, const QRect& frame) {
    label->setFixedSize(frame.size());
    label->move(frame.topLeft());
}

void paintText(QLabel* label, const QColor& color) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

} // namespace

WidgetBoxView::WidgetBoxView(QWidget* parent)
    : QWidget(parent)
    , m_nameLabel(new QLabel(this))
    , m_valueLabel(new QLabel(this)) {
    AccessibleFactory::install<WidgetBoxView, AccessibleWidgetBox>();
    resolveColors();
    m_nameLabel->setAlignment(Qt::AlignCenter);
    m_nameLabel->setFont(systemFont(12, QFont::Light));
    m_valueLabel->setAlignment(Qt::AlignCenter);
    m_valueLabel->setFont(systemFont(m_valueFontSize, QFont::Light));
    layoutBox();
}

QFont WidgetBoxView::systemFont(qreal pixelSize, QFont::Weight weight) {
    QFont font = QApplication::font();
    font.setPixelSize(qRound(pixelSize));
    font.setWeight(weight);
    return font;
}

void WidgetBoxView::showGaugeValue(Gauge* gauge, qreal value) {
    constexpr qreal kSmallestAnimatedStep = 0.01;
    if (std::abs(value - gauge->lastValue()) < kSmallestAnimatedStep * gauge->maxValue()) {
        gauge->setLastValue(value);
    }
    gauge->setCurrentValue(value);
    gauge->updateGauge();
}

void WidgetBoxView::setValueFontSize(qreal size) {
    m_valueFontSize = size;
    m_valueLabel->setFont(systemFont(size, QFont::Light));
}

void WidgetBoxView::setSensorName(const QString& name) {
    m_sensorName = name;
    showName();
    notifyReadingChanged();
}

void WidgetBoxView::setSensorValue(const QString& value) {
    if (value == m_sensorValue) {
        return;
    }
    m_sensorValue = value;
    m_valueLabel->setText(value);
    notifyReadingChanged();
}

void WidgetBoxView::setReadingUnit(SpokenReading::Unit unit) {
    if (unit != m_readingUnit) {
        m_readingUnit = unit;
        notifyReadingChanged();
    }
}

QString WidgetBoxView::accessibleReading() const {
    return SpokenReading::text(m_sensorName, m_sensorValue, m_readingUnit);
}

void WidgetBoxView::notifyReadingChanged() {
    // Sending the event looks the box's accessible interface up even when
    // no screen reader listens; readings change at nearly every refresh.
    if (!QAccessible::isActive()) {
        return;
    }
    QAccessibleEvent event(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

void WidgetBoxView::showName() {
    const QFontMetrics metrics(m_nameLabel->font());
    m_nameLabel->setText(metrics.elidedText(m_sensorName, Qt::ElideRight, width()));
    m_nameLabel->setToolTip(m_nameLabel->text() == m_sensorName ? QString() : m_sensorName);
}

QRect WidgetBoxView::fromBottom(int x, int y, int width, int height) const {
    return {x, this->height() - y - height, width, height};
}

QRect WidgetBoxView::nameLabelFrame() const {
    return fromBottom(0, 6, width(), 20);
}

QRect WidgetBoxView::valueLabelFrame() const {
    return fromBottom(0, 30, width(), 26);
}

void WidgetBoxView::resolveColors() {
    const NamedAssets& assets = NamedAssets::shared();
    m_nameColor = assets.color(QStringLiteral("NameColor"), palette());
    m_valueColor = assets.color(QStringLiteral("ValueColor"), palette());
    m_backColor = assets.color(QStringLiteral("BoxColor"), palette());
}

void WidgetBoxView::layoutBox() {
    place(m_nameLabel, nameLabelFrame());
    place(m_valueLabel, valueLabelFrame());
    paintText(m_nameLabel, m_nameColor);
    paintText(m_valueLabel, m_valueColor);
    showName();
    update();
}

void WidgetBoxView::paintEvent(QPaintEvent* /*event*/) {
    if (m_backColor.alpha() == 0) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_backColor);
    painter.drawRoundedRect(QRectF(rect()), 4, 4);
}

void WidgetBoxView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutBox();
}

void WidgetBoxView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        resolveColors();
        layoutBox();
    }
}
