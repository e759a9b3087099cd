#pragma once

#include "vm/VmStatisticsSource.h"

#include <QByteArray>
#include <QHash>
#include <QString>

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
// architectures), MemTotal is the best answer left.
class ProcMeminfoSource : public VmStatisticsSource {
public:
    explicit ProcMeminfoSource(const QString& procRoot = QStringLiteral("/proc"),
                               const QString& sysRoot = QStringLiteral("/sys"));

    std::optional<VmStatistics> statistics() override;
    std::optional<uint64_t> installedMemoryBytes() override;

    // "Name:   value kB" lines → name → bytes. Lines that don't parse are left out.
    static QHash<QByteArray, uint64_t> parseMeminfo(const QByteArray& text);
    static std::optional<VmStatistics>
    statisticsFromMeminfo(const QHash<QByteArray, uint64_t>& fields);
    // Online memory blocks × block size, read from a devices/system/memory folder.
    static std::optional<uint64_t> onlineBlockMemoryBytes(const QString& memoryDirectory);

private:
    std::optional<QHash<QByteArray, uint64_t>> readMeminfo() const;

    QString procRoot;
    QString sysRoot;
};
