#pragma once

#include "HistorySeries.h"

#include <QList>
#include <QString>

// The user's units ("Units": [0 Celsius / 1 Fahrenheit, 0 rpm / 1 percent])
// applied to readings in the agent's fixed units, the way every client shows
// them: °F as c × 1.8 + 32, a fan as a percentage of its maximum speed (in
// rpm when it has none), memory in GiB.
class UserUnits {
public:
    explicit UserUnits(const QList<int>& units = {});

    bool fahrenheit() const { return m_fahrenheit; }
    bool percent() const { return m_percent; }

    // A fixed-unit value as the user reads it, and back; `maxSpeed` is the
    // fan's (rpm). Values keep their fractions: rounding is for the texts.
    double shown(HistorySeries::Kind kind, double fixed, int maxSpeed = 0) const;
    double fixed(HistorySeries::Kind kind, double shown, int maxSpeed = 0) const;
    // "°C", "°F", "RPM", "%", "GiB".
    QString unit(HistorySeries::Kind kind, int maxSpeed = 0) const;
    // "61 °C", "2430 RPM", "42 %", "2.25 GiB": whole numbers, memory with
    // two decimals unless they are "00".
    QString text(HistorySeries::Kind kind, double fixed, int maxSpeed = 0) const;
    // The number alone, as text() writes it.
    QString number(HistorySeries::Kind kind, double fixed, int maxSpeed = 0) const;

private:
    bool showsPercent(HistorySeries::Kind kind, int maxSpeed) const;

    bool m_fahrenheit = false;
    bool m_percent = false;
};
