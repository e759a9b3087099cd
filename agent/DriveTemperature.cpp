#include "DriveTemperature.h"

#include <cstdarg>
#include <mutex>

bool smartConnectionOpen = false;
bool smartDataCollected = false;
AtaSmartInterface* currentSMARTInterface = nullptr;
int32_t temperatureRegIndex = 13;

namespace {
constexpr int32_t initialTemperatureRegIndex = 13;
constexpr uint8_t temperatureAttribute = 194;
constexpr int32_t attributeSlots = 30;
constexpr int32_t slotSize = 12;

constexpr int32_t ready = 0;
constexpr int32_t noUsableDrive = 4;
constexpr int32_t collectionFailed = -2;
constexpr int32_t noTemperatureAttribute = -1;
constexpr int32_t dataUnreadable = -3;

// The unit's state beyond the four variables it exports: where the drives
// come from, and the chosen drive's plug-in, which owns currentSMARTInterface.
std::shared_ptr<AtaSmartPlatform> platform;
std::unique_ptr<AtaSmartPlugIn> chosenPlugIn;
FILE* outStream = nullptr;
FILE* errStream = nullptr;
// Every client's service object calls hddTemp; one reading at a time keeps
// the shared state whole whichever thread the calls come from.
std::mutex readingMutex;

FILE* out() {
    return outStream ? outStream : stdout;
}

FILE* err() {
    return errStream ? errStream : stderr;
}

__attribute__((format(printf, 2, 3))) void writeMessage(FILE* stream, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stream, format, arguments);
    va_end(arguments);
    std::fflush(stream);
}

const char* searchFailureMessage(AtaSmartPlatform::SearchFailure failure) {
    switch (failure) {
    case AtaSmartPlatform::SearchFailure::masterPort:
        return "IOMasterPort failed.\n";
    case AtaSmartPlatform::SearchFailure::matching:
        return "IOServiceMatching failed.\n";
    case AtaSmartPlatform::SearchFailure::matchingServices:
        break;
    }
    return "IOServiceGetMatchingServices failed.\n";
}

// A drive in standby gives no reading until it wakes for some other reason.
bool driveIsResting(AtaSmartInterface* interface) {
    AtaSmartInterface::PowerMode mode = AtaSmartInterface::PowerMode::activeOrIdle;
    const AtaSmartReturn asked = interface->checkPowerMode(&mode);
    return AtaSmartInterface::isResting(asked, mode);
}

int32_t readUnlessResting(AtaSmartInterface* interface) {
    return driveIsResting(interface) ? 0 : getHDDTemp(interface);
}

void resetState() {
    smartConnectionOpen = false;
    smartDataCollected = false;
    currentSMARTInterface = nullptr;
    temperatureRegIndex = initialTemperatureRegIndex;
    chosenPlugIn.reset();
}
} // namespace

int32_t hddTemp() {
    const std::lock_guard lock(readingMutex);
    if (smartConnectionOpen) {
        // The search ran but no device gave an interface: there is nothing
        // to read, and the set-up already said so.
        if (!currentSMARTInterface) {
            return 0;
        }
        return readUnlessResting(currentSMARTInterface);
    }
    const int32_t status = initSMART();
    if (status == ready) {
        return readUnlessResting(currentSMARTInterface);
    }
    writeMessage(out(), "Error in initSMART(): %i \n", status);
    return 0;
}

std::optional<BlockStorageDeviceIterator> openSMARTConnection() {
    writeMessage(out(), "Opening SMART Connection.\n");
    std::optional<BlockStorageDeviceIterator> devices;
    AtaSmartPlatform::SearchFailure failure = AtaSmartPlatform::SearchFailure::matchingServices;
    if (platform) {
        devices = platform->blockStorageDevices(&failure);
    } else {
        // Without a platform the machine has no ATA devices.
        devices = BlockStorageDeviceIterator();
    }
    if (!devices) {
        // A monitor must outlive a drive search that fails: the caller
        // reports no usable drive, and the next reading searches again.
        writeMessage(err(), "%s", searchFailureMessage(failure));
        return std::nullopt;
    }
    smartConnectionOpen = true;
    writeMessage(out(), "SMART Connection successfully established.\n");
    return devices;
}

int32_t initSMART() {
    std::optional<BlockStorageDeviceIterator> devices = openSMARTConnection();
    if (!devices) {
        return noUsableDrive;
    }
    AtaSmartInterface* found = nullptr;
    while (const std::optional<BlockStorageDevice> device = devices->next()) {
        std::unique_ptr<AtaSmartPlugIn> plugIn;
        const AtaSmartReturn created = platform->createPlugIn(*device, &plugIn);
        if (created != AtaSmartReturnCode::success || !plugIn) {
            writeMessage(
                out(),
                "Couldn't create PlugInInterface for drive %i. Trying with next one. Error: %x\n",
                int(device->handle), unsigned(created));
            continue;
        }
        AtaSmartInterface* interface = plugIn->queryInterface();
        if (!interface) {
            writeMessage(out(), "Couldn't obtain Interface for drive %i. Trying with next one.\n",
                         int(device->handle));
            continue; // the plug-in is released on the way out
        }
        // The first drive that answers is the drive for the rest of the
        // process; its plug-in stays alive with it.
        chosenPlugIn = std::move(plugIn);
        found = interface;
        break;
    }
    if (!found) {
        writeMessage(err(), "No ATA devices were found.\n");
        return noUsableDrive;
    }
    currentSMARTInterface = found;
    if (!smartDataCollected) {
        writeMessage(out(), "Collecting SMART Data...\n");
        if (currentSMARTInterface->executeOffLineImmediate(false) != AtaSmartReturnCode::success) {
            writeMessage(err(), "Error collecting SMART data.\n");
            return collectionFailed;
        }
        smartDataCollected = true;
    }
    return ready;
}

int32_t getHDDTemp(AtaSmartInterface* interface) {
    AtaSmartInterface::DataBlock block{};
    if (!interface || interface->readData(&block) != AtaSmartReturnCode::success) {
        writeMessage(err(), "Error retrieving SMART Data structure.\n");
        return dataUnreadable;
    }
    const auto attributeIn = [&block](int32_t slot) { return block[size_t(2 + slotSize * slot)]; };
    const auto valueIn = [&block](int32_t slot) { return block[size_t(5 + slotSize * slot)]; };

    // temperatureRegIndex is exported and may hold anything; only a slot of
    // the table is looked at.
    if (temperatureRegIndex >= 0 && temperatureRegIndex < attributeSlots &&
        attributeIn(temperatureRegIndex) == temperatureAttribute) {
        return valueIn(temperatureRegIndex);
    }
    for (int32_t slot = 0; slot < attributeSlots; ++slot) {
        if (attributeIn(slot) == temperatureAttribute) {
            temperatureRegIndex = slot;
            return valueIn(slot);
        }
    }
    return noTemperatureAttribute;
}

void setAtaSmartPlatform(std::shared_ptr<AtaSmartPlatform> newPlatform) {
    const std::lock_guard lock(readingMutex);
    // The chosen plug-in may depend on the platform: release it first.
    resetState();
    platform = std::move(newPlatform);
}

void setDriveTemperatureStreams(FILE* outputStream, FILE* errorStream) {
    const std::lock_guard lock(readingMutex);
    outStream = outputStream;
    errStream = errorStream;
}
