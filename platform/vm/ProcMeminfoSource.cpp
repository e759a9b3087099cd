#include "vm/ProcMeminfoSource.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <charconv>
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

// Whitespace as QByteArray::trimmed and simplified see it.
bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

const char* skipSpace(const char* position, const char* end) {
    return std::find_if_not(position, end, isSpace);
}

const char* skipWord(const char* position, const char* end) {
    return std::find_if(position, end, isSpace);
}

QByteArrayView trimmed(const char* begin, const char* end) {
    begin = skipSpace(begin, end);
    while (end > begin && isSpace(end[-1])) {
        --end;
    }
    return QByteArrayView(begin, end - begin);
}

// Decimal digits, a "+" allowed before them as QByteArray::toULongLong does,
// within 64 bits.
std::optional<uint64_t> decimal(const char* begin, const char* end) {
    if (begin != end && *begin == '+') {
        ++begin;
    }
    uint64_t value = 0;
    const auto [last, error] = std::from_chars(begin, end, value);
    if (begin == end || error != std::errc() || last != end) {
        return std::nullopt;
    }
    return value;
}

std::optional<uint64_t>* fieldNamed(QByteArrayView name, ProcMeminfoSource::Fields& fields) {
    const std::pair<const char*, std::optional<uint64_t>*> names[] = {
        {"MemTotal", &fields.memTotal},
        {"MemFree", &fields.memFree},
        {"Active", &fields.active},
        {"Inactive", &fields.inactive},
        {"Unevictable", &fields.unevictable},
        {"SUnreclaim", &fields.sUnreclaim},
        {"KernelStack", &fields.kernelStack},
        {"PageTables", &fields.pageTables},
        {"Zswap", &fields.zswap},
    };
    for (const auto& [text, field] : names) {
        if (name == QByteArrayView(text)) {
            return field;
        }
    }
    return nullptr;
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
    : sysRoot(sysRoot)
    , meminfo(procRoot + QStringLiteral("/meminfo"), maximumMeminfoBytes) {}

ProcMeminfoSource::Fields ProcMeminfoSource::parseMeminfo(QByteArrayView text) {
    Fields fields;
    const char* position = text.data();
    const char* const end = position + text.size();
    while (position < end) {
        const char* lineEnd = std::find(position, end, '\n');
        const char* const colon = std::find(position, lineEnd, ':');
        const char* const line = position;
        position = lineEnd == end ? end : lineEnd + 1;
        if (colon == lineEnd || colon == line) {
            continue;
        }
        std::optional<uint64_t>* field = fieldNamed(trimmed(line, colon), fields);
        if (!field) {
            continue;
        }
        // "value" (a plain count) or "value kB", between any whitespace.
        const char* cursor = skipSpace(colon + 1, lineEnd);
        const char* const numberEnd = skipWord(cursor, lineEnd);
        const std::optional<uint64_t> value = decimal(cursor, numberEnd);
        cursor = skipSpace(numberEnd, lineEnd);
        const char* const unitEnd = skipWord(cursor, lineEnd);
        const QByteArrayView unit(cursor, unitEnd - cursor);
        if (!value || skipSpace(unitEnd, lineEnd) != lineEnd) {
            continue;
        }
        if (unit.isEmpty()) {
            *field = *value;
        } else if (unit == "kB" && *value <= std::numeric_limits<uint64_t>::max() / 1024) {
            *field = *value * 1024;
        }
    }
    return fields;
}

std::optional<VmStatistics> ProcMeminfoSource::statisticsFromMeminfo(const Fields& fields) {
    if (!fields.memFree || !fields.active || !fields.inactive) {
        return std::nullopt;
    }
    VmStatistics statistics;
    statistics.freeCount = pagesOf(*fields.memFree);
    statistics.activeCount = pagesOf(*fields.active);
    statistics.inactiveCount = pagesOf(*fields.inactive);
    statistics.wireCount = pagesOf(fields.unevictable.value_or(0) + fields.sUnreclaim.value_or(0) +
                                   fields.kernelStack.value_or(0) + fields.pageTables.value_or(0));
    statistics.compressorPageCount = pagesOf(fields.zswap.value_or(0));
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

std::optional<ProcMeminfoSource::Fields> ProcMeminfoSource::readMeminfo() {
    auto text = meminfo.readInto(&buffer);
    if (!text) {
        return std::nullopt;
    }
    // Cut after the last whole line when the file was longer than read.
    if (text->size() == maximumMeminfoBytes) {
        *text = text->first(text->lastIndexOf('\n') + 1);
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
    const auto fields = readMeminfo();
    const std::optional<uint64_t> memTotal = fields ? fields->memTotal : std::nullopt;
    // Before the first count memTotalAtCount is empty, so a readable MemTotal
    // differs from it.
    if (!memTotal || memTotal != memTotalAtCount) {
        blocksBytes = onlineBlockMemoryBytes(sysRoot + QStringLiteral("/devices/system/memory"));
        memTotalAtCount = memTotal;
    }
    return blocksBytes ? blocksBytes : memTotal;
}
