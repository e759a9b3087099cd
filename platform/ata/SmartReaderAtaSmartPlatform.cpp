#include "ata/SmartReaderAtaSmartPlatform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <unistd.h>

namespace {
bool ownedSafely(const struct stat& status) {
    const bool owner = status.st_uid == 0 || status.st_uid == ::getuid();
    return owner && (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}
} // namespace

SmartReaderAtaSmartPlatform::SmartReaderAtaSmartPlatform(const QString& reader,
                                                         const QString& sysfsRoot,
                                                         SmartReaderDrive::Limits limits)
    : reader(reader)
    , disks(sysfsRoot)
    , limits(limits) {}

QString SmartReaderAtaSmartPlatform::installedReader(const QString& programDirectory) {
    return QDir::cleanPath(programDirectory + QLatin1Char('/') +
                           QLatin1StringView(ONDARA_SMART_READER_FROM_BINDIR) +
                           QStringLiteral("/ondara-smart-reader"));
}

std::optional<AtaSmartPlatform::SearchFailure>
SmartReaderAtaSmartPlatform::readerProblem(const QString& reader) {
    struct stat file = {};
    if (::lstat(QFile::encodeName(reader).constData(), &file) != 0) {
        return SearchFailure::masterPort;
    }
    struct stat folder = {};
    const QByteArray folderPath = QFile::encodeName(QFileInfo(reader).absolutePath());
    if (!S_ISREG(file.st_mode) || !ownedSafely(file) ||
        ::stat(folderPath.constData(), &folder) != 0 || !ownedSafely(folder)) {
        return SearchFailure::matching;
    }
    return std::nullopt;
}

std::optional<BlockStorageDeviceIterator>
SmartReaderAtaSmartPlatform::blockStorageDevices(SearchFailure* failure) {
    std::optional<SearchFailure> problem = readerProblem(reader);
    std::optional<BlockStorageDeviceIterator> devices;
    if (!problem) {
        devices = disks.search();
        if (!devices) {
            problem = SearchFailure::matchingServices;
        }
    }
    if (problem && failure) {
        *failure = *problem;
    }
    return devices;
}

AtaSmartReturn SmartReaderAtaSmartPlatform::createPlugIn(const BlockStorageDevice& device,
                                                         std::unique_ptr<AtaSmartPlugIn>* plugIn) {
    size_t index = 0;
    const WholeDisk* disk = disks.find(device, &index);
    // A disk whose number sysfs doesn't tell can't be told from another.
    if (!disk || !disk->number) {
        return AtaSmartReturnCode::noDevice;
    }
    const SmartReaderDrive::Disk reached{QFile::encodeName(reader).toStdString(), index,
                                         *disk->number, limits};
    std::unique_ptr<SmartReaderDrive> drive;
    const AtaSmartReturn result = SmartReaderDrive::open(reached, &drive);
    if (result == AtaSmartReturnCode::success) {
        *plugIn = std::move(drive);
    }
    return result;
}
