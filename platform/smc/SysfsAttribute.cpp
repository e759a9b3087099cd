#include "smc/SysfsAttribute.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SysfsAttribute {

std::optional<QByteArray> read(const QString& path, int* error) {
    // Attributes are plain files; anything else put in a copied tree (a FIFO
    // that never gets a writer, a device) must not stop the reader.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        if (error) {
            *error = errno;
        }
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        if (error) {
            *error = EINVAL;
        }
        ::close(fd);
        return std::nullopt;
    }
    QByteArray content;
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof(buffer));
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (error) {
                *error = errno;
            }
            ::close(fd);
            return std::nullopt;
        }
        if (count == 0 || content.size() > 65536) {
            break;
        }
        content.append(buffer, count);
    }
    ::close(fd);
    return content;
}

std::optional<QByteArray> line(std::optional<QByteArray> content) {
    if (content && content->endsWith('\n')) {
        content->chop(1);
    }
    return content;
}

std::optional<long long> number(const std::optional<QByteArray>& text, int* error) {
    if (!text) {
        return std::nullopt;
    }
    bool ok = false;
    const long long value = text->trimmed().toLongLong(&ok);
    if (!ok) {
        if (error) {
            *error = EINVAL;
        }
        return std::nullopt;
    }
    return value;
}

std::optional<QByteArray> readLine(const QString& path, int* error) {
    return line(read(path, error));
}

std::optional<long long> readNumber(const QString& path, int* error) {
    return number(read(path, error), error);
}

} // namespace SysfsAttribute
