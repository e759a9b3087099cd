#pragma once

#include <QHash>
#include <QPair>
#include <QString>
#include <QStringList>

// The 15 components sensors are grouped into ("CPU", "GPU", "HDD", ...), with
// the temperature range in which a reading is plausible for each, their display
// names and display positions. Constant data; lookups of other keys find nothing.
class SensorComponents {
public:
    SensorComponents() = delete;

    // key → (lower, upper) in degrees Celsius; a reading qualifies only when
    // lower < reading < upper.
    static const QHash<QString, QPair<int, int>>& bounds();
    // key → the display name stored with the selection ("LOGIC" → "Board").
    static const QHash<QString, QString>& descriptiveNames();
    // key → display position, 0 first.
    static const QHash<QString, int>& order();
    // The 15 keys by display position.
    static const QStringList& keysInOrder();

    // A sensor belongs to a component when its name begins with the component
    // key, case-sensitively ("CPU_HEATSINK" is a CPU sensor, not a HEATSINK one).
    static bool belongsTo(const QString& sensorName, const QString& componentKey);
    // The component a sensor name belongs to, or an empty string for none.
    static QString componentOf(const QString& sensorName);
};
