#include "ata/SmartReaderDrive.h"

#include "ata/SmartReaderProcess.h"

#include <cerrno>

namespace {
// The reader's exit status for an index without a disk.
constexpr int noSuchDisk = 3;
} // namespace

SmartReaderDrive::SmartReaderDrive(Disk disk, bool hasInterface)
    : disk(std::move(disk))
    , hasInterface(hasInterface) {}

AtaSmartReturn SmartReaderDrive::ask(const Disk& disk, SmartReaderRequest::Kind kind,
                                     SmartReaderAnswer* answer) {
    const SmartReaderRequest request{kind, disk.index};
    const auto limit = disk.limits.startUp + disk.limits.perCommand * request.commands();
    const SmartReaderProcess run = SmartReaderProcess::run(disk.reader, request.arguments(), limit,
                                                           SmartReaderAnswer::largestText);
    switch (run.outcome) {
    case SmartReaderProcess::Outcome::notStarted:
        if (run.startError == EACCES || run.startError == EPERM) {
            return AtaSmartReturnCode::notPrivileged;
        }
        return run.startError == ENOENT ? AtaSmartReturnCode::noDevice : AtaSmartReturnCode::error;
    case SmartReaderProcess::Outcome::timedOut:
        return AtaSmartReturnCode::timeout;
    case SmartReaderProcess::Outcome::killed:
        return AtaSmartReturnCode::error;
    case SmartReaderProcess::Outcome::finished:
        break;
    }
    if (run.exitStatus == noSuchDisk) {
        return AtaSmartReturnCode::noDevice;
    }
    const auto parsed =
        run.exitStatus == 0 ? SmartReaderAnswer::parse(run.output, kind) : std::nullopt;
    if (!parsed) {
        return AtaSmartReturnCode::error;
    }
    // Disks come and go: the index may name another disk by now.
    if (!(parsed->disk == disk.number)) {
        return AtaSmartReturnCode::noDevice;
    }
    *answer = *parsed;
    return answer->open.value_or(AtaSmartReturnCode::success);
}

AtaSmartReturn SmartReaderDrive::open(const Disk& disk, std::unique_ptr<SmartReaderDrive>* drive) {
    SmartReaderAnswer answer;
    const AtaSmartReturn asked = ask(disk, SmartReaderRequest::Kind::read, &answer);
    if (asked != AtaSmartReturnCode::success) {
        return asked;
    }
    // An ATA drive answers one of the two commands.
    const AtaSmartReturn power = answer.power->result;
    const bool read = answer.data && answer.data->result == AtaSmartReturnCode::success;
    if (power != AtaSmartReturnCode::success && !read) {
        return answer.data ? answer.data->result : power;
    }
    // One that was read, or rests and so could not be asked, gives its data.
    const bool hasInterface = read || !answer.data;
    drive->reset(new SmartReaderDrive(disk, hasInterface));
    return AtaSmartReturnCode::success;
}

AtaSmartInterface* SmartReaderDrive::queryInterface() {
    return hasInterface ? this : nullptr;
}

AtaSmartReturn SmartReaderDrive::executeOffLineImmediate(bool extendedTest) {
    if (extendedTest) {
        return AtaSmartReturnCode::unsupported;
    }
    SmartReaderAnswer answer;
    const AtaSmartReturn asked = ask(disk, SmartReaderRequest::Kind::collect, &answer);
    return asked != AtaSmartReturnCode::success ? asked : *answer.collect;
}

AtaSmartReturn SmartReaderDrive::checkPowerMode(PowerMode* mode) {
    pendingData.reset();
    SmartReaderAnswer answer;
    const AtaSmartReturn asked = ask(disk, SmartReaderRequest::Kind::read, &answer);
    if (asked != AtaSmartReturnCode::success) {
        return asked;
    }
    pendingData = answer.data;
    if (answer.power->result == AtaSmartReturnCode::success) {
        *mode = answer.power->mode;
    }
    return answer.power->result;
}

AtaSmartReturn SmartReaderDrive::readData(DataBlock* data) {
    std::optional<SmartReaderAnswer::Data> read;
    std::swap(read, pendingData);
    if (!read) {
        SmartReaderAnswer answer;
        const AtaSmartReturn asked = ask(disk, SmartReaderRequest::Kind::read, &answer);
        if (asked != AtaSmartReturnCode::success) {
            return asked;
        }
        // The reader leaves a resting drive alone, so there is no data.
        if (!answer.data) {
            return AtaSmartReturnCode::ioError;
        }
        read = answer.data;
    }
    if (read->result == AtaSmartReturnCode::success) {
        *data = read->block;
    }
    return read->result;
}
