#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <optional>

// The attribute files a backend reads on every request, kept open and read
// again from offset 0: one pread instead of open, fstat, two reads and close.
//
// A kept descriptor must never answer for a file that is gone. On sysfs the
// kernel makes reads of a removed attribute (a chip unbound, a device
// unplugged) fail with ENODEV; the file is then opened afresh once, which
// finds the chip when it was bound again and fails with ENOENT when it was
// not. Elsewhere (a copied tree) a removed or replaced file keeps its old
// content, so each read first asks whether the open file still has a name.
//
// Not thread-safe; the backends read under their own lock.
class SysfsAttributeFiles {
public:
    // At most this many files are kept open; reads beyond it open and close.
    static constexpr int keptLimit = 256;

    SysfsAttributeFiles() = default;
    ~SysfsAttributeFiles();
    SysfsAttributeFiles(const SysfsAttributeFiles&) = delete;
    SysfsAttributeFiles& operator=(const SysfsAttributeFiles&) = delete;

    // As SysfsAttribute::read, readLine and readNumber: the content (at most
    // 64 KiB) of a regular file, nothing on failure with errno in *error.
    std::optional<QByteArray> read(const QString& path, int* error = nullptr);
    std::optional<QByteArray> readLine(const QString& path, int* error = nullptr);
    std::optional<long long> readNumber(const QString& path, int* error = nullptr);

    int keptCount() const { return int(kept.size()); }
    // Closes every kept file (after a chip was found under another path).
    void clear();

private:
    struct OpenFile {
        int descriptor = -1;
        // sysfs reports removal itself; other file systems are asked.
        bool reportsRemoval = false;
    };

    std::optional<QByteArray> readOpen(const QString& path, OpenFile* file, int* error);

    QHash<QString, OpenFile> kept;
};
