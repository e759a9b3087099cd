#pragma once

#include "ata/AtaSmartPlugIn.h"
#include "ata/AtaSmartReturn.h"
#include "ata/BlockStorageDeviceIterator.h"

#include <memory>
#include <optional>

// What the drive-temperature unit needs of the machine: a search for
// block-storage devices and, per device, an ATA SMART plug-in that leads to
// the drive's SMART interface.
class AtaSmartPlatform {
public:
    // The step at which a device search failed; each has its own message.
    enum class SearchFailure { masterPort, matching, matchingServices };

    AtaSmartPlatform() = default;
    AtaSmartPlatform(const AtaSmartPlatform&) = delete;
    AtaSmartPlatform& operator=(const AtaSmartPlatform&) = delete;
    virtual ~AtaSmartPlatform() = default;

    // The machine's block-storage devices in search order, or nothing with
    // the failed step in *failure.
    virtual std::optional<BlockStorageDeviceIterator>
    blockStorageDevices(SearchFailure* failure) = 0;

    // Creates the device's ATA SMART plug-in into *plugIn. Any other code
    // than success means the device has none (can't be opened, refuses the
    // caller, isn't ATA ...) and *plugIn stays empty.
    virtual AtaSmartReturn createPlugIn(const BlockStorageDevice& device,
                                        std::unique_ptr<AtaSmartPlugIn>* plugIn) = 0;
};
