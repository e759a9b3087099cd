#include "FakeHelper.h"
#include "OndaraNames.h"
#include "ipc/HelperListener.h"
#include "ipc/OndaraHelperProxy.h"
#include "ipc/PropertyListDBus.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QDateTime>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <limits>

namespace {

// The value with the kind of every element spelled out, so that a qlonglong and
// an int of the same value compare different.
QString shape(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::QVariantList: {
        QStringList items;
        for (const QVariant& item : value.toList()) {
            items.append(shape(item));
        }
        return QLatin1Char('[') + items.join(QLatin1Char(',')) + QLatin1Char(']');
    }
    case QMetaType::QVariantMap: {
        QStringList items;
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            items.append(it.key() + QLatin1Char('=') + shape(it.value()));
        }
        return QLatin1Char('{') + items.join(QLatin1Char(',')) + QLatin1Char('}');
    }
    default:
        return QString::fromLatin1(value.metaType().name()) + QLatin1Char(':') + value.toString();
    }
}

QVariant listOf(const QList<int>& values) {
    QVariantList list;
    for (int v : values) {
        list.append(v);
    }
    return list;
}

QVariant listOf(const QList<double>& values) {
    QVariantList list;
    for (double v : values) {
        list.append(v);
    }
    return list;
}

QDBusMessage callOf(const QString& member, const QVariantList& arguments = {}) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString(OndaraNames::helperServiceName), QString(OndaraNames::helperObjectPath),
        QString(OndaraNames::helperInterface), member);
    call.setArguments(arguments);
    return call;
}

// Waits on the event loop: the agent under test runs in this very thread.
QDBusMessage awaitReply(const QDBusPendingCall& call) {
    QDBusPendingCallWatcher watcher(call);
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
        QDBusMessage reply = message.createReply(answer);
        connection.send(reply);
        return true;
    }
};

} // namespace

class TestHelperIpc : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void queriesRoundTripWithCanonicalKinds_data();
    void queriesRoundTripWithCanonicalKinds();
    void propertyListKindsSurviveTheBus_data();
    void propertyListKindsSurviveTheBus();
    void commandsArrive_data();
    void commandsArrive();
    void readingArraysOfAnySize_data();
    void readingArraysOfAnySize();
    void twoClientsGetTwoServiceObjects();
    void clientLeavingReleasesItsServiceObject();
    void clientLeavingRightAfterACommandLeavesNothingBehind();
    void wrongArgumentTypesGetAnErrorReply_data();
    void wrongArgumentTypesGetAnErrorReply();
    void serviceAnsweringLaterIsDelivered();
    void secondAnswerIsDropped();
    void droppedReplyBecomesAnError();
    void throwingServiceLeavesTheAgentUp();
    void refusedClientGetsAccessDenied();
    void secondListenerFindsTheNameTaken();
    void listenerWithoutBusReportsNoBus();
    void proxyWithoutAgentFailsThenRecovers();
    void silentAgentTimesOutAndLateAnswerIsIgnored();
    void answersOutsideTheContractAreRefused_data();
    void answersOutsideTheContractAreRefused();
    void conversionBoundsDepthAndDropsUnsendableValues();

private:
    // A connection of its own, so calls really cross the bus (calls inside one
    // connection are short-circuited by QtDBus) and it has its own unique name.
    QDBusConnection newClient();
    HelperListener& startAgent();
    // Runs one query through the proxy and gives its reply as a QVariant.
    QVariant query(OndaraHelperProxy& proxy, const QString& method);

    FakeAgentState state;
    std::unique_ptr<FakeHelperDelegate> delegate;
    std::unique_ptr<HelperListener> listener;
    QStringList clientNames;
};

void TestHelperIpc::initTestCase() {
    // Only to let the raw agent send a dictionary the contract does not allow.
    qDBusRegisterMetaType<QMap<QString, QString>>();
}

void TestHelperIpc::init() {
    state = FakeAgentState();
    delegate = std::make_unique<FakeHelperDelegate>(state);
}

