// The real agent against what a long life brings: thousands of calls no
// client should send, and being killed while it writes the selection.

#include "AgentProcess.h"
#include "AgentTestSupport.h"
#include "PropertyList.h"
#include "ipc/DistributedNotificationCenter.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <cmath>
#include <limits>
#include <tuple>

namespace Keys = OndaraNames::Keys;

namespace {

constexpr int callWait = 20000;

QDBusMessage callTo(const QString& interface, const QString& member, const QVariantList& args) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        OndaraNames::helperServiceName, OndaraNames::helperObjectPath, interface, member);
    message.setArguments(args);
    return message;
}

QDBusMessage helperCall(const QString& member, const QVariantList& args = {}) {
    return callTo(OndaraNames::helperInterface, member, args);
}

// Calls with random members, signatures and values, the same ones for a seed.
class RandomCalls {
public:
    explicit RandomCalls(quint32 seed)
        : random(seed) {}

    QDBusMessage next() {
        static const QStringList members{"appVersion",
                                         "tempSensors",
                                         "fanSensors",
                                         "memSensors",
                                         "machineSensorList",
                                         "activeTempSensors",
                                         "activeFanSensors",
                                         "activeMemSensors",
                                         "temperatureForSensors",
                                         "rpmForFans",
                                         "memoryUsage",
                                         "visibleSections",
                                         "sensorUnits",
                                         "changeStateForSensor",
                                         "changeTempUnitToCelsius",
                                         "changeFanUnitToRPM",
                                         "changeVisibilityForSection",
                                         "changeSensorWithNewSensor",
                                         "deleteEverything",
                                         "Introspect",
                                         "Get",
                                         "GetAll",
                                         "Set",
                                         "Ping"};
        static const QStringList interfaces{OndaraNames::helperInterface,
                                            OndaraNames::helperInterface,
                                            OndaraNames::helperInterface,
                                            "org.freedesktop.DBus.Properties",
                                            "org.freedesktop.DBus.Introspectable",
                                            "org.freedesktop.DBus.Peer",
                                            "",
                                            "com.quillbank.Nothing"};
        QVariantList args;
        const int count = int(random.bounded(5));
        for (int i = 0; i < count; ++i) {
            args.append(value(0));
        }
        return callTo(pick(interfaces), pick(members), args);
    }

private:
    QString pick(const QStringList& list) { return list.at(random.bounded(int(list.size()))); }

    QString text() {
        switch (random.bounded(7)) {
        case 0:
            return {};
        case 1:
            return QString(int(random.bounded(200000)), QChar(u'x'));
        case 2:
            return QStringLiteral("Temps");
        case 3:
            return QStringLiteral("CPU");
        case 4:
            return QStringLiteral("Wired");
        case 5:
            return QString::fromUtf8("\xc3\xa9\xe2\x82\xac\xf0\x9f\x94\xa5");
        default:
            return QString::number(random.generate(), 36);
        }
    }

    double number() {
        static const double special[] = {std::numeric_limits<double>::quiet_NaN(),
                                         std::numeric_limits<double>::infinity(),
                                         -std::numeric_limits<double>::infinity(), -0.0, 1e308};
        return random.bounded(3) == 0 ? special[random.bounded(5)] : random.bounded(1e6) - 5e5;
    }

    template <typename T, typename Make> QList<T> listOf(Make make) {
        const int sizes[] = {0, 1, 3, 1000, 100000};
        QList<T> list(sizes[random.bounded(5)]);
        for (T& element : list) {
            element = make();
        }
        return list;
    }

