// The agent's own rounds on a machine whose sensors the test controls: a
// copy of a desktop's hwmon tree whose input files it rewrites between
// rounds, a clock it moves, and a notification server of its own on the
// private bus that records what the desktop would have shown. Then the real
// agent program with a damaged history and across a restart.

#include "AgentHistory.h"
#include "AgentProcess.h"
#include "AgentTestSupport.h"
#include "HelperDaemon.h"
#include "HistorySeries.h"
#include "ipc/DesktopNotifications.h"
#include "ipc/HelperListener.h"
#include "ipc/OndaraHistoryProxy.h"
#include "smc/HwmonSmcDriver.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>

namespace {

const QString fixture = QStringLiteral(ONDARA_FIXTURE_DIR "/hwmon-intel-desktop");
const QString chips = QStringLiteral("/devices/platform/");
const QString cpu = QStringLiteral("temp:TC0C"); // the hottest of the four cores

// Records what a desktop's notification server was asked to show.
class FakeNotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Shown {
        QString app;
        QString summary;
        QString body;
        int urgency = -1;
        uint replaces = 0;
        uint id = 0;
    };

    FakeNotificationServer()
        : bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "notifications")) {
        bus.registerObject("/org/freedesktop/Notifications", this, QDBusConnection::ExportAllSlots);
        bus.registerService("org.freedesktop.Notifications");
    }
    ~FakeNotificationServer() override { QDBusConnection::disconnectFromBus(bus.name()); }

    QList<Shown> shown;

public Q_SLOTS:
    uint Notify(const QString& app, uint replaces, const QString&, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap& hints, int) {
        const uint id = replaces ? replaces : uint(shown.size() + 1);
        shown.append({app, summary, body, hints.value("urgency").toInt(), replaces, id});
        return id;
    }

private:
    QDBusConnection bus;
};

// The bus signals of Alerts1 as another program receives them.
class AlertSignals : public QObject {
    Q_OBJECT
public:
    AlertSignals()
        : bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "alert-signals")) {
        bus.connect(OndaraNames::helperServiceName, OndaraNames::helperObjectPath,
                    OndaraNames::alertsInterface, "AlertRaised", this,
                    SLOT(raised(QString, double, double)));
        bus.connect(OndaraNames::helperServiceName, OndaraNames::helperObjectPath,
                    OndaraNames::alertsInterface, "AlertCleared", this,
                    SLOT(cleared(QString, double)));
    }
    ~AlertSignals() override { QDBusConnection::disconnectFromBus(bus.name()); }
    QStringList received;

private Q_SLOTS:
    void raised(const QString& series, double value, double above) {
        received.append(QString("raised %1 %2 %3").arg(series).arg(value).arg(above));
    }
    void cleared(const QString& series, double value) {
        received.append(QString("cleared %1 %2").arg(series).arg(value));
    }

private:
    QDBusConnection bus;
};

// The agent on the copied tree: its SMC is the tree's hwmon chips.
class FixtureDaemon : public HelperDaemon {
public:
    explicit FixtureDaemon(QString tree)
        : tree(std::move(tree)) {}

protected:
    Result<Backends> loadBackends() override {
        auto driver = std::make_shared<HwmonSmcDriver>(tree + "/class/hwmon");
        return Backends{driver, std::make_shared<ProfileAtaSmartPlatform>(QVariantList()),
                        std::make_shared<ProfileVmStatisticsSource>(QVariantMap{
                            {"installed", 16ll << 30}, {"free", 1ll << 20}, {"active", 1000ll}}),
                        driver->map().sources()};
    }

private:
    QString tree;
};

} // namespace

class AgentHistoryTest : public QObject {
    Q_OBJECT

    QTemporaryDir home;
    QString tree;
    std::unique_ptr<FixtureDaemon> daemon;
    std::unique_ptr<DistributedNotificationCenter> center;
    std::unique_ptr<DesktopNotifications> notifications;
    std::unique_ptr<FakeNotificationServer> server;
    std::unique_ptr<HelperListener> listener;
    AgentHistory* history = nullptr;
    qint64 now = 1700000000000;
    qint64 firstRound = 0;
    QStringList events;

