#include "PrivateFolder.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QStringList>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray encoded(const QString& name) {
    return QFile::encodeName(name);
}

// Why an opened folder or file must not be used; empty when it may.
QString refusalOf(int fd, const QString& path, bool folder, PrivateFolder::Access access) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return QStringLiteral("cannot examine %1: %2").arg(path, errnoText(errno));
    }
    if (folder ? !S_ISDIR(info.st_mode) : !S_ISREG(info.st_mode)) {
        return QStringLiteral("%1 is not a %2")
            .arg(path, folder ? QStringLiteral("folder") : QStringLiteral("regular file"));
    }
    if (info.st_uid != ::geteuid()) {
        return QStringLiteral("%1 belongs to another user").arg(path);
    }
    if ((info.st_mode & S_IWOTH) != 0) {
        return QStringLiteral("%1 is writable by other users").arg(path);
    }
    if (folder && access == PrivateFolder::Access::ownerOnly && (info.st_mode & 077) != 0) {
        return QStringLiteral("%1 is open to other users (mode %2, not 0700)")
            .arg(path)
            .arg(info.st_mode & 07777, 4, 8, QLatin1Char('0'));
    }
    return {};
}

bool writeAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

} // namespace

PrivateFolder::PrivateFolder(FileDescriptor fd, QString path)
    : descriptor(std::make_shared<FileDescriptor>(std::move(fd)))
    , folderPath(std::move(path)) {}

std::optional<PrivateFolder> PrivateFolder::checked(FileDescriptor fd, const QString& path,
                                                    Access access, QString* error) {
    *error = refusalOf(fd.get(), path, true, access);
    if (!error->isEmpty()) {
        return std::nullopt;
    }
    return PrivateFolder(std::move(fd), path);
}

std::optional<PrivateFolder> PrivateFolder::open(const QString& path, Access access,
                                                 QString* error) {
    FileDescriptor fd(::open(encoded(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.isOpen()) {
        *error = QStringLiteral("%1: %2").arg(path, errnoText(errno));
        return std::nullopt;
    }
    return checked(std::move(fd), path, access, error);
}

std::optional<PrivateFolder> PrivateFolder::make(const QString& path, Access access,
                                                 QString* error) {
    // Like mkdir -p, but every folder it makes is private to the user.
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    QString current;
    for (const QString& part : clean.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        current += QLatin1Char('/') + part;
        if (::mkdir(encoded(current).constData(), 0700) == 0) {
            continue;
        }
        const int mkdirError = errno;
        struct stat info {};
        if (mkdirError == EEXIST && ::stat(encoded(current).constData(), &info) == 0 &&
            S_ISDIR(info.st_mode)) {
            continue;
        }
        *error = mkdirError == EEXIST
                     ? QStringLiteral("%1 exists and is not a folder").arg(current)
                     : QStringLiteral("%1: %2").arg(current, errnoText(mkdirError));
        return std::nullopt;
    }
    return open(clean, access, error);
}

std::optional<PrivateFolder> PrivateFolder::subfolder(const QString& name, Access access,
                                                      QString* error) const {
    const QString path = filePath(name);
    if (::mkdirat(fd(), encoded(name).constData(), 0700) != 0 && errno != EEXIST) {
        *error = QStringLiteral("%1: %2").arg(path, errnoText(errno));
        return std::nullopt;
    }
    FileDescriptor sub(
        ::openat(fd(), encoded(name).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!sub.isOpen()) {
        *error = errno == ELOOP || errno == ENOTDIR
                     ? QStringLiteral("%1 is not a folder").arg(path)
                     : QStringLiteral("%1: %2").arg(path, errnoText(errno));
        return std::nullopt;
    }
    return checked(std::move(sub), path, access, error);
}

QString PrivateFolder::filePath(const QString& name) const {
    return folderPath + QLatin1Char('/') + name;
}

FileDescriptor PrivateFolder::openFile(const QString& name, int flags, QString* error) const {
    error->clear();
    const QString path = filePath(name);
    FileDescriptor file(::openat(fd(), encoded(name).constData(),
                                 flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0600));
    if (!file.isOpen()) {
        if (errno == ELOOP) {
            *error = QStringLiteral("%1 is a symbolic link").arg(path);
        } else if (errno != ENOENT || (flags & O_CREAT) != 0) {
            *error = QStringLiteral("%1: %2").arg(path, errnoText(errno));
        }
        return FileDescriptor();
    }
    *error = refusalOf(file.get(), path, false, Access::othersMayRead);
    return error->isEmpty() ? std::move(file) : FileDescriptor();
}

std::optional<QByteArray> PrivateFolder::read(const QString& name, qsizetype limit,
                                              QString* error) const {
    const FileDescriptor file = openFile(name, O_RDONLY, error);
    if (!file.isOpen()) {
        return std::nullopt;
    }
    QByteArray bytes;
    char buffer[65536];
    while (bytes.size() <= limit) {
        const ssize_t count = ::read(file.get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            *error = QStringLiteral("cannot read %1: %2").arg(filePath(name), errnoText(errno));
            return std::nullopt;
        }
        if (count == 0) {
            break;
        }
        bytes.append(buffer, count);
    }
    return bytes;
}

bool PrivateFolder::replace(const QString& name, const QByteArray& bytes,
                            const QString& temporaryPrefix, QString* error) const {
    // A fresh name nobody can have prepared: made here, exclusively.
    QByteArray temporary;
    FileDescriptor file;
    for (int attempt = 0; attempt < 100 && !file.isOpen(); ++attempt) {
        temporary = encoded(temporaryPrefix) +
                    QByteArray::number(QRandomGenerator::global()->generate64(), 36);
        file = FileDescriptor(::openat(fd(), temporary.constData(),
                                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!file.isOpen() && errno != EEXIST) {
            break;
        }
    }
    if (!file.isOpen()) {
        *error = QStringLiteral("cannot create a temporary file in %1: %2")
                     .arg(folderPath, errnoText(errno));
        return false;
    }
    QString failedStep;
    if (::fchmod(file.get(), 0600) != 0) {
        failedStep = QStringLiteral("cannot set the mode of");
    } else if (!writeAll(file.get(), bytes)) {
        failedStep = QStringLiteral("cannot write");
    } else if (::fsync(file.get()) != 0) {
        failedStep = QStringLiteral("cannot flush");
    }
    int failedErrno = errno;
    if (::close(file.release()) != 0 && failedStep.isEmpty()) {
        failedStep = QStringLiteral("cannot close");
        failedErrno = errno;
    }
    if (failedStep.isEmpty() &&
        ::renameat(fd(), temporary.constData(), fd(), encoded(name).constData()) != 0) {
        failedStep = QStringLiteral("cannot rename");
        failedErrno = errno;
    }
    if (!failedStep.isEmpty()) {
        ::unlinkat(fd(), temporary.constData(), 0);
        *error =
            QStringLiteral("%1 %2: %3")
                .arg(failedStep, filePath(QFile::decodeName(temporary)), errnoText(failedErrno));
        return false;
    }
    // Makes the rename itself durable. Some filesystems cannot sync a folder;
    // the new file is in place either way, so that is not a failure.
    ::fsync(fd());
    return true;
}

bool PrivateFolder::remove(const QString& name) const {
    return ::unlinkat(fd(), encoded(name).constData(), 0) == 0 || errno == ENOENT;
}