void TestHelperIpc::cleanup() {
    listener.reset();
    for (const QString& name : std::as_const(clientNames)) {
        QDBusConnection::disconnectFromBus(name);
    }
    clientNames.clear();
    delegate.reset();
}

QDBusConnection TestHelperIpc::newClient() {
    const QString name = QStringLiteral("client%1").arg(clientNames.size());
    clientNames.append(name);
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
    if (!bus.isConnected()) {
        qFatal("no session bus: run the test through dbus-run-session");
    }
    return bus;
}

HelperListener& TestHelperIpc::startAgent() {
    listener = std::make_unique<HelperListener>(QDBusConnection::sessionBus(), delegate.get());
    if (listener->resume() != HelperListener::ResumeResult::Ok) {
        qFatal("the test agent could not take its name");
    }
    return *listener;
}

QVariant TestHelperIpc::query(OndaraHelperProxy& proxy, const QString& method) {
    QVariant result;
    int calls = 0;
    auto dictionary = [&](const QVariantMap& value) {
        result = value;
        ++calls;
    };
    auto integers = [&](const QList<int>& value) {
        result = listOf(value);
        ++calls;
    };
    if (method == QLatin1String("appVersion")) {
        proxy.appVersion([&](double value) {
            result = value;
            ++calls;
        });
    } else if (method == QLatin1String("tempSensors")) {
        proxy.tempSensors(dictionary);
    } else if (method == QLatin1String("fanSensors")) {
        proxy.fanSensors(dictionary);
    } else if (method == QLatin1String("memSensors")) {
        proxy.memSensors(dictionary);
    } else if (method == QLatin1String("machineSensorList")) {
        proxy.machineSensorList(dictionary);
    } else if (method == QLatin1String("activeTempSensors")) {
        proxy.activeTempSensors(dictionary);
    } else if (method == QLatin1String("activeFanSensors")) {
        proxy.activeFanSensors(dictionary);
    } else if (method == QLatin1String("activeMemSensors")) {
        proxy.activeMemSensors(dictionary);
    } else if (method == QLatin1String("temperatureForSensors")) {
        proxy.temperatureForSensors({0x54433050u, 0xFFFFFFFFu, 0u}, integers);
    } else if (method == QLatin1String("rpmForFans")) {
        proxy.rpmForFans({1, 0, -3}, integers);
    } else if (method == QLatin1String("memoryUsage")) {
        proxy.memoryUsage([&](const QList<double>& value) {
            result = listOf(value);
            ++calls;
        });
    } else if (method == QLatin1String("visibleSections")) {
        proxy.visibleSections(integers);
    } else if (method == QLatin1String("sensorUnits")) {
        proxy.sensorUnits(integers);
    } else {
        qFatal("unknown query %s", qPrintable(method));
    }
    QSignalSpy failed(&proxy, &OndaraHelperProxy::requestFailed);
    if (!QTest::qWaitFor([&] { return calls > 0 || failed.size() > 0; }, 10000)) {
        return {};
    }
    return result;
}

void TestHelperIpc::queriesRoundTripWithCanonicalKinds_data() {
    QTest::addColumn<QString>("method");
    QTest::addColumn<QVariant>("expected");
    QTest::newRow("appVersion") << "appVersion" << QVariant(FakeHelper::appVersionValue());
    QTest::newRow("tempSensors") << "tempSensors" << QVariant(FakeHelper::tempSensorsValue());
    QTest::newRow("fanSensors") << "fanSensors" << QVariant(FakeHelper::fanSensorsValue());
    QTest::newRow("memSensors") << "memSensors" << QVariant(FakeHelper::memSensorsValue());
    QTest::newRow("machineSensorList")
        << "machineSensorList" << QVariant(FakeHelper::machineSensorListValue());
    QTest::newRow("activeTempSensors")
        << "activeTempSensors" << QVariant(FakeHelper::activeTempSensorsValue());
    QTest::newRow("activeFanSensors")
        << "activeFanSensors" << QVariant(FakeHelper::activeFanSensorsValue());
    QTest::newRow("activeMemSensors")
        << "activeMemSensors" << QVariant(FakeHelper::activeMemSensorsValue());
    QTest::newRow("temperatureForSensors")
        << "temperatureForSensors"
        << listOf(QList<int>{FakeHelper::temperatureOf(0x54433050u), 38,
                             FakeHelper::temperatureOf(0)});
    QTest::newRow("rpmForFans") << "rpmForFans"
                                << listOf(QList<int>{1007, 7, FakeHelper::rpmOf(-3)});
    QTest::newRow("memoryUsage") << "memoryUsage" << listOf(FakeHelper::memoryUsageValue());
    QTest::newRow("visibleSections")
        << "visibleSections" << listOf(FakeHelper::visibleSectionsValue());
    QTest::newRow("sensorUnits") << "sensorUnits" << listOf(FakeHelper::sensorUnitsValue());
}

