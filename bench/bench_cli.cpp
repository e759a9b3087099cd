// What one reading costs from a terminal: `ondara-cli --json` run again and
// again against the real agent over a private bus, its own CPU time and the
// agent's share of it, beside `sensors -j` on the same machine when that is
// installed (bench/fake-hwmon-namespace.sh puts both on the same chips), and
// the Qt-based client that ondara-cli hands its other options to, for what
// loading Qt alone would cost.
//
//   bench_cli [RUNS] [ONDARA-CLI ARGUMENTS…]    (default 40 runs, --json)

#include "BenchSupport.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <algorithm>
#include <cstdio>
#include <sys/wait.h>
#include <vector>

namespace {

struct Runs {
    std::vector<double> cpuSeconds;
    double residentKilobytes = 0;
    bool failed = false;
};

// Runs a program to its end, RUNS times, each with its output thrown away.
Runs runRepeatedly(const QString& program, const QStringList& arguments,
                   const QProcessEnvironment& environment, int runs) {
    Runs result;
    for (int i = 0; i < runs && !result.failed; ++i) {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        const double before = childrenCpuSeconds();
        process.start(program, arguments);
        result.failed = !process.waitForFinished(30000) ||
                        process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0;
        result.cpuSeconds.push_back(childrenCpuSeconds() - before);
    }
    return result;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

double mean(const std::vector<double>& values) {
    double sum = 0;
    for (const double v : values) {
        sum += v;
    }
    return values.empty() ? -1 : sum / double(values.size());
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 40;
    QStringList arguments;
    for (int i = 2; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    if (arguments.isEmpty()) {
        arguments = {QStringLiteral("--json")};
    }

    PrivateBus bus;
    if (bus.address.isEmpty()) {
        std::fprintf(stderr, "bench_cli: no private bus\n");
        return 1;
    }
    DemoAgent agent(bus.address);
    if (!agent.waitUntilServing()) {
        std::fprintf(stderr, "bench_cli: the agent did not start: %s\n", agent.errors.constData());
        return 1;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), agent.configHome.path());

    // The first run makes the agent's controller; a user pays that once.
    runRepeatedly(QStringLiteral(ONDARA_CLI_PATH), arguments, environment, 1);
    const double agentBefore = cpuSecondsOfThreads(agent.process.processId());
    const Runs cli = runRepeatedly(QStringLiteral(ONDARA_CLI_PATH), arguments, environment, runs);
    const double agentAfter = cpuSecondsOfThreads(agent.process.processId());
    if (cli.failed) {
        std::fprintf(stderr, "bench_cli: ondara-cli failed\n");
        return 1;
    }
    std::printf("ondara-cli %s, %d runs: CPU median %.2f ms, mean %.2f ms; the agent's %.2f ms "
                "a run\n",
                qPrintable(arguments.join(QLatin1Char(' '))), runs, 1000 * median(cli.cpuSeconds),
                1000 * mean(cli.cpuSeconds), 1000 * (agentAfter - agentBefore) / runs);

    const Runs full =
        runRepeatedly(QStringLiteral(ONDARA_FULL_CLI_PATH), arguments, environment, runs);
    std::printf("ondara-cli-full %s, %d runs: CPU median %.2f ms, mean %.2f ms%s\n",
                qPrintable(arguments.join(QLatin1Char(' '))), runs, 1000 * median(full.cpuSeconds),
                1000 * mean(full.cpuSeconds), full.failed ? " (it failed)" : "");

    const QString sensors = QStandardPaths::findExecutable(QStringLiteral("sensors"));
    if (sensors.isEmpty()) {
        std::printf("sensors -j: not installed\n");
        return 0;
    }
    const Runs peer = runRepeatedly(sensors, {QStringLiteral("-j")}, environment, runs);
    std::printf("sensors -j, %d runs: CPU median %.2f ms, mean %.2f ms%s\n", runs,
                1000 * median(peer.cpuSeconds), 1000 * mean(peer.cpuSeconds),
                peer.failed ? " (it failed: no chips?)" : "");
    std::printf("ratio of medians: %.2f (goal at most 1.5)\n",
                median(cli.cpuSeconds) / median(peer.cpuSeconds));
    return 0;
}
