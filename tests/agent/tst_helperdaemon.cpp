// The agent's start-up as one object: a daemon that loads fake backends
// instead of the hardware, hands them on, makes its one controller for the
// first client and answers Sources over the bus.

#include "AgentTestSupport.h"
#include "HelperDaemon.h"
#include "ServiceDelegate.h"
#include "ipc/HelperListener.h"
#include "ipc/OndaraHelperProxy.h"

namespace {

// Loads the machine of a description (AgentTestSupport's) in place of the hardware.
class FakeDaemon : public HelperDaemon {
public:
    FakeDaemon(const QString& machine, std::optional<QString> failure = std::nullopt)
        : profile(describedMachine(machine))
        , failure(std::move(failure)) {}

    int loads = 0;

protected:
    Result<Backends> loadBackends() override {
        ++loads;
        if (failure) {
            return Result<Backends>::failure(*failure);
        }
        const SensorSource source{"profile", "fake", "", "", "", {}};
        return Backends{std::make_shared<ProfileSmcDriver>(profile),
                        std::make_shared<ProfileAtaSmartPlatform>(profile.drives()),
                        std::make_shared<ProfileVmStatisticsSource>(
                            QVariantMap{{"installed", 8ll << 30}, {"free", 1000ll}}),
                        {{"TC0P", source}, {"SMART", source}}};
    }

private:
    MachineProfile profile;
    std::optional<QString> failure;
};

} // namespace

class HelperDaemonTest : public QObject {
    Q_OBJECT
    QTemporaryDir folder;

    void useTestSuite(HelperDaemon& daemon, DistributedNotificationCenter& center) {
        SMCControllerEnvironment environment;
        environment.openDefaults = [this] {
            return UserDefaults::openSuite(OndaraNames::suiteName, folder.path());
        };
        environment.notificationCenter = &center;
        environment.versionText = "1.0";
        daemon.setControllerEnvironment(environment);
    }

private Q_SLOTS:
    void startUp_data() {
        QTest::addColumn<QString>("machine");
        QTest::addColumn<QString>("loadFailure");
        QTest::addColumn<QString>("startError");
        QTest::addColumn<QString>("fatalStop"); // the reason given to main, empty: none
        QTest::newRow("serves") << "TC0P=50 fans=2 smart=38"
                                << ""
                                << ""
                                << "";
        QTest::newRow("no SMC service") << "service=false"
                                        << ""
                                        << ""
                                        << "Can't establish connection with SMC";
        QTest::newRow("a backend can't be made") << "TC0P=50"
                                                 << "no such profile"
                                                 << "no such profile"
                                                 << "";
    }
    void startUp() {
        QFETCH(QString, machine);
        QFETCH(QString, loadFailure);
        QFETCH(QString, fatalStop);
        FakeDaemon daemon(machine,
                          loadFailure.isEmpty() ? std::nullopt : std::optional(loadFailure));
        DistributedNotificationCenter center{QDBusConnection::sessionBus()};
        useTestSuite(daemon, center);
        QStringList stops;
        daemon.setFatalStop([&stops](const QString& reason) { stops.append(reason); });

        const Status started = daemon.start();
        QTEST(started.error(), "startError");
        QCOMPARE(daemon.loads, 1);
        if (!started) {
            return;
        }
        // Each client's service object stands on the one controller.
        ServiceDelegate delegate(daemon);
        auto first = delegate.shouldAcceptNewConnection(":1.1");
        auto second = delegate.shouldAcceptNewConnection(":1.2");
        QCOMPARE(first != nullptr, fatalStop.isEmpty());
        QCOMPARE(daemon.controller(), daemon.controller());
        // Once for every time a controller was wanted.
        QCOMPARE(stops.size(), fatalStop.isEmpty() ? 0 : 4);
        QCOMPARE(stops.value(0), fatalStop);
        if (first) {
            // The daemon's backends are the ones SMCKit and the drive unit use.
            QCOMPARE(daemon.controller()->tempSensorsDict().keys(), QStringList({"CPU", "HDD"}));
            QCOMPARE(daemon.controller()->fanSensorsDict().size(), 2);
        }
    }

    // The command line's backends: a profile that can't be read stops the
    // start with the reason, and nothing is handed on.
    void unreadableProfile() {
        const auto options = AgentCommandLine::parse(
            {"--smc", "profile:/nonexistent/machine.plist"}, QProcessEnvironment(), nullptr);
        QVERIFY(options);
        HelperDaemon daemon(*options);
        QVERIFY(daemon.start().error().startsWith(
            "cannot read machine profile /nonexistent/machine.plist"));
    }

    // Sources over the bus, and the answer of an agent without them.
    void sourcesOverTheBus_data() {
        QTest::addColumn<bool>("served");
        QTest::newRow("served") << true;
        QTest::newRow("older agent") << false;
    }
    void sourcesOverTheBus() {
        QFETCH(bool, served);
        FakeDaemon daemon("TC0P=50");
        QVERIFY(daemon.start());
        ServiceDelegate delegate(daemon);
        HelperListener listener(QDBusConnection::sessionBus(), &delegate);
        if (served) {
            listener.setSensorSources([&daemon] { return daemon.sources(); });
        }
        QCOMPARE(listener.resume(), HelperListener::ResumeResult::Ok);
        const QDBusConnection bus =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, "sources client");
        {
            OndaraHelperProxy proxy(bus);
            QSignalSpy failed(&proxy, &OndaraHelperProxy::requestFailed);
            std::optional<std::optional<SensorSources>> answer;
            proxy.sensorSources([&answer](const auto& sources) { answer = sources; });
            QTRY_VERIFY(answer.has_value());
            QCOMPARE(answer->has_value(), served);
            if (served) {
                QCOMPARE(answer->value().keys(), QStringList({"SMART", "TC0P"}));
                QCOMPARE(answer->value().value("TC0P").description(), "fake");
            }
            QCOMPARE(failed.size(), 0);
            // Asking for sources made no service object: the hardware is untouched.
            QCOMPARE(listener.connectionCount(), 0);
        }
        QDBusConnection::disconnectFromBus("sources client");
    }
};

QTEST_GUILESS_MAIN(HelperDaemonTest)
#include "tst_helperdaemon.moc"
