// The OndaraHelper program on a private bus, used by two clients through the
// clients' proxy: every protocol method, shared settings, per-client drive
// caches, notifications and the stored keys, and calls no client should send.

#include "AgentTestSupport.h"
#include "ipc/OndaraHelperProxy.h"
#include "smc/AppleSmcSysfsDriver.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QProcess>
#include <QTest>

namespace Keys = OndaraNames::Keys;

namespace {

constexpr quint32 drive = 0xFFFFFFFFu;
constexpr int replyWait = 20000;
const QString driveReadFailure = QStringLiteral("Error retrieving SMART Data structure.");
const QString connectionAccepted = QStringLiteral("Connection accepted in ServiceDelegate");

quint32 code(const char (&text)[5]) {
    return quint32(codeOf(text));
}

// The agent program with its standard error collected.
class AgentProcess {
public:
    explicit AgentProcess(const QStringList& arguments, const QString& configHome = QString(),
                          const QString& busAddress = QString()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!busAddress.isEmpty()) {
            environment.insert("DBUS_SESSION_BUS_ADDRESS", busAddress);
        }
        environment.insert("QT_FORCE_STDERR_LOGGING", "1");
        environment.remove("ONDARA_SMC");
        environment.remove("ONDARA_SMART");
        environment.remove("ONDARA_MEMORY");
        if (!configHome.isEmpty()) {
            environment.insert("XDG_CONFIG_HOME", configHome);
        }
        process.setProcessEnvironment(environment);
        QObject::connect(&process, &QProcess::readyReadStandardError, &process,
                         [this] { errors += process.readAllStandardError(); });
        process.start(QStringLiteral(ONDARA_AGENT_PATH), arguments);
    }
    ~AgentProcess() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }

    static QStringList machineArguments(const QString& profileFile) {
        const QString profile = QStringLiteral("profile:") + testDataPath(profileFile);
        return {"--smc", profile, "--smart", profile, "--memory", profile};
    }

    bool waitUntilServing() {
        return QTest::qWaitFor([this] { return log().contains("serving com.quillbank"); },
                               replyWait);
    }
    QString log() {
        errors += process.readAllStandardError();
        return QString::fromUtf8(errors);
    }
    // Lines of the log up to the last line holding `upTo`.
    QStringList linesUpToLast(const QString& upTo) {
        const QStringList lines = log().split('\n');
        qsizetype last = lines.size() - 1;
        while (last >= 0 && !lines[last].contains(upTo)) {
            --last;
        }
        return lines.mid(0, last + 1);
    }
    int count(const QString& text) { return int(log().count(text)); }

    QProcess process;

private:
    QByteArray errors;
};

// One client: a bus connection of its own and the proxy over it.
class Client {
public:
    explicit Client(const QString& name)
        : bus(QDBusConnection::connectToBus(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), name))
        , proxy(std::make_unique<OndaraHelperProxy>(bus)) {
        proxy->setTimeout(10000);
    }
    ~Client() {
        proxy.reset();
        QDBusConnection::disconnectFromBus(bus.name());
    }

    template <typename Value, typename Query> std::optional<Value> ask(Query query) {
        auto answer = std::make_shared<std::optional<Value>>();
        query(*proxy, [answer](const Value& value) { *answer = value; });
        [[maybe_unused]] const bool answered =
            QTest::qWaitFor([&] { return answer->has_value(); }, replyWait);
        return *answer;
    }
    std::optional<QVariantMap>
    dictionary(void (OndaraHelperProtocol::*query)(OndaraHelperProtocol::DictionaryReply)) {
        return ask<QVariantMap>(
            [query](OndaraHelperProtocol& p, auto reply) { (p.*query)(reply); });
    }
    std::optional<QList<int>> temperatures(const QList<quint32>& codes) {
        return ask<QList<int>>([&codes](OndaraHelperProtocol& p, auto reply) {
            p.temperatureForSensors(codes, reply);
        });
    }
    std::optional<QList<int>> units() {
        return ask<QList<int>>([](OndaraHelperProtocol& p, auto reply) { p.sensorUnits(reply); });
    }
    std::optional<double> version() {
        return ask<double>([](OndaraHelperProtocol& p, auto reply) { p.appVersion(reply); });
    }
    // A raw call, for what the proxy would never send.
    QDBusMessage call(const QString& member, const QVariantList& arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(OndaraNames::helperServiceName,
                                                              OndaraNames::helperObjectPath,
                                                              OndaraNames::helperInterface, member);
        message.setArguments(arguments);
        return bus.call(message, QDBus::Block, replyWait);
    }

    QDBusConnection bus;
    std::unique_ptr<OndaraHelperProxy> proxy;
};

