#pragma once

#include "ata/AtaSmartInterface.h"
#include "ata/AtaSmartPlugIn.h"
#include "ata/DeviceNumber.h"
#include "ata/SgIoDisk.h"
#include "ata/SmartReaderAnswer.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>

// The plug-in and SMART interface of one disk reached through the SMART
// reader: every operation is one run of the reader with the disk's index.
class SmartReaderDrive : public AtaSmartPlugIn, public AtaSmartInterface {
public:
    // How long a run of the reader may take: the kernel's limit for each ATA
    // command the request may send, and some time to start and find the disk.
    struct Limits {
        std::chrono::milliseconds perCommand{SgIoDisk::commandTimeoutMs};
        std::chrono::milliseconds startUp{1000};
    };
    // Which reader, and which disk: its index and the number it must have.
    struct Disk {
        std::string reader;
        size_t index = 0;
        DeviceNumber number;
        Limits limits;
    };

    // Asks the reader to read the disk once, which tells whether it is an
    // ATA drive that gives its SMART data; a drive in standby is not woken to
    // find out and is taken at its word. Anything but success leaves *drive
    // empty.
    static AtaSmartReturn open(const Disk& disk, std::unique_ptr<SmartReaderDrive>* drive);

    AtaSmartInterface* queryInterface() override;
    // The reader starts no self-test: an extended test is unsupported.
    AtaSmartReturn executeOffLineImmediate(bool extendedTest) override;
    // The reader answers this together with the data, which the next
    // readData then takes instead of running the reader again.
    AtaSmartReturn checkPowerMode(PowerMode* mode) override;
    AtaSmartReturn readData(DataBlock* data) override;

    // One run of the reader. Success with *answer set, or the code for what
    // went wrong: the disk's own when its node did not open (*answer set),
    // notPrivileged when this user may not run the reader, timeout when it
    // took too long, noDevice when the disk is gone or another disk
    // answered, error for an answer that isn't one.
    static AtaSmartReturn ask(const Disk& disk, SmartReaderRequest::Kind kind,
                              SmartReaderAnswer* answer);

private:
    SmartReaderDrive(Disk disk, bool hasInterface);

    Disk disk;
    bool hasInterface;
    std::optional<SmartReaderAnswer::Data> pendingData;
};
