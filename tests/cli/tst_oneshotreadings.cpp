// ondara-cli's one-shot path and the Qt-based client side by side: an agent
// scripted message by message on the test's private bus answers both, and
// what they print, to which stream, with which status, must be the same to
// the byte, for answers as the agent gives them and for answers no agent of
// ours would give.

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <limits>

namespace {

using Answers = QVariantMap; // member → its reply's arguments (a QVariantList), or "error"

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

QVariantList entry(const QVariantList& fields) {
    return fields;
}

Answers agentAnswers() {
    const auto code = [](const char* key) {
        return qlonglong(quint32(key[0]) << 24 | quint32(key[1]) << 16 | quint32(key[2]) << 8 |
                         quint32(key[3]));
    };
    return {
        {"tempSensors", QVariantList{QVariantMap{
                            {"CPU", entry({"CPU Core", code("TC0D"), 1LL, true})},
                            {"GPU", entry({"GPU Die", code("TG0D"), 2LL, false})},
                            {"HDD", entry({"Drive", 0xFFFFFFFFLL, 0LL, 1LL})},
                        }}},
        {"fanSensors", QVariantList{QVariantMap{{"0", entry({"Exhaust", 6000LL, true})},
                                                {"1", entry({"Intake", 5000LL, false})}}}},
        {"memSensors", QVariantList{QVariantMap{{"Total", entry({0LL, true})},
                                                {"Used", entry({1LL, true})},
                                                {"Free", entry({2LL, false})}}}},
        {"sensorUnits", QVariantList{QVariant::fromValue(QList<int>{0, 0})}},
        {"temperatureForSensors", QVariantList{QVariant::fromValue(QList<int>{41, 58})}},
        {"rpmForFans", QVariantList{QVariant::fromValue(QList<int>{2150})}},
        {"memoryUsage", QVariantList{QVariant::fromValue(QList<double>{16, 9.625, 6.375})}},
    };
}

// The agent's object: every call answered from the table, as it stands.
class ScriptedAgent : public QDBusVirtualObject {
public:
    Answers answers;
    QSet<QString> callers; // the connections that asked for readings

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        callers.insert(message.service());
        const QVariant answer = answers.value(message.member());
        if (answer == QStringLiteral("silent")) {
            return true;
        }
        connection.send(answer == QStringLiteral("error")
                            ? message.createErrorReply(QStringLiteral("org.example.Broken"),
                                                       QStringLiteral("broken on purpose"))
                            : message.createReply(answer.toList()));
        return true;
    }
};

QVariant structure(const QVariantList& fields) {
    QDBusArgument argument;
    argument.beginStructure();
    for (const QVariant& field : fields) {
        argument << QDBusVariant(field);
    }
    argument.endStructure();
    return QVariant::fromValue(argument);
}

QVariantList nested(int levels) {
    QVariantList value{1LL};
    for (int i = 0; i < levels; ++i) {
        value = QVariantList{value};
    }
    return value;
}

QVariantList dictionary(const QVariantMap& map) {
    return {map};
}

} // namespace

class TestOneShotReadings : public QObject {
    Q_OBJECT

    ScriptedAgent agent;

