#include "ReadingsReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

namespace {

using Scope = ReadingsReport::Scope;

constexpr qlonglong tc0p = 0x54433050, tc0d = 0x54433044, tg0d = 0x54473044, drive = 0xFFFFFFFF;

QList<quint32> codes(std::initializer_list<qlonglong> list) {
    return QList<quint32>(list.begin(), list.end());
}

// A JSON value as compact text (keys sorted).
QByteArray compact(const QJsonValue& value) {
    return QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
}

QVariant entry(std::initializer_list<QVariant> items) {
    return QVariantList(items);
}

// Three shown components and a hidden one; four shown fans (one without a
// maximum speed, one numbered 10) and a hidden one; three shown memory figures.
ReadingsSnapshot machine(int temperatureUnit, int fanUnit) {
    ReadingsSnapshot snapshot;
    snapshot.tempSensors = {{"CPU", entry({"CPU", tc0p, 0ll, true})},
                            {"GPU", entry({"GPU", tg0d, 1ll, true})},
                            {"HDD", entry({"Drive", drive, 2ll, true})},
                            {"MEM", entry({"Memory", 0x544D3050ll, 3ll, false})}};
    snapshot.fanSensors = {{"0", entry({"Left", 6000ll, true})},
                           {"1", entry({"Right", 5000ll, true})},
                           {"2", entry({"Back", 0ll, true})},
                           {"10", entry({"Rear 10", 4000ll, true})},
                           {"3", entry({"Spare", 4000ll, false})}};
    snapshot.memSensors = {{"Total", entry({0ll, false})},
                           {"Wired", entry({3ll, true})},
                           {"Active", entry({4ll, true})},
                           {"Compressed", entry({6ll, true})}};
    snapshot.machineSensors = {{"CPU", QVariantList{entry({tc0p, "TC0P", "CPU Proximity", true}),
                                                    entry({tc0d, "TC0D", "CPU Die", false})}},
                               {"HDD", QVariantList{entry({drive, "SMART", "SMART", true})}},
                               {"AMBIENT", QVariantList{}}};
    snapshot.units = {temperatureUnit, fanUnit};
    snapshot.temperatures = {
        {quint32(tc0p), 52}, {quint32(tg0d), 48}, {quint32(drive), 38}, {quint32(tc0d), 55}};
    snapshot.fanSpeeds = {{0, 2000}, {1, 1234}, {2, 900}, {10, 3000}};
    snapshot.memory = {16.0, 14.0, 2.0, 2.5, 7.25, 3.999, 0.5};
    snapshot.sources = SensorSources();
    return snapshot;
}

} // namespace

