#pragma once

#include "TemperatureSensor.h"

#include <QHash>
#include <QList>
#include <cstdint>

// The 48 SMC temperature keys the agent knows by name, keyed by code. Key case
// matters: "TS2P" and "TS2p" are different sensors. Traversal order of the
// table is not defined; nothing may depend on it.
const QHash<uint32_t, TemperatureSensor>& temperatureSensorCatalogue();

// The catalogue in the order it is declared, for listings and tests that want
// a stable order.
const QList<TemperatureSensor>& temperatureSensorCatalogueInDeclarationOrder();

// The code that stands for the drive temperature read through SMART. It is no
// SMC key and is never sent to the SMC.
inline constexpr uint32_t driveTemperatureSensorCode = 0xFFFFFFFF;

// The drive pseudo-sensor {"SMART", 0xFFFFFFFF}; it belongs to the HDD component
// only because discovery adds it there, never by its name.
TemperatureSensor driveTemperatureSensor();
