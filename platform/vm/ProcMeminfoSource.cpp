#include "vm/ProcMeminfoSource.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <limits>

namespace {

std::optional<QByteArray> readSmallFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    // Kernel pseudo-files report a size of 0 or 4096; read until the end instead.
    return file.readAll();
}

uint64_t pagesOf(uint64_t bytes) {
    return bytes / VmStatistics::pageSize;
}

bool blockIsOnline(const QString& blockDirectory) {
    if (const auto online = readSmallFile(blockDirectory + QStringLiteral("/online"))) {
        return online->trimmed() == "1";
    }
    // Older kernels and some architectures only have the state file.
    if (const auto state = readSmallFile(blockDirectory + QStringLiteral("/state"))) {
        return state->trimmed() == "online";
    }
    return false;
}

} // namespace

ProcMeminfoSource::ProcMeminfoSource(const QString& procRoot, const QString& sysRoot)
    : procRoot(procRoot)
    , sysRoot(sysRoot) {}

QHash<QByteArray, uint64_t> ProcMeminfoSource::parseMeminfo(const QByteArray& text) {
    QHash<QByteArray, uint64_t> fields;
    for (const QByteArray& line : text.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0) {
            continue;
        }
        const QByteArray name = line.left(colon).trimmed();
        const QList<QByteArray> words = line.mid(colon + 1).simplified().split(' ');
        bool ok = false;
        const qulonglong value = words.value(0).toULongLong(&ok);
        if (!ok) {
            continue;
        }
        if (words.size() == 1) {
            fields.insert(name, value); // a plain count, such as HugePages_Total
        } else if (words.size() == 2 && words[1] == "kB") {
            if (value > std::numeric_limits<uint64_t>::max() / 1024) {
                continue;
            }
            fields.insert(name, value * 1024);
        }
    }
    return fields;
}

std::optional<VmStatistics>
ProcMeminfoSource::statisticsFromMeminfo(const QHash<QByteArray, uint64_t>& fields) {
    if (!fields.contains("MemFree") || !fields.contains("Active") || !fields.contains("Inactive")) {
        return std::nullopt;
    }
    VmStatistics statistics;
    statistics.freeCount = pagesOf(fields.value("MemFree"));
    statistics.activeCount = pagesOf(fields.value("Active"));
    statistics.inactiveCount = pagesOf(fields.value("Inactive"));
    statistics.wireCount = pagesOf(fields.value("Unevictable") + fields.value("SUnreclaim") +
                                   fields.value("KernelStack") + fields.value("PageTables"));
    statistics.compressorPageCount = pagesOf(fields.value("Zswap"));
    return statistics;
}

std::optional<uint64_t> ProcMeminfoSource::onlineBlockMemoryBytes(const QString& memoryDirectory) {
    const auto blockSizeText = readSmallFile(memoryDirectory + QStringLiteral("/block_size_bytes"));
    if (!blockSizeText) {
        return std::nullopt;
    }
    bool ok = false;
    const qulonglong blockSize = blockSizeText->trimmed().toULongLong(&ok, 16);
    if (!ok || blockSize == 0) {
        return std::nullopt;
    }
    static const QRegularExpression blockName(QStringLiteral("^memory[0-9]+$"));
    const QDir directory(memoryDirectory);
    uint64_t onlineBlocks = 0;
    for (const QString& entry : directory.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (blockName.match(entry).hasMatch() && blockIsOnline(directory.filePath(entry))) {
            ++onlineBlocks;
        }
    }
    if (onlineBlocks == 0 || onlineBlocks > std::numeric_limits<uint64_t>::max() / blockSize) {
        return std::nullopt;
    }
    return onlineBlocks * blockSize;
}

std::optional<QHash<QByteArray, uint64_t>> ProcMeminfoSource::readMeminfo() const {
    const auto text = readSmallFile(procRoot + QStringLiteral("/meminfo"));
    if (!text) {
        return std::nullopt;
    }
    return parseMeminfo(*text);
}

std::optional<VmStatistics> ProcMeminfoSource::statistics() {
    const auto fields = readMeminfo();
    if (!fields) {
        return std::nullopt;
    }
    return statisticsFromMeminfo(*fields);
}

std::optional<uint64_t> ProcMeminfoSource::installedMemoryBytes() {
    if (const auto blocks =
            onlineBlockMemoryBytes(sysRoot + QStringLiteral("/devices/system/memory"))) {
        return blocks;
    }
    const auto fields = readMeminfo();
    if (!fields || !fields->contains("MemTotal")) {
        return std::nullopt;
    }
    return fields->value("MemTotal");
}
