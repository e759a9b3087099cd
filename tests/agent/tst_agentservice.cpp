// The OndaraHelper program on a private bus, used by two clients through the
// clients' proxy: every protocol method, shared settings, per-client drive
// caches, notifications and the stored keys, and calls no client should send.

#include "AgentCommandLine.h"
#include "AgentProcess.h"
#include "AgentTestSupport.h"
#include "NestedPropertyLists.h"
#include "ipc/OndaraHelperProxy.h"

#include <QDBusMessage>
#include <QDir>
#include <QProcess>
#include <sys/stat.h>

namespace Keys = OndaraNames::Keys;
using Protocol = OndaraHelperProtocol;

namespace {

constexpr quint32 drive = 0xFFFFFFFFu;
constexpr int replyWait = 20000;
const QString accepted = "Connection accepted in ServiceDelegate";

quint32 code(const QString& key) {
    return quint32(codeOf(key));
}

template <typename> struct ReplyValue;
template <typename T> struct ReplyValue<std::function<void(T)>> { using type = std::decay_t<T>; };

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

    // The answer of a query, once it has arrived.
    template <typename Reply> auto ask(void (Protocol::*query)(Reply)) {
        return wait<Reply>([&](Reply reply) { (proxy.get()->*query)(reply); });
    }
    template <typename Arg, typename Reply>
    auto ask(void (Protocol::*query)(const QList<Arg>&, Reply), const QList<Arg>& argument) {
        return wait<Reply>([&](Reply reply) { (proxy.get()->*query)(argument, reply); });
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

private:
    template <typename Reply, typename Send> auto wait(Send send) {
        auto answer = std::make_shared<std::optional<typename ReplyValue<Reply>::type>>();
        send([answer](const auto& value) { *answer = value; });
        [[maybe_unused]] const bool answered =
            QTest::qWaitFor([&] { return answer->has_value(); }, replyWait);
        return *answer;
    }
};

// The selection as a client sees it, in the store's form.
QVariantMap selectionSeenBy(Client& client) {
    const auto numbers = [](const std::optional<QList<int>>& list) {
        QVariantList values;
        for (int number : list.value_or(QList<int>{-1})) {
            values.append(qlonglong(number));
        }
        return values;
    };
    return {
        {Keys::tempSensors, client.ask(&Protocol::tempSensors).value_or(QVariantMap())},
        {Keys::fanSensors, client.ask(&Protocol::fanSensors).value_or(QVariantMap())},
        {Keys::memSensors, client.ask(&Protocol::memSensors).value_or(QVariantMap())},
        {Keys::machineSensors, client.ask(&Protocol::machineSensorList).value_or(QVariantMap())},
        {Keys::sections, numbers(client.ask(&Protocol::visibleSections))},
        {Keys::units, numbers(client.ask(&Protocol::sensorUnits))}};
}

// A new value for a selection key, or for one entry of it.
struct Change {
    QString key;
    QString entry; // empty: the whole value
    QVariant value;
};

} // namespace

class AgentServiceTest : public QObject {
    Q_OBJECT

    QTemporaryDir configHome;
    std::unique_ptr<NotificationObserver> observer;
    std::unique_ptr<Agent> agent;
    std::unique_ptr<Client> first;
    std::unique_ptr<Client> second;

    // One client's command: its one notification, and the other client and
    // the store both showing exactly its changes.
    void step(Client& actor, const std::function<void(Protocol&)>& command, const char* posted,
              const QList<Change>& changes) {
        QVariantMap expected = storedSelection();
        for (const Change& change : changes) {
            QVariantMap entries = expected.value(change.key).toMap();
            entries.insert(change.entry, change.value);
            expected.insert(change.key, change.entry.isEmpty() ? change.value : entries);
        }
        command(*actor.proxy);
        QCOMPARE(observer->next(1), QStringList{posted});
        QCOMPARE(selectionSeenBy(&actor == first.get() ? *second : *first), expected);
        QCOMPARE(storedSelection(), expected);
    }

