#include "FakeHelper.h"
#include "OndaraNames.h"
#include "ipc/HelperBusEndpoint.h"
#include "ipc/HelperListener.h"
#include "ipc/OndaraHelperProxy.h"
#include "ipc/PropertyListDBus.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QDateTime>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

namespace {

using P = OndaraHelperProtocol;

// The value with the kind of every element spelled out, so that a qlonglong and
// an int of the same value compare different.
QString shape(const QVariant& value) {
    QStringList items;
    if (value.typeId() == QMetaType::QVariantList) {
        for (const QVariant& item : value.toList()) {
            items.append(shape(item));
        }
        return QLatin1Char('[') + items.join(QLatin1Char(',')) + QLatin1Char(']');
    }
    if (value.typeId() == QMetaType::QVariantMap) {
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            items.append(it.key() + QLatin1Char('=') + shape(it.value()));
        }
        return QLatin1Char('{') + items.join(QLatin1Char(',')) + QLatin1Char('}');
    }
    return QString::fromLatin1(value.metaType().name()) + QLatin1Char(':') + value.toString();
}

// One query through the proxy: its answer, or nothing when it failed or none came.
template <typename Value, typename Query>
std::optional<Value> ask(OndaraHelperProxy& proxy, Query query) {
    auto answer = std::make_shared<std::optional<Value>>();
    QSignalSpy failed(&proxy, &OndaraHelperProxy::requestFailed);
    query(proxy, [answer](const Value& value) { *answer = value; });
    [[maybe_unused]] const bool settled =
        QTest::qWaitFor([&] { return answer->has_value() || !failed.isEmpty(); }, 10000);
    return *answer;
}

QString dictionaryShape(OndaraHelperProxy& proxy, void (P::*query)(P::DictionaryReply)) {
    const auto answer = ask<QVariantMap>(proxy, [query](P& p, auto reply) { (p.*query)(reply); });
    return answer ? shape(*answer) : QStringLiteral("no answer");
}

std::optional<double> version(OndaraHelperProxy& proxy) {
    return ask<double>(proxy, [](P& p, auto reply) { p.appVersion(reply); });
}

// A raw call, for what the proxy would never send; waits on the event loop,
// since the agent under test runs in this very thread.
QDBusMessage call(QDBusConnection& bus, const QString& member, const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(OndaraNames::helperServiceName,
                                                          OndaraNames::helperObjectPath,
                                                          OndaraNames::helperInterface, member);
    message.setArguments(arguments);
    QDBusPendingCallWatcher watcher(bus.asyncCall(message));
    QSignalSpy finished(&watcher, &QDBusPendingCallWatcher::finished);
    if (!watcher.isFinished()) {
        finished.wait(10000);
    }
    return watcher.reply();
}

// Answers every call with the arguments it is given, whatever the contract says.
class RawAgent : public QDBusVirtualObject {
public:
    QVariantList answer;
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        return connection.send(message.createReply(answer));
    }
};

} // namespace

class TestHelperIpc : public QObject {
    Q_OBJECT

    FakeAgentState state;
    std::unique_ptr<FakeHelperDelegate> delegate;
    std::unique_ptr<HelperListener> listener;
    QStringList clientNames;

