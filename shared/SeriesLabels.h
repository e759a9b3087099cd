#pragma once

#include "SensorRecords.h"

#include <QCoreApplication>
#include <QString>
#include <functional>

class OndaraHelperProtocol;

// What a person calls a recorded series, from the selection the agent
// answers: a sensor by the components it stands for ("CPU", or "CPU,
// Heatsink" when two chose it; "Sensor TC0D" when none does now), a fan by
// its name ("Left Fan", else "Fan 3" counted from 1), a memory figure as
// "Used memory". Also each fan's maximum speed, for percentages.
class SeriesLabels {
    Q_DECLARE_TR_FUNCTIONS(SeriesLabels)

public:
    SeriesLabels() = default;
    SeriesLabels(const EntryMap<TemperatureEntry>& temperatures, const EntryMap<FanEntry>& fans);
    // Asks the agent for its sensors and fans and hands over the labels once
    // both have answered (the answers come in the order asked, so a call sent
    // after this one is answered after `done` runs). A sensor list that never
    // comes leaves the temperatures unnamed.
    static void fetch(OndaraHelperProtocol& helper, std::function<void(SeriesLabels)> done);

    QString name(const QString& series) const;
    // Revolutions per minute; 0 when the series is no fan or has none.
    int maxSpeed(const QString& series) const;
    // The series of a component's chosen sensor ("CPU" → "temp:TC0D"); empty
    // when the selection has no such component.
    QString seriesOfComponent(const QString& component) const;
    // Series in the order the setup window shows them: components in their
    // display order, other sensors, fans by number, memory figures.
    QStringList ordered(QStringList series) const;

private:
    EntryMap<TemperatureEntry> m_temperatures;
    EntryMap<FanEntry> m_fans;
};
