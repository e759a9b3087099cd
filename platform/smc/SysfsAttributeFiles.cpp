#include "smc/SysfsAttributeFiles.h"

#include "smc/SysfsAttribute.h"

std::optional<QByteArray> SysfsAttributeFiles::read(const QString& path, int* error) {
    // A file that cannot be opened, or is gone, holds no place.
    const auto it = kept.find(path);
    if (it != kept.end()) {
        auto content = it->second.read(error);
        if (!it->second.isOpen()) {
            kept.erase(it);
        }
        return content;
    }
    if (kept.size() >= size_t(keptLimit)) {
        return SysfsAttribute::read(path, error);
    }
    KeptOpenFile file(path, SysfsAttribute::maximumBytes);
    auto content = file.read(error);
    if (file.isOpen()) {
        kept.emplace(path, std::move(file));
    }
    return content;
}

std::optional<QByteArray> SysfsAttributeFiles::readLine(const QString& path, int* error) {
    return SysfsAttribute::line(read(path, error));
}

std::optional<long long> SysfsAttributeFiles::readNumber(const QString& path, int* error) {
    return SysfsAttribute::number(read(path, error), error);
}
