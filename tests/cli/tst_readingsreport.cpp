#include "ReadingsReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

namespace {

constexpr qlonglong tc0p = 0x54433050; // "TC0P"
constexpr qlonglong tc0d = 0x54433044; // "TC0D"
constexpr qlonglong tg0d = 0x54473044; // "TG0D"
constexpr qlonglong tm0p = 0x544D3050; // "TM0P"
constexpr qlonglong drive = 0xFFFFFFFF;

QVariantList entry(std::initializer_list<QVariant> items) {
    return QVariantList(items);
}

// A machine as the agent would describe it: three shown components, one hidden,
// four shown fans (one without a maximum speed), three shown memory figures.
ReadingsSnapshot machine(int temperatureUnit, int fanUnit) {
    ReadingsSnapshot snapshot;
    snapshot.tempSensors = {
        {"CPU", entry({"CPU", tc0p, qlonglong(0), true})},
        {"GPU", entry({"GPU", tg0d, qlonglong(1), true})},
        {"HDD", entry({"Drive", drive, qlonglong(2), true})},
        {"MEM", entry({"Memory", tm0p, qlonglong(3), false})},
    };
    snapshot.fanSensors = {
        {"0", entry({"Left", qlonglong(6000), true})},
        {"1", entry({"Right", qlonglong(5000), true})},
        {"2", entry({"Back", qlonglong(0), true})},
        {"10", entry({"Rear 10", qlonglong(4000), true})},
        {"3", entry({"Spare", qlonglong(4000), false})},
    };
    snapshot.memSensors = {
        {"Total", entry({qlonglong(0), false})},
        {"Wired", entry({qlonglong(3), true})},
        {"Active", entry({qlonglong(4), true})},
        {"Compressed", entry({qlonglong(6), true})},
    };
    snapshot.machineSensors = {
        {"CPU", QVariantList{entry({tc0p, "TC0P", "CPU Proximity", true}),
                             entry({tc0d, "TC0D", "CPU Die", false})}},
        {"HDD", QVariantList{entry({drive, "SMART", "SMART", true})}},
        {"AMBIENT", QVariantList{}},
    };
    snapshot.units = {temperatureUnit, fanUnit};
    snapshot.temperatures = {
        {quint32(tc0p), 52}, {quint32(tg0d), 48}, {quint32(drive), 38}, {quint32(tc0d), 55}};
    snapshot.fanSpeeds = {{0, 2000}, {1, 1234}, {2, 900}, {10, 3000}};
    snapshot.memory = {16.0, 14.0, 2.0, 2.5, 7.25, 3.999, 0.5};
    return snapshot;
}

} // namespace

class TestReadingsReport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fahrenheitRoundsLikeTheClients_data();
    void fahrenheitRoundsLikeTheClients();
    void fanPercentTruncates_data();
    void fanPercentTruncates();
    void gibibytesDropEmptyDecimals_data();
    void gibibytesDropEmptyDecimals();
    void sensorKeyText_data();
    void sensorKeyText();
    void textShowsTheShownReadingsAligned_data();
    void textShowsTheShownReadingsAligned();
    void textWithCandidatesListsEveryComponent();
    void jsonCarriesTheSameReadings();
    void missingReadingsShowAsUnavailable();
    void entriesOutsideTheLayoutAreLeftOut();
    void nothingShownSaysSo();
    void readsEachShownCodeOnceInDisplayOrder();
};

void TestReadingsReport::fahrenheitRoundsLikeTheClients_data() {
    QTest::addColumn<int>("celsius");
    QTest::addColumn<int>("fahrenheit");
    QTest::newRow("freezing") << 0 << 32;
    QTest::newRow("boiling") << 100 << 212;
    QTest::newRow("same in both") << -40 << -40;
    QTest::newRow("body") << 37 << 99;            // 98.6 rounds up
    QTest::newRow("one degree") << 1 << 34;       // 33.8
    QTest::newRow("below zero") << -5 << 23;      // exactly 23.0
    QTest::newRow("just above 0 °F") << -18 << 0; // -0.4 rounds to 0
    QTest::newRow("half way") << -17 << 1;        // 1.4
}

void TestReadingsReport::fahrenheitRoundsLikeTheClients() {
    QFETCH(int, celsius);
    QFETCH(int, fahrenheit);
    QCOMPARE(ReadingsReport::fahrenheit(celsius), fahrenheit);
}

void TestReadingsReport::fanPercentTruncates_data() {
    QTest::addColumn<int>("rpm");
    QTest::addColumn<int>("maxSpeed");
    QTest::addColumn<int>("percent");
    QTest::newRow("fraction dropped") << 1234 << 5000 << 24;
    QTest::newRow("half") << 1500 << 3000 << 50;
    QTest::newRow("above maximum") << 6000 << 5000 << 120;
    QTest::newRow("no maximum") << 1000 << 0 << 0;
    QTest::newRow("stopped") << 0 << 6000 << 0;
    QTest::newRow("large values do not overflow") << 2000000000 << 2000000000 << 100;
}

