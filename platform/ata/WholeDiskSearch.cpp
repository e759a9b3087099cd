#include "ata/WholeDiskSearch.h"

#include <QFile>

WholeDiskSearch::WholeDiskSearch(const QString& sysfsRoot)
    : sysfsRoot(sysfsRoot) {}

std::optional<BlockStorageDeviceIterator> WholeDiskSearch::search() {
    auto disks = WholeDisks::list(QFile::encodeName(sysfsRoot).toStdString());
    if (!disks) {
        found.clear();
        return std::nullopt;
    }
    found = std::move(*disks);
    QList<BlockStorageDevice> devices;
    for (const WholeDisk& disk : found) {
        devices.append(BlockStorageDevice{disk.number ? disk.number->encoded() : 0,
                                          QFile::decodeName(disk.name.c_str())});
    }
    return BlockStorageDeviceIterator(devices);
}

const WholeDisk* WholeDiskSearch::find(const BlockStorageDevice& device, size_t* index) const {
    const std::string name = QFile::encodeName(device.name).toStdString();
    for (size_t at = 0; at < found.size(); ++at) {
        if (found[at].name == name) {
            if (index) {
                *index = at;
            }
            return &found[at];
        }
    }
    return nullptr;
}
