#pragma once

#include "SensorRecords.h"

#include <QHash>
#include <QList>
#include <QMetaType>
#include <QVariantMap>
#include <optional>

// Everything one report needs, as the agent answered it: the selection
// dictionaries in the layouts of the settings store, the units, and the
// readings of what is shown (and, for the full report, of every candidate).
struct ReadingsSnapshot {
    QVariantMap tempSensors;
    QVariantMap fanSensors;
    QVariantMap memSensors;
    // Only asked for by the full report.
    QVariantMap machineSensors;
    // [temperature unit 0 Celsius / otherwise Fahrenheit, fan unit 1 percent / otherwise RPM]
    QList<int> units;
    // Whole degrees Celsius per sensor code.
    QHash<quint32, int> temperatures;
    // Revolutions per minute per fan number.
    QHash<int, int> fanSpeeds;
    // Total, Used, Free, Wired, Active, Inactive, Compressed in GiB.
    QList<double> memory;
    // What stands behind each key on this machine, as the agent tells it;
    // nothing when the agent does not (an agent older than its Sources).
    std::optional<SensorSources> sources;
};

Q_DECLARE_METATYPE(ReadingsSnapshot)
