#pragma once

#include <QAccessibleWidget>

class Gauge;

// A gauge as a screen reader knows it: a progress bar whose value and range
// are the reading the gauge stands for (Gauge::accessibleValue), named by
// its owner through the widget's accessible name.
class AccessibleGauge : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit AccessibleGauge(Gauge* gauge);

    // Makes every Gauge answer with this interface; once is enough.
    void* interface_cast(QAccessible::InterfaceType type) override;
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override;

private:
    Gauge* gauge() const;
};
