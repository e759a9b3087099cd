#pragma once

#include "ata/AtaSmartPlugIn.h"
#include "ata/SgIoDisk.h"

#include <QString>
#include <memory>

// The plug-in of one disk the agent speaks to itself with SG_IO: the opened
// disk and, when the drive supports SMART, its SMART interface. Closing the
// disk is the plug-in's release.
class SgIoAtaDrive : public AtaSmartPlugIn {
public:
    // Opens the device node (which must be the block device `number`) and
    // asks the drive to identify itself. Anything but success leaves *drive
    // empty: the node doesn't open, the caller may not send pass-through
    // commands, or the device is not an ATA drive.
    static AtaSmartReturn open(const QString& node, DeviceNumber number,
                               std::unique_ptr<SgIoAtaDrive>* drive);

    AtaSmartInterface* queryInterface() override;

    // Whether IDENTIFY DEVICE data announces the SMART feature set (word 82,
    // bit 0, when word 82 holds a valid value).
    static bool supportsSmart(const AtaSmartInterface::DataBlock& identify);

private:
    SgIoAtaDrive(std::unique_ptr<SgIoDisk> disk, bool smartSupported);

    std::unique_ptr<SgIoDisk> disk;
    bool smartSupported;
};