    std::unique_ptr<UserDefaults> suite() const {
        return UserDefaults::openSuite(OndaraNames::suiteName, configHome.path());
    }
    QVariantMap storedSelection() const {
        const auto stored = suite();
        QVariantMap selection;
        for (const QString key : {Keys::tempSensors, Keys::fanSensors, Keys::memSensors,
                                  Keys::machineSensors, Keys::sections, Keys::units}) {
            selection.insert(key, stored->objectForKey(key));
        }
        return selection;
    }

private Q_SLOTS:
    // The tests up to stopsCleanlyOnSigterm share one agent and run in order,
    // as a client session would.
    void initTestCase() {
        observer = std::make_unique<NotificationObserver>();
        agent = std::make_unique<Agent>(Agent::testMachine(), configHome.path());
        QVERIFY(agent->waitUntilServing());
    }

    void firstClientCreatesTheController() {
        // Nothing touched the hardware or the store before a client called.
        QVERIFY(!agent->log().contains("Connection open with SMC in SMC"));
        QVERIFY(!QFile::exists(suite()->filePath()));

        first = std::make_unique<Client>("first");
        QCOMPARE(first->ask(&Protocol::appVersion), 1.0);
        QStringList lines;
        for (const QString& line : agent->logUpTo(accepted).split('\n')) {
            if (line.startsWith("ondara.agent.smc") || line.startsWith("ondara.agent.controller") ||
                line.contains("OndaraHelper instantiated") || line.contains(accepted)) {
                lines.append(line.section(": ", 1));
            }
        }
        QCOMPARE(lines,
                 QStringList({"Connection open with SMC in SMC",
                              "old Helper Version: 0.0, New Helper version: 1.0",
                              "Old helper version detected. Searching for valid sensors "
                              "and creating new Defaults.",
                              "TempSensorsDict generated", "FanSensorsDict generted",
                              "MemSensorsDict generated", "OndaraHelper instantiated.", accepted}));

        // The rebuild wrote every key of the agent's...
        QCOMPARE(suite()->doubleForKey(Keys::helperVersion), 1.0);
        QCOMPARE(suite()->boolForKey(Keys::sensorsSaved), true);
        QCOMPARE(storedSelection(), selectionSeenBy(*first));
        // ...and posted nothing: the first notification is the one asked for now.
        first->proxy->changeTempUnitToCelsius(true);
        QCOMPARE(observer->next(1), QStringList{"unitsDidChange"});
    }

    void repliesFollowTheLayouts() {
        second = std::make_unique<Client>("second");
        // ENCLOSURE reads -5 °C: chosen, but not offered in a list.
        QVariantMap memSensors; // positions in this order, the last four shown
        for (const QString name :
             {"Total", "Used", "Free", "Wired", "Active", "Inactive", "Compressed"}) {
            memSensors.insert(name,
                              QVariantList{qlonglong(memSensors.size()), memSensors.size() > 2});
        }
        const QVariantMap selection{
            {Keys::tempSensors, QVariantMap{{"AMBIENT", tempEntry("Ambient", "TA0P", 14, false)},
                                            {"CPU", tempEntry("CPU", "TC0P", 0, true)},
                                            {"ENCLOSURE", tempEntry("Enclosure", "TB0T", 9, false)},
                                            {"GPU", tempEntry("GPU", "TG0D", 1, true)},
                                            {"HDD", tempEntry("HDD", "TH0P", 2, true)},
                                            {"LOGIC", tempEntry("Board", "Tm0P", 3, false)}}},
            {Keys::machineSensors,
             QVariantMap{{"AMBIENT", candidates("TA0P=AMBIENT_AIR_0*")},
                         {"CPU", candidates("TC0P=CPU_PROXIMITY* TC0H=CPU_HEATSINK")},
                         {"GPU", candidates("TG0D=GPU_DIODE*")},
                         {"HDD", candidates("TH0P=HDD_0*")},
                         {"LOGIC", candidates("Tm0P=LOGIC_BOARD_0*")}}},
            {Keys::fanSensors, QVariantMap{{"0", QVariantList{"Left Fan", 6200ll, true}},
                                           {"1", QVariantList{"Right Fan", 5800ll, true}}}},
            {Keys::memSensors, memSensors},
            {Keys::sections, QVariantList{1ll, 1ll, 1ll}},
            {Keys::units, QVariantList{0ll, 0ll}}};
        QCOMPARE(selectionSeenBy(*second), selection);
        QCOMPARE(second->ask(&Protocol::activeTempSensors),
                 QVariantMap({{"CPU", QVariantList{codeOf("TC0P"), 0ll}},
                              {"GPU", QVariantList{codeOf("TG0D"), 1ll}},
                              {"HDD", QVariantList{codeOf("TH0P"), 2ll}}}));
        QCOMPARE(second->ask(&Protocol::activeFanSensors),
                 QVariantMap({{"Left Fan", QVariantList{0ll, 6200ll}},
                              {"Right Fan", QVariantList{1ll, 5800ll}}}));
        QCOMPARE(
            second->ask(&Protocol::activeMemSensors),
            QVariantMap({{"Wired", 3ll}, {"Active", 4ll}, {"Inactive", 5ll}, {"Compressed", 6ll}}));
        QCOMPARE(second->ask(&Protocol::temperatureForSensors,
                             QList<quint32>{code("TC0P"), code("TB0T"), code("TZZZ")}),
                 QList<int>({52, -5, 0}));
        QCOMPARE(second->ask(&Protocol::temperatureForSensors, QList<quint32>()), QList<int>());
        // Fans that can't form a key answer 0.
        QCOMPARE(second->ask(&Protocol::rpmForFans, QList<int>{0, 1, 2, -1, 10, 1 << 30}),
                 QList<int>({1500, 1700, 0, 0, 0, 0}));
        QCOMPARE(second->ask(&Protocol::memoryUsage),
                 QList<double>({16, 14, 2, 0.25, 1, 0.5, 0.125}));
        QCOMPARE(second->ask(&Protocol::appVersion), 1.0);
    }