    // Every core of the CPU, or one fan, reads this now.
    void setCpu(double celsius) {
        for (int core = 2; core <= 5; ++core) {
            write(chips + QString("coretemp.0/hwmon/hwmon3/temp%1_input").arg(core),
                  QByteArray::number(qlonglong(celsius * 1000)));
        }
    }
    void write(const QString& file, const QByteArray& text) {
        QFile input(tree + file);
        QVERIFY(input.open(QIODevice::WriteOnly | QIODevice::Truncate));
        input.write(text + '\n');
    }
    // Rounds five seconds apart, the value of each written first ("-" an
    // input that can't be read).
    void rounds(const QString& values, const std::function<void(const QString&)>& set) {
        for (const QString& value : values.split(' ', Qt::SkipEmptyParts)) {
            set(value);
            now += 5000;
            history->sampleRound();
        }
    }
    QString storedRules() const {
        const QVariant rules = UserDefaults::openSuite(OndaraNames::suiteName, home.path())
                                   ->objectForKey(OndaraNames::Keys::alertRules);
        return rules.isValid() ? QString::number(rules.toList().size()) : QString("none");
    }

private Q_SLOTS:
    void initTestCase() { HistoryBucket::registerBusTypes(); }

    void init() {
        tree = home.filePath("machine");
        QProcess copy;
        copy.start("cp", {"-a", fixture, tree});
        QVERIFY(copy.waitForFinished() && copy.exitCode() == 0);
        center = std::make_unique<DistributedNotificationCenter>(QDBusConnection::sessionBus());
        daemon = std::make_unique<FixtureDaemon>(tree);
        QVERIFY(daemon->start());
        SMCControllerEnvironment environment;
        environment.openDefaults = [this] {
            return UserDefaults::openSuite(OndaraNames::suiteName, home.path());
        };
        environment.notificationCenter = center.get();
        environment.versionText = "1.0";
        daemon->setControllerEnvironment(environment);
        server = std::make_unique<FakeNotificationServer>();
        notifications = std::make_unique<DesktopNotifications>(QDBusConnection::sessionBus());
        history = &daemon->makeHistory(home.filePath("state"), 5, notifications.get());
        history->setClock([this] { return now; });
        history->openStore();
        listener = std::make_unique<HelperListener>(QDBusConnection::sessionBus(), nullptr);
        listener->setHistoryService(history);
        connect(history, &AgentHistory::alertRaised, listener.get(),
                &HelperListener::announceAlertRaised);
        connect(history, &AgentHistory::alertCleared, listener.get(),
                &HelperListener::announceAlertCleared);
        QCOMPARE(listener->resume(), HelperListener::ResumeResult::Ok);
        events.clear();
        firstRound = now + 5000;
        const auto at = [this] { return QString("@%1").arg((now - firstRound) / 1000); };
        connect(history, &AgentHistory::alertRaised, this,
                [this, at](const QString& series) { events.append("raise " + series + at()); });
        connect(history, &AgentHistory::alertCleared, this,
                [this, at](const QString& series) { events.append("clear " + series + at()); });
    }
    void cleanup() {
        listener.reset();
        history = nullptr;
        daemon.reset();
        server.reset();
        notifications.reset();
        QDir(tree).removeRecursively();
        QDir(home.filePath("state")).removeRecursively();
        QFile::remove(UserDefaults::openSuite(OndaraNames::suiteName, home.path())->filePath());
    }