QVariantList candidate(const char (&key)[5], const char* name, bool active) {
    return {codeOf(key), QString::fromLatin1(key), QString::fromLatin1(name), active};
}

const QStringList selectionKeys{Keys::tempSensors,    Keys::fanSensors, Keys::memSensors,
                                Keys::machineSensors, Keys::sections,   Keys::units};

} // namespace

class AgentServiceTest : public QObject {
    Q_OBJECT

    QTemporaryDir configHome;
    std::unique_ptr<NotificationObserver> observer;
    std::unique_ptr<AgentProcess> agent;
    std::unique_ptr<Client> first;
    std::unique_ptr<Client> second;

    std::unique_ptr<UserDefaults> suite() const {
        return UserDefaults::openSuite(OndaraNames::suiteName, configHome.path());
    }
    QVariantMap storedSelection() const {
        const auto stored = suite();
        QVariantMap selection;
        for (const QString& key : selectionKeys) {
            selection.insert(key, stored->objectForKey(key));
        }
        return selection;
    }

private Q_SLOTS:
    // The tests below up to stopsCleanlyOnSigterm share this one agent and run
    // in order, as a client session would.
    void initTestCase() {
        observer = std::make_unique<NotificationObserver>();
        agent = std::make_unique<AgentProcess>(
            AgentProcess::machineArguments("agent-machine.plist"), configHome.path());
        QVERIFY(agent->waitUntilServing());
    }

    void firstClientCreatesTheController() {
        // Nothing touched the hardware or the store before a client called.
        QVERIFY(!agent->log().contains("Connection open with SMC in SMC"));
        QVERIFY(!QFile::exists(suite()->filePath()));

        first = std::make_unique<Client>("first");
        QCOMPARE(first->version(), std::optional<double>(1.0));
        QStringList lines;
        for (const QString& line : agent->linesUpToLast(connectionAccepted)) {
            if (line.startsWith("ondara.agent.smc") || line.startsWith("ondara.agent.controller") ||
                line.contains("OndaraHelper instantiated") || line.contains(connectionAccepted)) {
                lines.append(line.section(": ", 1));
            }
        }
        QCOMPARE(lines, QStringList({"Connection open with SMC in SMC",
                                     "old Helper Version: 0.0, New Helper version: 1.0",
                                     "Old helper version detected. Searching for valid sensors "
                                     "and creating new Defaults.",
                                     "TempSensorsDict generated", "FanSensorsDict generted",
                                     "MemSensorsDict generated", "OndaraHelper instantiated.",
                                     connectionAccepted}));

        // The rebuild wrote every agent key...
        const auto stored = suite();
        QCOMPARE(stored->doubleForKey(Keys::helperVersion), 1.0);
        QCOMPARE(stored->boolForKey(Keys::sensorsSaved), true);
        for (const QString& key : selectionKeys) {
            QVERIFY2(stored->objectForKey(key).isValid(), qPrintable(key));
        }
        // ...and posted nothing: the first notification is the one asked for now.
        first->proxy->changeTempUnitToCelsius(true);
        QCOMPARE(observer->next(1), QStringList{"unitsDidChange"});
    }

