#pragma once

#include "ata/AtaSmartPlatform.h"

#include <QString>

// The machine's whole disks through the kernel's SG_IO ATA PASS-THROUGH.
// The disks are the entries of <sysfsRoot>/block whose link does not lead
// under <sysfsRoot>/devices/virtual/, in name order; the handle number of a
// disk is its device number. A disk's plug-in exists when its node in
// devRoot opens and answers ATA IDENTIFY DEVICE; its SMART interface exists
// when the drive supports the SMART feature set. The pass-through needs
// CAP_SYS_RAWIO: without it every disk refuses its plug-in as not privileged.
class SgIoAtaSmartPlatform : public AtaSmartPlatform {
public:
    explicit SgIoAtaSmartPlatform(const QString& sysfsRoot = QStringLiteral("/sys"),
                                  const QString& devRoot = QStringLiteral("/dev"));

    std::optional<BlockStorageDeviceIterator> blockStorageDevices(SearchFailure* failure) override;
    AtaSmartReturn createPlugIn(const BlockStorageDevice& device,
                                std::unique_ptr<AtaSmartPlugIn>* plugIn) override;

    // The device number "major:minor" of a sysfs dev file in the kernel's
    // 32-bit encoding; nothing when the text is not such a number.
    static std::optional<uint32_t> deviceNumber(const QString& text);
    // The device node of a kernel block-device name ("cciss!c0d0" lives at
    // <devRoot>/cciss/c0d0).
    QString deviceNode(const QString& name) const;

private:
    QString sysfsRoot;
    QString devRoot;
};
