#include "profile/MachineProfile.h"

#include "PropertyList.h"
#include "PropertyListBounds.h"

#include <QFile>

namespace {
const QString smcKey = QStringLiteral("smc");
const QString drivesKey = QStringLiteral("drives");
const QString memoryKey = QStringLiteral("memory");
} // namespace

MachineProfile::MachineProfile(QVariantMap root)
    : root(std::move(root)) {}

Result<MachineProfile> MachineProfile::fromFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return Result<MachineProfile>::failure(
            QStringLiteral("cannot read machine profile %1: %2").arg(path, file.errorString()));
    }
    QString reason;
    const auto value = PropertyList::parse(file.read(PropertyListBounds::maximumSize + 1), &reason);
    if (!value || !PropertyList::isDictionary(*value)) {
        return Result<MachineProfile>::failure(
            QStringLiteral("machine profile %1 is not a property-list dictionary%2")
                .arg(path, reason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(reason)));
    }
    return MachineProfile(value->toMap());
}

MachineProfile MachineProfile::fromMap(const QVariantMap& root) {
    return MachineProfile(PropertyList::normalized(root).toMap());
}

QString MachineProfile::name() const {
    return root.value(QStringLiteral("name")).toString();
}

QVariantMap MachineProfile::smc() const {
    return root.value(smcKey).toMap();
}

QVariantList MachineProfile::drives() const {
    return root.value(drivesKey).toList();
}

QVariantMap MachineProfile::memory() const {
    return root.value(memoryKey).toMap();
}

bool MachineProfile::hasSmc() const {
    return PropertyList::isDictionary(root.value(smcKey));
}

bool MachineProfile::hasDrives() const {
    return PropertyList::isArray(root.value(drivesKey));
}

bool MachineProfile::hasMemory() const {
    return PropertyList::isDictionary(root.value(memoryKey));
}
