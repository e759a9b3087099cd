#include "ata/ProfileAtaSmartPlatform.h"

#include "PropertyList.h"
#include "ata/ProfileAtaDrive.h"

#include <algorithm>

namespace {
constexpr uint32_t firstHandle = 4097;
constexpr int attributeSlots = 30;
constexpr int slotSize = 12;

bool flag(const QVariantMap& drive, const QString& key, bool absent = true) {
    const QVariant value = drive.value(key);
    return value.typeId() == QMetaType::Bool ? value.toBool() : absent;
}
} // namespace

ProfileAtaSmartPlatform::ProfileAtaSmartPlatform(const QVariantList& profileDrives) {
    for (qsizetype position = 0; position < profileDrives.size(); ++position) {
        const QVariant entry = PropertyList::normalized(profileDrives[position]);
        Drive drive;
        drive.handle = firstHandle + uint32_t(position);
        if (!PropertyList::isDictionary(entry)) {
            drive.plugIn = false;
            drives.append(drive);
            continue;
        }
        const QVariantMap map = entry.toMap();
        if (const auto handle =
                PropertyList::integerIn(map.value(QStringLiteral("handle")), 0, 0xFFFFFFFF)) {
            drive.handle = uint32_t(*handle);
        }
        drive.plugIn = flag(map, QStringLiteral("plugin"));
        drive.interface = flag(map, QStringLiteral("interface"));
        drive.offLine = flag(map, QStringLiteral("offline"));
        drive.read = flag(map, QStringLiteral("read"));
        drive.standby = flag(map, QStringLiteral("standby"), false);
        drive.block = dataBlock(map);
        drives.append(drive);
    }
}

ProfileAtaSmartPlatform::~ProfileAtaSmartPlatform() = default;

AtaSmartInterface::DataBlock ProfileAtaSmartPlatform::dataBlock(const QVariantMap& drive) {
    AtaSmartInterface::DataBlock block{};
    const QVariant data = drive.value(QStringLiteral("block"));
    if (data.typeId() == QMetaType::QByteArray) {
        const QByteArray bytes = data.toByteArray();
        std::copy_n(bytes.constData(), std::min<qsizetype>(bytes.size(), qsizetype(block.size())),
                    block.begin());
        return block;
    }
    const QVariantList attributes = drive.value(QStringLiteral("attributes")).toList();
    for (const QVariant& triple : attributes) {
        const QVariantList fields = PropertyList::normalized(triple).toList();
        if (fields.size() != 3) {
            continue;
        }
        const auto slot = PropertyList::integerIn(fields[0], 0, attributeSlots - 1);
        const auto attribute = PropertyList::integerIn(fields[1], 0, 255);
        const auto current = PropertyList::integerIn(fields[2], 0, 255);
        if (!slot || !attribute || !current) {
            continue;
        }
        // Attribute number first, its current value three bytes on.
        block[size_t(2 + slotSize * *slot)] = uint8_t(*attribute);
        block[size_t(5 + slotSize * *slot)] = uint8_t(*current);
    }
    return block;
}

std::optional<BlockStorageDeviceIterator>
ProfileAtaSmartPlatform::blockStorageDevices(SearchFailure* failure) {
    if (requestLog) {
        requestLog->append(QStringLiteral("search"));
    }
    if (searchFailure) {
        if (failure) {
            *failure = *searchFailure;
        }
        return std::nullopt;
    }
    QList<BlockStorageDevice> devices;
    for (qsizetype position = 0; position < drives.size(); ++position) {
        devices.append(BlockStorageDevice{drives[position].handle, QString::number(position)});
    }
    return BlockStorageDeviceIterator(devices);
}

AtaSmartReturn ProfileAtaSmartPlatform::createPlugIn(const BlockStorageDevice& device,
                                                     std::unique_ptr<AtaSmartPlugIn>* plugIn) {
    if (requestLog) {
        requestLog->append(QStringLiteral("plug-in %1").arg(device.handle));
    }
    bool known = false;
    const qsizetype position = device.name.toLongLong(&known);
    if (!known || position < 0 || position >= drives.size()) {
        return AtaSmartReturnCode::noDevice;
    }
    const Drive& drive = drives[position];
    if (!drive.plugIn) {
        // What a block-storage device without the ATA SMART user client answers.
        return AtaSmartReturnCode::unsupported;
    }
    *plugIn = std::make_unique<ProfileAtaDrive>(drive, requestLog);
    return AtaSmartReturnCode::success;
}

void ProfileAtaSmartPlatform::setSearchFailure(std::optional<SearchFailure> failure) {
    searchFailure = failure;
}

void ProfileAtaSmartPlatform::recordRequests() {
    if (!requestLog) {
        requestLog = std::make_shared<QStringList>();
    }
}

QStringList ProfileAtaSmartPlatform::requests() const {
    return requestLog ? *requestLog : QStringList();
}
