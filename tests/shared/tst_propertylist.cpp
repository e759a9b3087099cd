#include "PropertyList.h"

#include <QTest>

class TestPropertyList : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void roundTripKeepsKindsAndValues();
    void normalizedFoldsQtNumericTypes();
    void parseRejectsGarbage_data();
    void parseRejectsGarbage();
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

QTEST_GUILESS_MAIN(TestPropertyList)
#include "tst_propertylist.moc"
