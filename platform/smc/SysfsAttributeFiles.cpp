#include "smc/SysfsAttributeFiles.h"

#include "smc/SysfsAttribute.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

constexpr long sysfsMagic = 0x62656572;
constexpr qsizetype contentLimit = 65536;

void setError(int* error, int value) {
    if (error) {
        *error = value;
    }
}

// Opens a regular file as SysfsAttribute::read does; -1 with errno in *error.
int openRegular(const QString& path, int* error) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        setError(error, errno);
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        setError(error, EINVAL);
        ::close(fd);
        return -1;
    }
    return fd;
}

// What a failed read of a kept file means: the file behind it is gone.
bool meansRemoved(int error) {
    return error == ENODEV || error == ESTALE || error == EBADF;
}

} // namespace

SysfsAttributeFiles::~SysfsAttributeFiles() {
    clear();
}

void SysfsAttributeFiles::clear() {
    for (const OpenFile& file : std::as_const(kept)) {
        ::close(file.descriptor);
    }
    kept.clear();
}

std::optional<QByteArray> SysfsAttributeFiles::read(const QString& path, int* error) {
    auto it = kept.find(path);
    if (it == kept.end()) {
        if (kept.size() >= keptLimit) {
            return SysfsAttribute::read(path, error);
        }
        OpenFile file;
        file.descriptor = openRegular(path, error);
        if (file.descriptor < 0) {
            return std::nullopt;
        }
        struct statfs system {};
        file.reportsRemoval =
            ::fstatfs(file.descriptor, &system) == 0 && system.f_type == sysfsMagic;
        it = kept.insert(path, file);
    }
    auto content = readOpen(path, &*it, error);
    if (it->descriptor < 0) {
        kept.erase(it);
    }
    return content;
}

std::optional<QByteArray> SysfsAttributeFiles::readOpen(const QString& path, OpenFile* file,
                                                        int* error) {
    int failure = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt > 0) {
            ::close(file->descriptor);
            file->descriptor = openRegular(path, error);
            if (file->descriptor < 0) {
                return std::nullopt;
            }
        }
        if (!file->reportsRemoval) {
            struct stat info {};
            if (::fstat(file->descriptor, &info) != 0 || info.st_nlink == 0) {
                failure = ENOENT;
                continue;
            }
        }
        QByteArray content;
        char buffer[4096];
        ssize_t count = 0;
        do {
            count = ::pread(file->descriptor, buffer, sizeof(buffer), off_t(content.size()));
            if (count > 0) {
                content.append(buffer, count);
            }
            // sysfs hands out a whole value at once; only a longer regular
            // file needs a second read.
        } while ((count == qsizetype(sizeof(buffer)) && content.size() <= contentLimit) ||
                 (count < 0 && errno == EINTR));
        if (count >= 0) {
            return content;
        }
        failure = errno;
        // A driver that fails (EIO, ENODATA) keeps its file; it may answer next time.
        if (!meansRemoved(failure)) {
            setError(error, failure);
            return std::nullopt;
        }
    }
    ::close(file->descriptor);
    file->descriptor = -1;
    setError(error, failure);
    return std::nullopt;
}

std::optional<QByteArray> SysfsAttributeFiles::readLine(const QString& path, int* error) {
    return SysfsAttribute::line(read(path, error));
}

std::optional<long long> SysfsAttributeFiles::readNumber(const QString& path, int* error) {
    return SysfsAttribute::number(read(path, error), error);
}
