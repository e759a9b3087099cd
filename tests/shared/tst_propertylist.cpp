#include "NestedPropertyLists.h"
#include "PropertyList.h"
#include "PropertyListBounds.h"

#include <QTest>

class TestPropertyList : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void roundTripKeepsKindsAndValues();
    void normalizedFoldsQtNumericTypes();
    void parseRejectsGarbage_data();
    void parseRejectsGarbage();
    void nestingIsBoundedBeforeParsing_data();
    void nestingIsBoundedBeforeParsing();
};

void TestPropertyList::roundTripKeepsKindsAndValues() {
    const QVariantMap original{
        {QStringLiteral("code"), qlonglong(0xFFFFFFFFu)},
        {QStringLiteral("negative"), qlonglong(-7)},
        {QStringLiteral("version"), 2.5},
        {QStringLiteral("flag"), true},
        {QStringLiteral("name"), QStringLiteral("Lüfter <1> & \"2\"")},
        {QStringLiteral("bytes"), QByteArray("\x00\x01\xff", 3)},
        {QStringLiteral("nested"),
         QVariantList{QVariantList{qlonglong(1), QStringLiteral("TC0P")}, QVariantMap{}}},
    };
    const auto parsed = PropertyList::parse(PropertyList::toXml(original));
    QVERIFY(parsed.has_value());
    QCOMPARE(parsed->toMap(), original);
    const QVariantMap map = parsed->toMap();
    QCOMPARE(map.value(QStringLiteral("code")).typeId(), QMetaType::LongLong);
    QCOMPARE(map.value(QStringLiteral("flag")).typeId(), QMetaType::Bool);
    QCOMPARE(map.value(QStringLiteral("version")).typeId(), QMetaType::Double);
}

void TestPropertyList::normalizedFoldsQtNumericTypes() {
    const QVariant value = PropertyList::normalized(
        QVariantList{int(3), uint(0xFFFFFFFFu), QStringList{QStringLiteral("a")}, float(1.5)});
    const QVariantList list = value.toList();
    QCOMPARE(list.at(0).typeId(), QMetaType::LongLong);
    QCOMPARE(list.at(1), QVariant(qlonglong(0xFFFFFFFFu)));
    QVERIFY(PropertyList::isArray(list.at(2)));
    QCOMPARE(list.at(3).typeId(), QMetaType::Double);
    QVERIFY(!PropertyList::normalized(QVariant::fromValue(QObject::staticMetaObject.className()))
                 .isValid());
}

void TestPropertyList::parseRejectsGarbage_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("text") << QByteArray("hello world");
    QTest::newRow("truncated xml") << QByteArray("<?xml version=\"1.0\"?><plist><dict><key>a");
}

void TestPropertyList::parseRejectsGarbage() {
    QFETCH(QByteArray, bytes);
    QString error;
    QVERIFY(!PropertyList::parse(bytes, &error).has_value());
    QVERIFY(!error.isEmpty());
}

// The parser builds, copies and frees its trees recursively: what would
// exhaust its stack or memory is refused on the raw bytes, never parsed.
void TestPropertyList::nestingIsBoundedBeforeParsing_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("refusal"); // empty: parses
    const QString tooDeep = QStringLiteral("nested deeper than 512 levels");
    const int most = PropertyListBounds::maximumDepth;
    QTest::newRow("xml, as deep as allowed") << xmlNestedArrays(most) << QString();
    QTest::newRow("xml, one level more") << xmlNestedArrays(most + 1) << tooDeep;
    QTest::newRow("xml, 10000 levels") << xmlNestedArrays(10000) << tooDeep;
    QTest::newRow("xml, 100000 levels") << xmlNestedArrays(100000) << tooDeep;
    QTest::newRow("binary, as deep as allowed") << binaryNestedArrays(most) << QString();
    QTest::newRow("binary, 10000 levels") << binaryNestedArrays(10000) << tooDeep;
    QTest::newRow("binary, 100000 levels") << binaryNestedArrays(100000) << tooDeep;
    // 40 arrays each naming the next twice: 2^40 values once copied out.
    QList<QList<quint32>> doubling;
    for (quint32 i = 0; i < 40; ++i) {
        doubling.append({i + 1, i + 1});
    }
    doubling.append(QList<quint32>{});
    QTest::newRow("binary, shared objects") << binaryArrays(doubling) << "more than 1048576 values";
    QTest::newRow("binary, an array in itself")
        << binaryArrays({{1}, {0}}) << "an array or dictionary contains itself";
    QTest::newRow("too large") << QByteArray(PropertyListBounds::maximumSize + 1, ' ')
                               << "larger than 16 MiB";
}

void TestPropertyList::nestingIsBoundedBeforeParsing() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, refusal);
    QString error;
    const auto parsed = PropertyList::parse(bytes, &error);
    QCOMPARE(error, refusal);
    QCOMPARE(parsed.has_value(), refusal.isEmpty());
}

QTEST_GUILESS_MAIN(TestPropertyList)
#include "tst_propertylist.moc"
