#include "ata/SgIoAtaDrive.h"

#include <QFile>

SgIoAtaDrive::SgIoAtaDrive(std::unique_ptr<SgIoDisk> disk, bool smartSupported)
    : disk(std::move(disk))
    , smartSupported(smartSupported) {}

AtaSmartReturn SgIoAtaDrive::open(const QString& node, DeviceNumber number,
                                  std::unique_ptr<SgIoAtaDrive>* drive) {
    std::unique_ptr<SgIoDisk> disk;
    const AtaSmartReturn opened =
        SgIoDisk::open(QFile::encodeName(node).toStdString(), number, &disk);
    if (opened != AtaSmartReturnCode::success) {
        return opened;
    }
    // IDENTIFY DEVICE tells an ATA drive from everything else that takes
    // SG_IO, and says whether it has SMART at all.
    AtaSmartInterface::DataBlock identify{};
    const AtaSmartReturn identified = disk->identify(&identify);
    if (identified != AtaSmartReturnCode::success) {
        return identified;
    }
    drive->reset(new SgIoAtaDrive(std::move(disk), supportsSmart(identify)));
    return AtaSmartReturnCode::success;
}

AtaSmartInterface* SgIoAtaDrive::queryInterface() {
    return smartSupported ? disk.get() : nullptr;
}

bool SgIoAtaDrive::supportsSmart(const AtaSmartInterface::DataBlock& identify) {
    const uint16_t commandSets = uint16_t(identify[2 * 82] | (identify[2 * 82 + 1] << 8));
    // 0 and FFFF mean the word was never filled in.
    if (commandSets == 0x0000 || commandSets == 0xFFFF) {
        return false;
    }
    return (commandSets & 0x0001) != 0;
}
