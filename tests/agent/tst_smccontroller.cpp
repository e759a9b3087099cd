#include "AgentTestSupport.h"
#include "SMCController.h"

#include <QTest>

namespace Keys = OndaraNames::Keys;

namespace {

constexpr qlonglong drive = 0xFFFFFFFFll;

QVariantList candidate(const char (&key)[5], const char* name, bool active) {
    return {codeOf(key), QString::fromLatin1(key), QString::fromLatin1(name), active};
}

QVariantList smartCandidate(bool active) {
    return {drive, QStringLiteral("SMART"), QStringLiteral("SMART"), active};
}

const QStringList allAgentKeys{Keys::helperVersion, Keys::sensorsSaved, Keys::tempSensors,
                               Keys::fanSensors,    Keys::memSensors,   Keys::machineSensors,
                               Keys::sections,      Keys::units};

QVariantMap expectedMemSensors() {
    return {{"Total", QVariantList{0ll, false}},    {"Used", QVariantList{1ll, false}},
            {"Free", QVariantList{2ll, false}},     {"Wired", QVariantList{3ll, true}},
            {"Active", QVariantList{4ll, true}},    {"Inactive", QVariantList{5ll, true}},
            {"Compressed", QVariantList{6ll, true}}};
}

} // namespace

class SMCControllerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The discovery rule: hottest plausible sensor per component, candidate
    // lists hottest first without readings of 0 °C or below.
    void discoveryRule_data() {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("component");
        QTest::addColumn<QVariant>("tempEntry");  // invalid: no entry
        QTest::addColumn<QVariant>("candidates"); // invalid: no list

        QTest::newRow("CPU at 55, 70, 101: 70 chosen, 101 out of range")
            << "cpu-candidates.plist"
            << "CPU" << QVariant(QVariantList{"CPU", codeOf("TC0P"), 0ll, true})
            << QVariant(QVariantList{candidate("TC0D", "CPU_DIODE", false),
                                     candidate("TC0P", "CPU_PROXIMITY", true),
                                     candidate("TC0H", "CPU_HEATSINK", false)});
        QTest::newRow("AMBIENT at -3 and -7: -3 chosen, nothing offered")
            << "ambient-below-zero.plist"
            << "AMBIENT" << QVariant(QVariantList{"Ambient", codeOf("TA0P"), 14ll, false})
            << QVariant();
        QTest::newRow("GPU at 100 and 120: none chosen, both offered inactive")
            << "above-range.plist"
            << "GPU" << QVariant()
            << QVariant(QVariantList{candidate("TG0P", "GPU_PROXIMITY_0", false),
                                     candidate("TG0D", "GPU_DIODE", false)});
        QTest::newRow("CPU beside an out-of-range GPU")
            << "above-range.plist"
            << "CPU" << QVariant(QVariantList{"CPU", codeOf("TC0P"), 0ll, true})
            << QVariant(QVariantList{candidate("TC0P", "CPU_PROXIMITY", true)});
        QTest::newRow("HDD from SMART only, at 38")
            << "smart-drive-38.plist"
            << "HDD" << QVariant(QVariantList{"HDD", drive, 2ll, true})
            << QVariant(QVariantList{smartCandidate(true)});
        QTest::newRow("SMART at 0 is no candidate") << "smart-drive-0.plist"
                                                    << "HDD" << QVariant() << QVariant();
        QTest::newRow("SMART at 65 is no candidate") << "smart-drive-65.plist"
                                                     << "HDD" << QVariant() << QVariant();
        QTest::newRow("SMART sorted among SMC drive sensors")
            << "hdd-smc-and-smart.plist"
            << "HDD" << QVariant(QVariantList{"HDD", codeOf("TH0P"), 2ll, true})
            << QVariant(QVariantList{candidate("TH1O", "HDD_3", false),
                                     candidate("TH0P", "HDD_0", true), smartCandidate(false)});
    }
    void discoveryRule() {
        QFETCH(QString, profile);
        QFETCH(QString, component);
        QFETCH(QVariant, tempEntry);
        QFETCH(QVariant, candidates);

        TestMachine machine(profile);
        SMCController controller(machine.environment());
        QCOMPARE(controller.tempSensorsDict().value(component), tempEntry);
        QCOMPARE(controller.machineSensorList().value(component), candidates);
        if (tempEntry.isValid()) {
            QCOMPARE(qlonglong(controller.currentSensors().value(component)),
                     tempEntry.toList().at(1).toLongLong());
        } else {
            QVERIFY(!controller.currentSensors().contains(component));
        }
    }

    void boundsAreStrictAndTiesKeepScanOrder() {
        TestMachine machine("boundaries.plist");
        SMCController controller(machine.environment());

        // 100 is not below CPU's upper bound; 0 is not above its lower one and
        // is not offered either.
        QCOMPARE(controller.tempSensorsDict().value("CPU").toList().at(1),
                 QVariant(codeOf("TC0D")));
        QCOMPARE(controller.machineSensorList().value("CPU"),
                 QVariant(QVariantList{candidate("TC0P", "CPU_PROXIMITY", false),
                                       candidate("TC0D", "CPU_DIODE", true)}));
        // -10 is ENCLOSURE's lower bound itself.
        QVERIFY(!controller.tempSensorsDict().contains("ENCLOSURE"));
        QVERIFY(!controller.machineSensorList().contains("ENCLOSURE"));

        // Equal readings stay in the order the scan found them.
        QStringList scanOrder;
        for (const TemperatureSensor& sensor : controller.knownSensors()) {
            if (sensor.name.startsWith("GPU")) {
                scanOrder.append(SMCKit::fourCharString(sensor.code));
            }
        }
        QStringList listOrder;
        QList<bool> active;
        for (const QVariant& entry : controller.machineSensorList().value("GPU").toList()) {
            listOrder.append(entry.toList().at(1).toString());
            active.append(entry.toList().at(3).toBool());
        }
        QCOMPARE(listOrder, scanOrder);
        QCOMPARE(active, QList<bool>({true, false, false}));
    }

    void onlyPchDieMeansNoComponent() {
        TestMachine machine("only-tpcd.plist");
        SMCController controller(machine.environment());
        QCOMPARE(controller.knownSensors().size(), 1);
        QCOMPARE(controller.knownSensors().first().name, QStringLiteral("PCH_DIE"));
        QVERIFY(controller.tempSensorsDict().isEmpty());
        QVERIFY(controller.machineSensorList().isEmpty());
        QCOMPARE(machine.suite()->dictionaryForKey(Keys::tempSensors), QVariantMap());
    }

    void unreadableSensorIsNotOffered() {
        TestMachine machine("unreadable-sensor.plist");
        LogCapture log;
        SMCController controller(machine.environment());

        QVERIFY(log.lines.contains("Error when ordering CPU sensors in SMCController"));
        QVERIFY(log.lines.contains("Can't get temperature for sensor TC0C"));
        const QVariantList list = controller.machineSensorList().value("CPU").toList();
        QCOMPARE(list.size(), 2);
        int active = 0;
        for (const QVariant& entry : list) {
            QVERIFY(entry.toList().at(1) != QStringLiteral("TC0C"));
            active += entry.toList().at(3).toBool() ? 1 : 0;
            if (entry.toList().at(3).toBool()) {
                QCOMPARE(entry.toList().at(0),
                         controller.tempSensorsDict().value("CPU").toList().at(1));
            }
        }
        QCOMPARE(active, 1);
    }

    void fans_data() {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QVariantMap>("fanSensors");
        QTest::addColumn<QByteArray>("output");

        QTest::newRow("four fans: the fourth starts hidden")
            << "four-fans.plist"
            << QVariantMap{{"0", QVariantList{"Left", 6000ll, true}},
                           {"1", QVariantList{"Right", 6100ll, true}},
                           {"2", QVariantList{"Exhaust", 5000ll, true}},
                           {"3", QVariantList{"Pump", 3000ll, false}}}
            << QByteArray();
        QTest::newRow("zero fans") << "cpu-candidates.plist" << QVariantMap() << QByteArray();
        QTest::newRow("one unreadable fan key loses the whole list")
            << "missing-fan-key.plist" << QVariantMap() << QByteArray("No fans detected\n");
        QTest::newRow("refusing driver")
            << "refusing-driver.plist" << QVariantMap() << QByteArray("No fans detected\n");
    }
    void fans() {
        QFETCH(QString, profile);
        QFETCH(QVariantMap, fanSensors);
        QFETCH(QByteArray, output);

        TestMachine machine(profile);
        StdoutCapture stdoutCapture;
        SMCController controller(machine.environment());
        QVERIFY(stdoutCapture.text().contains(output));
        QCOMPARE(controller.fanSensorsDict(), fanSensors);
        QCOMPARE(controller.currentFans().size(), fanSensors.size());
        QCOMPARE(machine.suite()->dictionaryForKey(Keys::fanSensors), fanSensors);
    }

    void refusedScanStillSetsUpTheRest() {
        TestMachine machine("refusing-driver.plist");
        LogCapture log;
        SMCController controller(machine.environment());

        QVERIFY(log.lines.contains("No Temperature sensors detected on this machine"));
        QVERIFY(controller.tempSensorsDict().isEmpty());
        QVERIFY(controller.machineSensorList().isEmpty());
        QCOMPARE(controller.memSensorsDict(), expectedMemSensors());
        const auto suite = machine.suite();
        for (const QString& key : allAgentKeys) {
            QVERIFY2(suite->objectForKey(key).isValid(), qPrintable(key));
        }
    }

    void firstStartWritesEverythingAndPostsNothing() {
        TestMachine machine("service-machine.plist");
        NotificationObserver observer;
        LogCapture log;
        SMCController controller(machine.environment("1.0"));

        QCOMPARE(log.lines,
                 QStringList({"Connection open with SMC in SMC",
                              "old Helper Version: 0.0, New Helper version: 1.0",
                              "Old helper version detected. Searching for valid sensors and "
                              "creating new Defaults.",
                              "TempSensorsDict generated", "FanSensorsDict generted",
                              "MemSensorsDict generated"}));
        const auto suite = machine.suite();
        QCOMPARE(suite->objectForKey(Keys::helperVersion), QVariant(1.0));
        QCOMPARE(suite->objectForKey(Keys::sensorsSaved), QVariant(true));
        QCOMPARE(suite->dictionaryForKey(Keys::tempSensors), controller.tempSensorsDict());
        QCOMPARE(suite->dictionaryForKey(Keys::fanSensors), controller.fanSensorsDict());
        QCOMPARE(suite->dictionaryForKey(Keys::memSensors), expectedMemSensors());
        QCOMPARE(suite->dictionaryForKey(Keys::machineSensors), controller.machineSensorList());
        QCOMPARE(suite->objectForKey(Keys::sections), QVariant(QVariantList{1ll, 1ll, 1ll}));
        QCOMPARE(suite->objectForKey(Keys::units), QVariant(QVariantList{0ll, 0ll}));
        QCOMPARE(controller.tempSensorsDict().keys(),
                 QStringList({"AMBIENT", "CPU", "ENCLOSURE", "GPU", "HDD", "LOGIC"}));
        QCOMPARE(observer.receivedUpTo(machine.center), QStringList());

        // The next start of the same version loads instead of scanning.
        log.lines.clear();
        SMCController second(machine.environment("1.0"));
        QCOMPARE(log.lines.last(),
                 QStringLiteral("App version is the same. Using Stored Sensors in Defaults."));
        QVERIFY(second.knownSensors().isEmpty());
        QVERIFY(second.currentFans().isEmpty());
        QCOMPARE(second.tempSensorsDict(), controller.tempSensorsDict());
        QCOMPARE(second.machineSensorList(), controller.machineSensorList());
    }

    void versionNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("number");
        QTest::newRow("major.minor") << "2.1" << 2.1;
        QTest::newRow("whole") << "3" << 3.0;
        QTest::newRow("trailing point") << "3." << 3.0;
        QTest::newRow("exponent") << "1e2" << 100.0;
        QTest::newRow("three parts") << "2.1.3" << 100.0;
        QTest::newRow("empty") << "" << 100.0;
        QTest::newRow("blank around") << " 2.1" << 100.0;
        QTest::newRow("words") << "beta" << 100.0;
        QTest::newRow("infinity") << "inf" << 100.0;
        QTest::newRow("hexadecimal") << "0x1p3" << 100.0;
        QTest::newRow("too large") << "1e999" << 100.0;
    }
    void versionNumber() {
        QFETCH(QString, text);
        QFETCH(double, number);
        QCOMPARE(SMCController::versionNumber(text), number);
    }

    void versions_data() {
        QTest::addColumn<QString>("storedVersionText"); // empty: nothing stored
        QTest::addColumn<QString>("versionText");
        QTest::addColumn<bool>("rescans");
        QTest::addColumn<QString>("logLine");
        QTest::addColumn<double>("storedAfter");

        QTest::newRow("upgrade") << "2.0"
                                 << "2.1" << true
                                 << "old Helper Version: 2.0, New Helper version: 2.1" << 2.1;
        QTest::newRow("same") << "2.1"
                              << "2.1" << false
                              << "old Helper Version: 2.1, New Helper version: 2.1" << 2.1;
        QTest::newRow("downgrade")
            << "2.1"
            << "2.0" << false << "old Helper Version: 2.1, New Helper version: 2.0" << 2.1;
        QTest::newRow("unparsable, first start")
            << ""
            << "2.1.3" << true << "old Helper Version: 0.0, New Helper version: 100.0" << 100.0;
        QTest::newRow("unparsable, later start")
            << "2.1.3"
            << "2.1.3" << false << "old Helper Version: 100.0, New Helper version: 100.0" << 100.0;
    }
    void versions() {
        QFETCH(QString, storedVersionText);
        QFETCH(QString, versionText);
        QFETCH(bool, rescans);
        QFETCH(QString, logLine);
        QFETCH(double, storedAfter);

        TestMachine machine("four-fans.plist");
        if (!storedVersionText.isEmpty()) {
            SMCController earlier(machine.environment(storedVersionText));
            // A choice of the user's, lost only by a rescan.
            auto suite = machine.suite();
            suite->setObject(Keys::units, QVariantList{1ll, 1ll});
            QVERIFY(suite->synchronize());
        }
        LogCapture log;
        SMCController controller(machine.environment(versionText));
        QCOMPARE(log.lines.value(1), logLine);
        QCOMPARE(!controller.knownSensors().isEmpty(), rescans);
        const QList<int> expectedUnits = rescans ? QList<int>{0, 0} : QList<int>{1, 1};
        QCOMPARE(controller.units(), expectedUnits);
        QCOMPARE(machine.suite()->doubleForKey(Keys::helperVersion), storedAfter);
    }

    void storedSelectionShape_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("value"); // invalid: key removed
        QTest::addColumn<bool>("rescans");

        QTest::newRow("TempSensors missing") << QString(Keys::tempSensors) << QVariant() << true;
        QTest::newRow("FanSensors a string")
            << QString(Keys::fanSensors) << QVariant("fans") << true;
        QTest::newRow("MemSensors entry not an array")
            << QString(Keys::memSensors) << QVariant(QVariantMap{{"Total", 5ll}}) << true;
        QTest::newRow("MachineSensors list of numbers")
            << QString(Keys::machineSensors) << QVariant(QVariantMap{{"CPU", QVariantList{1ll}}})
            << true;
        QTest::newRow("TempSensors an array")
            << QString(Keys::tempSensors) << QVariant(QVariantList{}) << true;
        QTest::newRow("Sections a string: defaults, no rescan")
            << QString(Keys::sections) << QVariant("1,1,1") << false;
        QTest::newRow("Units too short: defaults, no rescan")
            << QString(Keys::units) << QVariant(QVariantList{1ll}) << false;
        QTest::newRow("Sections of text: defaults, no rescan")
            << QString(Keys::sections) << QVariant(QVariantList{"1", "0", "1"}) << false;
    }
    void storedSelectionShape() {
        QFETCH(QString, key);
        QFETCH(QVariant, value);
        QFETCH(bool, rescans);

        TestMachine machine("service-machine.plist");
        { SMCController earlier(machine.environment("1.0")); }
        {
            auto suite = machine.suite();
            // A newer agent stored this; a rebuild must leave its version alone.
            suite->setObject(Keys::helperVersion, 7.0);
            suite->setObject(Keys::sections, QVariantList{0ll, 1ll, 0ll});
            suite->setObject(Keys::units, QVariantList{1ll, 0ll});
            if (value.isValid()) {
                suite->setObject(key, value);
            } else {
                suite->removeObjectForKey(key);
            }
            QVERIFY(suite->synchronize());
        }

        LogCapture log;
        SMCController controller(machine.environment("1.0"));
        QCOMPARE(log.lines.contains("Couldn't read saved data. Searching for valid sensors and "
                                    "creating new Defaults."),
                 rescans);
        QCOMPARE(!controller.knownSensors().isEmpty(), rescans);
        const auto suite = machine.suite();
        QCOMPARE(suite->doubleForKey(Keys::helperVersion), 7.0);
        if (rescans) {
            QCOMPARE(controller.visibleSections(), QList<int>({1, 1, 1}));
            QCOMPARE(suite->objectForKey(Keys::sections), QVariant(QVariantList{1ll, 1ll, 1ll}));
            for (const QString& written : allAgentKeys) {
                QVERIFY2(suite->objectForKey(written).isValid(), qPrintable(written));
            }
        } else {
            const QList<int> sections =
                key == Keys::sections ? QList<int>{1, 1, 1} : QList<int>{0, 1, 0};
            const QList<int> units = key == Keys::units ? QList<int>{0, 0} : QList<int>{1, 0};
            QCOMPARE(controller.visibleSections(), sections);
            QCOMPARE(controller.units(), units);
            // Read back, not rewritten.
            QCOMPARE(suite->objectForKey(key), value);
        }
    }

    void persist_data() {
        QTest::addColumn<QString>("part");
        QTest::addColumn<QString>("key"); // empty: none written
        QTest::addColumn<QString>("notification");

        QTest::newRow("Temps") << "Temps" << QString(Keys::tempSensors) << "tempsDidChange";
        QTest::newRow("Fans") << "Fans" << QString(Keys::fanSensors) << "fansDidChange";
        QTest::newRow("Mem") << "Mem" << QString(Keys::memSensors) << "memDidChange";
        QTest::newRow("Sections") << "Sections" << QString(Keys::sections) << "sectionsDidChange";
        QTest::newRow("Units") << "Units" << QString(Keys::units) << "unitsDidChange";
        QTest::newRow("MachineSensors")
            << "MachineSensors" << QString(Keys::machineSensors) << QString();
        QTest::newRow("case matters") << "temps" << QString() << QString();
        QTest::newRow("unknown part") << "Everything" << QString() << QString();
    }
    void persist() {
        QFETCH(QString, part);
        QFETCH(QString, key);
        QFETCH(QString, notification);

        for (const bool withSuite : {true, false}) {
            TestMachine machine("service-machine.plist");
            SMCController controller(machine.environment("1.0", withSuite));
            QCOMPARE(machine.suiteFileExists(), withSuite);
            auto before = machine.suite();
            QVariantMap stored;
            for (const QString& name : allAgentKeys) {
                stored.insert(name, before->objectForKey(name));
            }

            const QVariantMap marker{{"CPU", QVariantList{"marker"}}};
            controller.setTempSensorsDict(marker);
            controller.setFanSensorsDict(marker);
            controller.setMemSensorsDict(marker);
            controller.setMachineSensorList(marker);
            controller.setVisibleSections({0, 0, 1});
            controller.setUnits({1, 0});
            const QVariantMap expectedValues{{Keys::tempSensors, marker},
                                             {Keys::fanSensors, marker},
                                             {Keys::memSensors, marker},
                                             {Keys::machineSensors, marker},
                                             {Keys::sections, QVariantList{0ll, 0ll, 1ll}},
                                             {Keys::units, QVariantList{1ll, 0ll}}};

            NotificationObserver observer;
            controller.persist(part);

            const QStringList expectedNotifications =
                notification.isEmpty() ? QStringList() : QStringList{notification};
            QCOMPARE(observer.receivedUpTo(machine.center), expectedNotifications);
            if (!withSuite) {
                QVERIFY(!machine.suiteFileExists());
                continue;
            }
            const auto after = machine.suite();
            for (const QString& name : allAgentKeys) {
                const QVariant expected =
                    name == key ? expectedValues.value(name) : stored.value(name);
                QCOMPARE(after->objectForKey(name), expected);
            }
        }
    }

    void cannotOpenTheSmc_data() {
        QTest::addColumn<QString>("profile");
        QTest::newRow("no service") << "no-smc-service.plist";
        QTest::newRow("service won't open") << "smc-wont-open.plist";
    }
    void cannotOpenTheSmc() {
        QFETCH(QString, profile);
        TestMachine machine(profile);
        LogCapture log;
        QVERIFY_THROWS_EXCEPTION(SMCController::FatalStop,
                                 SMCController controller(machine.environment()));
        QCOMPARE(machine.fatalStops, 1);
        QCOMPARE(log.lines, QStringList{"Can't establish connection with SMC"});
        QVERIFY(!machine.suiteFileExists());
    }

    void memoryFigures() {
        TestMachine machine("service-machine.plist");
        SMCController controller(machine.environment());
        const auto figures = controller.memoryFigures();
        QCOMPARE(figures.free, 2.0);
        QCOMPARE(figures.active, 1.0);
        QCOMPARE(figures.inactive, 0.5);
        QCOMPARE(figures.wired, 0.25);
        QCOMPARE(figures.compressed, 0.125);
        QCOMPARE(controller.totalMemory(), 16.0);

        TestMachine failing("memory-fails.plist");
        SMCController failingController(failing.environment());
        StdoutCapture output;
        const auto none = failingController.memoryFigures();
        QCOMPARE(output.text(), QByteArray("Error getting host_statistics64\n"));
        QCOMPARE(none.free + none.active + none.inactive + none.wired + none.compressed, 0.0);
        QCOMPARE(failingController.totalMemory(), 0.0);
    }
};

QTEST_GUILESS_MAIN(SMCControllerTest)
#include "tst_smccontroller.moc"
