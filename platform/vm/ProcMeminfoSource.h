#pragma once

#include "files/KeptOpenFile.h"
#include "vm/VmStatisticsSource.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

// Memory of the running Linux kernel, from /proc/meminfo and the memory
// block devices in sysfs. Both roots can be pointed at fixture folders.
//
// How /proc/meminfo (values in kB) maps onto the page counts, one page being
// 4096 bytes:
//   free       = MemFree
//   active     = Active
//   inactive   = Inactive
//   wired      = Unevictable + SUnreclaim + KernelStack + PageTables
//                (memory the kernel can neither reclaim nor swap; Mlocked is
//                already counted inside Unevictable, so it is not added)
//   compressed = Zswap (0 on kernels without zswap accounting)
// MemFree, Active and Inactive must be present; the others count as 0 when a
// kernel does not report them.
//
// Installed memory is what the hardware holds, not MemTotal (which leaves out
// what the firmware and the kernel image reserve): the number of online
// blocks under <sys>/devices/system/memory times block_size_bytes (hex). When
// that folder is missing or says nothing usable (some virtual machines and
// architectures), MemTotal is the best answer left. A block goes online or
// offline only with MemTotal changing, so the folder (hundreds of entries on a
// large machine) is counted again only when MemTotal is not what it was.
//
// The agent reads the figures every few seconds for its history, so the file
// stays open and is read again from its start, into one buffer. Anything but
// a regular file in a fixture root's place (a FIFO, a folder) reads as no
// figures.
class ProcMeminfoSource : public VmStatisticsSource {
public:
    // More than any kernel writes; what lies beyond is not read.
    static constexpr qsizetype maximumMeminfoBytes = 16 * 1024;

    explicit ProcMeminfoSource(const QString& procRoot = QStringLiteral("/proc"),
                               const QString& sysRoot = QStringLiteral("/sys"));

    std::optional<VmStatistics> statistics() override;
    std::optional<uint64_t> installedMemoryBytes() override;

    // The lines the figures are made of, in bytes; absent when a line is
    // missing or doesn't read "Name: value kB". The last of repeated lines counts.
    struct Fields {
        std::optional<uint64_t> memTotal;
        std::optional<uint64_t> memFree;
        std::optional<uint64_t> active;
        std::optional<uint64_t> inactive;
        std::optional<uint64_t> unevictable;
        std::optional<uint64_t> sUnreclaim;
        std::optional<uint64_t> kernelStack;
        std::optional<uint64_t> pageTables;
        std::optional<uint64_t> zswap;
    };
    static Fields parseMeminfo(QByteArrayView text);
    static std::optional<VmStatistics> statisticsFromMeminfo(const Fields& fields);
    // Online memory blocks × block size, read from a devices/system/memory folder.
    static std::optional<uint64_t> onlineBlockMemoryBytes(const QString& memoryDirectory);

private:
    std::optional<Fields> readMeminfo();

    QString sysRoot;
    KeptOpenFile meminfo;
    QByteArray buffer;
    std::optional<uint64_t> blocksBytes;
    std::optional<uint64_t> memTotalAtCount;
};
