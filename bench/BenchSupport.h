#pragma once

// What every benchmark of a running program needs: a private session bus,
// the real agent on the demo machine, and the cost of a process as the
// kernel counts it.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>

// Runs the event loop until done() holds, busy all the while; false after
// 30 s. For the short waits of timed round trips and start-up.
bool spinUntil(const std::function<bool()>& done);
// Runs the event loop for this long, asleep while nothing comes: the wait
// while other programs are measured.
void runEventLoopFor(int milliseconds);

// A private dbus-daemon for the whole run; address is empty when it failed.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    QProcess daemon;
    QString address;
};

// CPU time (user + system) and resident memory of one process.
struct ProcessCost {
    double cpuSeconds = -1;
    double residentKilobytes = -1;
    // Its share of pages it maps with others (PSS) and the pages only it maps.
    double proportionalKilobytes = -1;
    double privateKilobytes = -1;
};
ProcessCost processCost(qint64 pid);
// Seconds on a CPU of every thread of a process, to the nanosecond: the
// clock ticks of /proc/<pid>/stat are too coarse for a program that works a
// few milliseconds a minute. -1 when the process is gone.
double cpuSecondsOfThreads(qint64 pid);
// How many times the scheduler put any of a process's threads on a CPU: its
// wakeups, near enough. Steadier than the CPU time on a virtual machine,
// whose host may count its own delays into a thread's time. -1 when gone.
qint64 timeSlicesOfThreads(qint64 pid);
// Seconds of CPU (user + system) of the children this process has waited for.
double childrenCpuSeconds();

// The OndaraHelper program on the demo machine, with a settings folder of its
// own (and its history there, unless `stateHome` names another folder),
// serving on the given bus.
class DemoAgent {
public:
    explicit DemoAgent(const QString& busAddress, const QStringList& extraArguments = {},
                       const QString& stateHome = QString());
    ~DemoAgent();
    DemoAgent(const DemoAgent&) = delete;
    DemoAgent& operator=(const DemoAgent&) = delete;

    bool waitUntilServing();
    double residentKilobytes() const { return processCost(process.processId()).residentKilobytes; }
    ProcessCost cost() const { return processCost(process.processId()); }

    QTemporaryDir configHome;
    QProcess process;
    QByteArray errors;
};
