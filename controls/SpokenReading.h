#pragma once

#include <QCoreApplication>
#include <QString>

class Gauge;

// What a screen reader says for one reading: its name, then its value with
// the unit written out, as a person would read the tile aloud ("CPU, 61
// degrees Celsius", "Left Fan, 2430 RPM", "Wired, 2.5 GiB"). Numbers follow
// the desktop's locale; the tiles themselves keep the figures they show.
class SpokenReading {
    Q_DECLARE_TR_FUNCTIONS(SpokenReading)
public:
    enum class Unit { none, celsius, fahrenheit, rpm, percent, gibibytes };

    static QString text(const QString& name, double value, Unit unit);
    // The same for a value as a tile shows it; only the name while that is
    // not a number.
    static QString text(const QString& name, const QString& shownValue, Unit unit);
    // A fan's speed as its tile shows it: in RPM, or in percent of its maximum.
    static QString fanSpeed(const QString& name, int currentSpeed, int maxSpeed, bool percent);
    // Names a fan's ring and gives it the fan's share of its maximum, which
    // is what the ring shows (it is drawn on a scale of its own).
    static void describeFanRing(Gauge* ring, const QString& name, int currentSpeed, int maxSpeed);
    // The value as spoken: shortest form, no group separators.
    static QString number(double value);
};
