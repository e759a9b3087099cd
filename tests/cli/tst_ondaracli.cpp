// The terminal client and its collector against a fake agent served from this
// process on the test's private bus.

#include "FakeHelper.h"
#include "OndaraVersion.h"
#include "ReadingsCollector.h"
#include "ReadingsReport.h"
#include "ipc/HelperHistoryService.h"
#include "ipc/HelperListener.h"
#include "ipc/OndaraHelperProxy.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

namespace {

// A history of two readings of the CPU's sensor, a minute ago and now, and
// one raised rule.
class FakeHistory : public HelperHistoryService {
public:
    qint64 askedSpan = 0;

    QStringList series() override { return {"temp:TC0P"}; }
    Result<QList<HistoryBucket>> samples(const QString& series, qint64 since, qint64 until,
                                         quint32) override {
        if (series != "temp:TC0P") {
            return Result<QList<HistoryBucket>>::failure("No series \"" + series +
                                                         "\" is recorded");
        }
        askedSpan = until - since;
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        return QList<HistoryBucket>{{now - 60000, 50, 50, 50}, {now, 60.5, 55, 70}};
    }
    quint32 interval() override { return 5; }
    QList<AlertRule> rules() override {
        AlertRule cpu{"temp:TC0P", 90, 80, 30, true};
        cpu.raised = true;
        cpu.raisedValue = 95;
        return {cpu, {"fan:0:stopped", 0, 0, 30, false}};
    }
    Status setRule(const AlertRule&) override { return succeeded(); }
    Status removeRule(const QString&) override { return succeeded(); }
};

} // namespace

class TestOndaraCli : public QObject {
    Q_OBJECT

    FakeAgentState state;
    FakeHistory history;
    FakeHelperDelegate delegate{state};
    std::unique_ptr<HelperListener> listener;
    std::unique_ptr<OndaraHelperProxy> proxy;
    std::unique_ptr<ReadingsCollector> collector;

    // An agent that tells what stands behind its keys, or one from before it did.
    void startAgent(bool withSources = false) {
        listener = std::make_unique<HelperListener>(QDBusConnection::sessionBus(), &delegate);
        listener->setHistoryService(&history);
        if (withSources) {
            listener->setSensorSources([] {
                return SensorSources{
                    {"TC0P",
                     {"hwmon", "k10temp", "/devices/pci0000:00/0000:00:18.3", "temp1", "Tctl", {}}},
                    {"fan:0", {"hwmon", "thinkpad", "", "fan1", "", {}}}};
            });
        }
        QCOMPARE(listener->resume(), HelperListener::ResumeResult::Ok);
    }
    // A collector on a bus connection of its own.
    void makeCollector(ReadingsReport::Scope scope) {
        proxy = std::make_unique<OndaraHelperProxy>(
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, "collector"));
        collector = std::make_unique<ReadingsCollector>(
            proxy.get(), scope,
            [this](ReadingsCollector::SourcesReply reply) { proxy->sensorSources(reply); });
    }
    void dropCollector() {
        collector.reset();
        proxy.reset();
        QDBusConnection::disconnectFromBus("collector");
    }
    ReadingsSnapshot collect(ReadingsReport::Scope scope) {
        makeCollector(scope);
        QSignalSpy finished(collector.get(), &ReadingsCollector::finished);
        collector->collect(10000);
        const bool collected = finished.wait(10000);
        dropCollector();
        return collected ? finished.first().first().value<ReadingsSnapshot>() : ReadingsSnapshot();
    }
    // Exit code, standard output and standard error of ondara-cli, run while
    // this thread goes on serving the fake agent.
    QStringList runCli(const QStringList& arguments) {
        QProcess cli;
        QSignalSpy finished(&cli, &QProcess::finished);
        cli.start(ONDARA_CLI_PATH, arguments);
        if (!finished.wait(30000) || cli.exitStatus() != QProcess::NormalExit) {
            return {"crashed or hung"};
        }
        return {QString::number(cli.exitCode()), cli.readAllStandardOutput(),
                cli.readAllStandardError()};
    }

