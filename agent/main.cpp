// OndaraHelper: the sensor agent. Publishes the protocol on the session bus
// and serves it until it is stopped; the hardware is first touched when the
// first client calls.

#include "AgentCommandLine.h"
#include "AgentLogging.h"
#include "AgentResources.h"
#include "DriveTemperature.h"
#include "OndaraNames.h"
#include "OndaraVersion.h"
#include "SMCController.h"
#include "SMCKit.h"
#include "ServiceDelegate.h"
#include "ata/ProfileAtaSmartPlatform.h"
#include "ata/SgIoAtaSmartPlatform.h"
#include "ata/SmartReaderAtaSmartPlatform.h"
#include "ipc/HelperListener.h"
#include "profile/MachineProfile.h"
#include "smc/AppleSmcSysfsDriver.h"
#include "smc/HwmonSmcDriver.h"
#include "smc/ProfileSmcDriver.h"
#include "vm/ProcMeminfoSource.h"
#include "vm/ProfileVmStatisticsSource.h"

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

const QString demoProfilePath = QStringLiteral(":/profiles/demo.plist");

void printError(const QString& line) {
    std::fprintf(stderr, "OndaraHelper: %s\n", qPrintable(line));
    std::fflush(stderr);
}

void logSource(const QString& line) {
    qCInfo(lcService).noquote() << line;
}

// The profile a source value names ("demo" or "profile:PATH"), or nothing
// with the reason printed.
std::optional<MachineProfile> loadProfile(const QString& value) {
    const QString path =
        value == QLatin1StringView("demo") ? demoProfilePath : AgentCommandLine::profilePath(value);
    QString error;
    auto profile = MachineProfile::fromFile(path, &error);
    if (!profile) {
        printError(error);
    }
    return profile;
}

QString describe(const MachineProfile& profile, const QString& value) {
    const QString origin = value == QLatin1StringView("demo")
                               ? QStringLiteral("built-in demo machine")
                               : AgentCommandLine::profilePath(value);
    return profile.name().isEmpty() ? origin
                                    : QStringLiteral("\"%1\" (%2)").arg(profile.name(), origin);
}

bool configureSmc(const QString& value) {
    QString hwmonDirectory;
    switch (AgentCommandLine::smcBackend(value, &hwmonDirectory)) {
    case AgentCommandLine::SmcBackend::missing: {
        // Never made-up readings unasked: without a driver the agent does
        // what it does for a missing SMC when the first client calls.
        qCWarning(lcService).noquote()
            << QStringLiteral("SMC: no applesmc driver and no hwmon temperature on this "
                              "machine; there is no SMC to read (use --smc demo for the demo "
                              "machine)");
        const MachineProfile noSmc = MachineProfile::fromMap(
            {{QStringLiteral("smc"), QVariantMap{{QStringLiteral("service"), false}}}});
        SMCKit::setDriver(std::make_shared<ProfileSmcDriver>(noSmc));
        return true;
    }
    case AgentCommandLine::SmcBackend::appleSmc:
        logSource(QStringLiteral("SMC: applesmc driver %1")
                      .arg(AppleSmcSysfsDriver::deviceDirectory(QStringLiteral("/sys"))));
        SMCKit::setDriver(std::make_shared<AppleSmcSysfsDriver>());
        return true;
    case AgentCommandLine::SmcBackend::hwmon: {
        auto driver = std::make_shared<HwmonSmcDriver>(hwmonDirectory);
        logSource(QStringLiteral("SMC: hwmon chips in %1").arg(hwmonDirectory));
        // Which chip stands behind which key, so a reading can be traced to
        // its sensor.
        const QStringList mapped = driver->map().lines();
        for (const QString& line : mapped) {
            logSource(QStringLiteral("SMC: hwmon %1").arg(line));
        }
        if (mapped.isEmpty()) {
            qCWarning(lcService).noquote()
                << QStringLiteral("SMC: hwmon: no chip in %1 maps to a key").arg(hwmonDirectory);
        }
        SMCKit::setDriver(std::move(driver));
        return true;
    }
    case AgentCommandLine::SmcBackend::profile:
        break;
    }
    const auto profile = loadProfile(value);
    if (!profile) {
        return false;
    }
    auto driver = std::make_shared<ProfileSmcDriver>(*profile);
    for (const QString& problem : driver->problems()) {
        qCWarning(lcService).noquote() << QStringLiteral("SMC profile: %1").arg(problem);
    }
    logSource(QStringLiteral("SMC: machine profile %1").arg(describe(*profile, value)));
    SMCKit::setDriver(std::move(driver));
    return true;
}

