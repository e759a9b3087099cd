// What keeping a history costs. Two parts:
//
// 1. Agents with no client for SECONDS (default 600): on the demo machine and
//    on the Intel-desktop hwmon tree, each once sampling every 5 s and once
//    sampling nothing (--history-interval 0), so the difference is what the
//    sampling costs. CPU as the kernel counts it, resident memory at the
//    start and the end, the size of the history written.
// 2. A day of 30 series at 5 s written into a history, its size, and how
//    long Samples for that day bucketed to 600 points takes, in the store
//    and over the bus from an agent serving that history.
//
//   bench_history [SECONDS]     (run it under nice; it takes SECONDS + ~30 s)

#include "BenchSupport.h"
#include "HistoryBucket.h"
#include "HistoryStore.h"
#include "OndaraNames.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

constexpr qint64 dayMs = 24LL * 60 * 60 * 1000;
constexpr qint64 stepMs = 5000;

QString historyFile(const DemoAgent& agent) {
    return agent.configHome.path() + QStringLiteral("/ondara/history.sqlite3");
}

qint64 filesBytes(const QString& database) {
    qint64 bytes = 0;
    for (const char* suffix : {"", "-wal", "-shm"}) {
        bytes += QFileInfo(database + QLatin1String(suffix)).size();
    }
    return bytes;
}

QDBusMessage historyCall(const QString& address, const QString& method,
                         const QVariantList& arguments = {}) {
    // One connection per bus: a name shared by all would keep asking the first.
    QDBusConnection bus =
        QDBusConnection::connectToBus(address, QStringLiteral("bench ") + address);
    QDBusMessage call = QDBusMessage::createMethodCall(
        OndaraNames::helperServiceName, OndaraNames::helperObjectPath,
        QStringLiteral("com.quillbank.OndaraHelper.History1"), method);
    call.setArguments(arguments);
    return bus.call(call, QDBus::Block, 30000);
}

// User and system time as the kernel's tick accounting sees them (what
// getrusage would answer inside the process), in seconds.
double tickSecondsOf(qint64 pid) {
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly)) {
        return -1;
    }
    // The command name may hold spaces; the fields after it are plain.
    const QByteArray text = file.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    const double ticks = double(sysconf(_SC_CLK_TCK));
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / ticks;
}

struct Run {
    const char* name;
    QStringList arguments;
    std::unique_ptr<PrivateBus> bus;
    std::unique_ptr<DemoAgent> agent;
    double cpuBefore = 0;
    double ticksBefore = 0;
    double residentBefore = 0;
};

void idleAgents(int seconds) {
    const QString intel =
        QStringLiteral("hwmon:" ONDARA_FIXTURE_DIR "/hwmon-intel-desktop/class/hwmon");
    std::vector<Run> runs;
    runs.push_back({"demo, sampling", {}, nullptr, nullptr});
    runs.push_back({"demo, none", {"--history-interval", "0"}, nullptr, nullptr});
    runs.push_back({"intel, sampling", {"--smc", intel}, nullptr, nullptr});
    runs.push_back({"intel, none", {"--smc", intel, "--history-interval", "0"}, nullptr, nullptr});
    for (Run& run : runs) {
        run.bus = std::make_unique<PrivateBus>();
        run.agent = std::make_unique<DemoAgent>(run.bus->address, run.arguments);
        if (run.bus->address.isEmpty() || !run.agent->waitUntilServing()) {
            std::fprintf(stderr, "%s: the agent did not start: %s\n", run.name,
                         run.agent->errors.constData());
            return;
        }
    }
    // The first rounds open the history and the sensors: not the steady cost.
    runEventLoopFor(12000);
    for (Run& run : runs) {
        run.cpuBefore = cpuSecondsOfThreads(run.agent->process.processId());
        run.ticksBefore = tickSecondsOf(run.agent->process.processId());
        run.residentBefore = run.agent->residentKilobytes();
    }
    runEventLoopFor(seconds * 1000);
    std::printf("Agents with no client for %d s:\n", seconds);
    double sampling[2] = {0, 0};
    for (size_t i = 0; i < runs.size(); ++i) {
        Run& run = runs[i];
        const double cpu = cpuSecondsOfThreads(run.agent->process.processId()) - run.cpuBefore;
        const double ticks = tickSecondsOf(run.agent->process.processId()) - run.ticksBefore;
        const double rounds = seconds / 5.0;
        const QDBusMessage series = historyCall(run.bus->address, QStringLiteral("Series"));
        const qsizetype count = series.type() == QDBusMessage::ReplyMessage
                                    ? series.arguments().value(0).toStringList().size()
                                    : 0;
        std::printf("  %-16s CPU %.4f s = %.5f %% of one core, %.0f us a 5 s round "
                    "(utime+stime %.2f s); resident %.1f -> %.1f MB; "
                    "%lld series, history %.1f kB\n",
                    run.name, cpu, 100.0 * cpu / seconds, 1e6 * cpu / rounds, ticks,
                    run.residentBefore / 1024.0, run.agent->residentKilobytes() / 1024.0,
                    static_cast<long long>(count),
                    double(filesBytes(historyFile(*run.agent))) / 1024.0);
        sampling[i / 2] += (i % 2 == 0 ? cpu : -cpu);
    }
    std::printf("  sampling alone: demo %.5f %%, intel %.5f %% of one core\n",
                100.0 * sampling[0] / seconds, 100.0 * sampling[1] / seconds);
}

