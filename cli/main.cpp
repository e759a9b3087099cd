#include "HistoryCollector.h"
#include "OndaraVersion.h"
#include "ReadingsCollector.h"
#include "ReadingsReport.h"
#include "TerminalText.h"
#include "ipc/OndaraHelperProxy.h"
#include "ipc/OndaraHistoryProxy.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QJsonDocument>
#include <QTimer>
#include <cstdio>

namespace {

// How long the agent may take to answer one round.
constexpr int answerTimeoutMs = 5000;
// Each call may wait a little longer than the round, so a silent agent is
// always told by the round's deadline, in the same words whichever call was
// waiting and however late the bus's thread hears of its timeout.
constexpr int callTimeoutMs = answerTimeoutMs + 1000;

// Everything printed passes here: no control character of a driver's label
// or the agent's answer reaches the terminal.
void writeTo(FILE* stream, const QString& text) {
    std::fputs(TerminalText::printable(text.toStdString()).c_str(), stream);
    std::fflush(stream);
}

QString oneLine(QString text) {
    return text.replace(QLatin1Char('\n'), QLatin1Char(' '));
}

QString jsonText(const QJsonObject& object) {
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented));
}

// --history and --alerts: one answer of the agent's history, printed.
int printHistory(QCoreApplication& app, const QDBusConnection& bus, const QString& series,
                 qint64 sinceMs, bool json, bool csv) {
    OndaraHelperProxy proxy(bus);
    proxy.setTimeout(callTimeoutMs);
    OndaraHistoryProxy history(bus);
    history.setTimeout(callTimeoutMs);
    HistoryCollector collector(&proxy, &history);
    QObject::connect(
        &proxy, &OndaraHelperProxy::requestFailed, &collector,
        [&collector](const QString&, const QString& error) { collector.abort(error); });
    int status = 0;
    QObject::connect(
        &collector, &HistoryCollector::historyCollected, &app, [&](const HistoryReport& report) {
            writeTo(stdout, json ? jsonText(report.json()) : csv ? report.csv() : report.text());
            app.exit(0);
        });
    QObject::connect(&collector, &HistoryCollector::alertsCollected, &app,
                     [&](const AlertsReport& report) {
                         writeTo(stdout, json ? jsonText(report.json()) : report.text());
                         app.exit(0);
                     });
    QObject::connect(&collector, &HistoryCollector::failed, &app, [&](const QString& reason) {
        writeTo(stderr, QStringLiteral("ondara-cli: %1\n").arg(oneLine(reason)));
        app.exit(1);
    });
    if (series.isEmpty()) {
        collector.collectAlerts(answerTimeoutMs);
    } else {
        collector.collectHistory(series, sinceMs, answerTimeoutMs);
    }
    status = app.exec();
    // Answers still on their way are awaited, as for the readings.
    while (proxy.pendingRequests() > 0) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return status;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ondara-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ONDARA_VERSION_TEXT));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Shows the readings the Ondara agent has selected: components, fans and "
                       "memory figures, in the chosen units."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption allOption(
        QStringLiteral("all"),
        QStringLiteral("Also list every component with its candidate sensors."));
    const QCommandLineOption jsonOption(QStringLiteral("json"),
                                        QStringLiteral("Print JSON instead of text."));
    const QCommandLineOption watchOption(
        QStringLiteral("watch"), QStringLiteral("Repeat every SECONDS seconds until stopped."),
        QStringLiteral("SECONDS"));
    const QCommandLineOption openMetricsOption(
        QStringLiteral("openmetrics"),
        QStringLiteral("Print every component, fan and memory figure in the OpenMetrics text "
                       "format (degrees Celsius, rpm, bytes), as node_exporter's textfile "
                       "collector reads it."));
    const QCommandLineOption historyOption(
        QStringLiteral("history"),
        QStringLiteral("Print what the agent recorded of SERIES: a series name (\"temp:TC0D\", "
                       "\"fan:0\", \"mem:Used\") or a component (\"CPU\")."),
        QStringLiteral("SERIES"));
    const QCommandLineOption sinceOption(
        QStringLiteral("since"),
        QStringLiteral("With --history: how far back, as 90s, 15m, 1h (the default) or 2d."),
        QStringLiteral("DURATION"));
    const QCommandLineOption csvOption(
        QStringLiteral("csv"), QStringLiteral("With --history: print comma-separated values."));
    const QCommandLineOption alertsOption(
        QStringLiteral("alerts"),
        QStringLiteral("List the agent's alert rules and the alerts raised now."));
    parser.addOptions({allOption, jsonOption, openMetricsOption, watchOption, historyOption,
                       sinceOption, csvOption, alertsOption});
    parser.process(app);

    const bool historyAsked = parser.isSet(historyOption);
    const bool alertsAsked = parser.isSet(alertsOption);
    if (historyAsked || alertsAsked) {
        const bool others = parser.isSet(allOption) || parser.isSet(openMetricsOption) ||
                            parser.isSet(watchOption) || (historyAsked && alertsAsked);
        const bool csv = parser.isSet(csvOption);
        if (others || (csv && (alertsAsked || parser.isSet(jsonOption))) ||
            (alertsAsked && parser.isSet(sinceOption))) {
            writeTo(stderr, QStringLiteral("ondara-cli: --history goes with --since and one of "
                                           "--json or --csv; --alerts with --json only\n"));
            return 2;
        }
        const auto since = HistoryReport::durationMs(
            parser.isSet(sinceOption) ? parser.value(sinceOption) : QStringLiteral("1h"));
        if (!since) {
            writeTo(stderr, QStringLiteral("ondara-cli: --since takes a duration such as 90s, "
                                           "15m, 1h or 2d, up to 30d\n"));
            return 2;
        }
        const QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) {
            writeTo(stderr, QStringLiteral("ondara-cli: cannot reach the Ondara agent: no "
                                           "session bus (%1)\n")
                                .arg(oneLine(bus.lastError().message())));
            return 1;
        }
        return printHistory(app, bus, historyAsked ? parser.value(historyOption) : QString(),
                            *since, parser.isSet(jsonOption), csv);
    }
    if (parser.isSet(sinceOption) || parser.isSet(csvOption)) {
        writeTo(stderr, QStringLiteral("ondara-cli: --since and --csv go with --history\n"));
        return 2;
    }

    const bool all = parser.isSet(allOption);
    const bool json = parser.isSet(jsonOption);
    const bool openMetrics = parser.isSet(openMetricsOption);
    if (openMetrics && (all || json)) {
        writeTo(stderr,
                QStringLiteral("ondara-cli: --openmetrics goes with neither --all nor --json\n"));
        return 2;
    }
    const auto scope = openMetrics ? ReadingsReport::Scope::selection
                       : all       ? ReadingsReport::Scope::candidates
                                   : ReadingsReport::Scope::shown;
    int watchMs = 0;
    if (parser.isSet(watchOption)) {
        bool number = false;
        const double seconds = parser.value(watchOption).toDouble(&number);
        if (!number || !(seconds > 0) || seconds > 86400) {
            writeTo(stderr, QStringLiteral("ondara-cli: --watch needs a number of seconds "
                                           "above 0 and up to 86400\n"));
            return 2;
        }
        watchMs = std::max(1, int(seconds * 1000));
    }

    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        writeTo(stderr, QStringLiteral("ondara-cli: cannot reach the Ondara agent: no session "
                                       "bus (%1)\n")
                            .arg(oneLine(bus.lastError().message())));
        return 1;
    }

    OndaraHelperProxy proxy(bus);
    proxy.setTimeout(callTimeoutMs);
    ReadingsCollector collector(&proxy, scope, [&proxy](ReadingsCollector::SourcesReply reply) {
        proxy.sensorSources(std::move(reply));
    });
    QObject::connect(
        &proxy, &OndaraHelperProxy::requestFailed, &collector,
        [&collector](const QString&, const QString& error) { collector.abort(error); });

    // Answers still on their way are awaited (the bus timeout bounds the wait):
    // one still being read while the program shuts down would be reported.
    auto finish = [&](int status) {
        if (proxy.pendingRequests() == 0) {
            app.exit(status);
            return;
        }
        QObject::connect(&proxy, &OndaraHelperProxy::requestsSettled, &app,
                         [&app, status] { app.exit(status); });
    };
    bool firstRound = true;
    auto nextRound = [&] {
        firstRound = false;
        if (watchMs > 0) {
            QTimer::singleShot(watchMs, &collector, [&] { collector.collect(answerTimeoutMs); });
        } else {
            finish(0);
        }
    };
    QObject::connect(
        &collector, &ReadingsCollector::finished, &app, [&](const ReadingsSnapshot& snapshot) {
            const ReadingsReport report(snapshot, scope);
            if (openMetrics) {
                writeTo(stdout, report.openMetrics());
            } else if (json) {
                // One document per line when watching, so a reader can split them.
                writeTo(stdout, watchMs > 0 ? report.jsonText(JsonValue::Layout::compact) + u'\n'
                                            : report.jsonText(JsonValue::Layout::indented));
            } else {
                writeTo(stdout, (firstRound ? QString() : QStringLiteral("\n")) + report.text());
            }
            nextRound();
        });
    QObject::connect(&collector, &ReadingsCollector::failed, &app, [&](const QString& reason) {
        writeTo(
            stderr,
            QStringLiteral("ondara-cli: cannot reach the Ondara agent: %1\n").arg(oneLine(reason)));
        if (firstRound) {
            finish(1);
            return;
        }
        // While watching, an agent that went away may come back.
        nextRound();
    });

    collector.collect(answerTimeoutMs);
    return app.exec();
}
