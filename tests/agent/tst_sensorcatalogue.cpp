#include "SMCKit.h"
#include "SensorComponents.h"
#include "TemperatureSensorCatalogue.h"

#include <QSet>
#include <QtTest>

class TestSensorCatalogue : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void catalogueHoldsEveryEntryOnce();
    void lookup_data();
    void lookup();
    void driveSensorIsNoSmcKey();
    void membership_data();
    void membership();
    void everySensorBelongsToAtMostOneComponent();
    void componentTables();
    void componentBounds_data();
    void componentBounds();
};

void TestSensorCatalogue::catalogueHoldsEveryEntryOnce() {
    const auto& catalogue = temperatureSensorCatalogue();
    const auto& declared = temperatureSensorCatalogueInDeclarationOrder();
    QCOMPARE(catalogue.size(), 48);
    QCOMPARE(declared.size(), 48);
    QSet<QString> names;
    for (const TemperatureSensor& sensor : declared) {
        QCOMPARE(catalogue.value(sensor.code), sensor);
        names.insert(sensor.name);
        // Every key is a temperature key ("T...") of four one-byte characters.
        QCOMPARE(SMCKit::fourCharString(sensor.code).at(0), QLatin1Char('T'));
    }
    QCOMPARE(names.size(), 48);
    QCOMPARE(declared.first().name, QStringLiteral("AMBIENT_AIR_0"));
    QCOMPARE(declared.last().name, QStringLiteral("AIRPORT"));
}

void TestSensorCatalogue::lookup_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("name"); // empty: not catalogued
    QTest::newRow("TS2P") << "TS2P"
                          << "ENCLOSURE_BASE_4";
    QTest::newRow("TS2p") << "TS2p"
                          << "ENCLOSURE_BASE_5";
    QTest::newRow("TA0P") << "TA0P"
                          << "AMBIENT_AIR_0";
    QTest::newRow("TA0p") << "TA0p"
                          << "AMBIENT_AIR_3";
    QTest::newRow("TA1v") << "TA1v"
                          << "AMBIENT_AIR_4";
    QTest::newRow("TH0P") << "TH0P"
                          << "HDD_0";
    QTest::newRow("Th0H") << "Th0H"
                          << "HEATSINK_0";
    QTest::newRow("TM0P") << "TM0P"
                          << "MEM_SLOTS_PROXIMITY";
    QTest::newRow("Tm0P") << "Tm0P"
                          << "LOGIC_BOARD_0";
    QTest::newRow("TP0P is not Tp0P") << "TP0P"
                                      << "";
    QTest::newRow("Tp0P") << "Tp0P"
                          << "POWER_SUPPLY_3";
    QTest::newRow("TPCD") << "TPCD"
                          << "PCH_DIE";
    QTest::newRow("TC0P") << "TC0P"
                          << "CPU_PROXIMITY";
    QTest::newRow("TC0p") << "TC0p"
                          << "";
    QTest::newRow("fan count") << "FNum"
                               << "";
}

void TestSensorCatalogue::lookup() {
    QFETCH(QString, key);
    QFETCH(QString, name);
    const uint32_t keyCode = *SMCKit::fourCharCode(key);
    const auto& catalogue = temperatureSensorCatalogue();
    QCOMPARE(catalogue.contains(keyCode), !name.isEmpty());
    if (!name.isEmpty()) {
        QCOMPARE(catalogue.value(keyCode).name, name);
        QCOMPARE(catalogue.value(keyCode).code, keyCode);
    }
}

void TestSensorCatalogue::driveSensorIsNoSmcKey() {
    const TemperatureSensor drive = driveTemperatureSensor();
    QCOMPARE(drive.name, QStringLiteral("SMART"));
    QCOMPARE(drive.code, 0xFFFFFFFFu);
    QVERIFY(!temperatureSensorCatalogue().contains(drive.code));
}

void TestSensorCatalogue::membership_data() {
    QTest::addColumn<QString>("sensor");
    QTest::addColumn<QString>("component"); // empty: none
    QTest::newRow("CPU heatsink is CPU") << "CPU_HEATSINK"
                                         << "CPU";
    QTest::newRow("GPU heatsink is GPU") << "GPU_HEATSINK"
                                         << "GPU";
    QTest::newRow("heatsink") << "HEATSINK_2"
                              << "HEATSINK";
    QTest::newRow("memory slots proximity") << "MEM_SLOTS_PROXIMITY"
                                            << "MEM";
    QTest::newRow("thunderbolt") << "THUNDERBOLT_0"
                                 << "THUNDER";
    QTest::newRow("logic board") << "LOGIC_BOARD_0"
                                 << "LOGIC";
    QTest::newRow("palm rest") << "PALM_REST"
                               << "PALM";
    QTest::newRow("optical") << "ODD_0"
                             << "ODD";
    QTest::newRow("northbridge diode") << "NORTHBRIDGE_DIODE"
                                       << "NORTHBRIDGE";
    QTest::newRow("power supply") << "POWER_SUPPLY_1"
                                  << "POWER";
    QTest::newRow("PCH belongs nowhere") << "PCH_DIE"
                                         << "";
    QTest::newRow("SMART matches nothing by name") << "SMART"
                                                   << "";
    QTest::newRow("shorter than the key") << "CP"
                                          << "";
    QTest::newRow("case matters") << "cpu_DIE_0"
                                  << "";
}