private Q_SLOTS:
    void init() { state = FakeAgentState(); }
    void cleanup() {
        dropCollector();
        listener.reset();
    }

    void collectorGathersWhatTheReportShows() {
        startAgent();
        const ReadingsSnapshot snapshot = collect(ReadingsReport::Scope::candidates);
        QCOMPARE(snapshot.tempSensors, FakeHelper::tempSensorsValue());
        QCOMPARE(snapshot.machineSensors, FakeHelper::machineSensorListValue());
        QCOMPARE(snapshot.units, FakeHelper::sensorUnitsValue());
        QCOMPARE(snapshot.memory, FakeHelper::memoryUsageValue());
        // Shown components in display order, then the remaining candidates.
        QCOMPARE(state.receivedCodes, (QList<quint32>{0x54433050u, 0x54433044u, 0xFFFFFFFFu}));
        QCOMPARE(snapshot.temperatures.value(0x54433044u), FakeHelper::temperatureOf(0x54433044u));
        QCOMPARE(state.receivedFans, QList<int>{0});
        QCOMPARE(snapshot.fanSpeeds, (QHash<int, int>{{0, FakeHelper::rpmOf(0)}}));
    }

    void collectorGivesUpOnASilentAgent() {
        startAgent();
        state.mode = FakeAgentState::Mode::Hold;
        makeCollector(ReadingsReport::Scope::shown);
        QSignalSpy failed(collector.get(), &ReadingsCollector::failed);
        QSignalSpy finished(collector.get(), &ReadingsCollector::finished);
        collector->collect(200);
        QVERIFY(failed.wait(10000));
        QCOMPARE(failed.first().first().toString(), "the agent did not answer in time");
        // Late answers of the abandoned round change nothing.
        state.releaseHeld();
        state.mode = FakeAgentState::Mode::Answer;
        collector->collect(10000);
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.size(), 1);
        QCOMPARE(failed.size(), 1);
    }

    void cliPrintsTheShownReadings_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("sources");  // the agent has com.quillbank.OndaraHelper.Sources1
        QTest::addColumn<QString>("shows"); // a part of the text
        QTest::newRow("text") << QStringList{} << true << "CPU:";
        QTest::newRow("text with candidates")
            << QStringList{"--all"} << true << "[k10temp (0000:00:18.3) temp1 \"Tctl\"]";
        QTest::newRow("text with candidates, older agent")
            << QStringList{"--all"} << false << "The agent does not tell what stands behind";
        QTest::newRow("json") << QStringList{"--json"} << true << "\"temperatures\"";
        QTest::newRow("json with candidates")
            << QStringList{"--json", "--all"} << true << "\"source\": \"thinkpad fan1\"";
        QTest::newRow("json with candidates, older agent")
            << QStringList{"--json", "--all"} << false << "\"sourcesKnown\": false";
    }
    void cliPrintsTheShownReadings() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, sources);
        QFETCH(QString, shows);
        startAgent(sources);
        const auto scope = arguments.contains("--all") ? ReadingsReport::Scope::candidates
                                                       : ReadingsReport::Scope::shown;
        const ReadingsReport expected(collect(scope), scope);
        const QStringList run = runCli(arguments);
        QCOMPARE(run.mid(0, 1) + run.mid(2), QStringList({"0", ""}));
        QVERIFY2(run.value(1).contains(shows), qPrintable(run.value(1)));
        if (arguments.contains("--json")) {
            QCOMPARE(QJsonDocument::fromJson(run.value(1).toUtf8()).object(), expected.json());
        } else {
            QCOMPARE(run.value(1), expected.text());
        }
        // The cli's connection left the bus, and its service object with it.
        QTRY_COMPARE(state.live, 0);
    }

    void cliWatchRepeats() {
        startAgent();
        QProcess cli;
        cli.start(ONDARA_CLI_PATH, {"--watch", "0.05", "--json"});
        QByteArray output;
        // Three rounds, one JSON document per line.
        QTRY_VERIFY_WITH_TIMEOUT((output += cli.readAllStandardOutput()).count('\n') >= 3, 20000);
        cli.kill();
        cli.waitForFinished();
        for (const QByteArray& line : output.split('\n').mid(0, 3)) {
            QVERIFY(QJsonDocument::fromJson(line).object().contains("temperatures"));
        }
    }

    // The user's units (here Fahrenheit) and names; what was asked.
    void cliPrintsTheHistoryAndTheAlerts_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("lines"); // parts of the lines of the output, in order
        QTest::newRow("text, by component") << QStringList{"--history", "CPU", "--since", "15m"}
                                            << QStringList{"CPU (temp:TC0P), a reading every 5 s",
                                                           "  122 °F", "  141 °F  (131 to 158)"};
        QTest::newRow("csv") << QStringList{"--history", "temp:TC0P", "--csv"}
                             << QStringList{"time,ms,unit,mean,min,max", "Z,", "Z,"};
        QTest::newRow("alerts")
            << QStringList{"--alerts"}
            << QStringList{"Alert rules",
                           "  on   CPU (temp:TC0P): above 194 °F for 30 s, clears below 176 °F",
                           "  off  Left Fan (fan:0:stopped): stands for 30 s",
                           "",
                           "Raised now",
                           "  CPU (temp:TC0P) at 203 °F"};
    }
    void cliPrintsTheHistoryAndTheAlerts() {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, lines);
        startAgent();
        const QStringList run = runCli(arguments);
        QCOMPARE(run.value(0), "0");
        QCOMPARE(run.value(2), "");
        const QStringList printed = run.value(1).split('\n');
        QCOMPARE(printed.size(), lines.size() + 1);
        for (qsizetype i = 0; i < lines.size(); ++i) {
            QVERIFY2(printed[i].contains(lines[i]), qPrintable(printed[i]));
        }
        if (arguments.contains("--since")) {
            QCOMPARE(history.askedSpan, 15 * 60 * 1000);
        }
        if (arguments.contains("--csv")) {
            QVERIFY(printed[1].endsWith(",°F,122,122,122"));
            QVERIFY(printed[2].endsWith(",°F,140.9,131,158"));
        }
    }

    void cliPrintsTheHistoryAsJson() {
        startAgent();
        const QStringList run = runCli({"--history", "temp:TC0P", "--json"});
        QCOMPARE(run.value(0), "0");
        const QJsonObject report = QJsonDocument::fromJson(run.value(1).toUtf8()).object();
        QCOMPARE(report["name"].toString(), "CPU");
        QCOMPARE(report["unit"].toString(), "°F");
        QCOMPARE(report["interval"].toInt(), 5);
        const QJsonObject last = report["samples"].toArray().last().toObject();
        QCOMPARE(last["mean"].toDouble(), 140.9);
        QCOMPARE(last["max"].toDouble(), 158.0);
        QVERIFY(last["time"].toString().endsWith('Z'));
        QCOMPARE(history.askedSpan, 60 * 60 * 1000);
    }

    // A failure is one line on standard error and nothing on standard output
    // (without an agent, every request of the round fails, yet one line).
    void cliOutcomes_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("expected"); // exit code, output, start of the error
        QTest::newRow("no agent") << QStringList{}
                                  << QStringList{"1", "",
                                                 "ondara-cli: cannot reach the Ondara agent: "};
        QTest::newRow("bad watch interval")
            << QStringList{"--watch", "0"} << QStringList{"2", "", "ondara-cli: --watch"};
        QTest::newRow("no such series")
            << QStringList{"--history", "fan:7"}
            << QStringList{"1", "", "ondara-cli: No series \"fan:7\" is recorded"};
        QTest::newRow("not a duration") << QStringList{"--history", "CPU", "--since", "1w"}
                                        << QStringList{"2", "", "ondara-cli: --since"};
        QTest::newRow("no time at all") << QStringList{"--history", "CPU", "--since", "0m"}
                                        << QStringList{"2", "", "ondara-cli: --since"};
        QTest::newRow("csv without a history")
            << QStringList{"--csv"} << QStringList{"2", "", "ondara-cli: --since and --csv"};
        QTest::newRow("alerts as csv") << QStringList{"--alerts", "--csv"}
                                       << QStringList{"2", "", "ondara-cli: --history goes"};
        QTest::newRow("version") << QStringList{"--version"}
                                 << QStringList{"0", "ondara-cli " ONDARA_VERSION_TEXT "\n", ""};
    }
    void cliOutcomes() {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, expected);
        if (arguments.contains("fan:7")) {
            startAgent();
        }
        const QStringList run = runCli(arguments);
        QCOMPARE(run.value(2).count('\n'), expected[2].isEmpty() ? 0 : 1);
        QCOMPARE(QStringList({run.value(0), run.value(1), run.value(2).left(expected[2].size())}),
                 expected);
    }
};

QTEST_GUILESS_MAIN(TestOndaraCli)
#include "tst_ondaracli.moc"