    void repliesFollowTheLayouts() {
        second = std::make_unique<Client>("second");
        const QVariantMap temps{
            {"AMBIENT", QVariantList{"Ambient", codeOf("TA0P"), 14ll, false}},
            {"CPU", QVariantList{"CPU", codeOf("TC0P"), 0ll, true}},
            {"ENCLOSURE", QVariantList{"Enclosure", codeOf("TB0T"), 9ll, false}},
            {"GPU", QVariantList{"GPU", codeOf("TG0D"), 1ll, true}},
            {"HDD", QVariantList{"HDD", codeOf("TH0P"), 2ll, true}},
            {"LOGIC", QVariantList{"Board", codeOf("Tm0P"), 3ll, false}}};
        QCOMPARE(second->dictionary(&OndaraHelperProtocol::tempSensors), temps);
        // ENCLOSURE reads -5 °C: chosen, but not offered in a list.
        const QVariantMap machine{
            {"AMBIENT", QVariantList{candidate("TA0P", "AMBIENT_AIR_0", true)}},
            {"CPU", QVariantList{candidate("TC0P", "CPU_PROXIMITY", true),
                                 candidate("TC0H", "CPU_HEATSINK", false)}},
            {"GPU", QVariantList{candidate("TG0D", "GPU_DIODE", true)}},
            {"HDD", QVariantList{candidate("TH0P", "HDD_0", true)}},
            {"LOGIC", QVariantList{candidate("Tm0P", "LOGIC_BOARD_0", true)}}};
        QCOMPARE(second->dictionary(&OndaraHelperProtocol::machineSensorList), machine);
        const QVariantMap fans{{"0", QVariantList{"Left Fan", 6200ll, true}},
                               {"1", QVariantList{"Right Fan", 5800ll, true}}};
        QCOMPARE(second->dictionary(&OndaraHelperProtocol::fanSensors), fans);
        const QVariantMap mem{
            {"Total", QVariantList{0ll, false}},    {"Used", QVariantList{1ll, false}},
            {"Free", QVariantList{2ll, false}},     {"Wired", QVariantList{3ll, true}},
            {"Active", QVariantList{4ll, true}},    {"Inactive", QVariantList{5ll, true}},
            {"Compressed", QVariantList{6ll, true}}};
        QCOMPARE(second->dictionary(&OndaraHelperProtocol::memSensors), mem);
        QCOMPARE(second->dictionary(&OndaraHelperProtocol::activeTempSensors),
                 QVariantMap({{"CPU", QVariantList{codeOf("TC0P"), 0ll}},
                              {"GPU", QVariantList{codeOf("TG0D"), 1ll}},
                              {"HDD", QVariantList{codeOf("TH0P"), 2ll}}}));
        QCOMPARE(second->dictionary(&OndaraHelperProtocol::activeFanSensors),
                 QVariantMap({{"Left Fan", QVariantList{0ll, 6200ll}},
                              {"Right Fan", QVariantList{1ll, 5800ll}}}));
        QCOMPARE(
            second->dictionary(&OndaraHelperProtocol::activeMemSensors),
            QVariantMap({{"Wired", 3ll}, {"Active", 4ll}, {"Inactive", 5ll}, {"Compressed", 6ll}}));

        QCOMPARE(second->temperatures({code("TC0P"), code("TB0T"), code("TZZZ")}),
                 std::optional<QList<int>>({52, -5, 0}));
        QCOMPARE(second->temperatures({}), std::optional<QList<int>>(QList<int>()));
        QCOMPARE(second->ask<QList<int>>([](OndaraHelperProtocol& p, auto reply) {
            p.rpmForFans({0, 1, 2, -1}, reply);
        }),
                 std::optional<QList<int>>({1500, 1700, 0, 0}));
        QCOMPARE(second->ask<QList<double>>(
                     [](OndaraHelperProtocol& p, auto reply) { p.memoryUsage(reply); }),
                 std::optional<QList<double>>({16, 14, 2, 0.25, 1, 0.5, 0.125}));
        QCOMPARE(second->ask<QList<int>>(
                     [](OndaraHelperProtocol& p, auto reply) { p.visibleSections(reply); }),
                 std::optional<QList<int>>({1, 1, 1}));
        QCOMPARE(second->units(), std::optional<QList<int>>({0, 0}));
        QCOMPARE(second->version(), std::optional<double>(1.0));
    }

