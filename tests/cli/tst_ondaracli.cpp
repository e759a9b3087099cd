#include "FakeHelper.h"
#include "OndaraVersion.h"
#include "ReadingsCollector.h"
#include "ReadingsReport.h"
#include "ipc/HelperListener.h"
#include "ipc/OndaraHelperProxy.h"

#include <QDBusConnection>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

namespace {

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

} // namespace

// The terminal client against a fake agent served from this process on the
// test's private bus.
class TestOndaraCli : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void collectorGathersWhatTheReportShows();
    void collectorFailsOnceWhenTheAgentIsAbsent();
    void collectorGivesUpOnASilentAgent();
    void cliPrintsTheShownReadings_data();
    void cliPrintsTheShownReadings();
    void cliWithoutAgentFailsWithOneLine();
    void cliWatchRepeats();
    void cliRejectsABadWatchInterval();
    void cliPrintsItsVersion();

private:
    void startAgent();
    // Runs ondara-cli while this thread keeps serving the fake agent.
    CliRun runCli(const QStringList& arguments);
    ReadingsSnapshot collect(bool includeCandidates);

    FakeAgentState state;
    std::unique_ptr<FakeHelperDelegate> delegate;
    std::unique_ptr<HelperListener> listener;
    int clientCount = 0;
};

void TestOndaraCli::init() {
    state = FakeAgentState();
    delegate = std::make_unique<FakeHelperDelegate>(state);
}

void TestOndaraCli::cleanup() {
    listener.reset();
    delegate.reset();
}

void TestOndaraCli::startAgent() {
    listener = std::make_unique<HelperListener>(QDBusConnection::sessionBus(), delegate.get());
    QCOMPARE(listener->resume(), HelperListener::ResumeResult::Ok);
}

CliRun TestOndaraCli::runCli(const QStringList& arguments) {
    QProcess cli;
    QSignalSpy finished(&cli, &QProcess::finished);
    cli.start(QStringLiteral(ONDARA_CLI_PATH), arguments);
    CliRun run;
    if (!cli.waitForStarted() || !finished.wait(30000)) {
        cli.kill();
        cli.waitForFinished();
        return run;
    }
    run.exitCode = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    run.out = QString::fromUtf8(cli.readAllStandardOutput());
    run.err = QString::fromUtf8(cli.readAllStandardError());
    return run;
}

ReadingsSnapshot TestOndaraCli::collect(bool includeCandidates) {
    const QString name = QStringLiteral("collector%1").arg(clientCount++);
    std::optional<ReadingsSnapshot> snapshot;
    {
        OndaraHelperProxy proxy(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name));
        ReadingsCollector collector(&proxy, includeCandidates);
        connect(&collector, &ReadingsCollector::finished,
                [&](const ReadingsSnapshot& value) { snapshot = value; });
        collector.collect(10000);
        if (!QTest::qWaitFor([&] { return snapshot.has_value(); }, 10000)) {
            qFatal("the collector did not finish");
        }
    }
    QDBusConnection::disconnectFromBus(name);
    return *snapshot;
}

void TestOndaraCli::collectorGathersWhatTheReportShows() {
    startAgent();
    const ReadingsSnapshot snapshot = collect(true);
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

void TestOndaraCli::collectorFailsOnceWhenTheAgentIsAbsent() {
    QDBusConnection bus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("absent"));
    {
        OndaraHelperProxy proxy(bus);
        ReadingsCollector collector(&proxy, false);
        connect(&proxy, &OndaraHelperProxy::requestFailed, &collector,
                [&collector](const QString&, const QString& error) { collector.abort(error); });
        QSignalSpy failed(&collector, &ReadingsCollector::failed);
        QSignalSpy finished(&collector, &ReadingsCollector::finished);
        collector.collect(10000);
        QVERIFY(failed.wait(10000));
        // The other three requests fail too; the round still ends only once. A
        // round trip of the same bus shows every failure has been handled.
        QSignalSpy proxyFailed(&proxy, &OndaraHelperProxy::requestFailed);
        proxy.appVersion([](double) {});
        QVERIFY(proxyFailed.wait(10000));
        QCOMPARE(failed.size(), 1);
        QCOMPARE(finished.size(), 0);
        QVERIFY(failed.first().at(0).toString().contains(QLatin1String("ServiceUnknown")));
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("absent"));
}

