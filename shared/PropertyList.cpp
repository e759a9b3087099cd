#include "PropertyList.h"

#include "PropertyListBounds.h"

#include <QDateTime>
#include <QStringList>
#include <QTimeZone>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <plist/plist.h>

namespace {

// Property-list dates count from 2001-01-01 UTC.
constexpr qint64 appleEpochOffsetSeconds = 978307200;

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

QString takeString(char* text) {
    QString result = QString::fromUtf8(text);
    std::free(text);
    return result;
}

QVariant fromNode(plist_t node, int depth) {
    // The raw bytes were checked for depth; this only guards the recursion.
    if (depth > PropertyListBounds::maximumDepth) {
        return {};
    }
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return bool(value);
    }
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        // libplist keeps negative integers as their two's complement.
        return qlonglong(static_cast<qint64>(value));
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return value;
    }
    case PLIST_STRING: {
        // A binary property list may hold NUL inside a string; libplist's
        // copying accessor stops the process on those.
        uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        return QString::fromUtf8(text, qsizetype(length));
    }
    case PLIST_DATA: {
        uint64_t length = 0;
        const char* bytes = plist_get_data_ptr(node, &length);
        return QByteArray(bytes, qsizetype(length));
    }
    case PLIST_DATE: {
        int32_t sec = 0;
        int32_t usec = 0;
        plist_get_date_val(node, &sec, &usec);
        return QDateTime::fromMSecsSinceEpoch((appleEpochOffsetSeconds + sec) * 1000 + usec / 1000,
                                              Qt::UTC);
    }
    case PLIST_ARRAY: {
        QVariantList list;
        const uint32_t count = plist_array_get_size(node);
        list.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            QVariant item = fromNode(plist_array_get_item(node, i), depth + 1);
            if (!item.isValid()) {
                return {};
            }
            list.append(item);
        }
        return list;
    }
    case PLIST_DICT: {
        QVariantMap map;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        for (;;) {
            char* key = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, it, &key, &item);
            if (!item) {
                std::free(key);
                break;
            }
            QVariant value = fromNode(item, depth + 1);
            QString name = takeString(key);
            if (!value.isValid()) {
                std::free(it);
                return {};
            }
            map.insert(name, value);
        }
        std::free(it);
        return map;
    }
    default:
        return {};
    }
}

plist_t toNode(const QVariant& raw) {
    const QVariant value = PropertyList::normalized(raw);
    switch (value.typeId()) {
    case QMetaType::Bool:
        return plist_new_bool(value.toBool());
    case QMetaType::LongLong:
        return plist_new_uint(static_cast<uint64_t>(value.toLongLong()));
    case QMetaType::Double:
        return plist_new_real(value.toDouble());
    case QMetaType::QString:
        return plist_new_string(value.toString().toUtf8().constData());
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return plist_new_data(bytes.constData(), uint64_t(bytes.size()));
    }
    case QMetaType::QDateTime: {
        const qint64 ms = value.toDateTime().toMSecsSinceEpoch() - appleEpochOffsetSeconds * 1000;
        return plist_new_date(int32_t(ms / 1000), int32_t((ms % 1000) * 1000));
    }
    case QMetaType::QVariantList: {
        plist_t array = plist_new_array();
        for (const QVariant& item : value.toList()) {
            if (plist_t node = toNode(item)) {
                plist_array_append_item(array, node);
            }
        }
        return array;
    }
    case QMetaType::QVariantMap: {
        plist_t dict = plist_new_dict();
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            if (plist_t node = toNode(it.value())) {
                plist_dict_set_item(dict, it.key().toUtf8().constData(), node);
            }
        }
        return dict;
    }
    default:
        return nullptr;
    }
}

} // namespace

namespace PropertyList {

QVariant normalized(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::LongLong:
    case QMetaType::Double:
    case QMetaType::QString:
    case QMetaType::QByteArray:
    case QMetaType::QDateTime:
        return value;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::UChar:
    case QMetaType::SChar:
    case QMetaType::Long:
    case QMetaType::ULong:
        return value.toLongLong();
    case QMetaType::ULongLong: {
        const qulonglong v = value.toULongLong();
        if (v > qulonglong(std::numeric_limits<qlonglong>::max())) {
            return {};
        }
        return qlonglong(v);
    }
    case QMetaType::Float:
        return value.toDouble();
    case QMetaType::QStringList: {
        QVariantList list;
        for (const QString& s : value.toStringList()) {
            list.append(s);
        }
        return list;
    }
    case QMetaType::QVariantList: {
        QVariantList list;
        const QVariantList source = value.toList();
        list.reserve(source.size());
        for (const QVariant& item : source) {
            list.append(normalized(item));
        }
        return list;
    }
    case QMetaType::QVariantMap: {
        QVariantMap map;
        const QVariantMap source = value.toMap();
        for (auto it = source.cbegin(); it != source.cend(); ++it) {
            map.insert(it.key(), normalized(it.value()));
        }
        return map;
    }
    default:
        return {};
    }
}

bool isInteger(const QVariant& value) {
    return value.typeId() == QMetaType::LongLong;
}

bool isNumber(const QVariant& value) {
    return value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::Double;
}

bool isArray(const QVariant& value) {
    return value.typeId() == QMetaType::QVariantList;
}

bool isDictionary(const QVariant& value) {
    return value.typeId() == QMetaType::QVariantMap;
}

std::optional<QVariantList> arrayOf(const QVariant& value, qsizetype minimumLength) {
    if (!isArray(value)) {
        return std::nullopt;
    }
    QVariantList list = value.toList();
    if (list.size() < minimumLength) {
        return std::nullopt;
    }
    return list;
}

std::optional<qlonglong> integerIn(const QVariant& value, qlonglong low, qlonglong high) {
    if (!isInteger(value)) {
        return std::nullopt;
    }
    const qlonglong number = value.toLongLong();
    if (number < low || number > high) {
        return std::nullopt;
    }
    return number;
}

std::optional<QVariant> parse(const QByteArray& bytes, QString* error) {
    auto fail = [error](const char* reason) -> std::optional<QVariant> {
        if (error) {
            *error = QString::fromLatin1(reason);
        }
        return std::nullopt;
    };
    if (bytes.isEmpty()) {
        return fail("empty file");
    }
    if (const auto refused = PropertyListBounds::refusal(bytes)) {
        if (error) {
            *error = *refused;
        }
        return std::nullopt;
    }
    plist_t root = nullptr;
    plist_from_memory(bytes.constData(), uint32_t(bytes.size()), &root);
    PlistPtr owner(root);
    if (!root) {
        return fail("not a property list");
    }
    QVariant value = fromNode(root, 0);
    if (!value.isValid()) {
        return fail("unsupported or too deeply nested value");
    }
    return value;
}

QByteArray toXml(const QVariant& value) {
    PlistPtr root(toNode(value));
    if (!root) {
        return {};
    }
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(root.get(), &xml, &length);
    QByteArray result(xml, qsizetype(length));
    plist_to_xml_free(xml);
    return result;
}

} // namespace PropertyList
