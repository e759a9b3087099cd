#pragma once

#include "WidgetBoxView.h"

#include <optional>
#include <tuple>

class Gauge;

// A fan of the widget: a ring filled to the fan's share of its maximum speed,
// with the speed in RPM or percent inside it and the fan's name below.
class FanBoxView : public WidgetBoxView {
    Q_OBJECT
public:
    explicit FanBoxView(QWidget* parent = nullptr);

    int maxSpeed() const { return m_maxSpeed; }
    void setMaxSpeed(int rpm) { m_maxSpeed = rpm; }
    int currentSpeed() const { return m_currentSpeed; }
    void setCurrentSpeed(int rpm) { m_currentSpeed = rpm; }
    bool showsPercentage() const { return m_showsPercentage; }
    void setShowsPercentage(bool on) { m_showsPercentage = on; }
    qreal gaugeValue() const { return m_gaugeValue; }
    Gauge* gaugeView() const { return m_gaugeView; }

    // Lays the box out and shows the current speed.
    void layoutBox() override;
    // Shows the current speed: the ring's fill and the value text. A speed
    // shown already (in the same unit, of the same maximum) changes nothing
    // and repaints nothing.
    void showSpeed();

    // The speed as the box shows it: in RPM or percent of the maximum.
    QString accessibleReading() const override;
    QList<QWidget*> accessibleChildren() const override;

protected:
    QRect nameLabelFrame() const override;
    QRect valueLabelFrame() const override;
    void resolveColors() override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QRect gaugeFrame() const;

    int m_maxSpeed = 3000;
    int m_currentSpeed = 0;
    bool m_showsPercentage = false;
    qreal m_gaugeValue = 0;
    Gauge* m_gaugeView;
    // What showSpeed showed last: speed, maximum, whether in percent.
    std::optional<std::tuple<int, int, bool>> m_shown;
};