    // Status, standard output and standard error of one program.
    QStringList run(const QString& program, const QStringList& arguments) {
        QProcess process;
        QSignalSpy finished(&process, &QProcess::finished);
        process.start(program, arguments);
        if (!finished.wait(30000) || process.exitStatus() != QProcess::NormalExit) {
            return {"crashed or hung"};
        }
        return {QString::number(process.exitCode()), process.readAllStandardOutput(),
                process.readAllStandardError()};
    }

private Q_SLOTS:
    void initTestCase() {
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.registerVirtualObject("/com/quillbank/OndaraHelper", &agent));
        QVERIFY(bus.registerService("com.quillbank.OndaraHelper"));
    }

    void bothPrintTheSame_data() {
        QTest::addColumn<Answers>("changes");
        QTest::addColumn<bool>("oneShot"); // the small program does it alone

        const auto temperatures = [](const QVariantMap& map) {
            return Answers{{"tempSensors", dictionary(map)}};
        };
        const auto memory = [](const QList<double>& figures) {
            return Answers{{"memSensors", dictionary({{"A", entry({0LL, true})},
                                                      {"B", entry({1LL, true})},
                                                      {"C", entry({2LL, true})},
                                                      {"D", entry({3LL, true})},
                                                      {"E", entry({-1LL, true})},
                                                      {"F", entry({9LL, true})}})},
                           {"memoryUsage", QVariantList{QVariant::fromValue(figures)}}};
        };
        QTest::newRow("as the agent answers") << Answers{} << true;
        QTest::newRow("names beyond ASCII and controls")
            << temperatures({{"CPU", entry({"Prozessor °", 0x54433044LL, 1LL, true})},
                             {"GPU", entry({"🔥 中央", 1LL, 1LL, true})},
                             {"HDD", entry({"a\x1b[2Jb\r\xc2\x9b", 2LL, 3LL, true})},
                             {"MEM", entry({QString(300, 'x'), 3LL, 0LL, true})},
                             {"é", entry({"%1 %2 \"quoted\" \\", 4LL, 1LL, true})},
                             {"😀", entry({"", 5LL, 1LL, true})},
                             {"\uFFFD", entry({"replacement", 6LL, 1LL, true})}})
            << true;
        QTest::newRow("fields of other types")
            << temperatures({{"CPU", entry({42LL, QVariant::fromValue(uint(7)), 1LL, 2.5})},
                             {"GPU", entry({QByteArray("raw"), 8LL, qulonglong(2), notANumber})},
                             {"HDD", entry({"real code", 9.0, 1LL, true})},
                             {"LOW", entry({"negative", -1LL, 1LL, true})},
                             {"BIG", entry({"wide", 0x100000000LL, 1LL, true})},
                             {"POS", entry({"real position", 10LL, 1.0, true})},
                             {"OFF", entry({"flag text", 11LL, 0LL, "1"})},
                             {"SHORT", entry({"three", 12LL, 0LL})},
                             {"PATH", entry({QVariant::fromValue(QDBusObjectPath("/a")),
                                             QVariant::fromValue(uchar(13)), 0LL, 0.0})},
                             {"NOT", QVariant("no array")},
                             {"STRUCT", structure({"in a structure", 14LL, 4LL, true})}})
            << true;
        QTest::newRow("fan keys and maximum speeds")
            << Answers{{"fanSensors",
                        dictionary({{"01", entry({"zero one", 1e300, true})},
                                    {"1", entry({"one", -5.7, true})},
                                    {"000000002", entry({"two", notANumber, true})},
                                    {"1234567890", entry({"too long", 1LL, true})},
                                    {"-3", entry({"negative", 1LL, true})},
                                    {"x", entry({"letter", 1LL, true})},
                                    {"4", entry({"fast", "fast", 1LL})},
                                    {"5", entry({"limits", qlonglong(1) << 40, 3LL})}})},
                       {"rpmForFans",
                        QVariantList{QVariant::fromValue(QList<int>{7, 8, 9, 10, 11})}}}
            << true;
        QTest::newRow("memory figures no number and halves")
            << memory({notANumber, infinity, -infinity, -0.001, 0.125, 0.375, 2.675, 1e300})
            << true;
        QTest::newRow("memory figures large and negative")
            << memory({12345.005, -0.125, -0.0, 1e21, 1099511627776.0, 5e-324}) << true;
        QTest::newRow("fahrenheit and percent at int's ends")
            << Answers{{"sensorUnits", QVariantList{QVariant::fromValue(QList<int>{5, 1})}},
                       {"fanSensors", dictionary({{"0", entry({"one", 1LL, true})},
                                                  {"1", entry({"none", 0LL, true})}})},
                       {"temperatureForSensors",
                        QVariantList{QVariant::fromValue(QList<int>{
                            std::numeric_limits<int>::max(), std::numeric_limits<int>::min()})}},
                       {"rpmForFans", QVariantList{QVariant::fromValue(
                                          QList<int>{std::numeric_limits<int>::max(), -3})}}}
            << true;
        QTest::newRow("fewer and more readings than asked")
            << Answers{{"sensorUnits", QVariantList{QVariant::fromValue(QList<int>{})}},
                       {"temperatureForSensors", QVariantList{QVariant::fromValue(QList<int>{})}},
                       {"rpmForFans", QVariantList{QVariant::fromValue(QList<int>{1, 2, 3})}},
                       {"memoryUsage", QVariantList{QVariant::fromValue(QList<double>{1})}}}
            << true;
        QTest::newRow("nothing shown") << Answers{{"tempSensors", dictionary({})},
                                                  {"fanSensors", dictionary({})},
                                                  {"memSensors", dictionary({})}}
                                       << true;
        QTest::newRow("nested deeper than the layouts")
            << temperatures({{"CPU", entry({"deep", 1LL, 1LL, nested(20)})}}) << false;
        QTest::newRow("a dictionary of another signature")
            << Answers{{"fanSensors", QVariantList{QStringList{"0"}}}} << false;
        QTest::newRow("units of another signature")
            << Answers{{"sensorUnits", QVariantList{QVariant::fromValue(QList<uint>{1, 0})}}}
            << false;
        QTest::newRow("an error reply") << Answers{{"memSensors", "error"}} << false;
        QTest::newRow("an error reply to a reading") << Answers{{"rpmForFans", "error"}} << false;
        QTest::newRow("a silent agent") << Answers{{"memoryUsage", "silent"}} << true;
    }
    void bothPrintTheSame() {
        QFETCH(Answers, changes);
        QFETCH(bool, oneShot);
        agent.answers = agentAnswers();
        agent.answers.insert(changes);
        // A silent agent costs each program its whole wait: once is enough.
        const bool silent = changes.values().contains(QStringLiteral("silent"));
        for (const QStringList& arguments : {QStringList{}, QStringList{"--json"}}) {
            if (silent && !arguments.isEmpty()) {
                break;
            }
            agent.callers.clear();
            const QStringList small = run(ONDARA_CLI_PATH, arguments);
            QCOMPARE(agent.callers.size(), oneShot ? 1 : 2);
            agent.callers.clear();
            const QStringList full = run(ONDARA_FULL_CLI_PATH, arguments);
            QCOMPARE(small, full);
            if (qEnvironmentVariableIsSet("ONDARA_SHOW_OUTPUT")) {
                qInfo().noquote() << small.join("|");
            }
            QVERIFY(!small.value(1).isEmpty() || !small.value(2).isEmpty());
        }
    }

    // Options other than the readings' reach the Qt-based client unchanged.
    void otherOptionsAreHandedOver_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("version") << QStringList{"--version"};
        QTest::newRow("help") << QStringList{"--help"};
        QTest::newRow("an unknown option") << QStringList{"--jsn"};
        QTest::newRow("json twice") << QStringList{"--json", "--json"};
        QTest::newRow("metrics") << QStringList{"--openmetrics"};
    }
    void otherOptionsAreHandedOver() {
        QFETCH(QStringList, arguments);
        agent.answers = agentAnswers();
        QStringList full = run(ONDARA_FULL_CLI_PATH, arguments);
        // The help names the program as it was started.
        full[1].replace(QStringLiteral(ONDARA_FULL_CLI_PATH), QStringLiteral(ONDARA_CLI_PATH));
        QCOMPARE(run(ONDARA_CLI_PATH, arguments), full);
    }
};

QTEST_GUILESS_MAIN(TestOneShotReadings)
#include "tst_oneshotreadings.moc"
