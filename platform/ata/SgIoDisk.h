#pragma once

#include "ata/AtaPassThroughCommand.h"
#include "ata/AtaSmartInterface.h"
#include "ata/DeviceNumber.h"

#include <memory>
#include <optional>
#include <string>

// One opened disk spoken to with SG_IO ATA PASS-THROUGH. The kernel takes
// these commands only from a caller with CAP_SYS_RAWIO.
class SgIoDisk : public AtaSmartInterface {
public:
    // How long one command may take before the kernel gives up on it. Every
    // client waits behind a reading, so a failing disk must not hold them long.
    static constexpr unsigned commandTimeoutMs = 2000;

    // Opens the node read-only. It must be the block device `expected`: a
    // node replaced by a link or by another device is refused as no device.
    // Anything but success leaves *disk empty.
    static AtaSmartReturn open(const std::string& node, DeviceNumber expected,
                               std::unique_ptr<SgIoDisk>* disk);
    ~SgIoDisk() override;

    AtaSmartReturn executeOffLineImmediate(bool extendedTest) override;
    AtaSmartReturn readData(DataBlock* data) override;
    AtaSmartReturn checkPowerMode(PowerMode* mode) override;
    // IDENTIFY DEVICE.
    AtaSmartReturn identify(DataBlock* data);

    // The power mode a CHECK POWER MODE COUNT value stands for: 00h standby,
    // 01h standby by the extended power conditions; everything else (idle,
    // active, the NV cache modes) has the drive ready.
    static PowerMode powerModeForCount(uint8_t count);
    // The code for an errno of open() or the SG_IO ioctl.
    static AtaSmartReturn returnForErrno(int error);

private:
    explicit SgIoDisk(int fd);
    // Sends the command; *data receives dataInLength() bytes and *count the
    // returned COUNT register on success (when the drive returned it).
    AtaSmartReturn execute(const AtaPassThroughCommand& command, DataBlock* data,
                           std::optional<uint8_t>* count = nullptr);

    int fd;
};
