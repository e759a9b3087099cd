#pragma once

#include "files/KeptOpenFile.h"

#include <QByteArray>
#include <QHashFunctions>
#include <QString>
#include <optional>
#include <unordered_map>

// The attribute files a backend reads on every request, kept open (see
// KeptOpenFile) and read again from offset 0: one pread instead of open,
// fstat, two reads and close. A file that is gone is opened afresh, so a chip
// bound again is read where it is now and one that stays away fails.
//
// Not thread-safe; the backends read under their own lock.
class SysfsAttributeFiles {
public:
    // At most this many files are kept open; reads beyond it open and close.
    static constexpr int keptLimit = 256;

    SysfsAttributeFiles() = default;
    SysfsAttributeFiles(const SysfsAttributeFiles&) = delete;
    SysfsAttributeFiles& operator=(const SysfsAttributeFiles&) = delete;

    // As SysfsAttribute::read, readLine and readNumber: the content (at most
    // SysfsAttribute::maximumBytes) of a regular file, nothing on failure
    // with errno in *error.
    std::optional<QByteArray> read(const QString& path, int* error = nullptr);
    std::optional<QByteArray> readLine(const QString& path, int* error = nullptr);
    std::optional<long long> readNumber(const QString& path, int* error = nullptr);

    int keptCount() const { return int(kept.size()); }
    // Closes every kept file (after a chip was found under another path).
    void clear() { kept.clear(); }

private:
    struct PathHash {
        size_t operator()(const QString& path) const { return qHash(path); }
    };
    std::unordered_map<QString, KeptOpenFile, PathHash> kept;
};
