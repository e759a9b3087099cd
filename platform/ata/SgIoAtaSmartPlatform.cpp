#include "ata/SgIoAtaSmartPlatform.h"

#include "ata/SgIoAtaDrive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

SgIoAtaSmartPlatform::SgIoAtaSmartPlatform(const QString& sysfsRoot, const QString& devRoot)
    : sysfsRoot(sysfsRoot)
    , devRoot(devRoot) {}

std::optional<BlockStorageDeviceIterator>
SgIoAtaSmartPlatform::blockStorageDevices(SearchFailure* failure) {
    const QDir root(sysfsRoot);
    const QDir block(root.filePath(QStringLiteral("block")));
    if (!block.exists() || !block.isReadable()) {
        if (failure) {
            *failure = SearchFailure::matchingServices;
        }
        return std::nullopt;
    }
    // Loop, RAM, device-mapper and other software devices live under
    // devices/virtual; whatever is left is hardware.
    const QString virtualDevices =
        QDir::cleanPath(root.absoluteFilePath(QStringLiteral("devices/virtual"))) + u'/';
    QList<BlockStorageDevice> disks;
    const QFileInfoList entries =
        block.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& entry : entries) {
        if (entry.isSymLink()) {
            const QString target = QDir::cleanPath(entry.symLinkTarget());
            if (target.startsWith(virtualDevices)) {
                continue;
            }
        }
        QFile dev(QDir(entry.absoluteFilePath()).filePath(QStringLiteral("dev")));
        std::optional<uint32_t> number;
        if (dev.open(QIODevice::ReadOnly)) {
            number = deviceNumber(QString::fromLatin1(dev.readAll()));
        }
        disks.append(BlockStorageDevice{number.value_or(0), entry.fileName()});
    }
    return BlockStorageDeviceIterator(disks);
}

AtaSmartReturn SgIoAtaSmartPlatform::createPlugIn(const BlockStorageDevice& device,
                                                  std::unique_ptr<AtaSmartPlugIn>* plugIn) {
    if (device.name.isEmpty() || device.name.contains(u'/') || device.name.startsWith(u'.')) {
        return AtaSmartReturnCode::noDevice;
    }
    std::unique_ptr<SgIoAtaDrive> drive;
    const AtaSmartReturn result = SgIoAtaDrive::open(deviceNode(device.name), &drive);
    if (result == AtaSmartReturnCode::success) {
        *plugIn = std::move(drive);
    }
    return result;
}

std::optional<uint32_t> SgIoAtaSmartPlatform::deviceNumber(const QString& text) {
    const QStringList parts = text.trimmed().split(u':');
    if (parts.size() != 2) {
        return std::nullopt;
    }
    bool majorOk = false;
    bool minorOk = false;
    const uint major = parts[0].toUInt(&majorOk);
    const uint minor = parts[1].toUInt(&minorOk);
    // The kernel's 32-bit device numbers hold 12 bits of major, 20 of minor.
    if (!majorOk || !minorOk || major > 0xFFF || minor > 0xFFFFF) {
        return std::nullopt;
    }
    return uint32_t((minor & 0xFF) | (major << 8) | ((minor & ~0xFFu) << 12));
}

QString SgIoAtaSmartPlatform::deviceNode(const QString& name) const {
    QString path = name;
    path.replace(u'!', u'/');
    return QDir(devRoot).filePath(path);
}