void TestHelperIpc::queriesRoundTripWithCanonicalKinds() {
    QFETCH(QString, method);
    QFETCH(QVariant, expected);
    startAgent();
    OndaraHelperProxy proxy(newClient());
    QSignalSpy failed(&proxy, &OndaraHelperProxy::requestFailed);
    const QVariant received = query(proxy, method);
    QVERIFY2(failed.isEmpty(), failed.isEmpty() ? "" : qPrintable(failed.first().at(1).toString()));
    QCOMPARE(shape(received), shape(expected));
}

void TestHelperIpc::propertyListKindsSurviveTheBus_data() {
    QTest::addColumn<QVariant>("sent");
    QTest::addColumn<QVariant>("expected");
    const qlonglong lowest = std::numeric_limits<qlonglong>::min();
    const qlonglong highest = std::numeric_limits<qlonglong>::max();
    QTest::newRow("integer extremes")
        << QVariant(QVariantList{lowest, highest, qlonglong(0xFFFFFFFFu)})
        << QVariant(QVariantList{lowest, highest, qlonglong(0xFFFFFFFFu)});
    QTest::newRow("Qt integers become qlonglong")
        << QVariant(QVariantList{int(-4), uint(7), QVariant::fromValue(ushort(9))})
        << QVariant(QVariantList{qlonglong(-4), qlonglong(7), qlonglong(9)});
    QTest::newRow("reals, booleans, text, data")
        << QVariant(QVariantList{0.1, false, QStringLiteral("°C ✓"), QByteArray("\0\xff", 2)})
        << QVariant(QVariantList{0.1, false, QStringLiteral("°C ✓"), QByteArray("\0\xff", 2)});
    QTest::newRow("empty containers") << QVariant(QVariantList{QVariantList{}, QVariantMap{}})
                                      << QVariant(QVariantList{QVariantList{}, QVariantMap{}});
    QTest::newRow("deep but legal nesting")
        << QVariant(QVariantList{QVariantList{QVariantList{QVariantMap{{"k", QVariantList{1}}}}}})
        << QVariant(QVariantList{
               QVariantList{QVariantList{QVariantMap{{"k", QVariantList{qlonglong(1)}}}}}});
    QTest::newRow("string list") << QVariant(QStringList{"a", "b"})
                                 << QVariant(
                                        QVariantList{QStringLiteral("a"), QStringLiteral("b")});
    const QDateTime when(QDate(2024, 2, 29), QTime(12, 30, 5), Qt::UTC);
    QTest::newRow("dates travel as text")
        << QVariant(QVariantList{when}) << QVariant(QVariantList{when.toString(Qt::ISODateWithMs)});
}

void TestHelperIpc::propertyListKindsSurviveTheBus() {
    QFETCH(QVariant, sent);
    QFETCH(QVariant, expected);
    state.dictionaryOverride = {{QStringLiteral("value"), sent}};
    startAgent();
    OndaraHelperProxy proxy(newClient());
    const QVariant received = query(proxy, QStringLiteral("tempSensors"));
    QCOMPARE(shape(received.toMap().value(QStringLiteral("value"))), shape(expected));
}