    // A connection of its own, so calls really cross the bus (calls inside one
    // connection are short-circuited by QtDBus) and it has its own unique name.
    QDBusConnection newClient() {
        clientNames.append(QStringLiteral("client%1").arg(clientNames.size()));
        return QDBusConnection::connectToBus(QDBusConnection::SessionBus, clientNames.last());
    }
    HelperListener& startAgent() {
        listener = std::make_unique<HelperListener>(QDBusConnection::sessionBus(), delegate.get());
        if (listener->resume() != HelperListener::ResumeResult::Ok) {
            qFatal("the test agent could not take its name");
        }
        return *listener;
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "needs a (private) session bus");
        // Only to let the raw agent send a dictionary the contract does not allow.
        qDBusRegisterMetaType<QMap<QString, QString>>();
    }

    void init() {
        state = FakeAgentState();
        delegate = std::make_unique<FakeHelperDelegate>(state);
    }

    void cleanup() {
        listener.reset();
        for (const QString& name : std::as_const(clientNames)) {
            QDBusConnection::disconnectFromBus(name);
        }
        clientNames.clear();
    }

    void everyQueryRoundTripsWithCanonicalKinds() {
        startAgent();
        OndaraHelperProxy proxy(newClient());
        const QList<std::pair<void (P::*)(P::DictionaryReply), QVariantMap>> dictionaries = {
            {&P::tempSensors, FakeHelper::tempSensorsValue()},
            {&P::fanSensors, FakeHelper::fanSensorsValue()},
            {&P::memSensors, FakeHelper::memSensorsValue()},
            {&P::machineSensorList, FakeHelper::machineSensorListValue()},
            {&P::activeTempSensors, FakeHelper::activeTempSensorsValue()},
            {&P::activeFanSensors, FakeHelper::activeFanSensorsValue()},
            {&P::activeMemSensors, FakeHelper::activeMemSensorsValue()}};
        for (const auto& [query, expected] : dictionaries) {
            QCOMPARE(dictionaryShape(proxy, query), shape(expected));
        }
        QCOMPARE(version(proxy), 1.25);
        QCOMPARE(ask<QList<double>>(proxy, [](P& p, auto reply) { p.memoryUsage(reply); }),
                 FakeHelper::memoryUsageValue());
        QCOMPARE(ask<QList<int>>(proxy, [](P& p, auto reply) { p.visibleSections(reply); }),
                 FakeHelper::visibleSectionsValue());
        QCOMPARE(ask<QList<int>>(proxy, [](P& p, auto reply) { p.sensorUnits(reply); }),
                 FakeHelper::sensorUnitsValue());
        QCOMPARE(ask<QList<int>>(proxy,
                                 [](P& p, auto reply) {
                                     p.rpmForFans({1, 0, -3}, reply);
                                 }),
                 (QList<int>{1007, 7, -2993}));
        QCOMPARE(ask<QList<int>>(proxy,
                                 [](P& p, auto reply) {
                                     p.temperatureForSensors({0x54433050u, 0xFFFFFFFFu}, reply);
                                 }),
                 (QList<int>{FakeHelper::temperatureOf(0x54433050u), 38}));
    }

    void propertyListKindsSurviveTheBus() {
        const QVariantList plain{std::numeric_limits<qlonglong>::min(),
                                 std::numeric_limits<qlonglong>::max(),
                                 0.1,
                                 false,
                                 QStringLiteral("°C ✓"),
                                 QByteArray("\0\xff", 2),
                                 QVariantList{},
                                 QVariantMap{}};
        const QDateTime when(QDate(2024, 2, 29), QTime(12, 30, 5), Qt::UTC);
        state.dictionaryOverride = {
            {"plain", plain},
            {"Qt kinds", QVariantList{int(-4), uint(7), QVariant::fromValue(ushort(9)),
                                      QStringList{"a"}, when}}};
        const QVariantMap expected{
            {"plain", plain},
            {"Qt kinds", QVariantList{-4LL, 7LL, 9LL, QVariantList{QStringLiteral("a")},
                                      when.toString(Qt::ISODateWithMs)}}};
        startAgent();
        OndaraHelperProxy proxy(newClient());
        QCOMPARE(dictionaryShape(proxy, &P::tempSensors), shape(expected));
    }

    void commandsArriveInOrder() {
        startAgent();
        OndaraHelperProxy proxy(newClient());
        proxy.changeStateForSensor(QStringLiteral("CPU"), QStringLiteral("Temps"), true);
        proxy.changeTempUnitToCelsius(false);
        proxy.changeFanUnitToRPM(true);
        proxy.changeVisibilityForSection(QStringLiteral("Fäns"), false);
        proxy.changeSensorWithNewSensor(0xFFFFFFFFu, QStringLiteral("HDD"));
        QTRY_COMPARE(state.commands,
                     (QStringList{"changeStateForSensor CPU Temps 1", "changeTempUnitToCelsius 0",
                                  "changeFanUnitToRPM 1", "changeVisibilityForSection Fäns 0",
                                  "changeSensorWithNewSensor ffffffff HDD"}));
    }

    void eachClientHasItsOwnServiceObjectUntilItLeaves() {
        HelperListener& agent = startAgent();
        QSignalSpy accepted(&agent, &HelperListener::connectionAccepted);
        QSignalSpy closed(&agent, &HelperListener::connectionClosed);
        QDBusConnection staying = newClient();
        OndaraHelperProxy stayingProxy(staying);
        QVERIFY(version(stayingProxy));
        QString leavingName;
        {
            QDBusConnection leaving = newClient();
            leavingName = leaving.baseService();
            OndaraHelperProxy leavingProxy(leaving);
            QVERIFY(version(leavingProxy));
            QCOMPARE(agent.connectionCount(), 2);
            QVERIFY(agent.serviceForClient(staying.baseService()) !=
                    agent.serviceForClient(leavingName));
        }
        QDBusConnection::disconnectFromBus(clientNames.last());
        QVERIFY(closed.wait(10000));
        QCOMPARE(closed.first().first().toString(), leavingName);
        QCOMPARE(accepted.size(), 2);
        QCOMPARE(accepted.first().first().toString(), staying.baseService());
        QVERIFY(!agent.serviceForClient(leavingName));

        // A client that leaves right after its first call, a command, leaves
        // nothing behind either.
        {
            QDBusConnection quick = newClient();
            OndaraHelperProxy(quick).changeFanUnitToRPM(false);
        }
        QDBusConnection::disconnectFromBus(clientNames.last());
        QTRY_COMPARE(state.commands, QStringList{QStringLiteral("changeFanUnitToRPM 0")});
        QTRY_COMPARE(state.live, 1);
        QCOMPARE(agent.connectionCount(), 1);
        // The one that stayed is still served by the same object.
        QVERIFY(version(stayingProxy));
        QCOMPARE(state.created, 3);
    }

    void malformedCallsLeaveTheAgentServing() {
        startAgent();
        QDBusConnection client = newClient();
        const QList<std::pair<QString, QVariantList>> wrongTypes = {
            {"temperatureForSensors", {QVariant::fromValue(QList<int>{1, 2})}},
            {"temperatureForSensors", {}},
            {"appVersion", {42}},
            {"changeSensorWithNewSensor", {QStringLiteral("TC0P"), QStringLiteral("CPU")}},
            {"changeTempUnitToCelsius", {QVariant::fromValue(QDBusVariant(true))}},
            {"selfDestruct", {}}};
        for (const auto& [member, arguments] : wrongTypes) {
            const QDBusMessage reply = call(client, member, arguments);
            QVERIFY2(reply.errorName().startsWith(QLatin1String("org.freedesktop.DBus.Error.")),
                     qPrintable(member));
        }
        QVERIFY(state.commands.isEmpty());

        // Arrays up to the limit are read whole; longer ones are refused unread.
        OndaraHelperProxy proxy(client);
        for (const int count : {0, int(HelperBusEndpoint::maximumElements)}) {
            QList<quint32> codes;
            QList<int> expected;
            for (int i = 0; i < count; ++i) {
                codes.append(0xFFFFFFFFu - quint32(i));
                expected.append(FakeHelper::temperatureOf(codes.last()));
            }
            QCOMPARE(
                ask<QList<int>>(proxy, [&](P& p, auto r) { p.temperatureForSensors(codes, r); }),
                expected);
            QCOMPARE(state.receivedCodes, codes);
        }
        const QList<uint> tooMany(HelperBusEndpoint::maximumElements + 1, 1u);
        QCOMPARE(
            call(client, QStringLiteral("temperatureForSensors"), {QVariant::fromValue(tooMany)})
                .errorName(),
            QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"));
        QCOMPARE(call(client, QStringLiteral("appVersion"), {}).arguments(), QVariantList{1.25});
    }

    void heldAnswersArriveLateOrTimeOut() {
        startAgent();
        state.mode = FakeAgentState::Mode::Hold;
        OndaraHelperProxy patient(newClient());
        OndaraHelperProxy hasty(newClient());
        hasty.setTimeout(300);
        QSignalSpy failed(&hasty, &OndaraHelperProxy::requestFailed);
        std::optional<QVariantMap> sensors;
        int hastyAnswers = 0;
        patient.fanSensors([&](const QVariantMap& value) { sensors = value; });
        hasty.activeMemSensors([&](const QVariantMap&) { ++hastyAnswers; });
        QVERIFY(failed.wait(10000));
        QVERIFY(failed.first().at(1).toString().contains(QLatin1String("NoReply")));
        QCOMPARE(state.held.size(), 2);
        QVERIFY(!sensors);

        state.mode = FakeAgentState::Mode::Answer;
        state.releaseHeld();
        QTRY_VERIFY(sensors);
        QCOMPARE(shape(*sensors), shape(FakeHelper::fanSensorsValue()));
        // A later call's answer comes after the late one would have.
        QCOMPARE(version(hasty), 1.25);
        QCOMPARE(hastyAnswers, 0);
    }

    void misbehavingServiceLeavesTheAgentUp() {
        HelperListener& agent = startAgent();
        OndaraHelperProxy proxy(newClient());
        QSignalSpy failed(&proxy, &OndaraHelperProxy::requestFailed);
        int answers = 0;

        state.mode = FakeAgentState::Mode::AnswerTwice;
        QTest::ignoreMessage(QtWarningMsg,
                             "appVersion answered more than once; the extra answer is dropped");
        proxy.appVersion([&](double) { ++answers; });
        QTRY_COMPARE(answers, 1);
        state.mode = FakeAgentState::Mode::Drop;
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("^memoryUsage of :.* was never answered$"));
        proxy.memoryUsage([&](const QList<double>&) { ++answers; });
        QVERIFY(failed.wait(10000));
        QCOMPARE(failed.first().first().toString(), QStringLiteral("memoryUsage"));
        QVERIFY(failed.first().at(1).toString().contains(QLatin1String("Error.Failed")));

        state.mode = FakeAgentState::Mode::Throw;
        QTest::ignoreMessage(QtWarningMsg, "changeSensorWithNewSensor failed: the store is gone");
        QTest::ignoreMessage(QtWarningMsg, "tempSensors failed: the sensor went away");
        // The command goes first: it has no answer to wait for, and the
        // agent serves a client's calls in order, so the query's failure
        // says the command has been served in this mode too.
        proxy.changeSensorWithNewSensor(1, QStringLiteral("CPU"));
        proxy.tempSensors([&](const QVariantMap&) { ++answers; });
        QVERIFY(failed.wait(10000));
        QVERIFY(failed.last().at(1).toString().contains(QLatin1String("the sensor went away")));

        state.mode = FakeAgentState::Mode::Answer;
        QCOMPARE(version(proxy), 1.25);
        QCOMPARE(answers, 1);
        QCOMPARE(state.commands.size(), 1);
        QCOMPARE(agent.connectionCount(), 1);
    }

    void proxyWithoutAgentFailsThenRecovers() {
        OndaraHelperProxy proxy(newClient());
        QSignalSpy failed(&proxy, &OndaraHelperProxy::requestFailed);
        QSignalSpy settled(&proxy, &OndaraHelperProxy::requestsSettled);
        proxy.tempSensors([](const QVariantMap&) { QFAIL("answered without an agent"); });
        proxy.appVersion([](double) { QFAIL("answered without an agent"); });
        QCOMPARE(proxy.pendingRequests(), 2);
        QVERIFY(settled.wait(10000));
        QCOMPARE(failed.size(), 2);
        QCOMPARE(proxy.pendingRequests(), 0);
        QCOMPARE(failed.first().first().toString(), QStringLiteral("tempSensors"));
        QVERIFY(failed.first().at(1).toString().contains(QLatin1String("ServiceUnknown")));
        startAgent();
        QCOMPARE(version(proxy), 1.25);
    }

    void answersOutsideTheContractAreRefused() {
        QVariant deep = 1LL;
        for (int i = 0; i < PropertyListDBus::maximumDepth + 8; ++i) {
            deep = QVariant::fromValue(QDBusVariant(deep));
        }
        QDBusConnection agentBus = newClient();
        RawAgent raw;
        QVERIFY(agentBus.registerVirtualObject(OndaraNames::helperObjectPath, &raw));
        QVERIFY(agentBus.registerService(OndaraNames::helperServiceName));
        OndaraHelperProxy proxy(newClient());
        QSignalSpy failed(&proxy, &OndaraHelperProxy::requestFailed);
        const QList<QVariantList> answers = {
            {QVariant::fromValue(QMap<QString, QString>{{"CPU", "TC0P"}})},
            {},
            {QVariantMap{{"CPU", deep}}}};
        for (const QVariantList& answer : answers) {
            raw.answer = answer;
            QCOMPARE(dictionaryShape(proxy, &P::tempSensors), QStringLiteral("no answer"));
        }
        QCOMPARE(failed.size(), 3);
    }
};

QTEST_GUILESS_MAIN(TestHelperIpc)
#include "tst_helperipc.moc"