QStringList thirtySeries() {
    QStringList names;
    for (int i = 0; i < 20; ++i) {
        names.append(QStringLiteral("temp:TX%1").arg(i, 2, 10, QLatin1Char('0')));
    }
    for (int i = 0; i < 6; ++i) {
        names.append(QStringLiteral("fan:%1").arg(i));
    }
    for (const char* figure : {"Used", "Free", "Wired", "Active"}) {
        names.append(QStringLiteral("mem:") + QLatin1String(figure));
    }
    return names;
}

void aDayOfHistory() {
    QTemporaryDir home;
    const QString folder = home.path() + QStringLiteral("/ondara");
    const QStringList names = thirtySeries();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    {
        HistoryStore store(folder);
        if (!store.open()) {
            std::fputs("could not open a history\n", stderr);
            return;
        }
        // Readings as sensors give them: whole degrees and rpm, memory in GiB.
        for (qint64 t = now - dayMs; t <= now; t += stepMs) {
            const double phase = double(t % dayMs) / double(dayMs) * 2 * M_PI;
            for (int i = 0; i < names.size(); ++i) {
                const double value = i < 20   ? std::round(45 + 15 * std::sin(phase + i))
                                     : i < 26 ? std::round(1800 + 900 * std::sin(phase + i))
                                              : std::round(800 * (6 + std::sin(phase))) / 100;
                store.append(names[i], t, value, stepMs);
            }
            store.flush();
        }
        store.flush(true);
        const qint64 bytes = filesBytes(store.filePath());
        std::printf("A day of 30 series every 5 s: %.2f MB on disk\n", double(bytes) / 1e6);

        std::vector<double> times;
        for (int i = 0; i < 30; ++i) {
            QElapsedTimer timer;
            timer.start();
            const auto buckets = store.samples(names[i], now - dayMs, now, 600);
            times.push_back(double(timer.nsecsElapsed()) / 1e6);
            if (buckets.size() != 600) {
                std::printf("  (%lld buckets)\n", static_cast<long long>(buckets.size()));
            }
        }
        std::sort(times.begin(), times.end());
        std::printf("  Samples of a day to 600 points in the store: median %.2f ms, max %.2f ms\n",
                    times[times.size() / 2], times.back());
    }

    // The same history served by an agent (which adds its own series).
    PrivateBus bus;
    DemoAgent agent(bus.address, {}, home.path());
    if (bus.address.isEmpty() || !agent.waitUntilServing()) {
        std::fprintf(stderr, "the agent did not start: %s\n", agent.errors.constData());
        return;
    }
    // The client's connection and the agent's first look at the file are not the answer's cost.
    historyCall(bus.address, QStringLiteral("Samples"),
                {names[0], qlonglong(now - dayMs), qlonglong(now), 600u});
    const double residentServing = agent.residentKilobytes();
    std::vector<double> times;
    for (int i = 0; i < 30; ++i) {
        QElapsedTimer timer;
        timer.start();
        const QDBusMessage reply =
            historyCall(bus.address, QStringLiteral("Samples"),
                        {names[i], qlonglong(now - dayMs), qlonglong(now), 600u});
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (reply.type() != QDBusMessage::ReplyMessage) {
            std::printf("  Samples refused: %s\n", qPrintable(reply.errorMessage()));
            return;
        }
    }
    std::sort(times.begin(), times.end());
    std::printf("  Samples of a day to 600 points over the bus: median %.2f ms, max %.2f ms; "
                "agent resident %.1f MB before, %.1f MB after\n",
                times[times.size() / 2], times.back(), residentServing / 1024.0,
                agent.residentKilobytes() / 1024.0);
    // A window open on the day for a while: its answers must not add up.
    for (int round = 1; round <= 3; ++round) {
        for (int i = 0; i < 100; ++i) {
            historyCall(bus.address, QStringLiteral("Samples"),
                        {names[i % 30], qlonglong(now - dayMs), qlonglong(now), 600u});
        }
        std::printf("  after %d more: agent resident %.1f MB\n", round * 100,
                    agent.residentKilobytes() / 1024.0);
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const int seconds = arguments.size() > 1 ? arguments[1].toInt() : 600;
    if (seconds <= 0) {
        std::fputs("usage: bench_history [SECONDS]\n", stderr);
        return 2;
    }
    aDayOfHistory();
    idleAgents(seconds);
    return 0;
}