void TestHelperIpc::commandsArrive_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("recorded");
    QTest::newRow("changeStateForSensor") << "changeStateForSensor"
                                          << "changeStateForSensor CPU Temps true";
    QTest::newRow("changeTempUnitToCelsius") << "changeTempUnitToCelsius"
                                             << "changeTempUnitToCelsius false";
    QTest::newRow("changeFanUnitToRPM") << "changeFanUnitToRPM"
                                        << "changeFanUnitToRPM true";
    QTest::newRow("changeVisibilityForSection") << "changeVisibilityForSection"
                                                << "changeVisibilityForSection Fäns false";
    QTest::newRow("changeSensorWithNewSensor") << "changeSensorWithNewSensor"
                                               << "changeSensorWithNewSensor ffffffff HDD";
}

void TestHelperIpc::commandsArrive() {
    QFETCH(QString, command);
    QFETCH(QString, recorded);
    startAgent();
    OndaraHelperProxy proxy(newClient());
    if (command == QLatin1String("changeStateForSensor")) {
        proxy.changeStateForSensor(QStringLiteral("CPU"), QStringLiteral("Temps"), true);
    } else if (command == QLatin1String("changeTempUnitToCelsius")) {
        proxy.changeTempUnitToCelsius(false);
    } else if (command == QLatin1String("changeFanUnitToRPM")) {
        proxy.changeFanUnitToRPM(true);
    } else if (command == QLatin1String("changeVisibilityForSection")) {
        proxy.changeVisibilityForSection(QStringLiteral("Fäns"), false);
    } else {
        proxy.changeSensorWithNewSensor(0xFFFFFFFFu, QStringLiteral("HDD"));
    }
    QTRY_COMPARE(state.commands, QStringList{recorded});
}

void TestHelperIpc::readingArraysOfAnySize_data() {
    QTest::addColumn<int>("count");
    QTest::newRow("empty") << 0;
    QTest::newRow("one") << 1;
    QTest::newRow("100,000") << 100000;
}

void TestHelperIpc::readingArraysOfAnySize() {
    QFETCH(int, count);
    startAgent();
    OndaraHelperProxy proxy(newClient());
    QList<quint32> codes;
    QList<int> fans;
    for (int i = 0; i < count; ++i) {
        codes.append(0xFFFFFFFFu - quint32(i));
        fans.append(i - 5);
    }
    std::optional<QList<int>> temperatures;
    std::optional<QList<int>> speeds;
    proxy.temperatureForSensors(codes, [&](const QList<int>& value) { temperatures = value; });
    proxy.rpmForFans(fans, [&](const QList<int>& value) { speeds = value; });
    QTRY_VERIFY_WITH_TIMEOUT(temperatures && speeds, 20000);
    QCOMPARE(state.receivedCodes, codes);
    QCOMPARE(state.receivedFans, fans);
    QCOMPARE(temperatures->size(), count);
    QCOMPARE(speeds->size(), count);
    if (count > 0) {
        QCOMPARE(temperatures->first(), 38);
        QCOMPARE(temperatures->last(), FakeHelper::temperatureOf(codes.last()));
        QCOMPARE(speeds->last(), FakeHelper::rpmOf(count - 6));
    }
}

void TestHelperIpc::twoClientsGetTwoServiceObjects() {
    HelperListener& agent = startAgent();
    QSignalSpy accepted(&agent, &HelperListener::connectionAccepted);
    QDBusConnection first = newClient();
    QDBusConnection second = newClient();
    OndaraHelperProxy firstProxy(first);
    OndaraHelperProxy secondProxy(second);

    QCOMPARE(query(firstProxy, QStringLiteral("appVersion")), QVariant(1.25));
    QCOMPARE(query(secondProxy, QStringLiteral("sensorUnits")),
             listOf(FakeHelper::sensorUnitsValue()));
    QCOMPARE(query(firstProxy, QStringLiteral("visibleSections")),
             listOf(FakeHelper::visibleSectionsValue()));

    QCOMPARE(state.created, 2);
    QCOMPARE(agent.connectionCount(), 2);
    QCOMPARE(accepted.size(), 2);
    QCOMPARE(accepted.at(0).at(0).toString(), first.baseService());
    QCOMPARE(accepted.at(1).at(0).toString(), second.baseService());
    OndaraHelperProtocol* firstService = agent.serviceForClient(first.baseService());
    QVERIFY(firstService);
    QVERIFY(firstService != agent.serviceForClient(second.baseService()));
}

