#pragma once

#include "SensorRecords.h"
#include "smc/HwmonTree.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>

// Which hwmon input stands behind which SMC key: the catalogue's temperature
// keys by one table of chips and inputs, and every fan of every chip as the
// SMC's fans 0 to 9. Built once from the chips in device-path order, so the
// same machine always maps the same way.
class HwmonSensorMap {
public:
    // One input of one chip (an index into chips()).
    struct Source {
        int chip = 0;
        HwmonInput input;
    };
    struct Temperature {
        uint32_t key = 0;
        // More than one: the hottest of them answers (a CPU's cores).
        QList<Source> sources;
    };
    struct Fan {
        Source source;
        QString name; // the label, or "Fan n" counted from 1
    };
    // Fan keys ("F0Ac") have room for one digit.
    static constexpr int maximumFans = 10;

    explicit HwmonSensorMap(const QList<HwmonChip>& chips);

    const QList<HwmonChip>& chips() const { return chips_; }
    // Points a chip at where it is now (it was renumbered).
    void relocate(int chip, const QString& directory);
    const QList<Temperature>& temperatures() const { return temperatures_; }
    const QList<Fan>& fans() const { return fans_; }
    // The mapped temperature of a key, or nothing.
    const Temperature* temperature(uint32_t key) const;

    // What stands behind a key: one input, or the inputs of which the key
    // answers the hottest.
    SensorSource source(const Temperature& temperature) const;
    SensorSource source(const Source& source) const;
    // Every temperature key by its text ("TC0D"), every fan as "fan:0" ...
    SensorSources sources() const;
    // One line per mapped key, in key order of the mapping: "TC0D ← ...".
    QStringList lines() const;

private:
    QList<HwmonChip> chips_;
    QList<Temperature> temperatures_;
    QList<Fan> fans_;
};
