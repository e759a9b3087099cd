#pragma once

#include "ata/AtaPassThroughCommand.h"
#include "ata/AtaSmartInterface.h"
#include "ata/AtaSmartPlugIn.h"

#include <QString>
#include <memory>

// One opened disk spoken to with SG_IO ATA PASS-THROUGH: its plug-in and,
// when the drive supports SMART, its SMART interface. Closing the device is
// the plug-in's release.
class SgIoAtaDrive : public AtaSmartPlugIn, public AtaSmartInterface {
public:
    // How long one command may take before the kernel gives up on it.
    static constexpr unsigned commandTimeoutMs = 10000;

    // Opens the device node and asks the drive to identify itself. Anything
    // but success leaves *drive empty: the node doesn't open, the caller may
    // not send pass-through commands, or the device is not an ATA drive.
    static AtaSmartReturn open(const QString& node, std::unique_ptr<SgIoAtaDrive>* drive);
    ~SgIoAtaDrive() override;

    AtaSmartInterface* queryInterface() override;
    AtaSmartReturn executeOffLineImmediate(bool extendedTest) override;
    AtaSmartReturn readData(DataBlock* data) override;

    // Whether IDENTIFY DEVICE data announces the SMART feature set (word 82,
    // bit 0, when word 82 holds a valid value).
    static bool supportsSmart(const DataBlock& identify);
    // The code for an errno of open() or the SG_IO ioctl.
    static AtaSmartReturn returnForErrno(int error);

private:
    SgIoAtaDrive(int fd, bool smartSupported);
    // Sends the command; *data receives dataInLength() bytes on success.
    AtaSmartReturn execute(const AtaPassThroughCommand& command, DataBlock* data);

    int fd;
    bool smartSupported;
};