void TestHelperIpc::clientLeavingReleasesItsServiceObject() {
    HelperListener& agent = startAgent();
    QSignalSpy closed(&agent, &HelperListener::connectionClosed);
    QDBusConnection staying = newClient();
    OndaraHelperProxy stayingProxy(staying);
    QVERIFY(query(stayingProxy, QStringLiteral("appVersion")).isValid());

    const QString leavingName = QStringLiteral("leaving");
    QString leavingUniqueName;
    {
        QDBusConnection leaving =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, leavingName);
        leavingUniqueName = leaving.baseService();
        OndaraHelperProxy leavingProxy(leaving);
        QVERIFY(query(leavingProxy, QStringLiteral("appVersion")).isValid());
        QCOMPARE(agent.connectionCount(), 2);
    }
    QDBusConnection::disconnectFromBus(leavingName);

    QVERIFY(closed.wait(10000));
    QCOMPARE(closed.first().at(0).toString(), leavingUniqueName);
    QCOMPARE(agent.connectionCount(), 1);
    QCOMPARE(state.live, 1);
    QVERIFY(!agent.serviceForClient(leavingUniqueName));
    // The one that stayed is still served by the same object.
    QVERIFY(query(stayingProxy, QStringLiteral("appVersion")).isValid());
    QCOMPARE(state.created, 2);
}

void TestHelperIpc::clientLeavingRightAfterACommandLeavesNothingBehind() {
    HelperListener& agent = startAgent();
    {
        QDBusConnection quick =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("quick"));
        OndaraHelperProxy proxy(quick);
        proxy.changeFanUnitToRPM(false);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("quick"));
    QTRY_COMPARE(state.commands, QStringList{QStringLiteral("changeFanUnitToRPM false")});
    QTRY_COMPARE(agent.connectionCount(), 0);
    QCOMPARE(state.live, 0);
}

void TestHelperIpc::wrongArgumentTypesGetAnErrorReply_data() {
    QTest::addColumn<QString>("member");
    QTest::addColumn<QVariantList>("arguments");
    QTest::newRow("codes as text")
        << "temperatureForSensors" << QVariantList{QStringList{QStringLiteral("TC0P")}};
    QTest::newRow("codes as signed integers")
        << "temperatureForSensors" << QVariantList{QVariant::fromValue(QList<int>{1, 2})};
    QTest::newRow("codes missing") << "temperatureForSensors" << QVariantList{};
    QTest::newRow("fans as one string") << "rpmForFans" << QVariantList{QStringLiteral("0")};
    QTest::newRow("argument to a query without one") << "appVersion" << QVariantList{42};
    QTest::newRow("state missing")
        << "changeStateForSensor" << QVariantList{QStringLiteral("CPU"), QStringLiteral("Temps")};
    QTest::newRow("sensor as text") << "changeSensorWithNewSensor"
                                    << QVariantList{QStringLiteral("TC0P"), QStringLiteral("CPU")};
    QTest::newRow("boolean in a variant")
        << "changeTempUnitToCelsius" << QVariantList{QVariant::fromValue(QDBusVariant(true))};
    QTest::newRow("unknown member") << "selfDestruct" << QVariantList{};
}