void TestSensorCatalogue::membership() {
    QFETCH(QString, sensor);
    QFETCH(QString, component);
    QCOMPARE(SensorComponents::componentOf(sensor), component);
    for (const QString& key : SensorComponents::keysInOrder()) {
        QCOMPARE(SensorComponents::belongsTo(sensor, key), key == component);
    }
}

void TestSensorCatalogue::everySensorBelongsToAtMostOneComponent() {
    int withComponent = 0;
    for (const TemperatureSensor& sensor : temperatureSensorCatalogueInDeclarationOrder()) {
        int memberships = 0;
        for (const QString& key : SensorComponents::keysInOrder()) {
            memberships += SensorComponents::belongsTo(sensor.name, key) ? 1 : 0;
        }
        QVERIFY2(memberships <= 1, qPrintable(sensor.name));
        withComponent += memberships;
    }
    // All but PCH_DIE.
    QCOMPARE(withComponent, 47);
}

void TestSensorCatalogue::componentTables() {
    const QStringList keys = SensorComponents::keysInOrder();
    QCOMPARE(keys.size(), 15);
    const QSet<QString> keySet(keys.cbegin(), keys.cend());
    const auto boundKeys = SensorComponents::bounds().keys();
    const auto nameKeys = SensorComponents::descriptiveNames().keys();
    const auto orderKeys = SensorComponents::order().keys();
    QCOMPARE(QSet<QString>(boundKeys.cbegin(), boundKeys.cend()), keySet);
    QCOMPARE(QSet<QString>(nameKeys.cbegin(), nameKeys.cend()), keySet);
    QCOMPARE(QSet<QString>(orderKeys.cbegin(), orderKeys.cend()), keySet);
    for (int position = 0; position < keys.size(); ++position) {
        QCOMPARE(SensorComponents::order().value(keys[position]), position);
    }
    QCOMPARE(keys.first(), QStringLiteral("CPU"));
    QCOMPARE(keys.last(), QStringLiteral("AMBIENT"));
    // Lookups outside the 15 find nothing.
    QVERIFY(!SensorComponents::bounds().contains(QStringLiteral("SMART")));
    QVERIFY(!SensorComponents::order().contains(QStringLiteral("cpu")));
}

void TestSensorCatalogue::componentBounds_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("lower");
    QTest::addColumn<int>("upper");
    QTest::addColumn<QString>("displayName");
    QTest::addColumn<int>("position");
    QTest::newRow("CPU") << "CPU" << 0 << 100 << "CPU" << 0;
    QTest::newRow("HDD") << "HDD" << 0 << 65 << "HDD" << 2;
    QTest::newRow("LOGIC") << "LOGIC" << 0 << 150 << "Board" << 3;
    QTest::newRow("MEM") << "MEM" << 0 << 100 << "Memory" << 6;
    QTest::newRow("ODD") << "ODD" << 0 << 100 << "Optical" << 7;
    QTest::newRow("LCD") << "LCD" << 0 << 100 << "Display" << 8;
    QTest::newRow("ENCLOSURE") << "ENCLOSURE" << -10 << 60 << "Enclosure" << 9;
    QTest::newRow("THUNDER") << "THUNDER" << 0 << 150 << "Thunderbolt" << 11;
    QTest::newRow("PALM") << "PALM" << 0 << 100 << "PalmRest" << 13;
    QTest::newRow("AMBIENT") << "AMBIENT" << -10 << 60 << "Ambient" << 14;
}

void TestSensorCatalogue::componentBounds() {
    QFETCH(QString, key);
    QFETCH(int, lower);
    QFETCH(int, upper);
    QFETCH(QString, displayName);
    QFETCH(int, position);
    QCOMPARE(SensorComponents::bounds().value(key), qMakePair(lower, upper));
    QCOMPARE(SensorComponents::descriptiveNames().value(key), displayName);
    QCOMPARE(SensorComponents::order().value(key), position);
}

QTEST_GUILESS_MAIN(TestSensorCatalogue)
#include "tst_sensorcatalogue.moc"
