#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

// A file that is read again and again, kept open and read from its start
// each time: one pread instead of open, fstat, reads and close.
//
// Only a regular file is read, and never through a link in the last part of
// its path. It is opened without waiting, so that a FIFO or a device put in
// its place in a copied tree is refused (EINVAL) instead of stopping the
// reader; a folder is refused the same way.
//
// A kept descriptor must never answer for a file that is gone. The kernel's
// own files (sysfs, procfs) say so themselves: reading a removed sysfs
// attribute (a chip unbound, a device unplugged) fails with ENODEV, and the
// file is then opened afresh once, which finds it when it came back and fails
// with ENOENT when it did not. Elsewhere (a copied tree) a removed or replaced
// file keeps its old content, so each later read first asks whether the open
// file still has a name.
//
// Not thread-safe.
class KeptOpenFile {
public:
    // Reads stop after `limit` bytes; what lies beyond is not read.
    KeptOpenFile(const QString& path, qsizetype limit);
    ~KeptOpenFile();
    KeptOpenFile(KeptOpenFile&& other) noexcept;
    KeptOpenFile& operator=(KeptOpenFile&& other) noexcept;
    KeptOpenFile(const KeptOpenFile&) = delete;
    KeptOpenFile& operator=(const KeptOpenFile&) = delete;

    // The content from the start, read into *buffer, which is grown to the
    // limit once and may be handed in again for the next read; the view
    // points into it. Nothing on failure, with errno in *error.
    std::optional<QByteArrayView> readInto(QByteArray* buffer, int* error = nullptr);
    // The same in an array of its own, as long as the content.
    std::optional<QByteArray> read(int* error = nullptr);

    // One read with nothing kept: open, read, close.
    static std::optional<QByteArray> readOnce(const QString& path, qsizetype limit,
                                              int* error = nullptr);

    // Open between reads; a failed open or a file that went closes it, and
    // the next read opens the path again.
    bool isOpen() const { return descriptor >= 0; }
    void close();

private:
    enum class Removal { unknown, reported, asked };

    // Opens the path when closed, or again when the open file lost its name.
    bool prepare(int* error);
    template <typename Reading> auto readWith(Reading reading, int* error);

    QByteArray encodedPath;
    qsizetype limit;
    int descriptor = -1;
    // Whether this file system tells of a removed file itself; asked once,
    // on the first read after the open one.
    Removal removal = Removal::unknown;
};
