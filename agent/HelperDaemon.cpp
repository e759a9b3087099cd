#include "HelperDaemon.h"

#include "AgentHistory.h"
#include "AgentLogging.h"
#include "DriveTemperature.h"
#include "OndaraNames.h"
#include "SMCKit.h"
#include "ata/ProfileAtaSmartPlatform.h"
#include "ata/SgIoAtaSmartPlatform.h"
#include "ata/SmartReaderAtaSmartPlatform.h"
#include "profile/MachineProfile.h"
#include "smc/AppleSmcSysfsDriver.h"
#include "smc/FourCharCode.h"
#include "smc/HwmonSmcDriver.h"
#include "smc/ProfileSmcDriver.h"
#include "vm/ProcMeminfoSource.h"
#include "vm/ProfileVmStatisticsSource.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

const QString demoProfilePath = QStringLiteral(":/profiles/demo.plist");

void logSource(const QString& line) {
    qCInfo(lcService).noquote() << line;
}

void logProblem(const QString& line) {
    qCWarning(lcService).noquote() << line;
}

// The profile a source value names ("demo" or "profile:PATH").
Result<MachineProfile> loadProfile(const QString& value) {
    return MachineProfile::fromFile(value == QLatin1StringView("demo")
                                        ? demoProfilePath
                                        : AgentCommandLine::profilePath(value));
}

QString describe(const MachineProfile& profile, const QString& value) {
    const QString origin = value == QLatin1StringView("demo")
                               ? QStringLiteral("built-in demo machine")
                               : AgentCommandLine::profilePath(value);
    return profile.name().isEmpty() ? origin
                                    : QStringLiteral("\"%1\" (%2)").arg(profile.name(), origin);
}

SensorSource profileSource(const MachineProfile& profile, const QString& value) {
    const QString path =
        value == QLatin1StringView("demo") ? QString() : AgentCommandLine::profilePath(value);
    return {QStringLiteral("profile"), profile.name(), path, {}, {}, {}};
}

// The temperature keys and fans of a profile's SMC.
SensorSources profileSources(const MachineProfile& profile, const QString& value) {
    const SensorSource source = profileSource(profile, value);
    static const QRegularExpression fanSpeed(QStringLiteral("^F([0-9])Ac$"));
    SensorSources sources;
    const QVariantMap keys = profile.smc().value(QStringLiteral("keys")).toMap();
    for (auto it = keys.cbegin(); it != keys.cend(); ++it) {
        if (const auto fan = fanSpeed.match(it.key()); fan.hasMatch()) {
            sources.insert(SensorSource::fanKey(fan.captured(1).toInt()), source);
        } else if (it.key().startsWith(QLatin1Char('T')) && it.key().size() == 4) {
            sources.insert(it.key(), source);
        }
    }
    return sources;
}

Status loadSmc(const QString& value, HelperDaemon::Backends& backends) {
    QString hwmonDirectory;
    switch (AgentCommandLine::smcBackend(value, &hwmonDirectory)) {
    case AgentCommandLine::SmcBackend::missing: {
        // Never made-up readings unasked: without a driver the agent does
        // what it does for a missing SMC when the first client calls.
        logProblem(QStringLiteral("SMC: no applesmc driver and no hwmon temperature on this "
                                  "machine; there is no SMC to read (use --smc demo for the demo "
                                  "machine)"));
        const MachineProfile noSmc = MachineProfile::fromMap(
            {{QStringLiteral("smc"), QVariantMap{{QStringLiteral("service"), false}}}});
        backends.smc = std::make_shared<ProfileSmcDriver>(noSmc);
        return succeeded();
    }
    case AgentCommandLine::SmcBackend::appleSmc: {
        logSource(QStringLiteral("SMC: applesmc driver %1")
                      .arg(AppleSmcSysfsDriver::deviceDirectory(QStringLiteral("/sys"))));
        auto driver = std::make_shared<AppleSmcSysfsDriver>();
        backends.sources.insert(driver->sources());
        backends.smc = std::move(driver);
        return succeeded();
    }
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
            logProblem(
                QStringLiteral("SMC: hwmon: no chip in %1 maps to a key").arg(hwmonDirectory));
        }
        backends.sources.insert(driver->map().sources());
        backends.smc = std::move(driver);
        return succeeded();
    }
    case AgentCommandLine::SmcBackend::profile:
        break;
    }
    const auto profile = loadProfile(value);
    if (!profile) {
        return Status::failure(profile.error());
    }
    auto driver = std::make_shared<ProfileSmcDriver>(*profile);
    for (const QString& problem : driver->problems()) {
        logProblem(QStringLiteral("SMC profile: %1").arg(problem));
    }
    logSource(QStringLiteral("SMC: machine profile %1").arg(describe(*profile, value)));
    backends.sources.insert(profileSources(*profile, value));
    backends.smc = std::move(driver);
    return succeeded();
}

