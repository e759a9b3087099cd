#include "ata/SgIoAtaSmartPlatform.h"

#include "ata/SgIoAtaDrive.h"

#include <QFile>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

SgIoAtaSmartPlatform::SgIoAtaSmartPlatform(const QString& sysfsRoot, const QString& devRoot)
    : disks(sysfsRoot)
    , devRoot(devRoot) {}

std::optional<BlockStorageDeviceIterator>
SgIoAtaSmartPlatform::blockStorageDevices(SearchFailure* failure) {
    auto devices = disks.search();
    if (!devices && failure) {
        *failure = SearchFailure::matchingServices;
    }
    return devices;
}

AtaSmartReturn SgIoAtaSmartPlatform::createPlugIn(const BlockStorageDevice& device,
                                                  std::unique_ptr<AtaSmartPlugIn>* plugIn) {
    const WholeDisk* disk = disks.find(device);
    // A disk whose number sysfs doesn't tell can't be told from whatever
    // else its node might be.
    const std::string node =
        disk && disk->number
            ? WholeDisks::deviceNode(QFile::encodeName(devRoot).toStdString(), disk->name)
            : "";
    if (node.empty()) {
        return AtaSmartReturnCode::noDevice;
    }
    std::unique_ptr<SgIoAtaDrive> drive;
    const AtaSmartReturn result =
        SgIoAtaDrive::open(QFile::decodeName(node.c_str()), *disk->number, &drive);
    if (result == AtaSmartReturnCode::success) {
        *plugIn = std::move(drive);
    }
    return result;
}

bool SgIoAtaSmartPlatform::processMayPassThrough() {
    __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, data) != 0) {
        return false;
    }
    return (data[CAP_TO_INDEX(CAP_SYS_RAWIO)].effective & CAP_TO_MASK(CAP_SYS_RAWIO)) != 0;
}