    void settingsChangedByOneClientReachTheOther() {
        QVERIFY(first && second);
        const auto fahrenheit = [](Protocol& p) { p.changeTempUnitToCelsius(false); };
        step(*first, fahrenheit, "unitsDidChange", {{Keys::units, "", QVariantList{1ll, 0ll}}});
        const auto percent = [](Protocol& p) { p.changeFanUnitToRPM(false); };
        step(*second, percent, "unitsDidChange", {{Keys::units, "", QVariantList{1ll, 1ll}}});
        const auto hideMemory = [](Protocol& p) { p.changeVisibilityForSection("Mem", false); };
        step(*first, hideMemory, "sectionsDidChange",
             {{Keys::sections, "", QVariantList{1ll, 1ll, 0ll}}});
        const auto showBoard = [](Protocol& p) { p.changeStateForSensor("LOGIC", "Temps", true); };
        step(*first, showBoard, "tempsDidChange",
             {{Keys::tempSensors, "LOGIC", tempEntry("Board", "Tm0P", 3, true)}});
        const auto hideFan = [](Protocol& p) { p.changeStateForSensor("1", "Fans", false); };
        step(*second, hideFan, "fansDidChange",
             {{Keys::fanSensors, "1", QVariantList{"Right Fan", 5800ll, false}}});
        const auto showTotal = [](Protocol& p) { p.changeStateForSensor("Total", "Mem", true); };
        step(*first, showTotal, "memDidChange",
             {{Keys::memSensors, "Total", QVariantList{0ll, true}}});
        // Replacing a sensor rewrites two keys but announces only the first.
        const auto useHeatsink = [](Protocol& p) {
            p.changeSensorWithNewSensor(code("TC0H"), "CPU");
        };
        step(*second, useHeatsink, "tempsDidChange",
             {{Keys::tempSensors, "CPU", tempEntry("CPU", "TC0H", 0, true)},
              {Keys::machineSensors, "CPU", candidates("TC0P=CPU_PROXIMITY TC0H=CPU_HEATSINK*")}});
    }

