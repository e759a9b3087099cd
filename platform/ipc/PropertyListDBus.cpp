#include "ipc/PropertyListDBus.h"

#include "PropertyList.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusSignature>
#include <QDBusVariant>
#include <QDateTime>
#include <QStringList>

namespace {

QVariant toDBusAt(const QVariant& value, int depth) {
    if (depth > PropertyListDBus::maximumDepth) {
        return {};
    }
    switch (value.typeId()) {
    case QMetaType::QDateTime:
        return value.toDateTime().toString(Qt::ISODateWithMs);
    case QMetaType::QVariantList: {
        QVariantList list;
        const QVariantList source = value.toList();
        list.reserve(source.size());
        for (const QVariant& item : source) {
            QVariant converted = toDBusAt(item, depth + 1);
            if (converted.isValid()) {
                list.append(converted);
            }
        }
        return list;
    }
    case QMetaType::QVariantMap: {
        QVariantMap map;
        const QVariantMap source = value.toMap();
        for (auto it = source.cbegin(); it != source.cend(); ++it) {
            QVariant converted = toDBusAt(it.value(), depth + 1);
            if (converted.isValid()) {
                map.insert(it.key(), converted);
            }
        }
        return map;
    }
    default:
        // Already canonical, or invalid.
        return value;
    }
}

QVariant fromDBusAt(const QVariant& value, int depth);

// Dictionary keys of a property list are text; D-Bus allows any basic type, and
// the numeric ones have an obvious text.
QVariant keyText(const QVariant& key) {
    switch (key.typeId()) {
    case QMetaType::QString:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::UChar:
        return key.toString();
    default:
        if (key.userType() == qMetaTypeId<QDBusObjectPath>()) {
            return key.value<QDBusObjectPath>().path();
        }
        return {};
    }
}

// The elements of an opened array or structure; invalid when one of them has
// no property-list form.
QVariant elementsOf(const QDBusArgument& argument, int depth) {
    QVariantList list;
    while (!argument.atEnd()) {
        QVariant item = fromDBusAt(argument.asVariant(), depth + 1);
        if (!item.isValid()) {
            return {};
        }
        list.append(item);
    }
    return list;
}

QVariant fromArgument(const QDBusArgument& argument, int depth) {
    switch (argument.currentType()) {
    case QDBusArgument::BasicType:
    case QDBusArgument::VariantType:
        return fromDBusAt(argument.asVariant(), depth);
    case QDBusArgument::ArrayType: {
        if (argument.currentSignature() == QLatin1String("ay")) {
            QByteArray bytes;
            argument >> bytes;
            return bytes;
        }
        argument.beginArray();
        const QVariant list = elementsOf(argument, depth);
        argument.endArray();
        return list;
    }
    case QDBusArgument::StructureType: {
        argument.beginStructure();
        const QVariant list = elementsOf(argument, depth);
        argument.endStructure();
        return list;
    }
    case QDBusArgument::MapType: {
        QVariantMap map;
        argument.beginMap();
        while (!argument.atEnd()) {
            argument.beginMapEntry();
            const QVariant key = keyText(argument.asVariant());
            QVariant item = fromDBusAt(argument.asVariant(), depth + 1);
            argument.endMapEntry();
            if (!key.isValid() || !item.isValid()) {
                return {};
            }
            map.insert(key.toString(), item);
        }
        argument.endMap();
        return map;
    }
    case QDBusArgument::MapEntryType:
    case QDBusArgument::UnknownType:
        break;
    }
    return {};
}

QVariant fromDBusAt(const QVariant& value, int depth) {
    if (depth > PropertyListDBus::maximumDepth) {
        return {};
    }
    const int type = value.userType();
    if (type == qMetaTypeId<QDBusArgument>()) {
        return fromArgument(value.value<QDBusArgument>(), depth);
    }
    if (type == qMetaTypeId<QDBusVariant>()) {
        return fromDBusAt(value.value<QDBusVariant>().variant(), depth + 1);
    }
    if (type == qMetaTypeId<QDBusObjectPath>()) {
        return value.value<QDBusObjectPath>().path();
    }
    if (type == qMetaTypeId<QDBusSignature>()) {
        return value.value<QDBusSignature>().signature();
    }
    switch (type) {
    case QMetaType::QVariantList: {
        QVariantList list;
        const QVariantList source = value.toList();
        list.reserve(source.size());
        for (const QVariant& item : source) {
            QVariant converted = fromDBusAt(item, depth + 1);
            if (!converted.isValid()) {
                return {};
            }
            list.append(converted);
        }
        return list;
    }
    case QMetaType::QVariantMap: {
        QVariantMap map;
        const QVariantMap source = value.toMap();
        for (auto it = source.cbegin(); it != source.cend(); ++it) {
            QVariant converted = fromDBusAt(it.value(), depth + 1);
            if (!converted.isValid()) {
                return {};
            }
            map.insert(it.key(), converted);
        }
        return map;
    }
    case QMetaType::QStringList:
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::UChar:
    case QMetaType::Double:
    case QMetaType::QString:
    case QMetaType::QByteArray:
    case QMetaType::QDateTime:
        return PropertyList::normalized(value);
    default:
        // File descriptors and anything else without a property-list form.
        return {};
    }
}

} // namespace

namespace PropertyListDBus {

QVariant toDBus(const QVariant& value) {
    return toDBusAt(PropertyList::normalized(value), 0);
}

QVariant fromDBus(const QVariant& value) {
    return fromDBusAt(value, 0);
}

} // namespace PropertyListDBus