    void theDefaultRulesAreOff() {
        AlertSignals signals;
        const QList<AlertRule> defaults = history->rules();
        QStringList rules;
        for (const AlertRule& rule : defaults) {
            rules.append(QString("%1 %2/%3 %4s %5")
                             .arg(rule.series)
                             .arg(rule.above)
                             .arg(rule.clearBelow)
                             .arg(rule.forSeconds)
                             .arg(rule.enabled ? "on" : "off"));
        }
        // The CPU and the drive by their sensors, the fan that has a
        // minimum speed, and memory by a share of the installed 16 GiB.
        QCOMPARE(rules, QStringList({"temp:TC0C 90/80 30s off", "temp:TH0O 55/50 60s off",
                                     "fan:0:stopped 0/0 30s off", "mem:Used 14.4/12.8 120s off"}));
        rounds("99 99 99 99 99 99 99 99 99",
               [this](const QString& value) { setCpu(value.toDouble()); });
        QCOMPARE(events, QStringList());
        // Offered, not stored: nothing was changed yet.
        QCOMPARE(storedRules(), "none");
        QCOMPARE(history->series().contains(cpu), true);
        QVERIFY(server->shown.isEmpty());
    }

    void theRoundsFollowTheSelection() {
        const auto count = [this](const QString& series) {
            const auto answer = history->samples(series, 0, now, 600);
            return answer ? answer.value().size() : -1;
        };
        rounds("50 50", [this](const QString& value) { setCpu(value.toDouble()); });
        QCOMPARE(count("fan:0"), 2);
        SensorSelection& selection = daemon->controller()->selection();
        const auto fans = selection.fans;
        selection.fans.clear();
        daemon->controller()->persist("Fans");
        rounds("50", [this](const QString& value) { setCpu(value.toDouble()); });
        QCOMPARE(count("fan:0"), 2);
        QCOMPARE(count(cpu), 3);
        daemon->controller()->selection().fans = fans;
        daemon->controller()->persist("Fans");
        rounds("50", [this](const QString& value) { setCpu(value.toDouble()); });
        QCOMPARE(count("fan:0"), 3);
    }

    void aRuleRaisesAndClearsOnce_data() {
        QTest::addColumn<QString>("values"); // the CPU's, one per round, 5 s apart
        QTest::addColumn<uint>("forSeconds");
        QTest::addColumn<QStringList>("events"); // seconds after the first round
        const QStringList once{"raise temp:TC0C@30", "clear temp:TC0C@60"};
        QTest::newRow("after forSeconds above, once")
            << "95 95 95 95 95 95 95 95 95 70 70" << 30u
            << QStringList{"raise temp:TC0C@30", "clear temp:TC0C@45"};
        QTest::newRow("a spike shorter never fires")
            << "95 95 95 95 95 95 70 95 95 95 95 95 95 70" << 30u << QStringList();
        QTest::newRow("between the levels nothing flaps")
            << "95 95 95 95 95 95 95 85 91 85 91 80 79 85 91" << 30u << once;
        QTest::newRow("at the levels themselves")
            << "90 90 90 90 90 90 90 90" << 30u << QStringList();
        QTest::newRow("a failed reading counts again")
            << "95 95 95 95 - 95 95 95 95 95 95 95 70" << 30u
            << QStringList{"raise temp:TC0C@55", "clear temp:TC0C@60"};
        QTest::newRow("forSeconds 0: the first sample above")
            << "70 95 95 70 95" << 0u
            << QStringList{"raise temp:TC0C@5", "clear temp:TC0C@15", "raise temp:TC0C@20"};
    }
    void aRuleRaisesAndClearsOnce() {
        QFETCH(QString, values);
        QFETCH(uint, forSeconds);
        QVERIFY(history->setRule({cpu, 90, 80, forSeconds, true}));
        rounds(values, [this](const QString& value) {
            if (value == "-") {
                write(chips + "coretemp.0/hwmon/hwmon3/temp2_input", "not a number");
                for (int core = 3; core <= 5; ++core) {
                    QFile::remove(tree + chips +
                                  QString("coretemp.0/hwmon/hwmon3/temp%1_input").arg(core));
                }
            } else {
                setCpu(value.toDouble());
            }
        });
        QTEST(events, "events");
    }