void TestReadingsReport::fanPercentTruncates() {
    QFETCH(int, rpm);
    QFETCH(int, maxSpeed);
    QFETCH(int, percent);
    QCOMPARE(ReadingsReport::fanPercent(rpm, maxSpeed), percent);
}

void TestReadingsReport::gibibytesDropEmptyDecimals_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("whole") << 16.0 << "16";
    QTest::newRow("two decimals") << 7.25 << "7.25";
    QTest::newRow("one decimal keeps two") << 7.5 << "7.50";
    QTest::newRow("rounds to whole") << 3.999 << "4";
    QTest::newRow("zero") << 0.0 << "0";
}

void TestReadingsReport::gibibytesDropEmptyDecimals() {
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(ReadingsReport::gibibytes(value), text);
}

void TestReadingsReport::sensorKeyText_data() {
    QTest::addColumn<quint32>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("key") << quint32(tc0p) << "TC0P";
    QTest::newRow("drive") << quint32(drive) << "SMART";
    QTest::newRow("unprintable") << quint32(0x54000050) << "T??P";
}

void TestReadingsReport::sensorKeyText() {
    QFETCH(quint32, code);
    QFETCH(QString, text);
    QCOMPARE(ReadingsReport::sensorKeyText(code), text);
}

void TestReadingsReport::textShowsTheShownReadingsAligned_data() {
    QTest::addColumn<int>("temperatureUnit");
    QTest::addColumn<int>("fanUnit");
    QTest::addColumn<QString>("expected");
    QTest::newRow("Celsius and RPM") << 0 << 0
                                     << "Temperatures\n"
                                        "CPU:          52 °C\n"
                                        "GPU:          48 °C\n"
                                        "Drive:        38 °C\n"
                                        "\n"
                                        "Fans\n"
                                        "Left:       2000 RPM\n"
                                        "Right:      1234 RPM\n"
                                        "Back:        900 RPM\n"
                                        "Rear 10:    3000 RPM\n"
                                        "\n"
                                        "Memory\n"
                                        "Wired:      2.50 GiB\n"
                                        "Active:     7.25 GiB\n"
                                        "Compressed: 0.50 GiB\n";
    QTest::newRow("Fahrenheit and percent") << 1 << 1
                                            << "Temperatures\n"
                                               "CPU:         126 °F\n"
                                               "GPU:         118 °F\n"
                                               "Drive:       100 °F\n"
                                               "\n"
                                               "Fans\n"
                                               "Left:         33%\n"
                                               "Right:        24%\n"
                                               "Back:          0%\n"
                                               "Rear 10:      75%\n"
                                               "\n"
                                               "Memory\n"
                                               "Wired:      2.50 GiB\n"
                                               "Active:     7.25 GiB\n"
                                               "Compressed: 0.50 GiB\n";
}

void TestReadingsReport::textShowsTheShownReadingsAligned() {
    QFETCH(int, temperatureUnit);
    QFETCH(int, fanUnit);
    QFETCH(QString, expected);
    QCOMPARE(ReadingsReport(machine(temperatureUnit, fanUnit), false).text(), expected);
}

void TestReadingsReport::textWithCandidatesListsEveryComponent() {
    const QString text = ReadingsReport(machine(0, 0), true).text();
    const QString components = text.mid(text.indexOf(QLatin1String("Components\n")));
    QCOMPARE(components, QStringLiteral("Components\n"
                                        "CPU:\n"
                                        "  * TC0P   CPU Proximity 52 °C\n"
                                        "    TC0D   CPU Die       55 °C\n"
                                        "Drive (HDD):\n"
                                        "  * SMART  SMART         38 °C\n"
                                        "AMBIENT:\n"
                                        "    (no candidates)\n"));
    // The shown sections come first, aligned as without the candidates.
    QVERIFY(text.startsWith(ReadingsReport(machine(0, 0), false).text() + QLatin1Char('\n')));
}

