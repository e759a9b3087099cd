#include "AccessibleGauge.h"

#include "Gauge.h"

AccessibleGauge::AccessibleGauge(Gauge* gauge)
    : QAccessibleWidget(gauge, QAccessible::ProgressBar) {}

Gauge* AccessibleGauge::gauge() const {
    return static_cast<Gauge*>(widget());
}

void* AccessibleGauge::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::ValueInterface) {
        return static_cast<QAccessibleValueInterface*>(this);
    }
    return QAccessibleWidget::interface_cast(type);
}

QVariant AccessibleGauge::currentValue() const {
    return gauge()->accessibleValue();
}

QVariant AccessibleGauge::maximumValue() const {
    return gauge()->accessibleMaximum();
}

QVariant AccessibleGauge::minimumValue() const {
    return 0.0;
}

QVariant AccessibleGauge::minimumStepSize() const {
    return 0.0;
}
