#include "BoxFanView.h"

#include "FanShare.h"
#include "Gauge.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <cmath>

namespace {

// Ring changes below two percent of the fan's maximum are a few pixels of
// arc: drawn at once instead of animated, they look the same and spare the
// frames of an animation on every refresh of a fan that merely drifts.
constexpr qreal kSmallestAnimatedStep = FanShare::gaugeValue(2) + 1e-9;

} // namespace

BoxFanView::BoxFanView(QWidget* parent)
    : BoxView(parent) {
    m_gaugeView = new Gauge(this);
    m_gaugeView->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_gaugeView->setAccessibleReading(0, 100);
    m_gaugeView->setStartColor(selectedColor());
    m_gaugeView->removeLayers();
    m_gaugeView->updateGauge();
    // The ring lies above the labels, as the text sits inside it.
    m_gaugeView->raise();
    QFont font = sensorValueLabel()->font();
    font.setPixelSize(16);
    font.setWeight(QFont::Normal);
    sensorValueLabel()->setFont(font);
    layoutContents();
}

QString BoxFanView::valueText(int currentSpeed, int maxSpeed, bool showsPercentage) {
    if (showsPercentage) {
        return QString::number(FanShare::percentOfMaximum(currentSpeed, maxSpeed)) +
               QLatin1Char('%');
    }
    return QString::number(currentSpeed);
}

QString BoxFanView::accessibleReading() const {
    return SpokenReading::fanSpeed(sensorName(), m_currentSpeed, m_maxSpeed, m_showsPercentage);
}

QList<QWidget*> BoxFanView::accessibleChildren() const {
    return BoxView::accessibleChildren() << m_gaugeView;
}

void BoxFanView::layoutContents() {
    BoxView::layoutContents();
    if (!m_gaugeView) {
        return;
    }
    const int w = width();
    const int h = height();
    sensorNameLabel()->setGeometry(flipped(QRect(0, 2, w, 20), h));
    sensorValueLabel()->setGeometry(flipped(QRect(0, (h - 20) / 2 - 8, w, 30), h));
    m_gaugeView->setGeometry(flipped(QRect(0, 12, w, h - 20), h));
}

void BoxFanView::resolveColors() {
    BoxView::resolveColors();
    if (m_gaugeView) {
        m_gaugeView->setStartColor(selectedColor());
        m_gaugeView->removeLayers();
        m_gaugeView->updateGauge();
    }
}

void BoxFanView::setNeedsLayout() {
    if (m_layoutPending) {
        return;
    }
    m_layoutPending = true;
    QCoreApplication::postEvent(this, new QEvent(QEvent::LayoutRequest));
}

void BoxFanView::layoutIfNeeded() {
    if (m_layoutPending) {
        m_layoutPending = false;
        layout();
    }
}

bool BoxFanView::event(QEvent* event) {
    if (event->type() == QEvent::LayoutRequest) {
        layoutIfNeeded();
    }
    return BoxView::event(event);
}

void BoxFanView::layout() {
    const qreal value =
        FanShare::gaugeValue(FanShare::percentOfMaximum(m_currentSpeed, m_maxSpeed));
    // An unchanged reading must not restart the ring's animation: that would
    // repaint every fan tile for nothing on every refresh.
    if (!qFuzzyCompare(value + 1.0, m_gaugeValue + 1.0) ||
        !qFuzzyCompare(m_gaugeView->currentValue() + 1.0, value + 1.0)) {
        if (std::abs(value - m_gaugeView->currentValue()) < kSmallestAnimatedStep) {
            m_gaugeView->setLastValue(value);
        }
        m_gaugeValue = value;
        m_gaugeView->setCurrentValue(value);
        m_gaugeView->updateGauge();
    }
    SpokenReading::describeFanRing(m_gaugeView, sensorName(), m_currentSpeed, m_maxSpeed);
    const QString text = valueText(m_currentSpeed, m_maxSpeed, m_showsPercentage);
    if (text != sensorValueLabel()->text()) {
        sensorValueLabel()->setText(text);
        notifyReadingChanged();
    }
}

QSize BoxFanView::sizeHint() const {
    return QSize(134, 134);
}

QSize BoxFanView::minimumSizeHint() const {
    return QSize(96, 96);
}