void TestHelperIpc::wrongArgumentTypesGetAnErrorReply() {
    QFETCH(QString, member);
    QFETCH(QVariantList, arguments);
    startAgent();
    QDBusConnection client = newClient();
    const QDBusMessage reply = awaitReply(client.asyncCall(callOf(member, arguments)));
    QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
    QVERIFY(reply.errorName().startsWith(QLatin1String("org.freedesktop.DBus.Error.")));
    QVERIFY(state.commands.isEmpty());
    // Still serving, the same client included.
    const QDBusMessage version = awaitReply(client.asyncCall(callOf(QStringLiteral("appVersion"))));
    QCOMPARE(version.type(), QDBusMessage::ReplyMessage);
    QCOMPARE(version.arguments().value(0), QVariant(1.25));
}

void TestHelperIpc::serviceAnsweringLaterIsDelivered() {
    startAgent();
    state.mode = FakeAgentState::Mode::Hold;
    OndaraHelperProxy proxy(newClient());
    std::optional<QVariantMap> sensors;
    std::optional<QList<int>> units;
    proxy.fanSensors([&](const QVariantMap& value) { sensors = value; });
    proxy.sensorUnits([&](const QList<int>& value) { units = value; });
    QTRY_COMPARE(state.held.size(), 2);
    QVERIFY(!sensors && !units);
    state.releaseHeld();
    QTRY_VERIFY(sensors && units);
    QCOMPARE(shape(*sensors), shape(FakeHelper::fanSensorsValue()));
    QCOMPARE(*units, FakeHelper::sensorUnitsValue());
}

void TestHelperIpc::secondAnswerIsDropped() {
    startAgent();
    state.mode = FakeAgentState::Mode::AnswerTwice;
    OndaraHelperProxy proxy(newClient());
    QTest::ignoreMessage(QtWarningMsg,
                         "appVersion answered more than once; the extra answer is dropped");
    int answers = 0;
    proxy.appVersion([&](double) { ++answers; });
    QTRY_COMPARE(answers, 1);
    // A later call's answer comes after any stray second answer would have.
    state.mode = FakeAgentState::Mode::Answer;
    QVERIFY(query(proxy, QStringLiteral("appVersion")).isValid());
    QCOMPARE(answers, 1);
}

void TestHelperIpc::droppedReplyBecomesAnError() {
    startAgent();
    state.mode = FakeAgentState::Mode::Drop;
    OndaraHelperProxy proxy(newClient());
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("^memoryUsage of :.* was never answered$"));
    QSignalSpy failed(&proxy, &OndaraHelperProxy::requestFailed);
    bool answered = false;
    proxy.memoryUsage([&](const QList<double>&) { answered = true; });
    QVERIFY(failed.wait(10000));
    QCOMPARE(failed.first().at(0).toString(), QStringLiteral("memoryUsage"));
    QVERIFY(failed.first().at(1).toString().contains(QLatin1String("Error.Failed")));
    QVERIFY(!answered);
}

void TestHelperIpc::throwingServiceLeavesTheAgentUp() {
    HelperListener& agent = startAgent();
    state.mode = FakeAgentState::Mode::Throw;
    OndaraHelperProxy proxy(newClient());
    QTest::ignoreMessage(QtWarningMsg, "tempSensors failed: the sensor went away");
    QTest::ignoreMessage(QtWarningMsg, "changeSensorWithNewSensor failed: the store is gone");
    QSignalSpy failed(&proxy, &OndaraHelperProxy::requestFailed);
    proxy.tempSensors([](const QVariantMap&) { QFAIL("a throwing service answered"); });
    proxy.changeSensorWithNewSensor(1, QStringLiteral("CPU"));
    QVERIFY(failed.wait(10000));
    QVERIFY(failed.first().at(1).toString().contains(QLatin1String("the sensor went away")));
    state.mode = FakeAgentState::Mode::Answer;
    QCOMPARE(query(proxy, QStringLiteral("appVersion")), QVariant(1.25));
    QCOMPARE(state.commands.size(), 1);
    QCOMPARE(agent.connectionCount(), 1);
}

