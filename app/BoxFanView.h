#pragma once

#include "BoxView.h"

class Gauge;

// The fan tile: the name at the bottom, the speed in the middle of a ring
// that shows it as a share of the fan's maximum (a fan at full speed fills
// three quarters of the ring, so one running above its maximum still shows).
//
// The ring and the text follow currentSpeed on the next layout pass, which
// setNeedsLayout asks for; several requests before it run it once.
class BoxFanView : public BoxView {
    Q_OBJECT
public:
    explicit BoxFanView(QWidget* parent = nullptr);

    int maxSpeed() const { return m_maxSpeed; }
    void setMaxSpeed(int rpm) { m_maxSpeed = rpm; }
    int currentSpeed() const { return m_currentSpeed; }
    void setCurrentSpeed(int rpm) { m_currentSpeed = rpm; }
    bool showsPercentage() const { return m_showsPercentage; }
    void setShowsPercentage(bool on) { m_showsPercentage = on; }
    qreal gaugeValue() const { return m_gaugeValue; }
    Gauge* gaugeView() const { return m_gaugeView; }

    // The text the tile shows for a speed.
    static QString valueText(int currentSpeed, int maxSpeed, bool showsPercentage);

    // The speed as the tile shows it: in RPM or percent of the maximum.
    QString accessibleReading() const override;
    // The gear where the tile still has one, and the ring.
    QList<QWidget*> accessibleChildren() const override;

    void setNeedsLayout();
    // Runs a pending layout pass now.
    void layoutIfNeeded();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void layoutContents() override;
    void resolveColors() override;
    bool event(QEvent* event) override;

private:
    void layout();

    int m_maxSpeed = 3000;
    int m_currentSpeed = 0;
    bool m_showsPercentage = false;
    qreal m_gaugeValue = 0.0;
    Gauge* m_gaugeView = nullptr;
    bool m_layoutPending = false;
};
