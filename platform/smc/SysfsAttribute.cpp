#include "smc/SysfsAttribute.h"

#include "files/KeptOpenFile.h"

#include <cerrno>

namespace SysfsAttribute {

std::optional<QByteArray> read(const QString& path, int* error) {
    return KeptOpenFile::readOnce(path, maximumBytes, error);
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
