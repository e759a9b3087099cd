#include "BusMessage.h"
#include "OndaraNames.h"
#include "ipc/DirectBusConnection.h"
#include "ipc/OndaraHelperProxy.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

namespace {

// An agent that answers as the case says, and notes who asked what.
class ScriptedAgent : public QDBusVirtualObject {
public:
    enum class Mode { answer, error, hold };
    Mode mode = Mode::answer;
    QVariantList answer;
    QString errorName;
    QString errorText;
    QList<QDBusMessage> received;
    QList<QDBusMessage> held;
    QDBusConnection* bus = nullptr;

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        received.append(message);
        if (mode == Mode::hold) {
            held.append(message);
            return true;
        }
        return connection.send(mode == Mode::error ? message.createErrorReply(errorName, errorText)
                                                   : message.createReply(answer));
    }
    void releaseHeld() {
        for (const QDBusMessage& message : std::as_const(held)) {
            bus->send(message.createReply(answer));
        }
        held.clear();
    }
};

using Values = QVariantList;

// What one refresh call through the proxy brought: its values, or the failure.
struct Outcome {
    bool done = false;
    Values values;
    QString failure;
};

void ask(OndaraHelperProxy& proxy, const QString& member, Outcome& outcome) {
    QObject::connect(&proxy, &OndaraHelperProxy::requestFailed, &proxy,
                     [&outcome](const QString&, const QString& error) {
                         outcome.failure = error;
                         outcome.done = true;
                     });
    const auto integers = [&outcome](const QList<int>& values) {
        for (int value : values) {
            outcome.values.append(value);
        }
        outcome.done = true;
    };
    if (member == QLatin1String("temperatureForSensors")) {
        proxy.temperatureForSensors({7, 0, 0xFFFFFFFFu}, integers);
    } else if (member == QLatin1String("rpmForFans")) {
        proxy.rpmForFans({2, -1}, integers);
    } else {
        proxy.memoryUsage([&outcome](const QList<double>& values) {
            for (double value : values) {
                outcome.values.append(value);
            }
            outcome.done = true;
        });
    }
}

} // namespace

class TestDirectBusConnection : public QObject {
    Q_OBJECT