    void eachClientHasItsOwnDriveCache() {
        QVERIFY(first && second);
        const auto reads = [this](const QString& log) {
            return log.count("Error retrieving SMART Data structure.");
        };
        QCOMPARE(reads(agent->log()), 1); // discovery
        const QList<quint32> once{drive};
        QCOMPARE(first->ask(&Protocol::temperatureForSensors, once), QList<int>{-3}); // read
        QCOMPARE(first->ask(&Protocol::temperatureForSensors, QList<quint32>{drive, drive, drive}),
                 QList<int>({-3, -3, -3}));
        QCOMPARE(first->ask(&Protocol::temperatureForSensors, once), QList<int>{-3});  // read
        QCOMPARE(second->ask(&Protocol::temperatureForSensors, once), QList<int>{-3}); // read
        QCOMPARE(second->ask(&Protocol::temperatureForSensors, once), QList<int>{-3});
        // A client that reconnects starts with an empty cache.
        first = std::make_unique<Client>("first-again");
        QCOMPARE(first->ask(&Protocol::temperatureForSensors, once), QList<int>{-3}); // read

        // A new client's first call is logged after everything before it.
        Client barrier("barrier");
        const qsizetype acceptedBefore = agent->log().count(accepted);
        QVERIFY(barrier.ask(&Protocol::appVersion));
        QTRY_COMPARE(agent->log().count(accepted), acceptedBefore + 1);
        QCOMPARE(reads(agent->logUpTo(accepted)), 5);
    }

    void malformedCallsChangeNothing() {
        QVERIFY(first && second);
        const QVariantMap stored = storedSelection();
        Client rogue("rogue");
        const QList<QPair<QString, QVariantList>> wrongTypes{
            {"temperatureForSensors", {QStringList{"TC0P"}}},
            {"temperatureForSensors", {}},
            {"rpmForFans", {QVariant::fromValue(QList<uint>{1u})}},
            {"changeStateForSensor", {1, 2, 3}},
            {"changeSensorWithNewSensor", {QString("CPU"), 5u}},
            {"changeTempUnitToCelsius", {QString("yes")}},
            {"tempSensors", {QString("extra")}},
            {"deleteEverything", {}},
        };
        for (const auto& [member, arguments] : wrongTypes) {
            QVERIFY2(rogue.call(member, arguments).type() == QDBusMessage::ErrorMessage,
                     qPrintable(member));
        }

        // As many codes as a call may hold are all answered.
        constexpr int most = 4096;
        QList<quint32> manyCodes(most);
        QList<int> manyFans(most);
        for (int i = 0; i < most; ++i) {
            manyCodes[i] = i % 2 ? code("TC0P") : quint32(i);
            manyFans[i] = i % 23 - 7;
        }
        const auto temperatures = rogue.ask(&Protocol::temperatureForSensors, manyCodes);
        QCOMPARE(temperatures.value_or(QList<int>()).size(), most);
        QCOMPARE(temperatures->at(1), 52);
        QCOMPARE(rogue.ask(&Protocol::rpmForFans, manyFans).value_or(QList<int>()).size(), most);

        const QString longWord(100000, 'x');
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
        QCOMPARE(selectionSeenBy(rogue), stored);
        QCOMPARE(storedSelection(), stored);
    }