    QVariant value(int depth) {
        switch (random.bounded(depth > 2 ? 9 : 14)) {
        case 0:
            return int(random.generate());
        case 1:
            return random.generate();
        case 2:
            return random.bounded(2) == 1;
        case 3:
            return number();
        case 4:
        case 5:
            return text();
        case 6:
            return QByteArray("\0a\0\xff", 4).repeated(int(random.bounded(1000)));
        case 7:
            return qlonglong(random.generate64());
        case 8:
            return QVariant::fromValue(QDBusObjectPath("/x"));
        case 9:
            return QVariant::fromValue(listOf<uint>([this] { return random.generate(); }));
        case 10:
            return QVariant::fromValue(listOf<int>([this] { return int(random.bounded(40)) - 8; }));
        case 11:
            return QVariant::fromValue(listOf<double>([this] { return number(); }));
        case 12:
            return QVariant::fromValue(QDBusVariant(value(depth + 1)));
        default: {
            QVariantMap map;
            for (int i = int(random.bounded(4)); i > 0; --i) {
                map.insert(text().left(100), value(depth + 1));
            }
            return map;
        }
        }
    }

    QRandomGenerator random;
};

// What the selection commands below can change, as the store holds it.
struct Selection {
    QVariant units, sections, wiredShown;
    friend bool operator==(const Selection&, const Selection&) = default;
};

Selection storedSelection(const QString& file) {
    QFile stored(file);
    if (!stored.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QVariantMap root = PropertyList::parse(stored.readAll()).value_or(QVariant()).toMap();
    return {root.value(Keys::units), root.value(Keys::sections),
            root.value(Keys::memSensors).toMap().value("Wired").toList().value(1)};
}

} // namespace

class AgentRobustnessTest : public QObject {
    Q_OBJECT

    QTemporaryDir configHome;
    QString suiteFile() const {
        return configHome.path() + "/" + OndaraNames::suiteName + ".plist";
    }

private Q_SLOTS:
    void randomCallsLeaveItServing() {
        Agent agent(Agent::demoMachine(), configHome.path());
        QVERIFY(agent.waitUntilServing());
        QDBusConnection bus = QDBusConnection::sessionBus();
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("random calls from seed %u", seed);
        RandomCalls calls(seed);
        constexpr int total = 3000;
        int answered = 0;
        for (int sent = 0; sent < total;) {
            // A window of calls in flight at once, as busy clients send them.
            QList<QDBusPendingCall> window;
            for (int i = 0; i < 50 && sent < total; ++i, ++sent) {
                window.append(bus.asyncCall(calls.next(), callWait));
            }
            for (QDBusPendingCall& call : window) {
                call.waitForFinished();
                answered += call.reply().type() != QDBusMessage::InvalidMessage;
            }
            QVERIFY2(agent.process.state() == QProcess::Running, qPrintable(agent.log()));
        }
        QCOMPARE(answered, total);

        // Every query still answers in the contract's shape.
        for (const auto& [member, args, signature] :
             QList<std::tuple<QString, QVariantList, QString>>{
                 {"appVersion", {}, "d"},
                 {"tempSensors", {}, "a{sv}"},
                 {"fanSensors", {}, "a{sv}"},
                 {"memSensors", {}, "a{sv}"},
                 {"machineSensorList", {}, "a{sv}"},
                 {"activeTempSensors", {}, "a{sv}"},
                 {"activeFanSensors", {}, "a{sv}"},
                 {"activeMemSensors", {}, "a{sv}"},
                 {"temperatureForSensors", {QVariant::fromValue(QList<uint>{0xFFFFFFFFu})}, "ai"},
                 {"rpmForFans", {QVariant::fromValue(QList<int>{0})}, "ai"},
                 {"memoryUsage", {}, "ad"},
                 {"visibleSections", {}, "ai"},
                 {"sensorUnits", {}, "ai"}}) {
            const QDBusMessage reply = bus.call(helperCall(member, args), QDBus::Block, callWait);
            QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
            QCOMPARE(reply.signature(), signature);
        }
        QFile stored(suiteFile());
        QVERIFY(stored.open(QIODevice::ReadOnly));
        const auto parsed = PropertyList::parse(stored.readAll());
        QVERIFY(parsed && PropertyList::isDictionary(*parsed));
        for (const QString key :
             {Keys::tempSensors, Keys::fanSensors, Keys::memSensors, Keys::machineSensors}) {
            QVERIFY2(PropertyList::isDictionary(parsed->toMap().value(key)), qPrintable(key));
        }
    }

