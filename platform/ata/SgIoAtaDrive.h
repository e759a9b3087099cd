#pragma once

#include "ata/AtaPassThroughCommand.h"
#include "ata/AtaSmartInterface.h"
#include "ata/AtaSmartPlugIn.h"

#include <QString>
#include <memory>
#include <optional>

// One opened disk spoken to with SG_IO ATA PASS-THROUGH: its plug-in and,
// when the drive supports SMART, its SMART interface. Closing the device is
// the plug-in's release.
class SgIoAtaDrive : public AtaSmartPlugIn, public AtaSmartInterface {
public:
    // How long one command may take before the kernel gives up on it. Every
    // client waits behind a reading, so a failing disk must not hold them long.
    static constexpr unsigned commandTimeoutMs = 2000;

    // Opens the device node and asks the drive to identify itself. Anything
    // but success leaves *drive empty: the node doesn't open, the caller may
    // not send pass-through commands, or the device is not an ATA drive.
    static AtaSmartReturn open(const QString& node, std::unique_ptr<SgIoAtaDrive>* drive);
    ~SgIoAtaDrive() override;

    AtaSmartInterface* queryInterface() override;
    AtaSmartReturn executeOffLineImmediate(bool extendedTest) override;
    AtaSmartReturn readData(DataBlock* data) override;
    AtaSmartReturn checkPowerMode(PowerMode* mode) override;

    // Whether IDENTIFY DEVICE data announces the SMART feature set (word 82,
    // bit 0, when word 82 holds a valid value).
    static bool supportsSmart(const DataBlock& identify);
    // The power mode a CHECK POWER MODE COUNT value stands for: 00h standby,
    // 01h standby by the extended power conditions; everything else (idle,
    // active, the NV cache modes) has the drive ready.
    static PowerMode powerModeForCount(uint8_t count);
    // The code for an errno of open() or the SG_IO ioctl.
    static AtaSmartReturn returnForErrno(int error);

private:
    SgIoAtaDrive(int fd, bool smartSupported);
    // Sends the command; *data receives dataInLength() bytes and *count the
    // returned COUNT register on success (when the drive returned it).
    AtaSmartReturn execute(const AtaPassThroughCommand& command, DataBlock* data,
                           std::optional<uint8_t>* count = nullptr);

    int fd;
    bool smartSupported;
};