    void notificationsAndSignals() {
        AlertSignals signals;
        NotificationObserver observer;
        QVERIFY(history->setRule({cpu, 90, 80, 10, true}));
        QCOMPARE(observer.next(1), QStringList{"alertsDidChange"});
        QCOMPARE(storedRules(), "4");
        rounds("95 96 97", [this](const QString& value) { setCpu(value.toDouble()); });
        // The user reads Fahrenheit from now on.
        daemon->controller()->selection().units = {1, 0};
        rounds("75", [this](const QString& value) { setCpu(value.toDouble()); });
        QTRY_COMPARE(server->shown.size(), 2);
        QTRY_COMPARE(signals.received,
                     QStringList({"raised temp:TC0C 97 90", "cleared temp:TC0C 75"}));

        const FakeNotificationServer::Shown raised = server->shown[0];
        QCOMPARE(raised.app, "Ondara");
        QCOMPARE(raised.summary, "CPU is above 90 °C");
        QCOMPARE(raised.body, "It has been above 90 °C for 10 s and reads 97 °C now.");
        QCOMPARE(raised.urgency, 2);
        const FakeNotificationServer::Shown cleared = server->shown[1];
        QCOMPARE(cleared.summary, "CPU is back to normal");
        QCOMPARE(cleared.body, "It reads 167 °F now, below 176 °F.");
        QCOMPARE(cleared.urgency, 1);
        // In the place of the raise on the desktop.
        QCOMPARE(cleared.replaces, raised.id);
    }

    void aStoppedFanIsAnAlert() {
        const QString fan = "nct6775.656/hwmon/hwmon4/fan1_input";
        QVERIFY(history->setRule({"fan:0:stopped", 0, 0, 10, true}));
        // Fan 3 has a minimum of 0: it may stand.
        QVERIFY(history->setRule({"fan:2:stopped", 0, 0, 0, true}));
        write(chips + "nct6775.656/hwmon/hwmon4/fan3_input", "0");
        rounds("0 0 0 0 900", [&](const QString& rpm) { write(chips + fan, rpm.toUtf8()); });
        QCOMPARE(events, QStringList({"raise fan:0:stopped@10", "clear fan:0:stopped@20"}));
        QTRY_COMPARE(server->shown.size(), 2);
        QCOMPARE(server->shown[0].summary, "Fan 1 has stopped");
        QCOMPARE(server->shown[0].body, "It reads 0 RPM although its minimum speed is 300 RPM.");
        QCOMPARE(server->shown[1].summary, "Fan 1 is turning again");
        QCOMPARE(server->shown[1].body, "It reads 900 RPM now.");
    }

    void turningARaisedRuleOffClearsIt() {
        QVERIFY(history->setRule({cpu, 90, 80, 0, true}));
        rounds("95", [this](const QString& value) { setCpu(value.toDouble()); });
        QVERIFY(history->rules().first().raised);
        QVERIFY(history->setRule({cpu, 90, 80, 0, false}));
        QCOMPARE(events, QStringList({"raise temp:TC0C@0", "clear temp:TC0C@0"}));
        QTRY_COMPARE(server->shown.size(), 2);
        QCOMPARE(server->shown[1].summary, "The alert for CPU is off");
        QVERIFY(!history->rules().first().raised);
    }

    // What a client sees over the bus: gaps, the rules, refused rules.
    void throughTheBus() {
        const QDBusConnection client =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, "history-client");
        OndaraHistoryProxy proxy(client);
        QVERIFY(history->setRule({cpu, 90, 80, 0, true}));
        rounds("50 - 52 95", [this](const QString& value) {
            if (value == "-") {
                for (int core = 2; core <= 5; ++core) {
                    write(chips + QString("coretemp.0/hwmon/hwmon3/temp%1_input").arg(core), "");
                }
            } else {
                setCpu(value.toDouble());
            }
        });
        QList<HistoryBucket> buckets;
        proxy.samples(
            cpu, 0, now, 600, [&](const QList<HistoryBucket>& answer) { buckets = answer; },
            [](const QString& reason) { QFAIL(qPrintable(reason)); });
        QTRY_COMPARE(buckets.size(), 3);
        QCOMPARE(buckets[1], (HistoryBucket{firstRound + 10000, 52, 52, 52}));
        QList<AlertRule> rules;
        proxy.rules([&](const QList<AlertRule>& answer) { rules = answer; }, {});
        QTRY_COMPARE(rules.size(), 4);
        QCOMPARE(rules.first().series, cpu);
        QVERIFY(rules.first().raised);
        QCOMPARE(rules.first().raisedValue, 95.0);

