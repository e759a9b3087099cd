#pragma once

#include "FileDescriptor.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

// A folder of this user's that nobody else can write to, held open so that
// what is opened inside it stays inside it. Files in it are opened without
// following links and used only when they are plain files of this user that
// others cannot write: another local user must not be able to choose what is
// read, or to make a write land in one of this user's other files.
class PrivateFolder {
public:
    enum class Access {
        // Others may look in, only the owner may write (a settings folder).
        othersMayRead,
        // Only the owner may enter it at all (a runtime folder: mode 0700).
        ownerOnly,
    };

    // The folder at `path`; nothing, with one line saying why in *error, when
    // it is missing, no folder, another user's or more open than `access`.
    static std::optional<PrivateFolder> open(const QString& path, Access access, QString* error);
    // The same after making it and its missing parents, with mode 0700.
    static std::optional<PrivateFolder> make(const QString& path, Access access, QString* error);
    // A folder inside this one, made with mode 0700 when missing.
    std::optional<PrivateFolder> subfolder(const QString& name, Access access,
                                           QString* error) const;

    QString path() const { return folderPath; }
    QString filePath(const QString& name) const;
    int fd() const { return descriptor->get(); }

    // A file of this folder opened with `flags` (as for open(2); O_NOFOLLOW,
    // O_NONBLOCK and O_CLOEXEC are added: a FIFO put in the file's place must
    // not stop us). Not open, with *error empty, when the file does not exist
    // and `flags` do not create it; not open with the reason otherwise.
    FileDescriptor openFile(const QString& name, int flags, QString* error) const;
    // The file's bytes, at most `limit` + 1 of them (so a caller can tell a
    // file that is too large); nothing, with *error empty, when it does not
    // exist.
    std::optional<QByteArray> read(const QString& name, qsizetype limit, QString* error) const;
    // Puts a new file holding `bytes` (mode 0600, flushed to disk) at `name`
    // through a temporary file whose name starts with `temporaryPrefix`.
    bool replace(const QString& name, const QByteArray& bytes, const QString& temporaryPrefix,
                 QString* error) const;
    // Removes the name (a link is removed, never followed).
    bool remove(const QString& name) const;

private:
    PrivateFolder(FileDescriptor fd, QString path);
    static std::optional<PrivateFolder> checked(FileDescriptor fd, const QString& path,
                                                Access access, QString* error);

    std::shared_ptr<FileDescriptor> descriptor;
    QString folderPath;
};