void TestHelperIpc::refusedClientGetsAccessDenied() {
    HelperListener& agent = startAgent();
    state.refuse = true;
    OndaraHelperProxy proxy(newClient());
    QSignalSpy failed(&proxy, &OndaraHelperProxy::requestFailed);
    proxy.changeTempUnitToCelsius(true);
    proxy.appVersion([](double) { QFAIL("a refused client was answered"); });
    QVERIFY(failed.wait(10000));
    QVERIFY(failed.first().at(1).toString().contains(QLatin1String("AccessDenied")));
    QCOMPARE(agent.connectionCount(), 0);
    QVERIFY(state.commands.isEmpty());
    // Asked again on the next call.
    state.refuse = false;
    QCOMPARE(query(proxy, QStringLiteral("appVersion")), QVariant(1.25));
    QCOMPARE(agent.connectionCount(), 1);
}

void TestHelperIpc::secondListenerFindsTheNameTaken() {
    startAgent();
    FakeAgentState otherState;
    FakeHelperDelegate otherDelegate(otherState);
    HelperListener otherProcess(newClient(), &otherDelegate);
    QCOMPARE(otherProcess.resume(), HelperListener::ResumeResult::NameTaken);
    HelperListener sameConnection(QDBusConnection::sessionBus(), &otherDelegate);
    QCOMPARE(sameConnection.resume(), HelperListener::ResumeResult::NameTaken);
    // The first one keeps serving.
    OndaraHelperProxy proxy(newClient());
    QCOMPARE(query(proxy, QStringLiteral("appVersion")), QVariant(1.25));
    QCOMPARE(otherState.created, 0);
}

void TestHelperIpc::listenerWithoutBusReportsNoBus() {
    const QString name = QStringLiteral("nowhere");
    QDBusConnection nowhere =
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/ondara-bus"), name);
    {
        HelperListener agent(nowhere, delegate.get());
        QCOMPARE(agent.resume(), HelperListener::ResumeResult::NoBus);
    }
    QDBusConnection::disconnectFromBus(name);
}

void TestHelperIpc::proxyWithoutAgentFailsThenRecovers() {
    OndaraHelperProxy proxy(newClient());
    QSignalSpy failed(&proxy, &OndaraHelperProxy::requestFailed);
    QSignalSpy settled(&proxy, &OndaraHelperProxy::requestsSettled);
    int answers = 0;
    proxy.tempSensors([&](const QVariantMap&) { ++answers; });
    proxy.appVersion([&](double) { ++answers; });
    QCOMPARE(proxy.pendingRequests(), 2);
    QVERIFY(settled.wait(10000));
    QCOMPARE(failed.size(), 2);
    QCOMPARE(proxy.pendingRequests(), 0);
    QCOMPARE(failed.first().at(0).toString(), QStringLiteral("tempSensors"));
    QVERIFY(failed.first().at(1).toString().contains(QLatin1String("ServiceUnknown")));
    QCOMPARE(answers, 0);

    startAgent();
    proxy.tempSensors([&](const QVariantMap& value) {
        QCOMPARE(shape(value), shape(FakeHelper::tempSensorsValue()));
        ++answers;
    });
    QTRY_COMPARE(answers, 1);
    QCOMPARE(failed.size(), 2);
}

void TestHelperIpc::silentAgentTimesOutAndLateAnswerIsIgnored() {
    startAgent();
    state.mode = FakeAgentState::Mode::Hold;
    OndaraHelperProxy proxy(newClient());
    proxy.setTimeout(300);
    QCOMPARE(proxy.timeout(), 300);
    QSignalSpy failed(&proxy, &OndaraHelperProxy::requestFailed);
    int answers = 0;
    proxy.activeMemSensors([&](const QVariantMap&) { ++answers; });
    QVERIFY(failed.wait(10000));
    QVERIFY(failed.first().at(1).toString().contains(QLatin1String("NoReply")));

    state.mode = FakeAgentState::Mode::Answer;
    state.releaseHeld();
    QCOMPARE(query(proxy, QStringLiteral("appVersion")), QVariant(1.25));
    QCOMPARE(answers, 0);
}