    std::unique_ptr<ScriptedAgent> agent;
    QDBusConnection agentBus{QString()};

private Q_SLOTS:
    void init() {
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "needs a (private) session bus");
        agentBus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "agent");
        agent = std::make_unique<ScriptedAgent>();
        agent->bus = &agentBus;
        QVERIFY(agentBus.registerVirtualObject(OndaraNames::helperObjectPath, agent.get()));
        QVERIFY(agentBus.registerService(OndaraNames::helperServiceName));
    }

    void cleanup() {
        agentBus.unregisterService(OndaraNames::helperServiceName);
        agentBus.unregisterObject(OndaraNames::helperObjectPath);
        QDBusConnection::disconnectFromBus("agent");
        agent.reset();
    }

    void refreshCallsOnTheSessionBus_data() {
        QTest::addColumn<QString>("member");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QVariantList>("answer");
        QTest::addColumn<Values>("values");
        QTest::addColumn<QString>("failure");
        const int answer = int(ScriptedAgent::Mode::answer);
        const auto integers = [](QList<int> values) {
            return QVariantList{QVariant::fromValue(values)};
        };
        QTest::newRow("temperatures") << "temperatureForSensors" << answer << integers({41, 0, -3})
                                      << Values{41, 0, -3} << QString();
        QTest::newRow("fan speeds")
            << "rpmForFans" << answer << integers({1200, 0}) << Values{1200, 0} << QString();
        QTest::newRow("memory") << "memoryUsage" << answer
                                << QVariantList{QVariant::fromValue(QList<double>{16.0, 0.125})}
                                << Values{16.0, 0.125} << QString();
        QTest::newRow("no readings")
            << "temperatureForSensors" << answer << integers({}) << Values{} << QString();
        QTest::newRow("error reply")
            << "rpmForFans" << int(ScriptedAgent::Mode::error) << QVariantList{} << Values{}
            << "org.freedesktop.DBus.Error.AccessDenied: The agent does not serve this client";
        QTest::newRow("text for integers")
            << "temperatureForSensors" << answer << QVariantList{QStringLiteral("hot")} << Values{}
            << "org.freedesktop.DBus.Error.InvalidSignature: Unexpected reply signature: "
               "got \"s\", expected \"ai\"";
        QTest::newRow("integers for reals")
            << "memoryUsage" << answer << integers({16}) << Values{}
            << "org.freedesktop.DBus.Error.InvalidSignature: Unexpected reply signature: "
               "got \"ai\", expected \"ad\"";
        QTest::newRow("one more argument")
            << "rpmForFans" << answer << QVariantList{QVariant::fromValue(QList<int>{1}), 2}
            << Values{}
            << "org.freedesktop.DBus.Error.InvalidSignature: Unexpected reply signature: "
               "got \"aii\", expected \"ai\"";
        QTest::newRow("no answer in time")
            << "temperatureForSensors" << int(ScriptedAgent::Mode::hold) << integers({1})
            << Values{} << "org.freedesktop.DBus.Error.NoReply: Did not receive a reply.";
    }

    // On the session bus the refresh calls take the proxy's own connection:
    // the agent sees them from another name than the QtDBus connection's, with
    // the same member and arguments; what comes back is judged as QtDBus would.
    void refreshCallsOnTheSessionBus() {
        QFETCH(QString, member);
        QFETCH(int, mode);
        QFETCH(QVariantList, answer);
        QFETCH(Values, values);
        QFETCH(QString, failure);
        agent->mode = ScriptedAgent::Mode(mode);
        agent->answer = answer;
        agent->errorName = QStringLiteral("org.freedesktop.DBus.Error.AccessDenied");
        agent->errorText = QStringLiteral("The agent does not serve this client");
        OndaraHelperProxy proxy(QDBusConnection::sessionBus());
        proxy.sendRefreshesDirectly();
        proxy.setTimeout(300);
        QSignalSpy settled(&proxy, &OndaraHelperProxy::requestsSettled);
        Outcome outcome;
        ask(proxy, member, outcome);
        QCOMPARE(proxy.pendingRequests(), 1);
        QTRY_VERIFY(outcome.done);
        QCOMPARE(settled.size(), 1);
        QCOMPARE(outcome.values, values);
        QVERIFY2(outcome.failure.startsWith(failure), qPrintable(outcome.failure));
        QCOMPARE(outcome.failure.isEmpty(), failure.isEmpty());

        QCOMPARE(agent->received.size(), 1);
        const QDBusMessage call = agent->received.first();
        QVERIFY(call.service() != QDBusConnection::sessionBus().baseService());
        QCOMPARE(call.interface(), OndaraNames::helperInterface);
        QCOMPARE(call.member(), member);
        const QString signature = member == QLatin1String("temperatureForSensors") ? "au"
                                  : member == QLatin1String("rpmForFans")          ? "ai"
                                                                                   : "";
        QCOMPARE(call.signature(), signature);
        // A late answer after the timeout is no second outcome.
        agent->releaseHeld();
        QCOMPARE(proxy.pendingRequests(), 0);
    }

    // A proxy on a connection of its own keeps every call on QtDBus.
    void otherConnectionsStayOnQtDBus() {
        QDBusConnection client =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, "client");
        {
            OndaraHelperProxy proxy(client);
            agent->answer = {QVariant::fromValue(QList<int>{5})};
            Outcome outcome;
            ask(proxy, QStringLiteral("rpmForFans"), outcome);
            QTRY_VERIFY(outcome.done);
            QCOMPARE(outcome.values, Values{5});
        }
        QCOMPARE(agent->received.first().service(), client.baseService());
        QDBusConnection::disconnectFromBus("client");
    }

    // Neither a proxy gone before its answer nor one destroyed by its own
    // answer, with another call still waiting, hears of anything later.
    void proxyGoneWhileCallsWait() {
        agent->mode = ScriptedAgent::Mode::hold;
        agent->answer = {QVariant::fromValue(QList<int>{1})};
        int answers = 0;
        auto first = std::make_unique<OndaraHelperProxy>(QDBusConnection::sessionBus());
        first->sendRefreshesDirectly();
        first->temperatureForSensors({1}, [&](const QList<int>&) { ++answers; });
        QTRY_COMPARE(agent->held.size(), 1);
        first.reset();
        agent->releaseHeld();

        auto second = std::make_unique<OndaraHelperProxy>(QDBusConnection::sessionBus());
        second->sendRefreshesDirectly();
        second->temperatureForSensors({1}, [&](const QList<int>&) {
            ++answers;
            second.reset();
        });
        second->rpmForFans({1}, [&](const QList<int>&) { ++answers; });
        QTRY_COMPARE(agent->held.size(), 2);
        agent->releaseHeld();
        QTRY_VERIFY(!second);
        // The second answer is on its way; a round trip later it has arrived.
        agent->mode = ScriptedAgent::Mode::answer;
        OndaraHelperProxy third(QDBusConnection::sessionBus());
        third.sendRefreshesDirectly();
        Outcome outcome;
        ask(third, QStringLiteral("rpmForFans"), outcome);
        QTRY_VERIFY(outcome.done);
        QCOMPARE(answers, 1);
    }

    // A bus that goes away ends the calls waiting on it; the connection then
    // refuses new ones, so the proxy turns to QtDBus.
    void droppedBusEndsTheCallsWaiting() {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        QVERIFY(!daemon.isEmpty());
        QProcess bus;
        bus.start(daemon, {"--session", "--nofork", "--print-address=1"});
        QVERIFY(bus.waitForReadyRead(10000));
        const QByteArray address = bus.readLine().trimmed();
        QDBusConnection held = QDBusConnection::connectToBus(QString::fromUtf8(address), "held");
        ScriptedAgent holding;
        holding.mode = ScriptedAgent::Mode::hold;
        QVERIFY(held.registerVirtualObject(OndaraNames::helperObjectPath, &holding));
        QVERIFY(held.registerService(OndaraNames::helperServiceName));

        auto direct = DirectBusConnection::open(address.toStdString());
        QVERIFY(direct);
        QString problem;
        bool replied = false;
        QVERIFY(direct->call(OndaraNames::helperServiceName.data(),
                             OndaraNames::helperObjectPath.data(),
                             OndaraNames::helperInterface.data(), "memoryUsage", {}, {}, -1,
                             [&](const BusMessage* reply, const QString& error) {
                                 replied = reply != nullptr;
                                 problem = error;
                             }));
        QTRY_COMPARE(holding.held.size(), 1);
        bus.kill();
        bus.waitForFinished();
        QTRY_VERIFY(!problem.isEmpty());
        QVERIFY(!replied);
        QVERIFY2(problem.startsWith("org.freedesktop.DBus.Error.Disconnected"),
                 qPrintable(problem));
        QVERIFY(!direct->isConnected());
        QVERIFY(!direct->call("a.b", "/", "a.b", "c", {}, {}, -1,
                              [](const BusMessage*, const QString&) { QFAIL("called"); }));
        QCOMPARE(direct->callsInFlight(), 0);
        QDBusConnection::disconnectFromBus("held");
    }

    void unreachableAddressesOpenNothing_data() {
        QTest::addColumn<QString>("address");
        QTest::newRow("no such socket") << "unix:path=/nonexistent/ondara-bus";
        QTest::newRow("another transport") << "tcp:host=localhost,port=1";
        QTest::newRow("empty") << "";
    }

    void unreachableAddressesOpenNothing() {
        QFETCH(QString, address);
        QVERIFY(!DirectBusConnection::open(address.toStdString()));
    }
};

QTEST_GUILESS_MAIN(TestDirectBusConnection)
#include "tst_directbusconnection.moc"