    // Each command of one client: its notification, its key rewritten, and the
    // other client seeing the change.
    void settingsChangedByOneClientReachTheOther() {
        QVERIFY(first && second);

        first->proxy->changeTempUnitToCelsius(false);
        QCOMPARE(observer->next(1), QStringList{"unitsDidChange"});
        QCOMPARE(second->units(), std::optional<QList<int>>({1, 0}));
        QCOMPARE(suite()->objectForKey(Keys::units), QVariant(QVariantList{1ll, 0ll}));

        second->proxy->changeFanUnitToRPM(false);
        QCOMPARE(observer->next(1), QStringList{"unitsDidChange"});
        QCOMPARE(first->units(), std::optional<QList<int>>({1, 1}));
        QCOMPARE(suite()->objectForKey(Keys::units), QVariant(QVariantList{1ll, 1ll}));

        first->proxy->changeVisibilityForSection("Mem", false);
        QCOMPARE(observer->next(1), QStringList{"sectionsDidChange"});
        QCOMPARE(second->ask<QList<int>>(
                     [](OndaraHelperProtocol& p, auto reply) { p.visibleSections(reply); }),
                 std::optional<QList<int>>({1, 1, 0}));
        QCOMPARE(suite()->objectForKey(Keys::sections), QVariant(QVariantList{1ll, 1ll, 0ll}));

        first->proxy->changeStateForSensor("LOGIC", "Temps", true);
        QCOMPARE(observer->next(1), QStringList{"tempsDidChange"});
        const auto active = second->dictionary(&OndaraHelperProtocol::activeTempSensors);
        QVERIFY(active && active->contains("Board"));
        QCOMPARE(suite()->dictionaryForKey(Keys::tempSensors).value("LOGIC").toList().at(3),
                 QVariant(true));

        second->proxy->changeStateForSensor("1", "Fans", false);
        QCOMPARE(observer->next(1), QStringList{"fansDidChange"});
        QCOMPARE(first->dictionary(&OndaraHelperProtocol::activeFanSensors),
                 std::optional<QVariantMap>({{"Left Fan", QVariantList{0ll, 6200ll}}}));
        QCOMPARE(suite()->dictionaryForKey(Keys::fanSensors).value("1").toList().at(2),
                 QVariant(false));

        first->proxy->changeStateForSensor("Total", "Mem", true);
        QCOMPARE(observer->next(1), QStringList{"memDidChange"});
        QCOMPARE(second->dictionary(&OndaraHelperProtocol::activeMemSensors)->value("Total"),
                 QVariant(0ll));
        QCOMPARE(suite()->dictionaryForKey(Keys::memSensors).value("Total").toList().at(1),
                 QVariant(true));

        // Replacing a sensor rewrites both keys but announces only the first.
        second->proxy->changeSensorWithNewSensor(code("TC0H"), "CPU");
        QCOMPARE(observer->next(1), QStringList{"tempsDidChange"});
        QCOMPARE(first->dictionary(&OndaraHelperProtocol::tempSensors)->value("CPU"),
                 QVariant(QVariantList{"CPU", codeOf("TC0H"), 0ll, true}));
        const QVariantList cpuList{candidate("TC0P", "CPU_PROXIMITY", false),
                                   candidate("TC0H", "CPU_HEATSINK", true)};
        QCOMPARE(first->dictionary(&OndaraHelperProtocol::machineSensorList)->value("CPU"),
                 QVariant(cpuList));
        const auto stored = suite();
        QCOMPARE(stored->dictionaryForKey(Keys::machineSensors).value("CPU"), QVariant(cpuList));
        QCOMPARE(stored->dictionaryForKey(Keys::tempSensors).value("CPU").toList().at(1),
                 QVariant(codeOf("TC0H")));
    }

    // This machine's drive can't be read, and says so on standard error at
    // every read: the count of those lines is the count of drive reads.
    void eachClientHasItsOwnDriveCache() {
        QVERIFY(first && second);
        const std::optional<QList<int>> failed(QList<int>{-3});
        QCOMPARE(agent->count(driveReadFailure), 1); // discovery

        QCOMPARE(first->temperatures({drive}), failed); // read
        QCOMPARE(first->temperatures({drive, drive, drive}),
                 std::optional<QList<int>>({-3, -3, -3}));
        QCOMPARE(first->temperatures({drive}), failed);  // read
        QCOMPARE(second->temperatures({drive}), failed); // read
        QCOMPARE(second->temperatures({drive}), failed);

        // A client that reconnects starts with an empty cache.
        first.reset();
        first = std::make_unique<Client>("first-again");
        QCOMPARE(first->temperatures({drive}), failed); // read

        // A new client's first call is logged after everything before it.
        Client barrier("barrier");
        const int accepted = agent->count(connectionAccepted);
        QVERIFY(barrier.version());
        QTRY_COMPARE(agent->count(connectionAccepted), accepted + 1);
        QCOMPARE(agent->linesUpToLast(connectionAccepted).join('\n').count(driveReadFailure), 5);
    }