bool configureSmart(const QString& value) {
    if (value == QLatin1StringView("auto")) {
        // The agent parses settings, profiles and every bus call: it sends
        // ATA commands itself only where someone gave it the right to, and
        // otherwise leaves them to the installation's small SMART reader.
        if (SgIoAtaSmartPlatform::processMayPassThrough()) {
            logSource(QStringLiteral("Drive: ATA disks through SG_IO"));
            setAtaSmartPlatform(std::make_shared<SgIoAtaSmartPlatform>());
            return true;
        }
        const QString reader =
            SmartReaderAtaSmartPlatform::installedReader(QCoreApplication::applicationDirPath());
        logSource(QStringLiteral("Drive: ATA disks through SG_IO by %1").arg(reader));
        setAtaSmartPlatform(std::make_shared<SmartReaderAtaSmartPlatform>(reader));
        return true;
    }
    if (value == QLatin1StringView("none")) {
        logSource(QStringLiteral("Drive: none"));
        setAtaSmartPlatform(std::make_shared<ProfileAtaSmartPlatform>(QVariantList()));
        return true;
    }
    const auto profile = loadProfile(value);
    if (!profile) {
        return false;
    }
    logSource(QStringLiteral("Drive: machine profile %1").arg(describe(*profile, value)));
    setAtaSmartPlatform(std::make_shared<ProfileAtaSmartPlatform>(profile->drives()));
    return true;
}

std::shared_ptr<VmStatisticsSource> memorySource(const QString& value) {
    if (value == QLatin1StringView("proc")) {
        logSource(QStringLiteral("Memory: /proc/meminfo"));
        return std::make_shared<ProcMeminfoSource>();
    }
    const auto profile = loadProfile(value);
    if (!profile) {
        return nullptr;
    }
    logSource(QStringLiteral("Memory: machine profile %1").arg(describe(*profile, value)));
    return std::make_shared<ProfileVmStatisticsSource>(profile->memory());
}

// SIGTERM and SIGINT end the event loop from a safe place: the handler only
// writes a byte into a socket pair whose other end the loop watches.
int signalSockets[2] = {-1, -1};

void onStopSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalSockets[0], &byte, 1);
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
    if (!configureSmc(commandLine->smc) || !configureSmart(commandLine->smart)) {
        return EXIT_FAILURE;
    }
    auto memory = memorySource(commandLine->memory);
    if (!memory) {
        return EXIT_FAILURE;
    }
    SMCControllerEnvironment environment = SMCControllerEnvironment::system();
    environment.memory = std::move(memory);
    SMCController::setSharedEnvironment(std::move(environment));

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        printError(QStringLiteral("cannot reach the D-Bus session bus: %1")
                       .arg(bus.lastError().message()));
        return EXIT_FAILURE;
    }

    // Both live as long as the process.
    static ServiceDelegate delegate;
    static HelperListener* const listener = new HelperListener(bus, &delegate, &app);
    switch (listener->resume()) {
    case HelperListener::ResumeResult::Ok:
        break;
    case HelperListener::ResumeResult::NameTaken:
        qCWarning(lcService).noquote()
            << QStringLiteral("Another OndaraHelper is already running: %1 is taken on this bus")
                   .arg(OndaraNames::helperServiceName);
        return EXIT_FAILURE;
    case HelperListener::ResumeResult::NoBus:
        printError(QStringLiteral("cannot reach the D-Bus session bus"));
        return EXIT_FAILURE;
    }

    new BusLossWatcher(bus, &app);
    if (!installStopSignals(app)) {
        printError(QStringLiteral("cannot watch for stop signals"));
        return EXIT_FAILURE;
    }
    logSource(QStringLiteral("OndaraHelper %1 serving %2")
                  .arg(QStringLiteral(ONDARA_VERSION_TEXT), OndaraNames::helperServiceName));
    return app.exec();
}

#include "main.moc"