void TestReadingsReport::jsonCarriesTheSameReadings() {
    const QJsonObject json = ReadingsReport(machine(1, 1), false).json();
    QCOMPARE(json.value("units").toObject(),
             (QJsonObject{{"temperature", QStringLiteral("°F")}, {"fan", "%"}}));
    const QJsonArray temperatures = json.value("temperatures").toArray();
    QCOMPARE(temperatures.size(), 3);
    QCOMPARE(temperatures.at(0).toObject(), (QJsonObject{{"component", "CPU"},
                                                         {"name", "CPU"},
                                                         {"sensor", "TC0P"},
                                                         {"value", 126},
                                                         {"unit", QStringLiteral("°F")}}));
    QCOMPARE(temperatures.at(2).toObject().value("sensor").toString(), QStringLiteral("SMART"));
    const QJsonArray fans = json.value("fans").toArray();
    QCOMPARE(fans.size(), 4);
    QCOMPARE(fans.at(1).toObject(), (QJsonObject{{"fan", 1},
                                                 {"name", "Right"},
                                                 {"value", 24},
                                                 {"unit", "%"},
                                                 {"rpm", 1234},
                                                 {"maxSpeed", 5000}}));
    QCOMPARE(fans.at(3).toObject().value("fan").toInt(), 10);
    const QJsonArray memory = json.value("memory").toArray();
    QCOMPARE(memory.size(), 3);
    QCOMPARE(memory.at(1).toObject(),
             (QJsonObject{{"name", "Active"}, {"value", 7.25}, {"unit", "GiB"}}));
    QVERIFY(!json.contains("components"));

    const QJsonArray components =
        ReadingsReport(machine(0, 0), true).json().value("components").toArray();
    QCOMPARE(components.size(), 3);
    const QJsonObject cpu = components.at(0).toObject();
    QCOMPARE(cpu.value("component").toString(), QStringLiteral("CPU"));
    QCOMPARE(
        cpu.value("candidates").toArray().at(1).toObject(),
        (QJsonObject{{"sensor", "TC0D"}, {"name", "CPU Die"}, {"chosen", false}, {"value", 55}}));
    QCOMPARE(components.at(2).toObject().value("candidates").toArray().size(), 0);
}

void TestReadingsReport::missingReadingsShowAsUnavailable() {
    ReadingsSnapshot snapshot = machine(0, 0);
    snapshot.temperatures.remove(quint32(tg0d));
    snapshot.fanSpeeds.clear();
    snapshot.memory = {16.0};
    const ReadingsReport report(snapshot, false);
    const QString text = report.text();
    QVERIFY2(text.contains(QLatin1String("GPU:        n/a\n")), qPrintable(text));
    QVERIFY2(text.contains(QLatin1String("Left:       n/a\n")), qPrintable(text));
    QVERIFY2(text.contains(QLatin1String("Wired:      n/a\n")), qPrintable(text));
    const QJsonObject json = report.json();
    QVERIFY(json.value("temperatures").toArray().at(1).toObject().value("value").isNull());
    QVERIFY(json.value("fans").toArray().at(0).toObject().value("rpm").isNull());
    QVERIFY(json.value("memory").toArray().at(0).toObject().value("value").isNull());
}

void TestReadingsReport::entriesOutsideTheLayoutAreLeftOut() {
    ReadingsSnapshot snapshot;
    snapshot.units = {0, 0};
    snapshot.tempSensors = {
        {"CPU", entry({"CPU", tc0p, qlonglong(0)})},                    // too short
        {"GPU", entry({"GPU", "TG0D", qlonglong(1), true})},            // code as text
        {"HDD", QStringLiteral("Drive")},                               // not an array
        {"LCD", entry({"Display", qlonglong(-1), qlonglong(3), true})}, // not a code
        {"PALM", entry({"Palm rest", tc0d, qlonglong(2), true})},       // the one good entry
    };
    snapshot.fanSensors = {
        {"left", entry({"Left", qlonglong(6000), true})}, // not a fan number
        {"1", entry({"Right"})},
    };
    snapshot.memSensors = {{"Wired", entry({"three", true})}};
    snapshot.machineSensors = {{"CPU", QVariantList{entry({tc0p}), QStringLiteral("TC0P")}},
                               {"GPU", QStringLiteral("none")}};
    snapshot.temperatures = {{quint32(tc0d), 40}};
    QCOMPARE(ReadingsReport(snapshot, false).text(), QStringLiteral("Temperatures\n"
                                                                    "Palm rest: 40 °C\n"));
    QCOMPARE(ReadingsReport::sensorCodesToRead(snapshot, true), QList<quint32>{quint32(tc0d)});
    QVERIFY(ReadingsReport::fansToRead(snapshot).isEmpty());
    QCOMPARE(ReadingsReport(snapshot, true).json().value("components").toArray().size(), 1);
}

void TestReadingsReport::nothingShownSaysSo() {
    ReadingsSnapshot snapshot;
    QCOMPARE(ReadingsReport(snapshot, false).text(),
             QStringLiteral("No component, fan or memory figure is selected to be shown.\n"));
    const QJsonObject json = ReadingsReport(snapshot, false).json();
    QCOMPARE(json.value("temperatures").toArray().size(), 0);
    QCOMPARE(json.value("units").toObject().value("temperature").toString(), QStringLiteral("°C"));
}

void TestReadingsReport::readsEachShownCodeOnceInDisplayOrder() {
    const ReadingsSnapshot snapshot = machine(0, 0);
    QCOMPARE(ReadingsReport::sensorCodesToRead(snapshot, false),
             (QList<quint32>{quint32(tc0p), quint32(tg0d), quint32(drive)}));
    QCOMPARE(ReadingsReport::sensorCodesToRead(snapshot, true),
             (QList<quint32>{quint32(tc0p), quint32(tg0d), quint32(drive), quint32(tc0d)}));
    QCOMPARE(ReadingsReport::fansToRead(snapshot), (QList<int>{0, 1, 2, 10}));
}

QTEST_GUILESS_MAIN(TestReadingsReport)
#include "tst_readingsreport.moc"
