// The selection's layouts: every stored file the agent wrote reads and writes
// back byte for byte, each shape the layouts do not allow is "not an entry",
// and an entry that changes writes only what changed.

#include "OndaraNames.h"
#include "PropertyList.h"
#include "SensorRecordCodec.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {

namespace Keys = OndaraNames::Keys;

const QString recorded = QStringLiteral(ONDARA_RECORDED_DIR);

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

qlonglong code(const char* key) {
    return qlonglong(quint32(key[0]) << 24 | quint32(key[1]) << 16 | quint32(key[2]) << 8 |
                     quint32(key[3]));
}

QString text(const std::optional<QString>& name) {
    return name ? *name : QStringLiteral("(none)");
}

// A decoded value as one line, "-" for not an entry.
QString describe(const QString& layout, const QString& key, const QVariant& value) {
    if (layout == "temp") {
        const auto e = SensorRecordCodec::temperatureEntry(key, value);
        return e ? QStringLiteral("%1 %2 %3 %4 %5")
                           .arg(e->component, text(e->name), e->displayName())
                           .arg(e->code)
                           .arg(e->position) +
                       (e->active ? " on" : " off")
                 : "-";
    }
    if (layout == "fan") {
        const auto e = SensorRecordCodec::fanEntry(key, value);
        return e ? QStringLiteral("%1 %2 %3 %4")
                           .arg(e->number)
                           .arg(text(e->name), e->displayName())
                           .arg(e->maxSpeed ? QString::number(*e->maxSpeed) : "(none)") +
                       (e->active ? " on" : " off")
                 : "-";
    }
    if (layout == "mem") {
        const auto e = SensorRecordCodec::memoryFigureEntry(key, value);
        return e ? QStringLiteral("%1 %2").arg(e->name).arg(e->position) +
                       (e->active ? " on" : " off")
                 : "-";
    }
    if (layout == "candidate") {
        const auto e = SensorRecordCodec::candidate(value);
        return e ? QStringLiteral("%1 %2 %3").arg(e->code).arg(e->keyText, e->name) +
                       (e->active ? " on" : " off")
                 : "-";
    }
    const QVariantMap reply{{key, value}};
    if (layout == "activeTemp") {
        const auto e = SensorRecordCodec::activeTemperatures(reply);
        return e.isEmpty()
                   ? "-"
                   : QStringLiteral("%1 %2 %3").arg(e[0].name).arg(e[0].code).arg(e[0].position);
    }
    if (layout == "activeFan") {
        const auto e = SensorRecordCodec::activeFans(reply);
        return e.isEmpty()
                   ? "-"
                   : QStringLiteral("%1 %2 %3").arg(e[0].name).arg(e[0].number).arg(e[0].maxSpeed);
    }
    const auto e = SensorRecordCodec::activeMemory(reply);
    return e.isEmpty() ? "-" : QStringLiteral("%1 %2").arg(e[0].name).arg(e[0].index);
}

} // namespace

