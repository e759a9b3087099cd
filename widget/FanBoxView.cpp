#include "FanBoxView.h"

#include "Gauge.h"

#include <QLabel>

FanBoxView::FanBoxView(QWidget* parent)
    : WidgetBoxView(parent)
    , m_gaugeView(new Gauge(this)) {
    resolveColors();
    m_gaugeView->lower();
    m_gaugeView->setAttribute(Qt::WA_TransparentForMouseEvents);
    layoutBox();
}

int FanBoxView::percentOf(int currentSpeed, int maxSpeed) {
    if (maxSpeed <= 0) {
        return 0;
    }
    return int(qint64(currentSpeed) * 100 / maxSpeed);
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
    const int percent = percentOf(m_currentSpeed, m_maxSpeed);
    // The gauge's track covers three quarters of the ring against its
    // maximum of 10, so a fan at full speed fills exactly the track.
    m_gaugeValue = percent * 0.75 / 10;
    showGaugeValue(m_gaugeView, m_gaugeValue);
    if (m_showsPercentage) {
        sensorValueLabel()->setFont(systemFont(16, QFont::Normal));
        setSensorValue(QString::number(percent) + QLatin1Char('%'));
    } else {
        sensorValueLabel()->setFont(systemFont(15, QFont::Normal));
        setSensorValue(QString::number(m_currentSpeed));
    }
}
