// Sensor discovery, the stored selection and persist, and the service
// object in process.

#include "AgentTestSupport.h"
#include "OndaraHelper.h"
#include "SensorRecordCodec.h"

#include <QDir>
#include <QScopeGuard>
#include <cerrno>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>

namespace Keys = OndaraNames::Keys;

namespace {

const QStringList agentKeys{Keys::helperVersion, Keys::sensorsSaved, Keys::tempSensors,
                            Keys::fanSensors,    Keys::memSensors,   Keys::machineSensors,
                            Keys::sections,      Keys::units};

// The one answer of a query; a reply called twice or not at all fails.
template <typename Value, typename Query> Value answerOf(Query query) {
    QList<Value> answers;
    query([&](const Value& value) { answers.append(value); });
    return answers.size() == 1 ? answers.first() : Value{};
}

} // namespace

class SMCControllerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The hottest plausible sensor per component (bounds strict); candidate
    // lists hottest first, without readings of 0 °C or below. Rows are named
    // by the machine they run on.
    void discoveryRule_data() {
        QTest::addColumn<QString>("component");
        QTest::addColumn<QVariant>("tempEntry");  // invalid: none
        QTest::addColumn<QVariant>("candidates"); // invalid: no list
        QTest::addColumn<QString>("chosen");      // every component with an entry
        QTest::addColumn<QStringList>("problems");
        const QStringList none;
        QTest::newRow("TC0D=101 TC0H=55 TC0P=70 TPCD=45")
            << "CPU" << tempEntry("CPU", "TC0P", 0, true)
            << candidates("TC0D=CPU_DIODE TC0P=CPU_PROXIMITY* TC0H=CPU_HEATSINK") << "CPU" << none;
        QTest::newRow("TA0P=-3 TA1P=-7") << "AMBIENT" << tempEntry("Ambient", "TA0P", 14, false)
                                         << QVariant() << "AMBIENT" << none;
        QTest::newRow("TG0D=100 TG0P=120 TC0P=50")
            << "GPU" << QVariant() << candidates("TG0P=GPU_PROXIMITY_0 TG0D=GPU_DIODE") << "CPU"
            << none;
        QTest::newRow("TC0P=100 TC0D=99 TC0C=0 TB0T=-10")
            << "CPU" << tempEntry("CPU", "TC0D", 0, true)
            << candidates("TC0P=CPU_PROXIMITY TC0D=CPU_DIODE*") << "CPU" << none;
        QTest::newRow("smart=38") << "HDD" << tempEntry("HDD", "SMART", 2, true)
                                  << candidates("SMART=SMART*") << "HDD" << none;
        QTest::newRow("smart=0") << "HDD" << QVariant() << QVariant() << "" << none;
        QTest::newRow("smart=65") << "HDD" << QVariant() << QVariant() << "" << none;
        QTest::newRow("TH0P=40 TH1O=70 smart=38")
            << "HDD" << tempEntry("HDD", "TH0P", 2, true)
            << candidates("TH1O=HDD_3 TH0P=HDD_0* SMART=SMART") << "HDD" << none;
        QTest::newRow("TPCD=45") << "CPU" << QVariant() << QVariant() << "" << none;
        QTest::newRow("TC0C=! TC0P=60")
            << "CPU" << tempEntry("CPU", "TC0P", 0, true) << candidates("TC0P=CPU_PROXIMITY*")
            << "CPU"
            << QStringList{"Error when ordering CPU sensors in SMCController",
                           "Can't get temperature for sensor TC0C"};
        QTest::newRow("TC0P=50 refuses")
            << "CPU" << QVariant() << QVariant() << ""
            << QStringList{"No Temperature sensors detected on this machine"};
    }
    void discoveryRule() {
        QFETCH(QString, component);
        QFETCH(QStringList, problems);
        TestMachine test(QTest::currentDataTag());
        LogCapture log;
        SMCController controller(test.environment());
        QTEST(controller.tempSensorsDict().value(component), "tempEntry");
        QTEST(controller.machineSensorList().value(component), "candidates");
        QTEST(controller.tempSensorsDict().keys().join(' '), "chosen");
        for (const QString& problem : problems) {
            QVERIFY2(log.lines.contains(problem), qPrintable(problem));
        }
        QCOMPARE(test.suite()->dictionaryForKey(Keys::tempSensors), controller.tempSensorsDict());
        QCOMPARE(test.suite()->dictionaryForKey(Keys::machineSensors),
                 controller.machineSensorList());
    }

    void tiesKeepScanOrder() {
        TestMachine test("TG0D=60 TG0H=60 TG0P=60");
        SMCController controller(test.environment());
        QVariantList expected;
        for (const TemperatureSensor& sensor : controller.knownSensors()) {
            expected.append(
                QVariant(QVariantList{qlonglong(sensor.code), SMCKit::fourCharString(sensor.code),
                                      sensor.name, expected.isEmpty()}));
        }
        QCOMPARE(controller.machineSensorList().value("GPU"), QVariant(expected));
    }

    void fans_data() {
        QTest::addColumn<QString>("machine");
        QTest::addColumn<QVariantMap>("fanSensors");
        QTest::addColumn<bool>("noFansLine");
        QTest::newRow("four fans: the fourth starts hidden")
            << "fans=4"
            << QVariantMap{{"0", QVariantList{"Fan 0", 5000ll, true}},
                           {"1", QVariantList{"Fan 1", 5001ll, true}},
                           {"2", QVariantList{"Fan 2", 5002ll, true}},
                           {"3", QVariantList{"Fan 3", 5003ll, false}}}
            << false;
        QTest::newRow("zero fans") << "" << QVariantMap() << false;
        QTest::newRow("refusing driver") << "refuses" << QVariantMap() << true;
    }
    void fans() {
        QFETCH(QString, machine);
        TestMachine test(machine);
        StdoutCapture output;
        SMCController controller(test.environment());
        QTEST(output.text().contains("No fans detected\n"), "noFansLine");
        QTEST(controller.fanSensorsDict(), "fanSensors");
        QTEST(test.suite()->dictionaryForKey(Keys::fanSensors), "fanSensors");
        // Whatever failed, the rebuild writes every key.
        for (const QString& key : agentKeys) {
            QVERIFY2(test.suite()->objectForKey(key).isValid(), qPrintable(key));
        }
    }

    // The whole text must be one finite decimal number, else 100.0.
    void versionNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("number");
        QTest::newRow("3.") << "3." << 3.0;
        QTest::newRow("leading blank") << " 2.1" << 100.0;
        QTest::newRow("infinity") << "inf" << 100.0;
        QTest::newRow("hexadecimal") << "0x1p3" << 100.0;
        QTest::newRow("too large") << "1e999" << 100.0;
    }
    void versionNumber() {
        QFETCH(QString, text);
        QTEST(SMCController::versionNumber(text), "number");
    }

    void versions_data() {
        QTest::addColumn<QString>("stored"); // empty: first start
        QTest::addColumn<bool>("rescans");
        QTest::addColumn<QString>("running");
        QTest::addColumn<double>("storedAfter");
        QTest::addColumn<QString>("logLine");
        QTest::newRow("upgrade") << "2.0" << true << "2.1" << 2.1
                                 << "old Helper Version: 2.0, New Helper version: 2.1";
        QTest::newRow("same") << "2.1" << false << "2.1" << 2.1
                              << "old Helper Version: 2.1, New Helper version: 2.1";
        QTest::newRow("downgrade")
            << "2.1" << false << "2.0" << 2.1 << "old Helper Version: 2.1, New Helper version: 2.0";
        QTest::newRow("unparsable, first start")
            << "" << true << "2.1.3" << 100.0
            << "old Helper Version: 0.0, New Helper version: 100.0";
        QTest::newRow("unparsable, later start")
            << "2.1.3" << false << "2.1.3" << 100.0
            << "old Helper Version: 100.0, New Helper version: 100.0";
    }
    void versions() {
        QFETCH(QString, stored);
        QFETCH(QString, running);
        QFETCH(bool, rescans);
        TestMachine test("TC0P=50");
        if (!stored.isEmpty()) {
            SMCController earlier(test.environment(stored));
            // A choice of the user's, lost only by a rescan.
            earlier.selection().units = {1, 1};
            earlier.persist("Units");
        }
        LogCapture log;
        SMCController controller(test.environment(running));
        QTEST(log.lines.value(1), "logLine");
        QCOMPARE(controller.knownSensors().isEmpty(), !rescans);
        QCOMPARE(controller.units(), (rescans ? QList<int>{0, 0} : QList<int>{1, 1}));
        QTEST(test.suite()->doubleForKey(Keys::helperVersion), "storedAfter");
    }

    // A selection key missing or of the wrong shape rebuilds everything; a bad
    // "Sections" or "Units" falls back to its default alone.
    void storedSelectionShape_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("value"); // invalid: removed
        QTest::addColumn<bool>("rescans");
        QTest::newRow("TempSensors missing") << QString(Keys::tempSensors) << QVariant() << true;
        QTest::newRow("FanSensors a string")
            << QString(Keys::fanSensors) << QVariant("fans") << true;
        QTest::newRow("MemSensors entry no array")
            << QString(Keys::memSensors) << QVariant(QVariantMap{{"Total", 5ll}}) << true;
        QTest::newRow("MachineSensors list of numbers")
            << QString(Keys::machineSensors) << QVariant(QVariantMap{{"CPU", QVariantList{1ll}}})
            << true;
        QTest::newRow("Sections of text")
            << QString(Keys::sections) << QVariant(QVariantList{"1", "0", "1"}) << false;
        QTest::newRow("Units too short")
            << QString(Keys::units) << QVariant(QVariantList{1ll}) << false;
    }
    void storedSelectionShape() {
        QFETCH(QString, key);
        QFETCH(QVariant, value);
        QFETCH(bool, rescans);
        TestMachine test("TC0P=50");
        { SMCController earlier(test.environment()); }
        {
            auto suite = test.suite();
            // A newer agent's store: a rebuild must leave its version alone.
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
        SMCController controller(test.environment());
        QCOMPARE(log.lines.contains("Couldn't read saved data. Searching for valid sensors and "
                                    "creating new Defaults."),
                 rescans);
        QCOMPARE(!controller.knownSensors().isEmpty(), rescans);
        const auto suite = test.suite();
        QCOMPARE(suite->doubleForKey(Keys::helperVersion), 7.0);
        if (rescans) {
            QCOMPARE(controller.visibleSections(), QList<int>({1, 1, 1}));
            for (const QString& written : agentKeys) {
                QVERIFY2(suite->objectForKey(written).isValid(), qPrintable(written));
            }
        } else {
            QCOMPARE(controller.visibleSections(),
                     (key == Keys::sections ? QList<int>{1, 1, 1} : QList<int>{0, 1, 0}));
            QCOMPARE(controller.units(),
                     (key == Keys::units ? QList<int>{0, 0} : QList<int>{1, 0}));
            QCOMPARE(suite->objectForKey(key), value); // read, not rewritten
        }
    }

    // Without a suite nothing is written, but the change is still announced.
    void persistWithoutASuite() {
        TestMachine test("TC0P=50");
        SMCController controller(test.environment("1.0", false));
        NotificationObserver observer;
        controller.persist("Sections");
        QCOMPARE(observer.receivedUpTo(test.center), QStringList{"sectionsDidChange"});
        QVERIFY(!QFile::exists(test.suite()->filePath()));
    }

    // A change the store could not take is not announced; it is kept and
    // written, and announced, with the next change that can be written.
    void unwritableChangesAreNotAnnounced_data() {
        QTest::addColumn<bool>("fullDisk"); // else a folder takes the file's place
        QTest::newRow("folder in the file's place") << false;
        QTest::newRow("full file system") << true;
    }

    void unwritableChangesAreNotAnnounced() {
        QFETCH(bool, fullDisk);
        TestMachine test("TC0P=50");
        const QByteArray folder = QFile::encodeName(test.folder.path());
        if (fullDisk) {
            // A small file system of our own, in a mount namespace of this process.
            if (::unshare(CLONE_NEWNS) != 0 ||
                ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                ::mount("tmpfs", folder.constData(), "tmpfs", 0, "size=256k,mode=0700") != 0) {
                QSKIP("needs a mount namespace of its own (root or CAP_SYS_ADMIN)");
            }
        }
        const auto unmount = qScopeGuard([&] {
            if (fullDisk) {
                ::umount2(folder.constData(), MNT_DETACH);
            }
        });
        SMCController controller(test.environment());
        OndaraHelper helper(controller);
        NotificationObserver observer;
        const QString file = test.suite()->filePath();
        const QString filler = test.folder.filePath("filler");
        if (fullDisk) {
            QFile fill(filler);
            QVERIFY(fill.open(QIODevice::WriteOnly));
            while (fill.write(QByteArray(4096, 'x')) > 0 && fill.flush()) {
            }
        } else {
            QVERIFY(QFile::remove(file) && QDir().mkdir(file));
        }

        LogCapture log;
        helper.changeTempUnitToCelsius(false);
        QCOMPARE(observer.receivedUpTo(test.center), QStringList());
        QVERIFY(log.lines.contains("Could not save Units; the change is kept and saved with the "
                                   "next one"));
        QCOMPARE(controller.units(), QList<int>({1, 0}));

        QVERIFY(fullDisk ? QFile::remove(filler) : QDir().rmdir(file));
        helper.changeVisibilityForSection("Fans", false);
        QCOMPARE(observer.receivedUpTo(test.center),
                 QStringList({"unitsDidChange", "sectionsDidChange"}));
        const auto stored = test.suite();
        QCOMPARE(stored->objectForKey(Keys::units), QVariant(QVariantList{1ll, 0ll}));
        QCOMPARE(stored->objectForKey(Keys::sections), QVariant(QVariantList{1ll, 0ll, 1ll}));
    }

    // Two agents on one settings file (two sessions of one user): each
    // unit's last change is kept, whichever agent made it.
    void agentsSharingTheStoreKeepEachOthersUnits() {
        TestMachine test("TC0P=50");
        SMCController first(test.environment());
        SMCController second(test.environment());
        OndaraHelper firstClient(first);
        OndaraHelper secondClient(second);
        firstClient.changeTempUnitToCelsius(false);
        secondClient.changeFanUnitToRPM(false);
        QCOMPARE(test.suite()->objectForKey(Keys::units), QVariant(QVariantList{1ll, 1ll}));
        QCOMPARE(second.units(), QList<int>({1, 1}));
    }

    // The service object, for what a well-behaved client can't show. Entries
    // a damaged store could hold are skipped, never read past their end.
    void activeQueriesSkipMalformedEntries() {
        TestMachine test("TC0P=50");
        SMCController controller(test.environment());
        OndaraHelper helper(controller);
        SensorSelection& selection = controller.selection();
        selection.temperatures = SensorRecordCodec::temperatures(
            {{"CPU", QVariantList{"CPU", codeOf("TC0P"), 0ll, true}},
             {"GPU", QVariantList{"CPU", codeOf("TG0D"), 1ll, true}}, // same name: last one wins
             {"HDD", QVariantList{true}},
             {"LOGIC", QVariantList{}},
             {"MEM", QVariant("not an array")}});
        selection.fans = SensorRecordCodec::fans({{"0", QVariantList{"Left", 6000ll, true}},
                                                  {"x", QVariantList{"Odd", 1ll, true}},
                                                  {"-1", QVariantList{"Negative", 1ll, true}},
                                                  {"2", QVariantList{true}},
                                                  {"3", QVariantList{"Off", 1ll, false}}});
        selection.memory = SensorRecordCodec::memory({{"Wired", QVariantList{3ll, true}},
                                                      {"Active", QVariantList{true}},
                                                      {"Free", QVariantList{2ll, false}}});
        QCOMPARE(answerOf<QVariantMap>([&](auto reply) { helper.activeTempSensors(reply); }),
                 QVariantMap({{"CPU", QVariantList{codeOf("TG0D"), 1ll}}}));
        QCOMPARE(answerOf<QVariantMap>([&](auto reply) { helper.activeFanSensors(reply); }),
                 QVariantMap({{"Left", QVariantList{0ll, 6000ll}}}));
        QCOMPARE(answerOf<QVariantMap>([&](auto reply) { helper.activeMemSensors(reply); }),
                 QVariantMap({{"Wired", 3ll}}));

        // A command on an entry shorter than its layout changes nothing.
        NotificationObserver observer;
        helper.changeStateForSensor("2", "Fans", false);
        helper.changeStateForSensor("HDD", "Temps", false);
        helper.changeSensorWithNewSensor(codeOf("TC0P"), "LOGIC");
        QCOMPARE(observer.receivedUpTo(test.center), QStringList());
    }

    void memoryStatisticsFail() {
        TestMachine test("TC0P=50");
        SMCControllerEnvironment environment = test.environment();
        environment.memory = std::make_shared<ProfileVmStatisticsSource>(
            QVariantMap{{"installed", 8ll << 30}, {"fails", true}});
        SMCController controller(std::move(environment));
        OndaraHelper helper(controller);
        StdoutCapture output;
        QCOMPARE(answerOf<QList<double>>([&](auto reply) { helper.memoryUsage(reply); }),
                 QList<double>({8, 8, 0, 0, 0, 0, 0}));
        QVERIFY(output.text().contains("Error getting host_statistics64\n"));
    }
};

QTEST_GUILESS_MAIN(SMCControllerTest)
#include "tst_smccontroller.moc"
