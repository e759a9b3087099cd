#pragma once

#include "ata/AtaSmartReturn.h"

#include <array>
#include <cstdint>

// The SMART commands of one ATA drive.
class AtaSmartInterface {
public:
    // The drive's SMART data: from byte 2 on, the attribute table of 30
    // twelve-byte slots.
    using DataBlock = std::array<uint8_t, 512>;

    // What CHECK POWER MODE says. A drive in standby has its platters
    // stopped; any command that needs the media spins it up again.
    enum class PowerMode { activeOrIdle, standby };

    AtaSmartInterface() = default;
    AtaSmartInterface(const AtaSmartInterface&) = delete;
    AtaSmartInterface& operator=(const AtaSmartInterface&) = delete;
    virtual ~AtaSmartInterface() = default;

    // SMART EXECUTE OFF-LINE IMMEDIATE: starts the off-line data collection
    // (extendedTest false) or the extended self-test (true) and returns at once.
    virtual AtaSmartReturn executeOffLineImmediate(bool extendedTest) = 0;
    // SMART READ DATA. *data is left alone on failure.
    virtual AtaSmartReturn readData(DataBlock* data) = 0;
    // CHECK POWER MODE, which answers without waking the drive. *mode is left
    // alone on failure.
    virtual AtaSmartReturn checkPowerMode(PowerMode* mode) = 0;
};
