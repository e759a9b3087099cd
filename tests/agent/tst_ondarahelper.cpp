#include "AgentTestSupport.h"
#include "OndaraHelper.h"
#include "SMCController.h"

#include <QTest>

namespace Keys = OndaraNames::Keys;

namespace {

constexpr quint32 drive = 0xFFFFFFFFu;

quint32 code(const char (&text)[5]) {
    return quint32(codeOf(text));
}

// Runs a query and checks that it answered exactly once, before returning.
template <typename Value, typename Query> Value answerOf(Query query) {
    Value answer{};
    int replies = 0;
    query([&](const Value& value) {
        answer = value;
        ++replies;
    });
    if (replies != 1) {
        qWarning("the reply was called %d times", replies);
        return Value{};
    }
    return answer;
}

QVariantMap tempSensorsOf(OndaraHelper& helper) {
    return answerOf<QVariantMap>([&](auto reply) { helper.tempSensors(reply); });
}

} // namespace

class OndaraHelperTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void temperaturesReadTheDriveEveryFourthTime() {
        TestMachine machine("service-machine.plist");
        SMCController controller(machine.environment());
        OndaraHelper helper(controller);
        const int scanReads = machine.driveReads();

        // TC0P holds 52.6 °C; TZZZ is no key of this SMC.
        QCOMPARE(helper.sensorTemperatures({code("TC0P"), drive, code("TZZZ")}),
                 QList<int>({52, 38, 0}));
        QCOMPARE(machine.driveReads(), scanReads + 1);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(helper.sensorTemperatures({drive}), QList<int>{38});
        }
        QCOMPARE(machine.driveReads(), scanReads + 1);
        QCOMPARE(helper.sensorTemperatures({drive}), QList<int>{38});
        QCOMPARE(machine.driveReads(), scanReads + 2);

        // Two drive codes in one request: one read, counter left at 2.
        OndaraHelper fresh(controller);
        QCOMPARE(fresh.sensorTemperatures({drive, drive}), QList<int>({38, 38}));
        QCOMPARE(fresh.hddUpdateCounter(), 2);
        QCOMPARE(machine.driveReads(), scanReads + 3);
    }

    void eachServiceObjectHasItsOwnDriveCache() {
        TestMachine machine("service-machine.plist");
        SMCController controller(machine.environment());
        OndaraHelper first(controller);
        OndaraHelper second(controller);
        const int scanReads = machine.driveReads();
        for (int round = 1; round <= 3; ++round) {
            first.sensorTemperatures({drive});
            second.sensorTemperatures({drive});
        }
        QCOMPARE(machine.driveReads(), scanReads + 2);
    }

    void temperatureReadings_data() {
        QTest::addColumn<QList<quint32>>("codes");
        QTest::addColumn<QList<int>>("temperatures");
        QTest::newRow("empty") << QList<quint32>() << QList<int>();
        QTest::newRow("sign and magnitude, fraction ignored")
            << QList<quint32>{code("TB0T")} << QList<int>{-5};
        QTest::newRow("any present key, selected or not")
            << QList<quint32>{code("TPCD"), code("TG0D")} << QList<int>({47, 61});
        QTest::newRow("fan keys are not sp78 temperatures but still read")
            << QList<quint32>{code("FNum")} << QList<int>{2};
        QTest::newRow("nonsense codes") << QList<quint32>{0u, 0x7FFFFFFFu} << QList<int>({0, 0});
    }
    void temperatureReadings() {
        QFETCH(QList<quint32>, codes);
        QFETCH(QList<int>, temperatures);
        TestMachine machine("service-machine.plist");
        SMCController controller(machine.environment());
        OndaraHelper helper(controller);
        QCOMPARE(
            answerOf<QList<int>>([&](auto reply) { helper.temperatureForSensors(codes, reply); }),
            temperatures);
    }

    void fanSpeeds_data() {
        QTest::addColumn<QList<int>>("fans");
        QTest::addColumn<QList<int>>("speeds");
        QTest::newRow("both fans") << QList<int>({0, 1}) << QList<int>({1500, 1700});
        QTest::newRow("a fan the machine lacks") << QList<int>({1, 2}) << QList<int>({1700, 0});
        QTest::newRow("numbers no key can be formed for")
            << QList<int>({-1, 10, 1 << 30}) << QList<int>({0, 0, 0});
        QTest::newRow("empty") << QList<int>() << QList<int>();
    }
    void fanSpeeds() {
        QFETCH(QList<int>, fans);
        QFETCH(QList<int>, speeds);
        TestMachine machine("service-machine.plist");
        SMCController controller(machine.environment());
        OndaraHelper helper(controller);
        QCOMPARE(answerOf<QList<int>>([&](auto reply) { helper.rpmForFans(fans, reply); }), speeds);
    }

    void memoryUsage_data() {
        QTest::addColumn<QVariantMap>("memory");
        QTest::addColumn<QList<double>>("figures");
        QTest::addColumn<QByteArray>("output");

        const qlonglong gib = 1ll << 30;
        const qlonglong pagesPerGib = gib / 4096;
        QTest::newRow("16 GiB installed, 2 GiB free")
            << QVariantMap{{"installed", 16 * gib},    {"free", 2 * pagesPerGib},
                           {"active", pagesPerGib},    {"inactive", pagesPerGib / 2},
                           {"wired", pagesPerGib / 4}, {"compressed", pagesPerGib / 8}}
            << QList<double>({16, 14, 2, 0.25, 1, 0.5, 0.125}) << QByteArray();
        QTest::newRow("statistics fail") << QVariantMap{{"installed", 8 * gib}, {"fails", true}}
                                         << QList<double>({8, 8, 0, 0, 0, 0, 0})
                                         << QByteArray("Error getting host_statistics64\n");
        QTest::newRow("installed memory unknown")
            << QVariantMap{{"free", pagesPerGib}} << QList<double>({0, -1, 1, 0, 0, 0, 0})
            << QByteArray();
    }
    void memoryUsage() {
        QFETCH(QVariantMap, memory);
        QFETCH(QList<double>, figures);
        QFETCH(QByteArray, output);

        TestMachine machine("service-machine.plist");
        SMCControllerEnvironment environment = machine.environment();
        environment.memory = std::make_shared<ProfileVmStatisticsSource>(memory);
        SMCController controller(std::move(environment));
        OndaraHelper helper(controller);
        StdoutCapture captured;
        QCOMPARE(answerOf<QList<double>>([&](auto reply) { helper.memoryUsage(reply); }), figures);
        QCOMPARE(captured.text(), output);
    }

    void repliesCarryTheSelection() {
        TestMachine machine("service-machine.plist");
        SMCController controller(machine.environment("2.5"));
        OndaraHelper helper(controller);

        QCOMPARE(answerOf<double>([&](auto reply) { helper.appVersion(reply); }), 2.5);
        QCOMPARE(tempSensorsOf(helper), controller.tempSensorsDict());
        QCOMPARE(answerOf<QVariantMap>([&](auto reply) { helper.fanSensors(reply); }),
                 controller.fanSensorsDict());
        QCOMPARE(answerOf<QVariantMap>([&](auto reply) { helper.memSensors(reply); }),
                 controller.memSensorsDict());
        QCOMPARE(answerOf<QVariantMap>([&](auto reply) { helper.machineSensorList(reply); }),
                 controller.machineSensorList());
        QCOMPARE(answerOf<QList<int>>([&](auto reply) { helper.visibleSections(reply); }),
                 QList<int>({1, 1, 1}));
        QCOMPARE(answerOf<QList<int>>([&](auto reply) { helper.sensorUnits(reply); }),
                 QList<int>({0, 0}));

        QCOMPARE(answerOf<QVariantMap>([&](auto reply) { helper.activeTempSensors(reply); }),
                 QVariantMap({{"CPU", QVariantList{codeOf("TC0P"), 0ll}},
                              {"GPU", QVariantList{codeOf("TG0D"), 1ll}},
                              {"HDD", QVariantList{codeOf("TH0P"), 2ll}}}));
        QCOMPARE(answerOf<QVariantMap>([&](auto reply) { helper.activeFanSensors(reply); }),
                 QVariantMap({{"Left Fan", QVariantList{0ll, 6200ll}},
                              {"Right Fan", QVariantList{1ll, 5800ll}}}));
        QCOMPARE(
            answerOf<QVariantMap>([&](auto reply) { helper.activeMemSensors(reply); }),
            QVariantMap({{"Wired", 3ll}, {"Active", 4ll}, {"Inactive", 5ll}, {"Compressed", 6ll}}));
    }

    // Entries a damaged store could hold are skipped, never read past their end.
    void activeQueriesSkipMalformedEntries() {
        TestMachine machine("service-machine.plist");
        SMCController controller(machine.environment());
        OndaraHelper helper(controller);

        controller.setTempSensorsDict(
            {{"CPU", QVariantList{"CPU", codeOf("TC0P"), 0ll, true}},
             {"GPU", QVariantList{"CPU", codeOf("TG0D"), 1ll, true}}, // same name: last one wins
             {"HDD", QVariantList{true}},
             {"LOGIC", QVariantList{}},
             {"MEM", QVariant("not an array")}});
        controller.setFanSensorsDict({{"0", QVariantList{"Left", 6000ll, true}},
                                      {"x", QVariantList{"Odd", 1ll, true}},
                                      {"-1", QVariantList{"Negative", 1ll, true}},
                                      {"2", QVariantList{true}},
                                      {"3", QVariantList{"Off", 1ll, false}}});
        controller.setMemSensorsDict({{"Wired", QVariantList{3ll, true}},
                                      {"Active", QVariantList{true}},
                                      {"Free", QVariantList{2ll, false}}});

        QCOMPARE(answerOf<QVariantMap>([&](auto reply) { helper.activeTempSensors(reply); }),
                 QVariantMap({{"CPU", QVariantList{codeOf("TG0D"), 1ll}}}));
        QCOMPARE(answerOf<QVariantMap>([&](auto reply) { helper.activeFanSensors(reply); }),
                 QVariantMap({{"Left", QVariantList{0ll, 6000ll}}}));
        QCOMPARE(answerOf<QVariantMap>([&](auto reply) { helper.activeMemSensors(reply); }),
                 QVariantMap({{"Wired", 3ll}}));
    }

    // Each command: what changes, which key is rewritten, what is announced.
    void commands_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("changedKey"); // empty: nothing changes
        QTest::addColumn<QVariant>("newValue");
        QTest::addColumn<QStringList>("notifications");

        enum {
            stateTemps,
            stateFans,
            stateMem,
            stateUnknownKey,
            stateShortEntry,
            stateOtherWord,
            stateSectionsWord,
            celsius,
            rpm,
            visibility,
            visibilityOtherWord
        };
        QTest::newRow("show a component") << int(stateTemps) << QString(Keys::tempSensors)
                                          << QVariant(true) << QStringList{"tempsDidChange"};
        QTest::newRow("hide a fan") << int(stateFans) << QString(Keys::fanSensors)
                                    << QVariant(false) << QStringList{"fansDidChange"};
        QTest::newRow("show a memory figure") << int(stateMem) << QString(Keys::memSensors)
                                              << QVariant(true) << QStringList{"memDidChange"};
        QTest::newRow("unknown sensor key")
            << int(stateUnknownKey) << QString() << QVariant() << QStringList();
        QTest::newRow("entry shorter than its layout")
            << int(stateShortEntry) << QString() << QVariant() << QStringList();
        QTest::newRow("unknown section word")
            << int(stateOtherWord) << QString() << QVariant() << QStringList();
        QTest::newRow("the word Sections persists the sections")
            << int(stateSectionsWord) << QString() << QVariant()
            << QStringList{"sectionsDidChange"};
        QTest::newRow("Fahrenheit")
            << int(celsius) << QString(Keys::units) << QVariant(QVariantList{1ll, 0ll})
            << QStringList{"unitsDidChange"};
        QTest::newRow("percent") << int(rpm) << QString(Keys::units)
                                 << QVariant(QVariantList{0ll, 1ll})
                                 << QStringList{"unitsDidChange"};
        QTest::newRow("hide the fans panel")
            << int(visibility) << QString(Keys::sections) << QVariant(QVariantList{1ll, 0ll, 1ll})
            << QStringList{"sectionsDidChange"};
        QTest::newRow("unknown panel still announces the sections")
            << int(visibilityOtherWord) << QString() << QVariant()
            << QStringList{"sectionsDidChange"};
    }
    void commands() {
        QFETCH(int, command);
        QFETCH(QString, changedKey);
        QFETCH(QVariant, newValue);
        QFETCH(QStringList, notifications);

        TestMachine machine("service-machine.plist");
        SMCController controller(machine.environment());
        OndaraHelper helper(controller);
        QVariantMap fans = controller.fanSensorsDict();
        fans.insert("7", QVariantList{true}); // damaged, must stay as it is
        controller.setFanSensorsDict(fans);
        controller.persist("Fans");
        NotificationObserver observer; // from here on
        const auto before = machine.suite();

        switch (command) {
        case 0:
            helper.changeStateForSensor("LOGIC", "Temps", true);
            break;
        case 1:
            helper.changeStateForSensor("1", "Fans", false);
            break;
        case 2:
            helper.changeStateForSensor("Total", "Mem", true);
            break;
        case 3:
            helper.changeStateForSensor("NOPE", "Temps", true);
            break;
        case 4:
            helper.changeStateForSensor("7", "Fans", false);
            break;
        case 5:
            helper.changeStateForSensor("CPU", "temps", false);
            break;
        case 6:
            helper.changeStateForSensor("CPU", "Sections", false);
            break;
        case 7:
            helper.changeTempUnitToCelsius(false);
            break;
        case 8:
            helper.changeFanUnitToRPM(false);
            break;
        case 9:
            helper.changeVisibilityForSection("Fans", false);
            break;
        case 10:
            helper.changeVisibilityForSection("Everything", false);
            break;
        }

        QCOMPARE(observer.receivedUpTo(machine.center), notifications);
        const auto after = machine.suite();
        for (const QString& key :
             {QString(Keys::tempSensors), QString(Keys::fanSensors), QString(Keys::memSensors),
              QString(Keys::machineSensors), QString(Keys::sections), QString(Keys::units)}) {
            if (key != changedKey) {
                QCOMPARE(after->objectForKey(key), before->objectForKey(key));
            }
        }
        if (changedKey == Keys::tempSensors) {
            QCOMPARE(after->dictionaryForKey(Keys::tempSensors).value("LOGIC").toList().at(3),
                     newValue);
            QCOMPARE(after->dictionaryForKey(Keys::tempSensors), controller.tempSensorsDict());
        } else if (changedKey == Keys::fanSensors) {
            QCOMPARE(after->dictionaryForKey(Keys::fanSensors).value("1").toList().at(2), newValue);
        } else if (changedKey == Keys::memSensors) {
            QCOMPARE(after->dictionaryForKey(Keys::memSensors).value("Total").toList().at(1),
                     newValue);
        } else if (!changedKey.isEmpty()) {
            QCOMPARE(after->objectForKey(changedKey), newValue);
        }
    }

    void replacingAComponentsSensor_data() {
        QTest::addColumn<QString>("component");
        QTest::addColumn<quint32>("sensor");
        QTest::addColumn<bool>("changes");

        QTest::newRow("a candidate of the list") << "HDD" << drive << true;
        QTest::newRow("a code outside the list") << "HDD" << code("TC0P") << true;
        QTest::newRow("a component without a list") << "ENCLOSURE" << code("TB1T") << true;
        QTest::newRow("unknown component") << "NOPE" << code("TC0P") << false;
        QTest::newRow("empty component") << "" << code("TC0P") << false;
    }
    void replacingAComponentsSensor() {
        QFETCH(QString, component);
        QFETCH(quint32, sensor);
        QFETCH(bool, changes);

        TestMachine machine("service-machine.plist");
        SMCController controller(machine.environment());
        OndaraHelper helper(controller);
        // The service machine's HDD has TH0P (44 °C, chosen) and SMART (38 °C).
        QCOMPARE(controller.machineSensorList().value("HDD").toList().size(), 2);
        const QVariantMap tempsBefore = controller.tempSensorsDict();
        const QVariantMap machineBefore = controller.machineSensorList();
        NotificationObserver observer;

        helper.changeSensorWithNewSensor(sensor, component);

        QCOMPARE(observer.receivedUpTo(machine.center),
                 changes ? QStringList{"tempsDidChange"} : QStringList());
        const auto suite = machine.suite();
        QCOMPARE(suite->dictionaryForKey(Keys::tempSensors), controller.tempSensorsDict());
        QCOMPARE(suite->dictionaryForKey(Keys::machineSensors), controller.machineSensorList());
        if (!changes) {
            QCOMPARE(controller.tempSensorsDict(), tempsBefore);
            QCOMPARE(controller.machineSensorList(), machineBefore);
            return;
        }
        QCOMPARE(controller.tempSensorsDict().value(component).toList().at(1),
                 QVariant(qlonglong(sensor)));
        QVariantMap expectedMachine = machineBefore;
        if (expectedMachine.contains(component)) {
            QVariantList list = expectedMachine.value(component).toList();
            for (QVariant& entry : list) {
                QVariantList fields = entry.toList();
                fields[3] = fields[0].toLongLong() == qlonglong(sensor);
                entry = fields;
            }
            expectedMachine.insert(component, list);
        }
        QCOMPARE(controller.machineSensorList(), expectedMachine);
    }
};

QTEST_GUILESS_MAIN(OndaraHelperTest)
#include "tst_ondarahelper.moc"
