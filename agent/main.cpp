// OndaraHelper: the sensor agent. Publishes the protocol on the session bus
// and serves it until it is stopped; the hardware is first touched when the
// first client calls.

#include "AgentCommandLine.h"
#include "AgentHistory.h"
#include "AgentLogging.h"
#include "AgentResources.h"
#include "HelperDaemon.h"
#include "OndaraNames.h"
#include "OndaraVersion.h"
#include "ServiceDelegate.h"
#include "files/AgentStopRecord.h"
#include "ipc/DesktopNotifications.h"
#include "ipc/HelperListener.h"
#ifdef ONDARA_TRANSLATED
#include "TranslationLoader.h"
#endif

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

namespace {

void printError(const QString& line) {
    std::fprintf(stderr, "OndaraHelper: %s\n", qPrintable(line));
    std::fflush(stderr);
}

void logSource(const QString& line) {
    qCInfo(lcService).noquote() << line;
}

// Leaves word of why the agent stops where the window and the widget look,
// and the exit status the user unit's restart rule knows; then ends.
[[noreturn]] void stopFor(AgentStopRecord::Reason reason, const QString& message) {
    qCWarning(lcService).noquote() << QStringLiteral("Stopping: %1").arg(message);
    QString error;
    if (!AgentStopRecord::standard().write({reason, message}, &error)) {
        qCWarning(lcService).noquote()
            << QStringLiteral("Cannot leave the reason of the stop: %1").arg(error);
    }
    std::fflush(stdout);
    std::fflush(stderr);
    // At once: no static destructors run under the event loop still on the stack.
    std::_Exit(AgentStopRecord::exitStatus(reason));
}

// SIGTERM and SIGINT end the event loop from a safe place: the handler only
// writes a byte into a socket pair whose other end the loop watches. Should
// the loop be stuck in a read that never ends, the alarm ends the process.
int signalSockets[2] = {-1, -1};
constexpr unsigned stopDeadlineSeconds = 10;

void onStopSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalSockets[0], &byte, 1);
    ::alarm(stopDeadlineSeconds);
}

// Stops the agent when its bus goes away (the session ended, the daemon died):
// without it no client can ever reach the agent again.
class BusLossWatcher : public QObject {
    Q_OBJECT
public:
    explicit BusLossWatcher(QDBusConnection bus, QObject* parent)
        : QObject(parent) {
        bus.connect(QString(), QStringLiteral("/org/freedesktop/DBus/Local"),
                    QStringLiteral("org.freedesktop.DBus.Local"), QStringLiteral("Disconnected"),
                    this, SLOT(busLost()));
    }

private Q_SLOTS:
    void busLost() {
        qCWarning(lcService).noquote() << QStringLiteral("Lost the session bus; stopping.");
        QCoreApplication::exit(EXIT_FAILURE);
    }
};

bool installStopSignals(QCoreApplication& app) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSockets) != 0) {
        return false;
    }
    auto* notifier = new QSocketNotifier(signalSockets[1], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [notifier] {
        notifier->setEnabled(false);
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(signalSockets[1], &byte, 1);
        qCInfo(lcService).noquote() << QStringLiteral("Stopping.");
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGTERM, &action, nullptr) == 0 &&
           ::sigaction(SIGINT, &action, nullptr) == 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("OndaraHelper"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ONDARA_VERSION_TEXT));

    QString error;
    const auto commandLine = AgentCommandLine::parse(
        QCoreApplication::arguments().mid(1), QProcessEnvironment::systemEnvironment(), &error);
    if (!commandLine) {
        printError(error);
        std::fputs(qPrintable(AgentCommandLine::usage()), stderr);
        return EXIT_FAILURE;
    }
    if (commandLine->showHelp) {
        std::fputs(qPrintable(AgentCommandLine::usage()), stdout);
        return EXIT_SUCCESS;
    }
    if (commandLine->showVersion) {
        std::puts(ONDARA_VERSION_TEXT);
        return EXIT_SUCCESS;
    }

    initAgentResources();
#ifdef ONDARA_TRANSLATED
    // The desktop notifications of alerts are read by people.
    TranslationLoader::install();
#endif
    // Never released: service objects refer to its controller until the very end.
    static HelperDaemon& daemon = *new HelperDaemon(*commandLine);
    if (const Status started = daemon.start(); !started) {
        printError(started.error());
        return EXIT_FAILURE;
    }
    // The controller cannot be made only when the machine has no SMC to read.
    daemon.setFatalStop(
        [](const QString& reason) { stopFor(AgentStopRecord::Reason::noSensors, reason); });

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        printError(QStringLiteral("cannot reach the D-Bus session bus: %1")
                       .arg(bus.lastError().message()));
        return EXIT_FAILURE;
    }

    // Both live as long as the process.
    static ServiceDelegate delegate(daemon);
    static HelperListener* const listener = new HelperListener(bus, &delegate, &app);
    listener->setSensorSources([] { return daemon.sources(); });
    // The agent's own rounds, whether or not anyone is connected; they begin
    // once the agent serves.
    auto* notifications = new DesktopNotifications(bus, &app);
    AgentHistory& history = daemon.makeHistory(HelperDaemon::stateDirectory(),
                                               commandLine->historyInterval, notifications);
    listener->setHistoryService(&history);
    QObject::connect(&history, &AgentHistory::alertRaised, listener,
                     &HelperListener::announceAlertRaised);
    QObject::connect(&history, &AgentHistory::alertCleared, listener,
                     &HelperListener::announceAlertCleared);
    switch (listener->resume()) {
    case HelperListener::ResumeResult::Ok:
        // Whatever an earlier agent said about its stop no longer holds.
        AgentStopRecord::standard().clear();
        break;
    case HelperListener::ResumeResult::NameTaken:
        stopFor(AgentStopRecord::Reason::anotherAgent,
                QStringLiteral("Another OndaraHelper is already running: %1 is taken on this bus")
                    .arg(OndaraNames::helperServiceName));
    case HelperListener::ResumeResult::NoBus:
        printError(QStringLiteral("cannot reach the D-Bus session bus"));
        return EXIT_FAILURE;
    }

    history.start();
    new BusLossWatcher(bus, &app);
    if (!installStopSignals(app)) {
        printError(QStringLiteral("cannot watch for stop signals"));
        return EXIT_FAILURE;
    }
    logSource(QStringLiteral("OndaraHelper %1 serving %2")
                  .arg(QStringLiteral(ONDARA_VERSION_TEXT), OndaraNames::helperServiceName));
    const int status = app.exec();
    // What the history holds in memory is written before the agent goes.
    history.finish();
    daemon.flush();
    // Nothing on the way out may wait for the bus: a bus connection that a
    // client has flooded can be too busy to answer, and the name is released
    // with the connection anyway.
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
}

#include "main.moc"
