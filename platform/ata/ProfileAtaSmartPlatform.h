#pragma once

#include "ata/AtaSmartInterface.h"
#include "ata/AtaSmartPlatform.h"

#include <QStringList>
#include <QVariantList>
#include <memory>

// Drives described by the "drives" array of a machine profile, in search
// order. Each entry is a dictionary:
//   "plugin", "interface", "offline", "read": booleans, default true; false
//     makes the plug-in creation, the interface query, the off-line data
//     collection or the data read fail;
//   "attributes": [slot, attribute number, current value] triples written
//     into an otherwise zero data block (triples out of range are ignored), or
//   "block": data, the whole block (zero-padded or cut to 512 bytes);
//   "handle": integer, the registry handle number (default 4097 + position);
//   "standby": boolean, default false; true: the drive is spun down, and says
//     so when asked for its power mode.
// An entry that is not a dictionary is a device without a plug-in. An empty
// list is a machine with no ATA drive.
//
// Once recordRequests() was called, every request is noted in requests(), so
// a caller can see what was asked of the drives: "search", "plug-in H",
// "interface H", "release H", "off-line H" / "extended H", "power H",
// "read H" (H the drive's handle). The agent never turns this on: a list that
// grows with every reading would grow for as long as the agent runs.
class ProfileAtaSmartPlatform : public AtaSmartPlatform {
public:
    explicit ProfileAtaSmartPlatform(const QVariantList& drives);
    ~ProfileAtaSmartPlatform() override;

    std::optional<BlockStorageDeviceIterator> blockStorageDevices(SearchFailure* failure) override;
    AtaSmartReturn createPlugIn(const BlockStorageDevice& device,
                                std::unique_ptr<AtaSmartPlugIn>* plugIn) override;

    // From now on the device search fails at the given step (nothing: it works).
    void setSearchFailure(std::optional<SearchFailure> failure);
    // Notes the requests from now on, including those of plug-ins created
    // from now on.
    void recordRequests();
    QStringList requests() const;

    // The data block a profile entry describes.
    static AtaSmartInterface::DataBlock dataBlock(const QVariantMap& drive);

    struct Drive {
        uint32_t handle = 0;
        bool plugIn = true;
        bool interface = true;
        bool offLine = true;
        bool read = true;
        bool standby = false;
        AtaSmartInterface::DataBlock block{};
    };

private:
    QList<Drive> drives;
    std::optional<SearchFailure> searchFailure;
    // Shared with the plug-ins, which may outlive a replaced platform; null
    // while nothing is recorded.
    std::shared_ptr<QStringList> requestLog;
};