    void stopsCleanlyOnSigterm() {
        agent->process.terminate();
        QVERIFY(agent->process.waitForFinished(replyWait));
        QCOMPARE(agent->process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(agent->process.exitCode(), 0);
    }

    // Troubles with the settings file: the agent serves, stops when asked,
    // and keeps what it was told. A FIFO in the file's place is refused; a
    // change the file could not take when it was made is written at the stop;
    // commands that name nothing the agent has touch no file.
    void settingsTroublesLeaveItServing_data() {
        QTest::addColumn<QString>("trouble");
        QTest::newRow("FIFO in the file's place") << "fifo";
        QTest::newRow("file unwritable until the stop") << "late";
        QTest::newRow("commands naming nothing") << "words";
    }

    void settingsTroublesLeaveItServing() {
        QFETCH(QString, trouble);
        QTemporaryDir home;
        const QString file = home.filePath(OndaraNames::suiteName + ".plist");
        if (trouble == "fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        }
        Agent running(Agent::testMachine(), home.path());
        QVERIFY(running.waitUntilServing());
        Client client(trouble);
        QCOMPARE(client.ask(&Protocol::appVersion), 1.0);
        if (trouble == "fifo") {
            QVERIFY(running.log().contains("is not a regular file"));
        } else if (trouble == "late") {
            QVERIFY(QFile::remove(file) && QDir().mkdir(file));
            client.proxy->changeTempUnitToCelsius(false);
            QCOMPARE(client.ask(&Protocol::sensorUnits), QList<int>({1, 0}));
            QVERIFY(QDir().rmdir(file));
        } else {
            QVERIFY(QFile::remove(file) && QFile::remove(file + ".lock"));
            client.proxy->changeStateForSensor("CPU", "Everything", false);
            client.proxy->changeStateForSensor("NOPE", "Temps", false);
            client.proxy->changeSensorWithNewSensor(42, "NOPE");
            QCOMPARE(client.ask(&Protocol::sensorUnits), QList<int>({0, 0}));
            QCOMPARE(QDir(home.path()).entryList(QDir::Files), QStringList());
        }
        running.process.terminate();
        QVERIFY(running.process.waitForFinished(replyWait));
        QCOMPARE(running.process.exitCode(), 0);
        if (trouble == "late") {
            QCOMPARE(UserDefaults::openSuite(OndaraNames::suiteName, home.path())
                         ->objectForKey(Keys::units),
                     QVariant(QVariantList{1ll, 0ll}));
        }
    }

    void oneAgentPerUser() {
        QTemporaryDir home;
        Agent running(Agent::testMachine(), home.path());
        QVERIFY(running.waitUntilServing());
        Agent another(Agent::testMachine(), home.path());
        QVERIFY(another.process.waitForFinished(replyWait));
        QCOMPARE(another.process.exitCode(), AgentStopRecord::kAnotherAgentStatus);
        QVERIFY(another.log().contains("Another OndaraHelper is already running"));
        QCOMPARE(running.process.state(), QProcess::Running);
        const auto stop = Agent::stopRecord(home.path());
        QVERIFY(stop && stop->reason == AgentStopRecord::Reason::anotherAgent);
        // The next agent that serves takes the word back.
        running.process.terminate();
        QVERIFY(running.process.waitForFinished(replyWait));
        Agent next(Agent::testMachine(), home.path());
        QVERIFY(next.waitUntilServing());
        QVERIFY(!Agent::stopRecord(home.path()));
    }

    void stopsWhenItsBusGoesAway() {
        QProcess daemon;
        daemon.start("dbus-daemon", {"--session", "--nofork", "--nopidfile", "--print-address=1"});
        QTRY_VERIFY(daemon.canReadLine());
        QTemporaryDir home;
        Agent orphan(Agent::testMachine(), home.path(), QString(daemon.readLine()).trimmed());
        QVERIFY(orphan.waitUntilServing());
        daemon.terminate();
        QVERIFY(daemon.waitForFinished(replyWait));
        QVERIFY(orphan.process.waitForFinished(replyWait));
        QCOMPARE(orphan.process.exitCode(), 1);
        QVERIFY(orphan.log().contains("Lost the session bus; stopping."));
    }

    void withoutAnSmcTheFirstClientStopsTheAgent_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("profile without the service") << QStringList{
            "--smc", "profile:" + testDataPath("no-smc-service.plist"), "--smart", "none"};
        QTest::newRow("auto without applesmc or hwmon")
            << QStringList{"--smc", "auto", "--smart", "none"};
        QTest::newRow("hwmon without its directory")
            << QStringList{"--smc", "hwmon:/nonexistent", "--smart", "none"};
    }
    void withoutAnSmcTheFirstClientStopsTheAgent() {
        QFETCH(QStringList, arguments);
        if (arguments.contains("auto") &&
            AgentCommandLine::smcBackend("auto") != AgentCommandLine::SmcBackend::missing) {
            QSKIP("this machine has an SMC or hwmon temperatures");
        }
        QTemporaryDir home;
        Agent agentWithoutSmc(arguments, home.path());
        QVERIFY(agentWithoutSmc.waitUntilServing());
        Client client("client");
        QSignalSpy failures(client.proxy.get(), &OndaraHelperProxy::requestFailed);
        client.proxy->appVersion([](double) { QFAIL("answered without an SMC"); });
        QVERIFY(agentWithoutSmc.process.waitForFinished(replyWait));
        QCOMPARE(agentWithoutSmc.process.exitCode(), AgentStopRecord::kNoSensorsStatus);
        QVERIFY(agentWithoutSmc.log().contains("Can't establish connection with SMC"));
        const auto stop = Agent::stopRecord(home.path());
        QVERIFY(stop && stop->reason == AgentStopRecord::Reason::noSensors);
        QCOMPARE(stop->message, "Can't establish connection with SMC");
        QVERIFY(failures.wait(replyWait));
        QVERIFY(!QFile::exists(
            UserDefaults::openSuite(OndaraNames::suiteName, home.path())->filePath()));
    }

    void commandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("output"); // the start of standard output
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("error");
        QTest::newRow("version") << QStringList{"--version"} << "1.0\n" << 0 << "";
        QTest::newRow("unreadable profile")
            << QStringList{"--smc", "profile:/nonexistent.plist"} << "" << 1
            << "cannot read machine profile /nonexistent.plist";
        // Profiles nested deep enough to crash the parser are refused unparsed.
        for (const auto& [name, bytes] :
             {std::pair{"10000 levels of XML", xmlNestedArrays(10000)},
              std::pair{"100000 levels of binary", binaryNestedArrays(100000)}}) {
            const QString file = configHome.filePath(QString::fromLatin1(name) + ".plist");
            QFile profile(file);
            QVERIFY(profile.open(QIODevice::WriteOnly) && profile.write(bytes) == bytes.size());
            QTest::newRow(name) << QStringList{"--smc", "profile:" + file} << "" << 1
                                << "nested deeper than 512 levels";
        }
    }
    void commandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, output);
        QFETCH(QString, error);
        Agent program(arguments);
        QVERIFY(program.process.waitForFinished(replyWait));
        QTEST(program.process.exitCode(), "exitCode");
        const QString printed = program.process.readAllStandardOutput();
        QVERIFY2(output.isEmpty() ? printed.isEmpty() : printed.startsWith(output),
                 qPrintable(printed));
        QVERIFY2(program.log().contains(error), qPrintable(program.log()));
    }

    // The sources the agent is told to use, by option or environment.
    void parse_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("environment"); // NAME=value
        QTest::addColumn<QString>("sources");         // smc smart memory; empty: refused
        QTest::newRow("options") << QStringList{"--smc", "demo", "--smart=none", "--memory",
                                                "profile:/m.plist"}
                                 << QStringList() << "demo none profile:/m.plist";
        QTest::newRow("environment")
            << QStringList() << QStringList{"ONDARA_SMC=applesmc", "ONDARA_MEMORY=profile:/x"}
            << "applesmc auto profile:/x";
        QTest::newRow("options win, defaults")
            << QStringList{"--smc", "demo"} << QStringList{"ONDARA_SMC=applesmc"}
            << "demo auto proc";
        QTest::newRow("bad environment value")
            << QStringList{"--smart", "demo"} << QStringList{"ONDARA_SMART=everything"} << "";
        QTest::newRow("hwmon tree")
            << QStringList{"--smc=hwmon:/tmp/tree"} << QStringList() << "hwmon:/tmp/tree auto proc";
        QTest::newRow("hwmon without a path")
            << QStringList{"--smc", "hwmon:"} << QStringList() << "";
        QTest::newRow("unknown value") << QStringList{"--smc", "magic"} << QStringList() << "";
    }
    void parse() {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, environment);
        QProcessEnvironment variables;
        for (const QString& entry : environment) {
            variables.insert(entry.section('=', 0, 0), entry.section('=', 1));
        }
        QString error;
        const auto parsed = AgentCommandLine::parse(arguments, variables, &error);
        const QStringList sources =
            parsed ? QStringList{parsed->smc, parsed->smart, parsed->memory} : QStringList();
        QTEST(sources.join(' '), "sources");
        QCOMPARE(error.isEmpty(), bool(parsed));
    }
};

QTEST_GUILESS_MAIN(AgentServiceTest)
#include "tst_agentservice.moc"
