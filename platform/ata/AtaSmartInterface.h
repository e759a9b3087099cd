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

    // Whether a drive that answered CHECK POWER MODE so is left to rest
    // instead of being read. A monitor asks every few seconds; reading SMART
    // data from a drive in standby would spin it up each time, and a laptop's
    // disk would never rest. A drive whose bridge does not pass the question
    // on is read as before; any other failed answer counts as resting.
    static bool isResting(AtaSmartReturn asked, PowerMode mode) {
        if (asked == AtaSmartReturnCode::unsupported) {
            return false;
        }
        return asked != AtaSmartReturnCode::success || mode == PowerMode::standby;
    }
};
