#pragma once

#include <QString>

// One fan as the SMC describes it; speeds in revolutions per minute.
struct Fan {
    int id = 0; // the number used in the fan's keys ("F0Ac"), 0-based
    QString name;
    int minSpeed = 0;
    int maxSpeed = 0;

    friend bool operator==(const Fan&, const Fan&) = default;
};