Status loadDrives(const QString& value, HelperDaemon::Backends& backends) {
    const QString drive = OndaraNames::driveSensorName;
    if (value == QLatin1StringView("auto")) {
        backends.sources.insert(drive, {QStringLiteral("sgio"), {}, {}, {}, {}, {}});
        // The agent parses settings, profiles and every bus call: it sends
        // ATA commands itself only where someone gave it the right to, and
        // otherwise leaves them to the installation's small SMART reader.
        if (SgIoAtaSmartPlatform::processMayPassThrough()) {
            logSource(QStringLiteral("Drive: ATA disks through SG_IO"));
            backends.drives = std::make_shared<SgIoAtaSmartPlatform>();
            return succeeded();
        }
        const QString reader =
            SmartReaderAtaSmartPlatform::installedReader(QCoreApplication::applicationDirPath());
        logSource(QStringLiteral("Drive: ATA disks through SG_IO by %1").arg(reader));
        backends.drives = std::make_shared<SmartReaderAtaSmartPlatform>(reader);
        return succeeded();
    }
    if (value == QLatin1StringView("none")) {
        logSource(QStringLiteral("Drive: none"));
        backends.drives = std::make_shared<ProfileAtaSmartPlatform>(QVariantList());
        return succeeded();
    }
    const auto profile = loadProfile(value);
    if (!profile) {
        return Status::failure(profile.error());
    }
    logSource(QStringLiteral("Drive: machine profile %1").arg(describe(*profile, value)));
    backends.drives = std::make_shared<ProfileAtaSmartPlatform>(profile->drives());
    if (!profile->drives().isEmpty()) {
        backends.sources.insert(drive, profileSource(*profile, value));
    }
    return succeeded();
}

Status loadMemory(const QString& value, HelperDaemon::Backends& backends) {
    if (value == QLatin1StringView("proc")) {
        logSource(QStringLiteral("Memory: /proc/meminfo"));
        backends.memory = std::make_shared<ProcMeminfoSource>();
        return succeeded();
    }
    const auto profile = loadProfile(value);
    if (!profile) {
        return Status::failure(profile.error());
    }
    logSource(QStringLiteral("Memory: machine profile %1").arg(describe(*profile, value)));
    backends.memory = std::make_shared<ProfileVmStatisticsSource>(profile->memory());
    return succeeded();
}

} // namespace

HelperDaemon::HelperDaemon(AgentCommandLine commandLine)
    : options(std::move(commandLine)) {}

HelperDaemon::~HelperDaemon() {
    // The history's last rows go out while the controller still exists.
    recorder.reset();
}

Result<HelperDaemon::Backends> HelperDaemon::loadBackends() {
    Backends loaded;
    using Load = Status (*)(const QString&, Backends&);
    const std::pair<Load, const QString*> steps[] = {
        {&loadSmc, &options.smc}, {&loadDrives, &options.smart}, {&loadMemory, &options.memory}};
    for (const auto& [load, value] : steps) {
        if (const Status status = load(*value, loaded); !status) {
            return Result<Backends>::failure(status.error());
        }
    }
    return loaded;
}

Status HelperDaemon::start() {
    auto loaded = loadBackends();
    if (!loaded) {
        return Status::failure(loaded.error());
    }
    backends = std::move(*loaded);
    SMCKit::setDriver(backends.smc);
    setAtaSmartPlatform(backends.drives);
    return succeeded();
}

void HelperDaemon::setControllerEnvironment(SMCControllerEnvironment controllerEnvironment) {
    environment = std::move(controllerEnvironment);
}

void HelperDaemon::setFatalStop(std::function<void(const QString&)> stop) {
    fatalStop = std::move(stop);
}

void HelperDaemon::flush() {
    if (shared) {
        shared->flush();
    }
}

SMCController* HelperDaemon::controllerUnlessMissing() {
    if (shared) {
        return shared.get();
    }
    SMCControllerEnvironment made = environment ? *environment : SMCControllerEnvironment::system();
    if (backends.memory) {
        made.memory = backends.memory;
    }
    auto opened = SMCController::open(std::move(made));
    if (!opened) {
        openFailure = opened.error();
        return nullptr;
    }
    shared = std::move(*opened);
    return shared.get();
}

AgentHistory& HelperDaemon::makeHistory(const QString& directory, int intervalSeconds,
                                        DesktopNotifications* notifications) {
    recorder = std::make_unique<AgentHistory>(*this, directory, intervalSeconds, notifications);
    return *recorder;
}

QString HelperDaemon::stateDirectory() {
    // The base directory specification allows absolute paths only.
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base)) {
        base = QDir::homePath() + QStringLiteral("/.local/state");
    }
    return base + QStringLiteral("/ondara");
}

SMCController* HelperDaemon::controller() {
    if (SMCController* opened = controllerUnlessMissing()) {
        return opened;
    }
    if (fatalStop) {
        fatalStop(openFailure);
    }
    return nullptr;
}
