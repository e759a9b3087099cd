#include "FanBoxView.h"

#include "FanShare.h"
#include "Gauge.h"

#include <QLabel>

FanBoxView::FanBoxView(QWidget* parent)
    : WidgetBoxView(parent)
    , m_gaugeView(new Gauge(this)) {
    resolveColors();
    m_gaugeView->lower();
    m_gaugeView->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_gaugeView->setAccessibleReading(0, 100);
    layoutBox();
}

QString FanBoxView::accessibleReading() const {
    return SpokenReading::fanSpeed(sensorName(), m_currentSpeed, m_maxSpeed, m_showsPercentage);
}

QList<QWidget*> FanBoxView::accessibleChildren() const {
    return {m_gaugeView};
}

QRect FanBoxView::nameLabelFrame() const {
    return fromBottom(0, 0, width(), 20);
}

QRect FanBoxView::valueLabelFrame() const {
    return fromBottom(0, int((height() - 20) * 0.5 + 12 - 20), width(), 30);
}

QRect FanBoxView::gaugeFrame() const {
    return fromBottom(0, 12, width(), height() - 20);
}

void FanBoxView::resolveColors() {
    WidgetBoxView::resolveColors();
    setBackColor(Qt::transparent);
}

void FanBoxView::resizeEvent(QResizeEvent* event) {
    m_gaugeView->setGeometry(gaugeFrame());
    WidgetBoxView::resizeEvent(event);
}

void FanBoxView::layoutBox() {
    WidgetBoxView::layoutBox();
    m_shown.reset();
    showSpeed();
}

void FanBoxView::showSpeed() {
    const std::tuple<int, int, bool> shown{m_currentSpeed, m_maxSpeed, m_showsPercentage};
    if (m_shown == shown) {
        return;
    }
    // The ring moves by whole percents of the maximum: a fan that drifts by
    // a few RPM mostly leaves it as drawn.
    const bool fresh = !m_shown;
    m_shown = shown;
    const int percent = FanShare::percentOfMaximum(m_currentSpeed, m_maxSpeed);
    const qreal gaugeValue = FanShare::gaugeValue(percent);
    if (fresh || gaugeValue != m_gaugeValue) {
        m_gaugeValue = gaugeValue;
        showGaugeValue(m_gaugeView, m_gaugeValue);
    }
    SpokenReading::describeFanRing(m_gaugeView, sensorName(), m_currentSpeed, m_maxSpeed);
    if (m_showsPercentage) {
        sensorValueLabel()->setFont(systemFont(16, QFont::Normal));
        setSensorValue(QString::number(percent) + QLatin1Char('%'));
    } else {
        sensorValueLabel()->setFont(systemFont(15, QFont::Normal));
        setSensorValue(QString::number(m_currentSpeed));
    }
}
