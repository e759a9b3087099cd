#pragma once

#include <QVariant>

// The one crossing between canonical property-list values (PropertyList.h) and
// what QtDBus marshals and hands over. QtDBus delivers every array or dictionary
// inside a variant as a QDBusArgument, and qdbus_cast opens only one level, so
// received values always pass through fromDBus before anyone looks at them.
namespace PropertyListDBus {

// Deeper than this a received value is refused. The contract's deepest value
// (a dictionary of arrays of arrays) needs 3 levels; a peer could send far more.
inline constexpr int maximumDepth = 32;

// A value ready for QtDBus to marshal: arrays as av, dictionaries as a{sv},
// integers as x. D-Bus has no date type, so dates travel as ISO 8601 text.
// Values no property list can hold are left out of their array or dictionary.
QVariant toDBus(const QVariant& value);

// Any received value (QDBusArgument at any depth, QDBusVariant, D-Bus basic types,
// or plain Qt values when the call stayed in-process) in canonical form. Returns
// an invalid QVariant when anything inside has no property-list form (file
// descriptors, non-text dictionary keys) or nests deeper than maximumDepth, so a
// caller never works on a half-converted value.
QVariant fromDBus(const QVariant& value);

} // namespace PropertyListDBus