void TestHelperIpc::answersOutsideTheContractAreRefused_data() {
    QTest::addColumn<QString>("method");
    QTest::addColumn<QVariantList>("answer");
    QTest::addColumn<bool>("accepted");
    QVariant deep = qlonglong(1);
    for (int i = 0; i < PropertyListDBus::maximumDepth + 8; ++i) {
        deep = QVariant::fromValue(QDBusVariant(deep));
    }
    QVariant allowed = qlonglong(1);
    for (int i = 0; i < 8; ++i) {
        allowed = QVariant::fromValue(QDBusVariant(QVariantList{allowed}));
    }
    QTest::newRow("dictionary of strings")
        << "tempSensors"
        << QVariantList{QVariant::fromValue(QMap<QString, QString>{{"CPU", "TC0P"}})} << false;
    QTest::newRow("nothing") << "tempSensors" << QVariantList{} << false;
    QTest::newRow("nested beyond the bound")
        << "tempSensors" << QVariantList{QVariantMap{{"CPU", deep}}} << false;
    QTest::newRow("nested within the bound")
        << "tempSensors" << QVariantList{QVariantMap{{"CPU", allowed}}} << true;
    QTest::newRow("version as text")
        << "appVersion" << QVariantList{QStringLiteral("1.0")} << false;
    QTest::newRow("readings as reals")
        << "temperatureForSensors" << QVariantList{QVariant::fromValue(QList<double>{1.5})}
        << false;
    QTest::newRow("memory as integers")
        << "memoryUsage" << QVariantList{QVariant::fromValue(QList<int>{1})} << false;
}

void TestHelperIpc::answersOutsideTheContractAreRefused() {
    QFETCH(QString, method);
    QFETCH(QVariantList, answer);
    QFETCH(bool, accepted);
    QDBusConnection agentBus = newClient();
    RawAgent raw;
    raw.answer = answer;
    QVERIFY(agentBus.registerVirtualObject(QString(OndaraNames::helperObjectPath), &raw));
    QVERIFY(agentBus.registerService(QString(OndaraNames::helperServiceName)));

    OndaraHelperProxy proxy(newClient());
    QSignalSpy failed(&proxy, &OndaraHelperProxy::requestFailed);
    const QVariant received = query(proxy, method);
    QCOMPARE(received.isValid(), accepted);
    QCOMPARE(failed.isEmpty(), accepted);
    if (accepted) {
        QVariant expected = qlonglong(1);
        for (int i = 0; i < 8; ++i) {
            expected = QVariantList{expected};
        }
        QCOMPARE(shape(received), shape(QVariantMap{{"CPU", expected}}));
    }
    agentBus.unregisterService(QString(OndaraNames::helperServiceName));
    agentBus.unregisterObject(QString(OndaraNames::helperObjectPath));
}

void TestHelperIpc::conversionBoundsDepthAndDropsUnsendableValues() {
    QVariant deep = QVariantList{};
    for (int i = 0; i < PropertyListDBus::maximumDepth + 8; ++i) {
        deep = QVariantList{deep};
    }
    QVERIFY(!PropertyListDBus::fromDBus(deep).isValid());
    // Sending never fails: what cannot travel is left out, the rest goes.
    const QVariant sent = PropertyListDBus::toDBus(QVariantMap{
        {"deep", deep},
        {"object", QVariant::fromValue(static_cast<QObject*>(this))},
        {"kept", QVariantList{1, QVariant::fromValue(static_cast<QObject*>(this)), 2}},
    });
    const QVariantMap map = sent.toMap();
    QVERIFY(!map.contains(QStringLiteral("object")));
    QCOMPARE(shape(map.value(QStringLiteral("kept"))),
             shape(QVariantList{qlonglong(1), qlonglong(2)}));
    QVERIFY(PropertyListDBus::fromDBus(map.value(QStringLiteral("deep"))).isValid());
}

QTEST_GUILESS_MAIN(TestHelperIpc)
#include "tst_helperipc.moc"
