// Soak run of the agent on the demo machine: 100,000 requests of every query
// method, then 10,000 clients that connect, ask and leave, with the agent's
// resident memory and open descriptors before and after each. An agent that
// runs for months must stay flat: the run fails when anything grows by
// 64 KiB or more, or a descriptor stays open.
//   bench_soak [REQUESTS_PER_METHOD] [CLIENTS] [ONLY]
// ONLY keeps the query lines whose label contains that text ("drive").

#include "BenchSupport.h"
#include "OndaraNames.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDir>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>

namespace {

constexpr qint64 allowedGrowthKb = 64;
// Calls in flight at once: enough to keep the agent busy without the bus
// queueing more than a client would.
constexpr int window = 64;

QDBusMessage helperCall(const QString& member, const QVariantList& args = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(OndaraNames::helperServiceName,
                                                          OndaraNames::helperObjectPath,
                                                          OndaraNames::helperInterface, member);
    message.setArguments(args);
    return message;
}

struct Query {
    const char* label;
    QString member;
    QVariantList args;
};

QList<Query> queries() {
    // Every fourth drive request reads the drive, so the mixed list reaches
    // the SMART path as a setup window does.
    const QList<uint> temperatures{0x54433050u /* TC0P */, 0x54473050u /* TG0P */, 0xFFFFFFFFu};
    return {{"appVersion", "appVersion", {}},
            {"tempSensors", "tempSensors", {}},
            {"fanSensors", "fanSensors", {}},
            {"memSensors", "memSensors", {}},
            {"machineSensorList", "machineSensorList", {}},
            {"activeTempSensors", "activeTempSensors", {}},
            {"activeFanSensors", "activeFanSensors", {}},
            {"activeMemSensors", "activeMemSensors", {}},
            {"temperatureForSensors (SMC+drive)",
             "temperatureForSensors",
             {QVariant::fromValue(temperatures)}},
            {"temperatureForSensors (drive)",
             "temperatureForSensors",
             {QVariant::fromValue(QList<uint>{0xFFFFFFFFu})}},
            {"rpmForFans", "rpmForFans", {QVariant::fromValue(QList<int>{0, 1})}},
            {"memoryUsage", "memoryUsage", {}},
            {"visibleSections", "visibleSections", {}},
            {"sensorUnits", "sensorUnits", {}}};
}

// The agent logs every client it accepts; its log pipe must not fill up.
QProcess* agentProcess = nullptr;
void drainLog() {
    QCoreApplication::processEvents();
    if (agentProcess) {
        agentProcess->readAllStandardError();
    }
}

int openDescriptors(qint64 pid) {
    return int(QDir(QStringLiteral("/proc/%1/fd").arg(pid))
                   .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                   .size());
}

// Sends `count` calls of one query, `window` at a time; false if any failed.
bool sendMany(QDBusConnection& bus, const Query& query, int count) {
    int failed = 0;
    for (int sent = 0; sent < count;) {
        QList<QDBusPendingCall> calls;
        for (int i = 0; i < window && sent < count; ++i, ++sent) {
            calls.append(bus.asyncCall(helperCall(query.member, query.args)));
        }
        for (QDBusPendingCall& call : calls) {
            call.waitForFinished();
            failed += call.isError();
        }
        drainLog();
    }
    return failed == 0;
}

struct Sample {
    qint64 rssKb = 0;
    int descriptors = 0;
};

Sample sample(qint64 pid) {
    return {qint64(processCost(pid).residentKilobytes), openDescriptors(pid)};
}

bool report(const char* what, int count, double seconds, const Sample& before,
            const Sample& after) {
    const qint64 growth = after.rssKb - before.rssKb;
    const bool flat = growth < allowedGrowthKb && after.descriptors <= before.descriptors;
    std::printf("%-34s %7d in %6.1f s  RSS %6lld -> %6lld kB (%+5lld kB)  fds %3d -> %3d  %s\n",
                what, count, seconds, qlonglong(before.rssKb), qlonglong(after.rssKb),
                qlonglong(growth), before.descriptors, after.descriptors, flat ? "flat" : "GREW");
    std::fflush(stdout);
    return flat;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int requests = args.value(1, QStringLiteral("100000")).toInt();
    const int clients = args.value(2, QStringLiteral("10000")).toInt();
    const QString only = args.value(3);

    PrivateBus privateBus;
    DemoAgent agent(privateBus.address);
    agentProcess = &agent.process;
    if (!agent.waitUntilServing()) {
        std::fprintf(stderr, "bench_soak: the agent did not start\n");
        return 2;
    }
    const qint64 pid = agent.process.processId();
    QDBusConnection bus = QDBusConnection::connectToBus(privateBus.address, QStringLiteral("soak"));
    bool flat = true;

    // Each measurement starts after a warm-up of the same kind: the
    // controller, the first drive read and the allocator's pools for replies
    // of that size settle before anything is counted.
    const int warmUp = std::max(2000, requests / 10);
    for (const Query& query : queries()) {
        if (!QString::fromLatin1(query.label).contains(only)) {
            continue;
        }
        sendMany(bus, query, warmUp);
        const Sample before = sample(pid);
        QElapsedTimer timer;
        timer.start();
        if (!sendMany(bus, query, requests)) {
            std::fprintf(stderr, "bench_soak: %s failed\n", qPrintable(query.member));
            return 2;
        }
        flat &= report(query.label, requests, timer.elapsed() / 1000.0, before, sample(pid));
    }

    // Clients that come and go: each one a connection of its own, one
    // request, then gone. Once the last one is released the agent is back
    // where it started.
    const auto comeAndGo = [&privateBus](int first, int count) {
        for (int i = first; i < first + count; ++i) {
            const QString name = QStringLiteral("client%1").arg(i);
            {
                QDBusConnection client = QDBusConnection::connectToBus(privateBus.address, name);
                client.call(helperCall(QStringLiteral("temperatureForSensors"),
                                       {QVariant::fromValue(QList<uint>{0xFFFFFFFFu})}));
            }
            QDBusConnection::disconnectFromBus(name);
            if (i % 100 == 0) {
                drainLog();
            }
        }
    };
    if (clients <= 0) {
        return flat ? 0 : 1;
    }
    comeAndGo(0, std::max(500, clients / 10));
    bus.call(helperCall(QStringLiteral("appVersion")));
    const Sample before = sample(pid);
    QElapsedTimer timer;
    timer.start();
    comeAndGo(1000000, clients);
    // The agent releases a client when the bus says it left; a round trip
    // through the same bus after the last one makes sure those news are in.
    bus.call(helperCall(QStringLiteral("appVersion")));
    flat &= report("clients connecting, asking, leaving", clients, timer.elapsed() / 1000.0, before,
                   sample(pid));
    return flat ? 0 : 1;
}
