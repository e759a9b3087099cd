#pragma once

#include "ata/BlockStorageDeviceIterator.h"
#include "ata/WholeDisks.h"

#include <QString>
#include <optional>
#include <vector>

// A device search over the machine's whole disks (see WholeDisks) that
// remembers what it found, so a device of the last search can be reached
// again by its name. The handle of a disk is its encoded device number (0
// when sysfs doesn't tell it).
class WholeDiskSearch {
public:
    explicit WholeDiskSearch(const QString& sysfsRoot);

    // Nothing when the disks can't be listed.
    std::optional<BlockStorageDeviceIterator> search();
    // The disk of the last search a device stands for, with its place in
    // that search in *index; null for a device the last search didn't find.
    const WholeDisk* find(const BlockStorageDevice& device, size_t* index = nullptr) const;

private:
    QString sysfsRoot;
    std::vector<WholeDisk> found;
};
