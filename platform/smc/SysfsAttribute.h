#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Reading sysfs attribute files. Each is read with one open and one read:
// sysfs hands out the whole value on the first read, binary attributes must
// not be parsed as text, and a failing driver shows up as errno (EIO, ENODATA,
// ENXIO) that callers need to tell apart from a missing file.
namespace SysfsAttribute {

// More than any attribute holds; what lies beyond is not read.
constexpr qsizetype maximumBytes = 64 * 1024;

// The raw content (at most maximumBytes) of a regular file, never read
// through a link; nothing on failure, with errno in *error (EINVAL for
// anything but a regular file).
std::optional<QByteArray> read(const QString& path, int* error = nullptr);
// A text attribute without its final newline (blanks inside are kept: key and
// type names may hold them).
std::optional<QByteArray> readLine(const QString& path, int* error = nullptr);
// A decimal integer, blanks around it allowed.
std::optional<long long> readNumber(const QString& path, int* error = nullptr);

// The same readings of content already read (nothing stays nothing).
std::optional<QByteArray> line(std::optional<QByteArray> content);
std::optional<long long> number(const std::optional<QByteArray>& text, int* error = nullptr);

} // namespace SysfsAttribute
