#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// What the property-list parser may be handed. libplist builds and frees its
// trees recursively and copies an object once per reference to it, so a file
// of a few hundred kilobytes can exhaust the stack or the memory before any
// of our checks on the parsed value run. These limits are checked on the raw
// bytes, XML or binary, before libplist sees them.
namespace PropertyListBounds {

// Far above any settings file, machine profile or update description.
inline constexpr qsizetype maximumSize = 16 * 1024 * 1024;
// Arrays and dictionaries inside each other, counting the top level as 1.
inline constexpr int maximumDepth = 512;
// Values of the tree libplist would build, shared binary objects counted
// once per reference.
inline constexpr qint64 maximumValues = 1 << 20;

// Why the bytes must not reach the parser, or nothing when they may. Bytes
// that are no property list at all pass: the parser refuses them itself.
std::optional<QString> refusal(const QByteArray& bytes);

} // namespace PropertyListBounds
