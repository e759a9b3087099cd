// What the setup window costs the machine it watches: the real Ondara
// program runs offscreen against the real agent on the demo machine over a
// private bus, refreshing its readings as a user would see them, and the
// kernel's counters give its CPU time and resident memory.
//
//   bench_app [SECONDS [ONDARA ARGUMENTS…]]     (default 60 s, the first panel)
//   bench_app 60 --tab Fans

#include "BenchSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <cstdio>

namespace {

// Start-up (fonts, first layout, the first readings) is not what a user pays
// every minute the window stays open.
constexpr int kWarmUpSeconds = 5;

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 60;

    PrivateBus bus;
    if (bus.address.isEmpty()) {
        std::fprintf(stderr, "bench_app: no private bus\n");
        return 1;
    }
    DemoAgent agent(bus.address);
    if (!agent.waitUntilServing()) {
        std::fprintf(stderr, "bench_app: the agent did not start: %s\n", agent.errors.constData());
        return 1;
    }

    QProcess window;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), agent.configHome.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    window.setProcessEnvironment(environment);
    window.setStandardOutputFile(QProcess::nullDevice());
    window.setStandardErrorFile(QProcess::nullDevice());
    QStringList arguments;
    for (int i = 2; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    window.start(QStringLiteral(ONDARA_APP_PATH), arguments);
    if (!window.waitForStarted()) {
        std::fprintf(stderr, "bench_app: Ondara did not start\n");
        return 1;
    }
    runEventLoopFor(kWarmUpSeconds * 1000);
    const double start = cpuSecondsOfThreads(window.processId());
    const double agentStart = cpuSecondsOfThreads(agent.process.processId());
    QElapsedTimer clock;
    clock.start();
    runEventLoopFor(seconds * 1000);
    const double end = cpuSecondsOfThreads(window.processId());
    const double agentEnd = cpuSecondsOfThreads(agent.process.processId());
    const ProcessCost memory = processCost(window.processId());
    const double wall = clock.nsecsElapsed() / 1e9;
    if (window.state() != QProcess::Running || start < 0 || end < 0) {
        std::fprintf(stderr, "bench_app: Ondara stopped during the run\n");
        return 1;
    }

    const double share = 100.0 * (end - start) / wall;
    const double agentShare = 100.0 * (agentEnd - agentStart) / wall;
    std::printf("Ondara %s, offscreen, demo machine, %.0f s of live readings after %d s "
                "start-up:\n",
                qPrintable(arguments.join(QLatin1Char(' '))), wall, kWarmUpSeconds);
    std::printf("  CPU      %.3f %% of one core (%.4f s)   goal < 0.3 %%\n", share, end - start);
    std::printf("  resident %.1f MB                      goal < 45 MB\n",
                memory.residentKilobytes / 1024.0);
    std::printf("  (proportional %.1f MB, private %.1f MB)\n",
                memory.proportionalKilobytes / 1024.0, memory.privateKilobytes / 1024.0);
    const ProcessCost agentMemory = agent.cost();
    std::printf("  (the agent serving it: %.3f %% of one core; resident %.1f MB, proportional "
                "%.1f, private %.1f)\n",
                agentShare, agentMemory.residentKilobytes / 1024.0,
                agentMemory.proportionalKilobytes / 1024.0, agentMemory.privateKilobytes / 1024.0);
    window.terminate();
    window.waitForFinished();
    return share < 0.3 && memory.residentKilobytes / 1024.0 < 45.0 ? 0 : 2;
}
