#pragma once

#include "ata/AtaSmartInterface.h"
#include "ata/AtaSmartPlatform.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>

// The temperature of one ATA drive, read from attribute 194 of its SMART
// data. Process-wide state, shared by every client of the agent; hddTemp is
// the only entry the rest of the agent uses. Progress and problems go to
// standard output and standard error, never to the system log.

// Set once a device search succeeded; never cleared.
extern bool smartConnectionOpen;
// Set once the drive's off-line data collection was started; never cleared.
extern bool smartDataCollected;
// The chosen drive's SMART interface, kept for the life of the process.
extern AtaSmartInterface* currentSMARTInterface;
// The attribute slot where the temperature was last found; tried first.
extern int32_t temperatureRegIndex;

// The drive temperature in degrees Celsius, or a value <= 0: 0 when no drive
// could be set up or the drive is in standby (it is not woken to be read),
// -1 when the drive reports no temperature, -3 when its data can't be read.
// The first call sets the drive up.
int32_t hddTemp();
// Finds the first device with a SMART interface and starts its data
// collection: 0 ready, 4 no usable drive (or the device search failed),
// -2 the data collection was refused.
int32_t initSMART();
// Searches the block-storage devices; nothing when the search fails.
std::optional<BlockStorageDeviceIterator> openSMARTConnection();
// One reading through the interface: the temperature, -1 without attribute
// 194, -3 when the data block can't be read.
int32_t getHDDTemp(AtaSmartInterface* interface);

// The machine's drives (none set: a machine without ATA devices). Replacing
// the platform also returns the unit to its initial state, since an interface
// of the previous platform must not be used any more.
void setAtaSmartPlatform(std::shared_ptr<AtaSmartPlatform> platform);
// Where the messages go; null means stdout / stderr (the default).
void setDriveTemperatureStreams(FILE* out, FILE* err);
