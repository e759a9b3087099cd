#include "BenchSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcessEnvironment>
#include <QTimer>
#include <optional>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int waitMilliseconds = 30000;

QByteArray readProcFile(qint64 pid, const char* name) {
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

bool spinUntil(const std::function<bool()>& done) {
    QDeadlineTimer deadline(waitMilliseconds);
    // A busy loop: processEvents with a time limit returns at once when
    // nothing is pending. That suits the round trips timed here (no wakeup
    // latency in them), never a wait beside programs being measured.
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

void runEventLoopFor(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

PrivateBus::PrivateBus() {
    daemon.setProgram(QStringLiteral(ONDARA_DBUS_DAEMON));
    daemon.setArguments({"--session", "--nofork", "--nopidfile", "--print-address=1"});
    daemon.start();
    daemon.waitForStarted();
    while (daemon.state() == QProcess::Running && !daemon.canReadLine()) {
        daemon.waitForReadyRead(waitMilliseconds);
    }
    address = QString::fromUtf8(daemon.readLine()).trimmed();
}

PrivateBus::~PrivateBus() {
    daemon.terminate();
    daemon.waitForFinished();
}

ProcessCost processCost(qint64 pid) {
    ProcessCost cost;
    // utime and stime are fields 14 and 15; the name in field 2 may hold
    // blanks, so count from the parenthesis that closes it.
    const QByteArray stat = readProcFile(pid, "stat");
    const qsizetype close = stat.lastIndexOf(')');
    if (close >= 0) {
        const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
        if (fields.size() > 12) {
            const double ticks = double(sysconf(_SC_CLK_TCK));
            cost.cpuSeconds = (fields[11].toDouble() + fields[12].toDouble()) / ticks;
        }
    }
    for (const QByteArray& line : readProcFile(pid, "status").split('\n')) {
        if (line.startsWith("VmRSS:")) {
            cost.residentKilobytes = line.mid(6).trimmed().split(' ').value(0).toDouble();
        }
    }
    const auto kilobytes = [](const QByteArray& line, qsizetype at) {
        return line.mid(at).trimmed().split(' ').value(0).toDouble();
    };
    double privateClean = 0;
    double privateDirty = 0;
    for (const QByteArray& line : readProcFile(pid, "smaps_rollup").split('\n')) {
        if (line.startsWith("Pss:")) {
            cost.proportionalKilobytes = kilobytes(line, 4);
        } else if (line.startsWith("Private_Clean:")) {
            privateClean = kilobytes(line, 14);
        } else if (line.startsWith("Private_Dirty:")) {
            privateDirty = kilobytes(line, 14);
        }
    }
    cost.privateKilobytes = privateClean + privateDirty;
    return cost;
}

DemoAgent::DemoAgent(const QString& busAddress, const QStringList& extraArguments,
                     const QString& stateHome) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SESSION_BUS_ADDRESS", busAddress);
    environment.insert("XDG_CONFIG_HOME", configHome.path());
    environment.insert("XDG_STATE_HOME", stateHome.isEmpty() ? configHome.path() : stateHome);
    environment.insert("QT_FORCE_STDERR_LOGGING", "1");
    process.setProcessEnvironment(environment);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::SeparateChannels);
    // ONDARA_BENCH_SMC puts the agent on another machine than the demo one,
    // e.g. "hwmon" inside bench/fake-hwmon-namespace.sh, where peers read the
    // same chips.
    const QString smc = qEnvironmentVariable("ONDARA_BENCH_SMC", QStringLiteral("demo"));
    process.start(QStringLiteral(ONDARA_AGENT_PATH),
                  QStringList{"--smc", smc, "--smart", "demo", "--memory", "proc"} +
                      extraArguments);
    process.waitForStarted();
}

DemoAgent::~DemoAgent() {
    process.terminate();
    process.waitForFinished();
}

bool DemoAgent::waitUntilServing() {
    return spinUntil([this] {
               errors += process.readAllStandardError();
               return errors.contains("serving com.quillbank") ||
                      process.state() == QProcess::NotRunning;
           }) &&
           process.state() == QProcess::Running;
}

namespace {

// One field of /proc/<pid>/task/*/schedstat (nanoseconds on a CPU, waiting,
// time slices), summed over the threads; nothing when the process is gone.
std::optional<double> schedulerFieldOfThreads(qint64 pid, int field) {
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    const QStringList threads = tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    if (threads.isEmpty()) {
        return std::nullopt;
    }
    double sum = 0;
    for (const QString& thread : threads) {
        QFile file(tasks.filePath(thread + QStringLiteral("/schedstat")));
        if (file.open(QIODevice::ReadOnly)) {
            sum += file.readAll().trimmed().split(' ').value(field).toDouble();
        }
    }
    return sum;
}

} // namespace

double cpuSecondsOfThreads(qint64 pid) {
    const auto nanoseconds = schedulerFieldOfThreads(pid, 0);
    return nanoseconds ? *nanoseconds / 1e9 : -1;
}

qint64 timeSlicesOfThreads(qint64 pid) {
    const auto slices = schedulerFieldOfThreads(pid, 2);
    return slices ? qint64(*slices) : -1;
}

double childrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