class TestSensorRecordCodec : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void storedFilesRoundTrip_data() {
        QTest::addColumn<QString>("file");
        const QStringList files = QDir(recorded).entryList({"*.plist"}, QDir::Files);
        QVERIFY(files.size() >= 8);
        for (const QString& file : files) {
            QTest::newRow(qPrintable(file)) << file;
        }
    }
    // Read as the agent loads them and written as it persists them.
    void storedFilesRoundTrip() {
        QFETCH(QString, file);
        const QByteArray bytes = contentOf(recorded + '/' + file);
        const auto parsed = PropertyList::parse(bytes);
        QVERIFY(parsed && PropertyList::isDictionary(*parsed));
        QVariantMap suite = parsed->toMap();
        const auto selection = SensorRecordCodec::storedSelection(suite);
        QVERIFY(selection);
        const QVariantMap written = SensorRecordCodec::toPropertyList(*selection);
        for (auto it = written.cbegin(); it != written.cend(); ++it) {
            // A "Sections" or "Units" of another shape is read as the default
            // and left in the file until the agent writes it.
            if (it.value() != suite.value(it.key()) &&
                (it.key() == Keys::sections || it.key() == Keys::units)) {
                continue;
            }
            suite.insert(it.key(), it.value());
        }
        if (file.startsWith("damaged.") && !file.contains("changed")) {
            // Written by another program: compare values, not its formatting.
            QCOMPARE(suite, parsed->toMap());
        } else {
            QCOMPARE(PropertyList::toXml(suite), bytes);
        }
    }

    void entries_data() {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("decoded");
        const QVariant cpu = code("TC0P");
        QTest::newRow("temp") << "temp"
                              << "CPU" << QVariant(QVariantList{"CPU", cpu, 0, true})
                              << "CPU CPU CPU 1413689424 0 on";
        QTest::newRow("temp name not text") << "temp"
                                            << "GPU" << QVariant(QVariantList{7, cpu, 1, false})
                                            << "GPU (none) Unknown 1413689424 1 off";
        QTest::newRow("temp longer: flag last")
            << "temp"
            << "MEM" << QVariant(QVariantList{"M", cpu, 6, false, 1}) << "MEM M M 1413689424 6 on";
        QTest::newRow("temp flag 0")
            << "temp"
            << "CPU" << QVariant(QVariantList{"C", cpu, 0, 0}) << "CPU C C 1413689424 0 off";
        QTest::newRow("temp flag text")
            << "temp"
            << "CPU" << QVariant(QVariantList{"C", cpu, 0, "true"}) << "CPU C C 1413689424 0 off";
        QTest::newRow("temp drive")
            << "temp"
            << "HDD" << QVariant(QVariantList{"Drive", 4294967295LL, 2, true})
            << "HDD Drive Drive 4294967295 2 on";
        QTest::newRow("temp short") << "temp"
                                    << "HDD" << QVariant(QVariantList{"Drive", cpu}) << "-";
        QTest::newRow("temp code real")
            << "temp"
            << "CPU" << QVariant(QVariantList{"C", 1413689424.0, 0, true}) << "-";
        QTest::newRow("temp code negative")
            << "temp"
            << "CPU" << QVariant(QVariantList{"C", -1, 0, true}) << "-";
        QTest::newRow("temp code too big")
            << "temp"
            << "CPU" << QVariant(QVariantList{"C", 4294967296LL, 0, true}) << "-";
        QTest::newRow("temp position text")
            << "temp"
            << "CPU" << QVariant(QVariantList{"C", cpu, "9", true}) << "-";
        QTest::newRow("temp not an array") << "temp"
                                           << "CPU" << QVariant("CPU") << "-";

        QTest::newRow("fan") << "fan"
                             << "0" << QVariant(QVariantList{"Left", 6000, true})
                             << "0 Left Left 6000 on";
        QTest::newRow("fan leading zero")
            << "fan"
            << "07" << QVariant(QVariantList{"L", 6000, false}) << "7 L L 6000 off";
        QTest::newRow("fan maximum real")
            << "fan"
            << "1" << QVariant(QVariantList{"R", 5999.9, true}) << "1 R R 5999 on";
        QTest::newRow("fan maximum huge")
            << "fan"
            << "1" << QVariant(QVariantList{"R", 1e12, true}) << "1 R R 2147483647 on";
        QTest::newRow("fan maximum not a number")
            << "fan"
            << "2" << QVariant(QVariantList{"B", "fast", true}) << "2 B B (none) on";
        QTest::newRow("fan name not text")
            << "fan"
            << "2" << QVariant(QVariantList{true, 10, true}) << "2 (none) Unknown 10 on";
        QTest::newRow("fan key not a number")
            << "fan"
            << "x" << QVariant(QVariantList{"Odd", 100, true}) << "-";
        QTest::newRow("fan key signed") << "fan"
                                        << "-1" << QVariant(QVariantList{"Odd", 100, true}) << "-";
        QTest::newRow("fan key too long")
            << "fan"
            << "1234567890" << QVariant(QVariantList{"Odd", 100, true}) << "-";
        QTest::newRow("fan short") << "fan"
                                   << "3" << QVariant(QVariantList{"Short", true}) << "-";

        QTest::newRow("mem") << "mem"
                             << "Wired" << QVariant(QVariantList{3, true}) << "Wired 3 on";
        QTest::newRow("mem longer: flag last")
            << "mem"
            << "Compressed" << QVariant(QVariantList{6, true, "more"}) << "Compressed 6 off";
        QTest::newRow("mem short") << "mem"
                                   << "Wired" << QVariant(QVariantList{3}) << "-";
        QTest::newRow("mem position real") << "mem"
                                           << "Active" << QVariant(QVariantList{4.0, true}) << "-";

        QTest::newRow("candidate")
            << "candidate"
            << "" << QVariant(QVariantList{cpu, "TC0P", "CPU_PROXIMITY", true})
            << "1413689424 TC0P CPU_PROXIMITY on";
        QTest::newRow("candidate flag at 3, not last")
            << "candidate"
            << "" << QVariant(QVariantList{cpu, "TC0P", "P", false, true})
            << "1413689424 TC0P P off";
        QTest::newRow("candidate texts not text")
            << "candidate"
            << "" << QVariant(QVariantList{cpu, 1, 2, true}) << "1413689424   on";
        QTest::newRow("candidate code text")
            << "candidate"
            << "" << QVariant(QVariantList{"x", "TC0H", "H", false}) << "-";
        QTest::newRow("candidate short") << "candidate"
                                         << "" << QVariant(QVariantList{1, 2}) << "-";

        QTest::newRow("active temp")
            << "activeTemp"
            << "CPU" << QVariant(QVariantList{cpu, 0}) << "CPU 1413689424 0";
        QTest::newRow("active temp code real") << "activeTemp"
                                               << "CPU" << QVariant(QVariantList{1.0, 0}) << "-";
        QTest::newRow("active temp one element") << "activeTemp"
                                                 << "CPU" << QVariant(QVariantList{cpu}) << "-";
        QTest::newRow("active fan") << "activeFan"
                                    << "Left" << QVariant(QVariantList{0, 6000}) << "Left 0 6000";
        QTest::newRow("active fan negative") << "activeFan"
                                             << "Left" << QVariant(QVariantList{-1, 6000}) << "-";
        QTest::newRow("active fan maximum beyond int")
            << "activeFan"
            << "Left" << QVariant(QVariantList{0, 1LL << 40}) << "-";
        QTest::newRow("active mem") << "activeMem"
                                    << "Wired" << QVariant(3) << "Wired 3";
        QTest::newRow("active mem list") << "activeMem"
                                         << "Wired" << QVariant(QVariantList{3}) << "-";
    }
    void entries() {
        QFETCH(QString, layout);
        QFETCH(QString, key);
        QFETCH(QVariant, value);
        QTEST(describe(layout, key, PropertyList::normalized(value)), "decoded");
    }

    // What was stored and not changed keeps its stored form.
    void changesWriteOnlyWhatChanged_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QVariant>("written");
        const qlonglong cpu = code("TC0P");
        QTest::newRow("flag of a longer entry")
            << QVariant(QVariantList{7, cpu, 6, "extra", 1})
            << QVariant(QVariantList{7, cpu, 6, "extra", false});
        QTest::newRow("code") << QVariant(QVariantList{"CPU", cpu, 0, 1})
                              << QVariant(QVariantList{"CPU", 4294967295LL, 0, 1});
    }
    void changesWriteOnlyWhatChanged() {
        QFETCH(QVariant, stored);
        auto entry = SensorRecordCodec::temperatureEntry("CPU", PropertyList::normalized(stored));
        QVERIFY(entry);
        if (QTest::currentDataTag() == QByteArray("code")) {
            entry->code = OndaraNames::driveSensorCode;
        } else {
            entry->active = false;
        }
        QTEST(SensorRecordCodec::toPropertyList(*entry), "written");
        QCOMPARE(PropertyList::normalized(SensorRecordCodec::toPropertyList(*entry)),
                 SensorRecordCodec::toPropertyList(*entry));
    }

    void newEntriesHaveTheLayout() {
        TemperatureEntry temperature{"CPU", "CPU", quint32(code("TC0P")), 0, true, {}};
        FanEntry fan{"3", 3, "Fan 3", 5003, false, {}};
        MemoryFigureEntry figure{"Wired", 3, true, {}};
        SensorCandidate candidate{quint32(code("TC0P")), "TC0P", "CPU_PROXIMITY", false, {}};
        QCOMPARE(SensorRecordCodec::toPropertyList(temperature),
                 QVariant(QVariantList{"CPU", code("TC0P"), 0LL, true}));
        QCOMPARE(SensorRecordCodec::toPropertyList(fan),
                 QVariant(QVariantList{"Fan 3", 5003LL, false}));
        QCOMPARE(SensorRecordCodec::toPropertyList(figure), QVariant(QVariantList{3LL, true}));
        QCOMPARE(SensorRecordCodec::toPropertyList(candidate),
                 QVariant(QVariantList{code("TC0P"), "TC0P", "CPU_PROXIMITY", false}));
    }

    void storedSelectionShapes_data() {
        QTest::addColumn<QString>("broken"); // the key given another shape
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("loads");
        QTest::newRow("all four") << "" << QVariant() << true;
        QTest::newRow("temps absent") << "TempSensors" << QVariant() << false;
        QTest::newRow("temps an array") << "TempSensors" << QVariant(QVariantList{}) << false;
        QTest::newRow("fan value text")
            << "FanSensors" << QVariant(QVariantMap{{"0", "x"}}) << false;
        QTest::newRow("machine rows text")
            << "MachineSensors" << QVariant(QVariantMap{{"CPU", QVariantList{"x"}}}) << false;
        QTest::newRow("sections text") << "Sections" << QVariant("visible") << true;
        QTest::newRow("units three") << "Units" << QVariant(QVariantList{1, 0, 5}) << true;
    }
    void storedSelectionShapes() {
        QFETCH(QString, broken);
        QFETCH(QVariant, value);
        QVariantMap keys{{Keys::tempSensors, QVariantMap{}},
                         {Keys::fanSensors, QVariantMap{}},
                         {Keys::memSensors, QVariantMap{}},
                         {Keys::machineSensors, QVariantMap{}},
                         {Keys::sections, QVariantList{0LL, 1LL, 0LL}},
                         {Keys::units, QVariantList{1LL, 1LL}}};
        if (!broken.isEmpty()) {
            keys.insert(broken, PropertyList::normalized(value));
        }
        const auto selection = SensorRecordCodec::storedSelection(keys);
        QTEST(selection.has_value(), "loads");
        if (selection && broken == "Sections") {
            QCOMPARE(selection->visibleSections, SensorSelection::defaultSections);
            QCOMPARE(selection->units, (QList<int>{1, 1}));
        } else if (selection && broken == "Units") {
            QCOMPARE(selection->units, SensorSelection::defaultUnits);
        }
    }

    void sources_data() {
        QTest::addColumn<QVariantMap>("answer");
        QTest::addColumn<QString>("description");
        const QVariantMap core0{{"backend", "hwmon"},
                                {"chip", "coretemp"},
                                {"device", "/sys/devices/platform/coretemp.0"},
                                {"input", "temp2"},
                                {"label", "Core 0"}};
        QVariantMap core1 = core0;
        core1.insert("input", "temp3");
        core1.insert("label", "Core 1");
        QVariantMap socket1 = core0;
        socket1.insert("device", "/sys/devices/platform/coretemp.1");
        QVariantMap hottest = core0;
        hottest.insert("inputs", QVariantList{core0, core1, socket1});
        QTest::newRow("hwmon input") << core0 << "coretemp (coretemp.0) temp2 \"Core 0\"";
        QTest::newRow("hottest of") << hottest
                                    << "hottest of coretemp (coretemp.0) temp2 \"Core 0\", temp3 "
                                       "\"Core 1\"; coretemp (coretemp.1) temp2 \"Core 0\"";
        QTest::newRow("no label, no device")
            << QVariantMap{{"backend", "hwmon"}, {"chip", "BAT0"}, {"input", "temp1"}}
            << "BAT0 temp1";
        QTest::newRow("drive") << QVariantMap{{"backend", "sgio"}, {"device", "/dev/sda"}}
                               << "sgio (sda)";
        QTest::newRow("backend only") << QVariantMap{{"backend", "profile"}} << "profile";
        QTest::newRow("no backend") << QVariantMap{{"chip", "x"}} << "";
    }
    void sources() {
        QFETCH(QVariantMap, answer);
        const QVariantMap reply{{"TC0C", PropertyList::normalized(answer)}};
        const SensorSources sources = SensorRecordCodec::sources(reply);
        QTEST(sources.value("TC0C").description(), "description");
        if (!sources.isEmpty()) {
            QCOMPARE(SensorRecordCodec::toPropertyList(sources), reply);
        }
    }
};

QTEST_GUILESS_MAIN(TestSensorRecordCodec)
#include "tst_sensorrecordcodec.moc"