class TestReadingsReport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The clients' conversions: Fahrenheit rounded, percent truncated, GiB
    // without empty decimals, key texts.
    void conversions_data() {
        QTest::addColumn<QString>("conversion");
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("maxSpeed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("-40 °C") << "F" << -40.0 << 0 << "-40";
        QTest::newRow("37 °C, 98.6 rounds up") << "F" << 37.0 << 0 << "99";
        QTest::newRow("-18 °C, -0.4 rounds to 0") << "F" << -18.0 << 0 << "0";
        QTest::newRow("fraction dropped") << "%" << 1234.0 << 5000 << "24";
        QTest::newRow("above maximum") << "%" << 6000.0 << 5000 << "120";
        QTest::newRow("no overflow") << "%" << 2e9 << 2000000000 << "100";
        QTest::newRow("one decimal keeps two") << "GiB" << 7.5 << 0 << "7.50";
        QTest::newRow("rounds to whole") << "GiB" << 3.999 << 0 << "4";
        QTest::newRow("drive key") << "key" << double(drive) << 0 << "SMART";
        QTest::newRow("unprintable key") << "key" << double(0x54000050) << 0 << "T??P";
    }
    void conversions() {
        QFETCH(QString, conversion);
        QFETCH(double, value);
        QFETCH(int, maxSpeed);
        const QString actual =
            conversion == "F"   ? QString::number(ReadingsReport::fahrenheit(int(value)))
            : conversion == "%" ? QString::number(ReadingsReport::fanPercent(int(value), maxSpeed))
            : conversion == "GiB" ? ReadingsReport::gibibytes(value)
                                  : ReadingsReport::sensorKeyText(quint32(value));
        QTEST(actual, "expected");
    }

    void textShowsTheShownReadingsAligned() {
        QCOMPARE(ReadingsReport(machine(0, 0), Scope::shown).text(), "Temperatures\n"
                                                                     "CPU:          52 °C\n"
                                                                     "GPU:          48 °C\n"
                                                                     "Drive:        38 °C\n\n"
                                                                     "Fans\n"
                                                                     "Left:       2000 RPM\n"
                                                                     "Right:      1234 RPM\n"
                                                                     "Back:        900 RPM\n"
                                                                     "Rear 10:    3000 RPM\n\n"
                                                                     "Memory\n"
                                                                     "Wired:      2.50 GiB\n"
                                                                     "Active:     7.25 GiB\n"
                                                                     "Compressed: 0.50 GiB\n");
        const QString converted = ReadingsReport(machine(1, 1), Scope::shown).text();
        QVERIFY(converted.contains("CPU:         126 °F\n"));
        QVERIFY(converted.contains("Left:         33%\n"));
    }

    void withCandidatesEveryComponentFollows() {
        const QString text = ReadingsReport(machine(0, 0), Scope::candidates).text();
        QCOMPARE(text, ReadingsReport(machine(0, 0), Scope::shown).text() +
                           "\nComponents\n"
                           "CPU:\n"
                           "  * TC0P   CPU Proximity 52 °C\n"
                           "    TC0D   CPU Die       55 °C\n"
                           "Drive (HDD):\n"
                           "  * SMART  SMART         38 °C\n"
                           "AMBIENT:\n"
                           "    (no candidates)\n");
        // Each shown code once, in display order, then the other candidates.
        QCOMPARE(ReadingsReport::sensorCodesToRead(machine(0, 0), Scope::candidates),
                 codes({tc0p, tg0d, drive, tc0d}));
        QCOMPARE(ReadingsReport::fansToRead(machine(0, 0), Scope::shown),
                 (QList<int>{0, 1, 2, 10}));
    }

    void jsonCarriesTheSameReadings() {
        const QJsonObject json = ReadingsReport(machine(1, 1), Scope::candidates).json();
        QCOMPARE(compact(json["units"]), R"({"fan":"%","temperature":"°F"})");
        QCOMPARE(compact(json["temperatures"][0]),
                 R"({"component":"CPU","name":"CPU","sensor":"TC0P","unit":"°F","value":126})");
        QCOMPARE(compact(json["fans"][1]),
                 R"({"fan":1,"maxSpeed":5000,"name":"Right","rpm":1234,"unit":"%","value":24})");
        QCOMPARE(compact(json["memory"][1]), R"({"name":"Active","unit":"GiB","value":7.25})");
        QCOMPARE(json["components"].toArray().size(), 3);
        QCOMPARE(compact(json["components"][0]["candidates"][1]),
                 R"({"chosen":false,"name":"CPU Die","sensor":"TC0D","value":131})");
        QVERIFY(!ReadingsReport(machine(1, 1), Scope::shown).json().contains("components"));
    }

    // The metrics cover the whole selection in fixed units; unanswered
    // readings and temperatures of 0 (the agent's "no reading", a sleeping
    // drive) are left out, label texts escaped; a stopped fan still counts.
    void openMetricsCarryTheWholeSelection() {
        ReadingsSnapshot snapshot = machine(1, 1);
        snapshot.temperatures.remove(quint32(tg0d));
        snapshot.temperatures.insert(quint32(drive), 0);
        snapshot.fanSpeeds.insert(2, 0);
        snapshot.fanSensors.insert("3", entry({"Spare \"A\"\\n", 4000ll, false}));
        snapshot.fanSpeeds.insert(3, 1500);
        snapshot.temperatures.insert(0x544D3050u, 41);
        QCOMPARE(ReadingsReport(snapshot, Scope::selection).openMetrics(),
                 "# TYPE ondara_temperature_celsius gauge\n"
                 "# UNIT ondara_temperature_celsius celsius\n"
                 "# HELP ondara_temperature_celsius Temperature of each component's chosen "
                 "sensor.\n"
                 "ondara_temperature_celsius{component=\"CPU\",sensor=\"TC0P\"} 52\n"
                 "ondara_temperature_celsius{component=\"MEM\",sensor=\"TM0P\"} 41\n"
                 "# TYPE ondara_fan_speed_rpm gauge\n"
                 "# UNIT ondara_fan_speed_rpm rpm\n"
                 "# HELP ondara_fan_speed_rpm Speed of each fan in revolutions per minute.\n"
                 "ondara_fan_speed_rpm{fan=\"0\",name=\"Left\"} 2000\n"
                 "ondara_fan_speed_rpm{fan=\"1\",name=\"Right\"} 1234\n"
                 "ondara_fan_speed_rpm{fan=\"2\",name=\"Back\"} 0\n"
                 "ondara_fan_speed_rpm{fan=\"3\",name=\"Spare \\\"A\\\"\\\\n\"} 1500\n"
                 "ondara_fan_speed_rpm{fan=\"10\",name=\"Rear 10\"} 3000\n"
                 "# TYPE ondara_memory_bytes gauge\n"
                 "# UNIT ondara_memory_bytes bytes\n"
                 "# HELP ondara_memory_bytes Memory figures of the machine.\n"
                 "ondara_memory_bytes{kind=\"total\"} 17179869184\n"
                 "ondara_memory_bytes{kind=\"wired\"} 2684354560\n"
                 "ondara_memory_bytes{kind=\"active\"} 7784628224\n"
                 "ondara_memory_bytes{kind=\"compressed\"} 536870912\n"
                 "# EOF\n");
    }

    // Only the full report names the hardware behind a key, and says when
    // the agent does not tell.
    void fullReportNamesTheSources() {
        ReadingsSnapshot snapshot = machine(0, 0);
        snapshot.sources.reset();
        const QString older = "The agent does not tell what stands behind its keys";
        QVERIFY(ReadingsReport(snapshot, Scope::candidates).text().contains(older));
        QCOMPARE(ReadingsReport(snapshot, Scope::candidates).json()["sourcesKnown"], false);
        QVERIFY(!ReadingsReport(snapshot, Scope::shown).text().contains(older));
        snapshot.sources = SensorSources{{"TC0D", {"hwmon", "coretemp", "", "temp1", "", {}}},
                                         {"fan:1", {"hwmon", "nct6798", "", "fan2", "", {}}}};
        QVERIFY(!ReadingsReport(snapshot, Scope::candidates).text().contains(older));
        QVERIFY(!ReadingsReport(snapshot, Scope::candidates).json().contains("sourcesKnown"));
        const QString text = ReadingsReport(snapshot, Scope::candidates).text();
        QVERIFY(text.contains("    TC0D   CPU Die       55 °C  [coretemp temp1]\n"));
        QVERIFY(text.contains("Right:      1234 RPM  [nct6798 fan2]\n"));
        const QJsonObject json = ReadingsReport(snapshot, Scope::candidates).json();
        QCOMPARE(json["components"][0]["candidates"][1]["source"], "coretemp temp1");
        QCOMPARE(json["fans"][1]["source"], "nct6798 fan2");
        QVERIFY(!ReadingsReport(snapshot, Scope::shown)
                     .json()["fans"][1]
                     .toObject()
                     .contains("source"));
    }

    void missingReadingsShowAsUnavailable() {
        ReadingsSnapshot snapshot = machine(0, 0);
        snapshot.temperatures.remove(quint32(tg0d));
        snapshot.fanSpeeds.clear();
        snapshot.memory = {16.0};
        const ReadingsReport report(snapshot, Scope::shown);
        QVERIFY(report.text().contains("GPU:        n/a\n"));
        QVERIFY(report.text().contains("Left:       n/a\n"));
        QVERIFY(report.text().contains("Wired:      n/a\n"));
        const QJsonObject json = report.json();
        QVERIFY(json["temperatures"][1]["value"].isNull());
        QVERIFY(json["fans"][0]["rpm"].isNull());
        QVERIFY(json["memory"][0]["value"].isNull());
    }

    void entriesOutsideTheLayoutAreLeftOut() {
        ReadingsSnapshot snapshot;
        snapshot.units = {0, 0};
        snapshot.tempSensors = {{"CPU", entry({"CPU", tc0p, 0ll})},               // too short
                                {"GPU", entry({"GPU", "TG0D", 1ll, true})},       // code as text
                                {"HDD", "Drive"},                                 // no array
                                {"LCD", entry({"Display", -1ll, 3ll, true})},     // no code
                                {"PALM", entry({"Palm rest", tc0d, 2ll, true})}}; // the good one
        snapshot.fanSensors = {{"left", entry({"Left", 6000ll, true})},           // no fan number
                               {"1", entry({"Right"})}};
        snapshot.memSensors = {{"Wired", entry({"three", true})}};
        snapshot.machineSensors = {{"CPU", QVariantList{entry({tc0p}), "TC0P"}}, {"GPU", "none"}};
        snapshot.temperatures = {{quint32(tc0d), 40}};
        QCOMPARE(ReadingsReport(snapshot, Scope::shown).text(), "Temperatures\nPalm rest: 40 °C\n");
        QCOMPARE(ReadingsReport::sensorCodesToRead(snapshot, Scope::candidates), codes({tc0d}));
        QVERIFY(ReadingsReport::fansToRead(snapshot, Scope::shown).isEmpty());
        QCOMPARE(
            ReadingsReport(snapshot, Scope::candidates).json().value("components").toArray().size(),
            1);
        QCOMPARE(ReadingsReport(ReadingsSnapshot(), Scope::shown).text(),
                 "No component, fan or memory figure is selected to be shown.\n");
    }
};

QTEST_GUILESS_MAIN(TestReadingsReport)
#include "tst_readingsreport.moc"
