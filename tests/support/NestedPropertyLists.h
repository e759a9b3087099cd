#pragma once

// Property lists nested as deep as asked: a hostile settings file, profile or
// update reply, in XML and in binary form.

#include <QByteArray>
#include <QList>
#include <QString>

// Arrays inside arrays, `depth` of them, as XML.
inline QByteArray xmlNestedArrays(int depth) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" +
           QByteArray("<array>").repeated(depth) + QByteArray("</array>").repeated(depth) +
           "</plist>\n";
}

// An XML dictionary: the entries of `xml` (a dictionary written by
// PropertyList::toXml) and `nested` arrays deep under a key of its own.
inline QByteArray xmlWithDeepEntry(const QByteArray& xml, const QByteArray& key, int nested) {
    QByteArray result = xml;
    result.insert(result.lastIndexOf("</dict>"), "<key>" + key + "</key>" +
                                                     QByteArray("<array>").repeated(nested) +
                                                     QByteArray("</array>").repeated(nested));
    return result;
}

// A binary list whose object i is an array of the objects `references[i]`
// names (at most 14 each); object 0 is the top.
inline QByteArray binaryArrays(const QList<QList<quint32>>& references) {
    const auto bigEndian = [](quint64 value, int bytes) {
        QByteArray out(bytes, '\0');
        for (int i = bytes - 1; i >= 0; --i, value >>= 8) {
            out[i] = char(value & 0xFF);
        }
        return out;
    };
    QByteArray file = "bplist00";
    QList<quint64> offsets;
    for (const QList<quint32>& refs : references) {
        offsets.append(quint64(file.size()));
        file += char(0xA0 | refs.size());
        for (quint32 ref : refs) {
            file += bigEndian(ref, 4);
        }
    }
    const quint64 table = quint64(file.size());
    for (quint64 offset : offsets) {
        file += bigEndian(offset, 4);
    }
    file += QByteArray(6, '\0') + char(4) + char(4) + bigEndian(quint64(references.size()), 8) +
            bigEndian(0, 8) + bigEndian(table, 8);
    return file;
}

// Arrays inside arrays, `depth` of them, as a binary list.
inline QByteArray binaryNestedArrays(int depth) {
    QList<QList<quint32>> references;
    for (int i = 0; i < depth; ++i) {
        references.append(i + 1 < depth ? QList<quint32>{quint32(i + 1)} : QList<quint32>{});
    }
    return binaryArrays(references);
}
