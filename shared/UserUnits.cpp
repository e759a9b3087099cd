#include "UserUnits.h"

#include <cmath>

UserUnits::UserUnits(const QList<int>& units)
    : m_fahrenheit(units.value(0) == 1)
    , m_percent(units.value(1) == 1) {}

bool UserUnits::showsPercent(HistorySeries::Kind kind, int maxSpeed) const {
    return m_percent && maxSpeed > 0 &&
           (kind == HistorySeries::Kind::fan || kind == HistorySeries::Kind::stoppedFan);
}

double UserUnits::shown(HistorySeries::Kind kind, double fixed, int maxSpeed) const {
    if (kind == HistorySeries::Kind::temperature && m_fahrenheit) {
        return fixed * 1.8 + 32;
    }
    if (showsPercent(kind, maxSpeed)) {
        return fixed * 100 / maxSpeed;
    }
    return fixed;
}

double UserUnits::fixed(HistorySeries::Kind kind, double shown, int maxSpeed) const {
    if (kind == HistorySeries::Kind::temperature && m_fahrenheit) {
        return (shown - 32) / 1.8;
    }
    if (showsPercent(kind, maxSpeed)) {
        return shown * maxSpeed / 100;
    }
    return shown;
}

QString UserUnits::unit(HistorySeries::Kind kind, int maxSpeed) const {
    switch (kind) {
    case HistorySeries::Kind::temperature:
        return m_fahrenheit ? QStringLiteral("°F") : QStringLiteral("°C");
    case HistorySeries::Kind::fan:
    case HistorySeries::Kind::stoppedFan:
        return showsPercent(kind, maxSpeed) ? QStringLiteral("%") : QStringLiteral("RPM");
    case HistorySeries::Kind::memory:
        return QStringLiteral("GiB");
    }
    return {};
}

QString UserUnits::number(HistorySeries::Kind kind, double fixed, int maxSpeed) const {
    const double value = shown(kind, fixed, maxSpeed);
    if (kind != HistorySeries::Kind::memory) {
        // Half up, as the clients round Fahrenheit; never "-0".
        const double whole = std::floor(value + 0.5);
        return QString::number(whole == 0 ? 0.0 : whole, 'f', 0);
    }
    QString text = QString::number(value, 'f', 2);
    if (text == QLatin1String("-0.00")) {
        text = QStringLiteral("0.00");
    }
    return text.endsWith(QLatin1String(".00")) ? text.chopped(3) : text;
}

QString UserUnits::text(HistorySeries::Kind kind, double fixed, int maxSpeed) const {
    const QString unitText = unit(kind, maxSpeed);
    return number(kind, fixed, maxSpeed) +
           (unitText == QLatin1String("%") ? QString() : QStringLiteral(" ")) + unitText;
}
