#include "KeptOpenFile.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr long sysfsMagic = 0x62656572;
constexpr long procMagic = 0x9fa0;
// What a kernel attribute hands over at most, so what most reads need.
constexpr qsizetype firstReadBytes = 4096;

void setError(int* error, int value) {
    if (error) {
        *error = value;
    }
}

int openRegular(const QByteArray& path, int* error) {
    const int fd =
        ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
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

// Reads bytes [from, to) of the file into the same places of `data` until a
// short read, which is the end: the kernel hands its files over whole, so no
// further read is needed to hear it. The end reached, or nothing with the
// error in *failure.
std::optional<qsizetype> readRange(int fd, char* data, qsizetype from, qsizetype to, int* failure) {
    qsizetype size = from;
    while (size < to) {
        const qsizetype wanted = to - size;
        const ssize_t got = ::pread(fd, data + size, size_t(wanted), off_t(size));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            *failure = errno;
            return std::nullopt;
        }
        size += got;
        if (got < wanted) {
            break;
        }
    }
    return size;
}

// What a failed read of a kept file means: the file behind it is gone.
bool meansRemoved(int error) {
    return error == ENODEV || error == ESTALE || error == EBADF;
}

} // namespace

KeptOpenFile::KeptOpenFile(const QString& path, qsizetype limit)
    : encodedPath(QFile::encodeName(path))
    , limit(std::max<qsizetype>(limit, 1)) {}

KeptOpenFile::~KeptOpenFile() {
    close();
}

KeptOpenFile::KeptOpenFile(KeptOpenFile&& other) noexcept
    : encodedPath(std::move(other.encodedPath))
    , limit(other.limit)
    , descriptor(std::exchange(other.descriptor, -1))
    , removal(std::exchange(other.removal, Removal::unknown)) {}

KeptOpenFile& KeptOpenFile::operator=(KeptOpenFile&& other) noexcept {
    std::swap(encodedPath, other.encodedPath);
    std::swap(limit, other.limit);
    std::swap(descriptor, other.descriptor);
    std::swap(removal, other.removal);
    return *this;
}

void KeptOpenFile::close() {
    if (descriptor >= 0) {
        ::close(descriptor);
    }
    descriptor = -1;
    removal = Removal::unknown;
}

bool KeptOpenFile::prepare(int* error) {
    // Only a descriptor kept from an earlier read can have outlived its name.
    if (descriptor >= 0) {
        if (removal == Removal::unknown) {
            struct statfs system {};
            const bool kernel = ::fstatfs(descriptor, &system) == 0 &&
                                (system.f_type == sysfsMagic || system.f_type == procMagic);
            removal = kernel ? Removal::reported : Removal::asked;
        }
        struct stat info {};
        if (removal == Removal::asked && (::fstat(descriptor, &info) != 0 || info.st_nlink == 0)) {
            close();
        }
    }
    if (descriptor < 0) {
        descriptor = openRegular(encodedPath, error);
    }
    return descriptor >= 0;
}

template <typename Reading> auto KeptOpenFile::readWith(Reading reading, int* error) {
    using Result = decltype(reading(0, nullptr));
    int failure = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!prepare(error)) {
            return Result();
        }
        Result content = reading(descriptor, &failure);
        if (content) {
            return content;
        }
        // A driver that fails (EIO, ENODATA) keeps its file; it may answer next time.
        if (!meansRemoved(failure)) {
            break;
        }
        close();
    }
    setError(error, failure);
    return Result();
}

std::optional<QByteArrayView> KeptOpenFile::readInto(QByteArray* buffer, int* error) {
    if (buffer->size() < limit) {
        buffer->resize(limit);
    }
    return readWith(
        [this, buffer](int fd, int* failure) -> std::optional<QByteArrayView> {
            const auto size = readRange(fd, buffer->data(), 0, limit, failure);
            if (!size) {
                return std::nullopt;
            }
            return QByteArrayView(buffer->constData(), *size);
        },
        error);
}

std::optional<QByteArray> KeptOpenFile::read(int* error) {
    return readWith(
        [this](int fd, int* failure) -> std::optional<QByteArray> {
            // Most files fit the first read: one allocation of their size.
            char first[firstReadBytes];
            const qsizetype firstEnd = std::min(limit, firstReadBytes);
            const auto size = readRange(fd, first, 0, firstEnd, failure);
            if (!size) {
                return std::nullopt;
            }
            if (*size < firstEnd || firstEnd == limit) {
                return QByteArray(first, *size);
            }
            QByteArray content(limit, Qt::Uninitialized);
            std::memcpy(content.data(), first, size_t(*size));
            const auto total = readRange(fd, content.data(), *size, limit, failure);
            if (!total) {
                return std::nullopt;
            }
            content.truncate(*total);
            return content;
        },
        error);
}

std::optional<QByteArray> KeptOpenFile::readOnce(const QString& path, qsizetype limit, int* error) {
    return KeptOpenFile(path, limit).read(error);
}
