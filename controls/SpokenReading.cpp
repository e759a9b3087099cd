#include "SpokenReading.h"

#include "FanShare.h"
#include "Gauge.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

QString SpokenReading::number(double value) {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'g', QLocale::FloatingPointShortest);
}

QString SpokenReading::text(const QString& name, double value, Unit unit) {
    // Degrees are counted, so they take the language's plural forms.
    const int whole = std::isfinite(value) ? int(std::clamp(value, -1e9, 1e9)) : 0;
    switch (unit) {
    case Unit::celsius:
        return tr("%1, %n degrees Celsius", "a temperature reading: sensor name, value", whole)
            .arg(name);
    case Unit::fahrenheit:
        return tr("%1, %n degrees Fahrenheit", "a temperature reading: sensor name, value", whole)
            .arg(name);
    case Unit::rpm:
        return tr("%1, %2 RPM", "a fan reading: fan name, revolutions per minute")
            .arg(name, number(value));
    case Unit::percent:
        return tr("%1, %2 percent", "a fan reading: fan name, share of its maximum speed")
            .arg(name, number(value));
    case Unit::gibibytes:
        return tr("%1, %2 GiB", "a memory reading: figure name, gibibytes")
            .arg(name, number(value));
    case Unit::none:
        break;
    }
    return tr("%1, %2", "a reading without a unit: name, value").arg(name, number(value));
}

QString SpokenReading::text(const QString& name, const QString& shownValue, Unit unit) {
    bool isNumber = false;
    const double value = shownValue.toDouble(&isNumber);
    return isNumber ? text(name, value, unit) : name;
}

QString SpokenReading::fanSpeed(const QString& name, int currentSpeed, int maxSpeed, bool percent) {
    return percent ? text(name, FanShare::percentOfMaximum(currentSpeed, maxSpeed), Unit::percent)
                   : text(name, currentSpeed, Unit::rpm);
}

void SpokenReading::describeFanRing(Gauge* ring, const QString& name, int currentSpeed,
                                    int maxSpeed) {
    ring->setAccessibleReading(FanShare::percentOfMaximum(currentSpeed, maxSpeed), 100);
    const QString ringName = tr("%1 speed", "the ring of a fan: fan name").arg(name);
    if (ringName != ring->accessibleName()) {
        ring->setAccessibleName(ringName);
    }
}