    void malformedCallsChangeNothing() {
        QVERIFY(first && second);
        const QVariantMap storedBefore = storedSelection();
        const auto tempsBefore = second->dictionary(&OndaraHelperProtocol::tempSensors);
        QVERIFY(tempsBefore);

        Client rogue("rogue");
        struct Call {
            const char* member;
            QVariantList arguments;
        };
        const QList<Call> wrongTypes{
            {"temperatureForSensors", {QStringList{"TC0P"}}},
            {"temperatureForSensors", {}},
            {"rpmForFans", {QVariant::fromValue(QList<uint>{1u})}},
            {"changeStateForSensor", {1, 2, 3}},
            {"changeSensorWithNewSensor", {QStringLiteral("CPU"), 5u}},
            {"changeVisibilityForSection", {true}},
            {"changeTempUnitToCelsius", {QStringLiteral("yes")}},
            {"tempSensors", {QStringLiteral("extra")}},
            {"deleteEverything", {}},
        };
        for (const Call& call : wrongTypes) {
            const QDBusMessage reply = rogue.call(call.member, call.arguments);
            QVERIFY2(reply.type() == QDBusMessage::ErrorMessage, call.member);
        }

        QList<uint> manyCodes(100000);
        QList<int> manyFans(100000);
        for (int i = 0; i < 100000; ++i) {
            manyCodes[i] = i % 2 ? code("TC0P") : uint(i);
            manyFans[i] = i % 23 - 7;
        }
        QDBusMessage reply = rogue.call("temperatureForSensors", {QVariant::fromValue(manyCodes)});
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        const auto temperatures = qdbus_cast<QList<int>>(reply.arguments().value(0));
        QCOMPARE(temperatures.size(), 100000);
        QCOMPARE(temperatures[1], 52);
        reply = rogue.call("rpmForFans", {QVariant::fromValue(manyFans)});
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        QCOMPARE(qdbus_cast<QList<int>>(reply.arguments().value(0)).size(), 100000);
        reply = rogue.call("rpmForFans", {QVariant::fromValue(QList<int>())});
        QCOMPARE(qdbus_cast<QList<int>>(reply.arguments().value(0)), QList<int>());

        const QString longWord(100000, QLatin1Char('x'));
        rogue.proxy->changeStateForSensor("NOPE", "Temps", true);
        rogue.proxy->changeStateForSensor("CPU", "temps", false);
        rogue.proxy->changeStateForSensor(longWord, longWord, false);
        rogue.proxy->changeStateForSensor("", "", false);
        rogue.proxy->changeSensorWithNewSensor(42, "NOPE");
        rogue.proxy->changeSensorWithNewSensor(42, "");
        rogue.proxy->changeSensorWithNewSensor(42, longWord);
        // Announces the sections without changing them.
        rogue.proxy->changeVisibilityForSection("Everything", false);
        QCOMPARE(observer->next(1), QStringList{"sectionsDidChange"});

        QCOMPARE(agent->process.state(), QProcess::Running);
        QCOMPARE(rogue.version(), std::optional<double>(1.0));
        QCOMPARE(second->dictionary(&OndaraHelperProtocol::tempSensors), tempsBefore);
        QCOMPARE(storedSelection(), storedBefore);
    }

