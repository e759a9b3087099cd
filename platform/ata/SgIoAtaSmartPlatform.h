#pragma once

#include "ata/AtaSmartPlatform.h"
#include "ata/WholeDiskSearch.h"

#include <QString>

// The machine's whole disks through the kernel's SG_IO ATA PASS-THROUGH,
// sent by this process itself. A disk's plug-in exists when its node in
// devRoot is the block device sysfs names and answers ATA IDENTIFY DEVICE;
// its SMART interface exists when the drive supports the SMART feature set.
// The pass-through needs CAP_SYS_RAWIO: without it every disk refuses its
// plug-in as not privileged.
class SgIoAtaSmartPlatform : public AtaSmartPlatform {
public:
    explicit SgIoAtaSmartPlatform(const QString& sysfsRoot = QStringLiteral("/sys"),
                                  const QString& devRoot = QStringLiteral("/dev"));

    std::optional<BlockStorageDeviceIterator> blockStorageDevices(SearchFailure* failure) override;
    AtaSmartReturn createPlugIn(const BlockStorageDevice& device,
                                std::unique_ptr<AtaSmartPlugIn>* plugIn) override;

    // Whether this process may send pass-through commands itself: it holds
    // CAP_SYS_RAWIO in its effective set.
    static bool processMayPassThrough();

private:
    WholeDiskSearch disks;
    QString devRoot;
};
