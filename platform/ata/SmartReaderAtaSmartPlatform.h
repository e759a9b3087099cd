#pragma once

#include "ata/AtaSmartPlatform.h"
#include "ata/SmartReaderDrive.h"
#include "ata/WholeDiskSearch.h"

#include <QString>

// The machine's whole disks through the SMART reader, for an agent that may
// not send ATA commands itself. The agent lists the disks (sysfs is open to
// everyone) and hands the reader nothing but a disk's index; the reader
// finds the same disk the same way and must name it back by its number.
//
// What goes wrong meets the unit's messages:
//   the reader is missing                          IOMasterPort failed.
//   it is a link, or another user or group could
//   replace it or the folder it lies in            IOServiceMatching failed.
//   the disks can't be listed                      IOServiceGetMatchingServices failed.
//   this user may not run it (not in its group),
//   it can't open the disk, the disk is not ATA,
//   it took too long or answered nonsense          Couldn't create PlugInInterface ...
//   the drive answers but gives no SMART data      Couldn't obtain Interface ...
// and later ones are failed collections and reads, as with any drive.
class SmartReaderAtaSmartPlatform : public AtaSmartPlatform {
public:
    explicit SmartReaderAtaSmartPlatform(const QString& reader,
                                         const QString& sysfsRoot = QStringLiteral("/sys"),
                                         SmartReaderDrive::Limits limits = {});

    std::optional<BlockStorageDeviceIterator> blockStorageDevices(SearchFailure* failure) override;
    AtaSmartReturn createPlugIn(const BlockStorageDevice& device,
                                std::unique_ptr<AtaSmartPlugIn>* plugIn) override;

    // Where an installation keeps the reader, from the folder of its programs.
    static QString installedReader(const QString& programDirectory);
    // Why the reader can't be trusted to be the installation's own, or
    // nothing when it can: it must be a regular file, not a link, and
    // neither it nor its folder may be writable by anyone but its owner,
    // who is root or this user.
    static std::optional<SearchFailure> readerProblem(const QString& reader);

private:
    QString reader;
    WholeDiskSearch disks;
    SmartReaderDrive::Limits limits;
};