void TestOndaraCli::collectorGivesUpOnASilentAgent() {
    startAgent();
    state.mode = FakeAgentState::Mode::Hold;
    QDBusConnection bus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("patient"));
    {
        OndaraHelperProxy proxy(bus);
        ReadingsCollector collector(&proxy, false);
        QSignalSpy failed(&collector, &ReadingsCollector::failed);
        collector.collect(200);
        QVERIFY(failed.wait(10000));
        QCOMPARE(failed.first().at(0).toString(),
                 QStringLiteral("the agent did not answer in time"));
        // Late answers of the abandoned round change nothing.
        QSignalSpy finished(&collector, &ReadingsCollector::finished);
        state.releaseHeld();
        state.mode = FakeAgentState::Mode::Answer;
        collector.collect(10000);
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.size(), 1);
        QCOMPARE(failed.size(), 1);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("patient"));
}

void TestOndaraCli::cliPrintsTheShownReadings_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("all");
    QTest::addColumn<bool>("json");
    QTest::newRow("text") << QStringList{} << false << false;
    QTest::newRow("text with candidates") << QStringList{"--all"} << true << false;
    QTest::newRow("json") << QStringList{"--json"} << false << true;
    QTest::newRow("json with candidates") << QStringList{"--json", "--all"} << true << true;
}

void TestOndaraCli::cliPrintsTheShownReadings() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, all);
    QFETCH(bool, json);
    startAgent();
    const ReadingsReport expected(collect(all), all);

    const CliRun run = runCli(arguments);
    QCOMPARE(run.err, QString());
    QCOMPARE(run.exitCode, 0);
    if (json) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(run.out.toUtf8(), &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(document.object(), expected.json());
    } else {
        QCOMPARE(run.out, expected.text());
        // The fake's units are Fahrenheit and RPM.
        QVERIFY(run.out.contains(QStringLiteral(" °F\n")));
        QVERIFY(run.out.contains(QStringLiteral(" RPM\n")));
    }
    // The cli's connection left the bus, and its service object with it.
    QTRY_COMPARE(state.live, 0);
}

void TestOndaraCli::cliWithoutAgentFailsWithOneLine() {
    const CliRun run = runCli({});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.out, QString());
    QVERIFY2(run.err.startsWith(QLatin1String("ondara-cli: cannot reach the Ondara agent: ")),
             qPrintable(run.err));
    QVERIFY2(run.err.count(QLatin1Char('\n')) == 1, qPrintable(run.err));
    QVERIFY(run.err.endsWith(QLatin1Char('\n')));
}

void TestOndaraCli::cliWatchRepeats() {
    startAgent();
    QProcess cli;
    cli.start(QStringLiteral(ONDARA_CLI_PATH),
              {QStringLiteral("--watch"), QStringLiteral("0.05"), QStringLiteral("--json")});
    QVERIFY(cli.waitForStarted());
    QByteArray output;
    // Three rounds, one JSON document per line.
    QTRY_VERIFY_WITH_TIMEOUT((output += cli.readAllStandardOutput()).count('\n') >= 3, 20000);
    cli.kill();
    cli.waitForFinished();
    const QList<QByteArray> lines = output.split('\n');
    for (int i = 0; i < 3; ++i) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(lines.at(i), &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        QVERIFY(document.object().contains(QLatin1String("temperatures")));
    }
}

void TestOndaraCli::cliRejectsABadWatchInterval() {
    for (const QString& interval :
         {QStringLiteral("0"), QStringLiteral("-1"), QStringLiteral("x")}) {
        const CliRun run = runCli({QStringLiteral("--watch"), interval});
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.err.startsWith(QLatin1String("ondara-cli: --watch")));
    }
}

void TestOndaraCli::cliPrintsItsVersion() {
    const CliRun run = runCli({QStringLiteral("--version")});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QStringLiteral("ondara-cli " ONDARA_VERSION_TEXT "\n"));
}

QTEST_GUILESS_MAIN(TestOndaraCli)
#include "tst_ondaracli.moc"