    void stopsCleanlyOnSigterm() {
        agent->process.terminate();
        QVERIFY(agent->process.waitForFinished(replyWait));
        QCOMPARE(agent->process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(agent->process.exitCode(), 0);
        // The next start of the same version loads what the last one left.
        const QVariantMap stored = storedSelection();
        AgentProcess again(AgentProcess::machineArguments("agent-machine.plist"),
                           configHome.path());
        QVERIFY(again.waitUntilServing());
        Client client("after-restart");
        QVERIFY(client.version());
        QVERIFY(again.log().contains("App version is the same. Using Stored Sensors in Defaults."));
        QCOMPARE(client.dictionary(&OndaraHelperProtocol::tempSensors),
                 std::optional<QVariantMap>(stored.value(Keys::tempSensors).toMap()));
    }

    void oneAgentPerUser() {
        QTemporaryDir home;
        AgentProcess running(AgentProcess::machineArguments("agent-machine.plist"), home.path());
        QVERIFY(running.waitUntilServing());
        AgentProcess another(AgentProcess::machineArguments("agent-machine.plist"), home.path());
        QVERIFY(another.process.waitForFinished(replyWait));
        QCOMPARE(another.process.exitCode(), 1);
        QVERIFY(another.log().contains("Another OndaraHelper is already running"));
        QCOMPARE(running.process.state(), QProcess::Running);
    }

    void stopsWhenItsBusGoesAway() {
        QProcess daemon;
        daemon.start("dbus-daemon", {"--session", "--nofork", "--nopidfile", "--print-address=1"});
        QVERIFY(daemon.waitForStarted());
        QTRY_VERIFY(daemon.canReadLine());
        const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
        QTemporaryDir home;
        AgentProcess orphan(AgentProcess::machineArguments("agent-machine.plist"), home.path(),
                            address);
        QVERIFY(orphan.waitUntilServing());
        daemon.terminate();
        QVERIFY(daemon.waitForFinished(replyWait));
        QVERIFY(orphan.process.waitForFinished(replyWait));
        QCOMPARE(orphan.process.exitCode(), 1);
        QVERIFY(orphan.log().contains("Lost the session bus; stopping."));
    }

    void withoutAnSmcTheFirstClientStopsTheAgent_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("profile without the service")
            << AgentProcess::machineArguments("no-smc-service.plist");
        QTest::newRow("auto on a machine without applesmc")
            << QStringList{"--smc", "auto", "--smart", "none"};
    }
    void withoutAnSmcTheFirstClientStopsTheAgent() {
        QFETCH(QStringList, arguments);
        if (arguments.contains("auto") && AppleSmcSysfsDriver::isPresent()) {
            QSKIP("this machine has an SMC");
        }
        QTemporaryDir home;
        AgentProcess agentWithoutSmc(arguments, home.path());
        QVERIFY(agentWithoutSmc.waitUntilServing());
        Client client("client");
        QSignalSpy failures(client.proxy.get(), &OndaraHelperProxy::requestFailed);
        client.proxy->appVersion([](double) { QFAIL("answered without an SMC"); });
        QVERIFY(agentWithoutSmc.process.waitForFinished(replyWait));
        QCOMPARE(agentWithoutSmc.process.exitCode(), 1);
        QVERIFY(agentWithoutSmc.log().contains("Can't establish connection with SMC"));
        QVERIFY(failures.wait(replyWait));
        QVERIFY(!QFile::exists(
            UserDefaults::openSuite(OndaraNames::suiteName, home.path())->filePath()));
    }

    void commandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("error");
        QTest::newRow("version") << QStringList{"--version"} << 0 << "1.0\n"
                                 << "";
        QTest::newRow("help") << QStringList{"--help"} << 0 << "Usage: OndaraHelper"
                              << "";
        QTest::newRow("unknown option") << QStringList{"--fast"} << 1 << ""
                                        << "unknown option \"--fast\"";
        QTest::newRow("unknown source") << QStringList{"--smc", "magic"} << 1 << ""
                                        << "--smc: unknown value \"magic\"";
        QTest::newRow("missing value") << QStringList{"--memory"} << 1 << ""
                                       << "--memory needs a value";
        QTest::newRow("unreadable profile")
            << QStringList{"--smc", "profile:/nonexistent.plist"} << 1 << ""
            << "cannot read machine profile /nonexistent.plist";
    }
    void commandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QFETCH(QString, error);
        AgentProcess program(arguments);
        QVERIFY(program.process.waitForFinished(replyWait));
        QCOMPARE(program.process.exitCode(), exitCode);
        const QString printed = QString::fromUtf8(program.process.readAllStandardOutput());
        if (output.isEmpty()) {
            QCOMPARE(printed, QString());
        } else {
            QVERIFY2(printed.startsWith(output), qPrintable(printed));
        }
        QVERIFY2(program.log().contains(error), qPrintable(program.log()));
    }

    void cleanupTestCase() {
        first.reset();
        second.reset();
        agent.reset();
        observer.reset();
    }
};

QTEST_GUILESS_MAIN(AgentServiceTest)
#include "tst_agentservice.moc"
