#pragma once

#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

// One block-storage device found by a device search.
struct BlockStorageDevice {
    // The device's registry handle number, as the set-up messages print it
    // (a number that names the device, not its place in the search).
    uint32_t handle = 0;
    // What the backend needs to reach the device again (a kernel name, a
    // profile position ...).
    QString name;
};

// The devices of one search, taken one at a time in search order.
class BlockStorageDeviceIterator {
public:
    BlockStorageDeviceIterator() = default;
    explicit BlockStorageDeviceIterator(QList<BlockStorageDevice> devices)
        : devices(std::move(devices)) {}

    // The next device, or nothing once all were taken.
    std::optional<BlockStorageDevice> next() {
        if (position >= devices.size()) {
            return std::nullopt;
        }
        return devices.at(position++);
    }

private:
    QList<BlockStorageDevice> devices;
    qsizetype position = 0;
};