    // Selection commands are sent and the agent is killed while it works on
    // them: the store must always parse and hold the selection as it was
    // after some whole number of those commands. ONDARA_KILLS sets how often.
    void killsWhilePersisting() {
        const int kills = qEnvironmentVariableIntValue("ONDARA_KILLS") > 0
                              ? qEnvironmentVariableIntValue("ONDARA_KILLS")
                              : 50;
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("%d kills from seed %u", kills, seed);
        QRandomGenerator random(seed);
        QDBusConnection bus = QDBusConnection::sessionBus();
        const QStringList sections{"Temps", "Fans", "Mem"};
        DistributedNotificationCenter center(bus);
        for (const QString name : {"unitsDidChange", "sectionsDidChange", "memDidChange"}) {
            QVERIFY(center.addObserver(name));
        }

        for (int kill = 0; kill < kills; ++kill) {
            Agent agent(Agent::demoMachine(), configHome.path());
            QVERIFY(agent.waitUntilServing());
            // The first call loads (or, the first time, writes) the store.
            QCOMPARE(bus.call(helperCall("appVersion"), QDBus::Block, callWait).type(),
                     QDBusMessage::ReplyMessage);
            Selection state = storedSelection(suiteFile());
            QVERIFY(state.units.isValid());

            // Each command's effect on the stored selection.
            const auto command = [&] {
                const bool on = random.bounded(2) == 1;
                QVariantList list;
                switch (random.bounded(4)) {
                case 0:
                    list = state.units.toList();
                    list[0] = qlonglong(on ? 0 : 1);
                    state.units = list;
                    return helperCall("changeTempUnitToCelsius", {on});
                case 1:
                    list = state.units.toList();
                    list[1] = qlonglong(on ? 0 : 1);
                    state.units = list;
                    return helperCall("changeFanUnitToRPM", {on});
                case 2: {
                    const int index = int(random.bounded(3));
                    list = state.sections.toList();
                    list[index] = qlonglong(on ? 1 : 0);
                    state.sections = list;
                    return helperCall("changeVisibilityForSection", {sections[index], on});
                }
                default:
                    state.wiredShown = on;
                    return helperCall("changeStateForSensor", {"Wired", "Mem", on});
                }
            };
            // Every announcement counts; the kill comes after a chosen one.
            int announced = 0;
            int killAfter = -1;
            const QMetaObject::Connection counter =
                connect(&center, &DistributedNotificationCenter::notificationReceived, this, [&] {
                    if (++announced == killAfter) {
                        agent.process.kill();
                    }
                });
            const auto disconnectCounter = qScopeGuard([counter] { disconnect(counter); });
            const int before = int(random.bounded(10));
            for (int i = before; i > 0; --i) {
                bus.send(command());
            }
            // Once this answers, every change before it is stored.
            QCOMPARE(bus.call(helperCall("sensorUnits"), QDBus::Block, callWait).type(),
                     QDBusMessage::ReplyMessage);
            QTRY_COMPARE_WITH_TIMEOUT(announced, before, callWait);

            // The kill lands right after the agent announced the stored result
            // of a random one of the changes, while it works on the next ones.
            QList<Selection> possible{state};
            const int changes = 1 + int(random.bounded(20));
            const int announcedBeforeKill = int(random.bounded(changes));
            killAfter = before + announcedBeforeKill;
            for (int i = changes; i > 0; --i) {
                bus.send(command());
                possible.append(state);
            }
            if (announcedBeforeKill == 0) {
                agent.process.kill();
            }
            QTRY_VERIFY_WITH_TIMEOUT(agent.process.state() == QProcess::NotRunning, callWait);
            possible.erase(possible.begin(), possible.begin() + (announced - before));

            QVERIFY2(possible.contains(storedSelection(suiteFile())),
                     qPrintable(QString("kill %1").arg(kill)));
        }
    }
};

QTEST_GUILESS_MAIN(AgentRobustnessTest)
#include "tst_agentrobustness.moc"