        QString refused;
        proxy.setRule(
            {"fan:7", 1, 0, 0, true}, [] { QFAIL("stored"); },
            [&](const QString& reason) { refused = reason; });
        QTRY_VERIFY(!refused.isEmpty());
        QVERIFY2(refused.contains("neither reads nor recorded"), qPrintable(refused));
        QCOMPARE(history->rules().size(), 4);
    }

    // The real program: a damaged history is moved aside and the agent goes
    // on; what it recorded is there again after a restart.
    void theAgentProgram() {
        QTemporaryDir programHome;
        const QString state = programHome.filePath("ondara");
        QVERIFY(QDir().mkpath(state));
        QFile damaged(state + "/history.sqlite3");
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write(QByteArray("SQLite format 3").append(4096, '\x7f'));
        damaged.close();

        // The test's own listener steps aside: the program takes the name.
        listener.reset();
        const QStringList arguments = Agent::demoMachine() + QStringList{"--history-interval", "1"};
        const auto recorded = [] {
            QDBusMessage call = QDBusMessage::createMethodCall(
                OndaraNames::helperServiceName, OndaraNames::helperObjectPath,
                OndaraNames::historyInterface, "Samples");
            call.setArguments(
                {QString("mem:Total"), qlonglong(0), std::numeric_limits<qlonglong>::max(), 100u});
            const QDBusMessage reply =
                QDBusConnection::sessionBus().call(call, QDBus::Block, 10000);
            return reply.type() == QDBusMessage::ReplyMessage
                       ? qdbus_cast<QList<HistoryBucket>>(reply.arguments().first()).size()
                       : -1;
        };
        qsizetype before = 0;
        {
            Agent agent(arguments, programHome.path());
            QVERIFY(agent.waitUntilServing());
            QVERIFY2(agent.log().contains("moved it to"), qPrintable(agent.log()));
            QTRY_VERIFY_WITH_TIMEOUT((before = recorded()) >= 2, 10000);
            agent.process.terminate();
            QVERIFY(agent.process.waitForFinished(10000));
            QCOMPARE(agent.process.exitCode(), 0);
        }
        QCOMPARE(QDir(state).entryList({"history.sqlite3.*"}).size(), 1);
        // No round comes before the calls below: only the calls load the rules.
        Agent again(Agent::demoMachine() + QStringList{"--history-interval", "3600"},
                    programHome.path());
        QVERIFY(again.waitUntilServing());
        QVERIFY(!again.log().contains("moved it to"));
        QVERIFY(recorded() >= before);

        // A rule set first thing, for a series the history already holds, is
        // the one the agent keeps and stores.
        OndaraHistoryProxy proxy(QDBusConnection::sessionBus());
        bool stored = false;
        proxy.setRule(
            {"mem:Total", 1e15, 1e14, 0, true}, [&] { stored = true; },
            [](const QString& reason) { QFAIL(qPrintable(reason)); });
        QTRY_VERIFY(stored);
        QList<AlertRule> rules;
        proxy.rules([&](const QList<AlertRule>& answer) { rules = answer; }, {});
        QTRY_VERIFY(!rules.isEmpty());
        QVERIFY(std::any_of(rules.cbegin(), rules.cend(), [](const AlertRule& rule) {
            return rule.series == "mem:Total" && rule.above == 1e15 && rule.enabled;
        }));
        QTRY_VERIFY(UserDefaults::openSuite(OndaraNames::suiteName, programHome.path())
                        ->objectForKey(OndaraNames::Keys::alertRules)
                        .isValid());
    }
};

QTEST_GUILESS_MAIN(AgentHistoryTest)
#include "tst_agenthistory.moc"
