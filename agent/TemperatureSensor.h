#pragma once

#include <QString>
#include <cstdint>

// A named temperature sensor: a catalogued SMC key, or the drive pseudo-sensor.
struct TemperatureSensor {
    QString name;  // "CPU_PROXIMITY"
    uint32_t code; // the SMC key as a four-character code

    friend bool operator==(const TemperatureSensor&, const TemperatureSensor&) = default;
};
