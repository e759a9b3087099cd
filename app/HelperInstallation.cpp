#include "HelperInstallation.h"

#include "ApplicationVersion.h"
#include "OndaraNames.h"
#include "defaults/UserDefaults.h"
#include "ipc/OndaraHelperProxy.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <unistd.h>

namespace {

const QString plistName = QStringLiteral("com.quillbank.OndaraHelper.plist");
const QString legacyPlistName = QStringLiteral("com.quillbank.MirevoHelper.plist");

// launchctl and the process listing are quick; these only bound a stuck one.
constexpr int launchctlTimeoutMs = 120000;
constexpr int processListTimeoutMs = 10000;

} // namespace

QString HelperInstallation::line(HelperError error) {
    switch (error) {
    case HelperError::oldPlistDeleteFailed:
        return QStringLiteral("ERROR: Unable to delete old plist.\n");
    case HelperError::plistDeleteFailed:
        return QStringLiteral("ERROR: Unable to delete plist.\n");
    case HelperError::newPlistCopyFailed:
        return QStringLiteral("ERROR: Unable to copy new plist to LA folder.\n");
    case HelperError::loadHelperFailed:
        return QStringLiteral("ERROR: Unable to load Helper.\n");
    case HelperError::unloadHelperFailed:
        return QStringLiteral("ERROR: Unable to unload Helper.\n");
    case HelperError::unloadOldHelperFailed:
        return QStringLiteral("ERROR: Unable to unload old Helper.\n");
    case HelperError::launchAgentFolderCreationFailed:
        return QStringLiteral("ERROR: Unable to create Launch Agents folder.\n");
    case HelperError::connectionFailed:
        return QStringLiteral("ERROR: Connection to Helper Failed.\n");
    case HelperError::connectionProxyFailed:
        return QStringLiteral("ERROR: Connection through Proxy Failed.\n");
    case HelperError::groupDefaultsAccessFailed:
        return QStringLiteral("ERROR: Can't access Group Defaults.\n");
    }
    return {};
}

HelperInstallation::Environment HelperInstallation::Environment::standard() {
    Environment environment;
    environment.applicationDirectory = QCoreApplication::applicationDirPath();
    // An installation keeps its data beside its programs: <prefix>/bin and
    // <prefix>/share/ondara.
    environment.bundledPlist = QDir::cleanPath(environment.applicationDirectory +
                                               QStringLiteral("/../share/ondara/") + plistName);
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    environment.configHome =
        QDir::isAbsolutePath(xdg) ? xdg : QDir::homePath() + QStringLiteral("/.config");
    environment.launchctlProgram =
        environment.applicationDirectory + QStringLiteral("/ondara-launchctl");
    // Only this user's processes: another user's agent serves another session.
    environment.processListProgram = QStringLiteral("ps");
    environment.processListArguments = {QStringLiteral("-U"), QString::number(::getuid()),
                                        QStringLiteral("-o"), QStringLiteral("comm=")};
    environment.versionText = ApplicationVersion::text();
    environment.pause = [] { QThread::sleep(1); };
    return environment;
}

HelperInstallation::HelperInstallation(Environment environment)
    : m_environment(std::move(environment)) {}

HelperInstallation::~HelperInstallation() = default;

QString HelperInstallation::launchAgentsFolder() const {
    return m_environment.configHome + QStringLiteral("/ondara/LaunchAgents");
}

QString HelperInstallation::installedPlist() const {
    return launchAgentsFolder() + QLatin1Char('/') + plistName;
}

QString HelperInstallation::legacyPlist() const {
    return launchAgentsFolder() + QLatin1Char('/') + legacyPlistName;
}

double HelperInstallation::applicationVersion() const {
    return ApplicationVersion::number(m_environment.versionText).value_or(100.0);
}

bool HelperInstallation::isInApplicationsFolder() const {
    const QStringList parts = m_environment.applicationDirectory.split(QLatin1Char('/'));
    const QString first = parts.value(0).isEmpty() ? parts.value(1) : parts.value(0);
    return first == QLatin1StringView("Applications") ||
           QFileInfo(m_environment.bundledPlist).isFile();
}

bool HelperInstallation::run() {
    if (!isInApplicationsFolder()) {
        m_showMoveWarning = true;
        return false;
    }
    try {
        checkLaunchAgent();
    } catch (HelperError error) {
        m_debugText += error <= HelperError::launchAgentFolderCreationFailed
                           ? line(error)
                           : QStringLiteral("ERROR in checkLaunchAgent().\n");
    }
    try {
        helperSetup();
    } catch (HelperError error) {
        m_debugText += error == HelperError::unloadOldHelperFailed
                           ? QStringLiteral("ERROR in helperSetup().\n")
                           : line(error);
    }
    return true;
}

QString HelperInstallation::bundledPlistOrStop(const char* message) const {
    if (!QFileInfo(m_environment.bundledPlist).isFile()) {
        // A broken installation: nothing sensible can be started.
        if (m_environment.fatalStop) {
            m_environment.fatalStop(message);
        }
        throw HelperError::newPlistCopyFailed;
    }
    return m_environment.bundledPlist;
}

void HelperInstallation::checkLaunchAgent() {
    if (QFileInfo::exists(legacyPlist())) {
        runLaunchctl({QStringLiteral("unload"), legacyPlist()});
        if (!QFile::remove(legacyPlist())) {
            throw HelperError::oldPlistDeleteFailed;
        }
    }
    if (QFileInfo::exists(installedPlist())) {
        m_debugText += QStringLiteral("Agent successfully checked\n");
        return;
    }
    if (!QFileInfo::exists(launchAgentsFolder()) && !QDir().mkpath(launchAgentsFolder())) {
        throw HelperError::launchAgentFolderCreationFailed;
    }
    const QString source = bundledPlistOrStop(
        "Can't find com.quillbank.OndaraHelper.plist file in main bundle while trying to copy to "
        "LaunchAgents folder.");
    if (!QFile::copy(source, installedPlist())) {
        throw HelperError::newPlistCopyFailed;
    }
    m_newPlistAlreadyInstalled = true;
    m_debugText += QStringLiteral("Agent successfully checked\n");
}

void HelperInstallation::helperSetup() {
    const double version = applicationVersion();
    auto defaults = UserDefaults::openSuite(OndaraNames::suiteName, m_environment.configHome);
    const double storedVersion =
        defaults ? defaults->doubleForKey(OndaraNames::Keys::appVersion) : 0.0;

    if (version > storedVersion) {
        m_debugText += QString::asprintf("Updating... New version: %.2f, Old Version: %.2f\n",
                                         version, storedVersion);
        unloadHelper();
        m_environment.pause();
        if (!m_newPlistAlreadyInstalled) {
            const QString source = bundledPlistOrStop(
                "Can't find com.quillbank.OndaraHelper.plist file in main bundle.");
            if (QFileInfo::exists(installedPlist()) && !QFile::remove(installedPlist())) {
                throw HelperError::plistDeleteFailed;
            }
            if (!QFile::copy(source, installedPlist())) {
                throw HelperError::newPlistCopyFailed;
            }
            m_newPlistAlreadyInstalled = true;
        }
        if (defaults) {
            defaults->setObject(OndaraNames::Keys::appVersion, version);
        }
        loadHelper();
        m_environment.pause();
    } else {
        m_debugText += QString::asprintf("Ondara version - Previous: %.2f, New: %.2f\n",
                                         storedVersion, version);
        // The listing cannot tell one session of this user from another: the
        // agent counts as running when it also serves this session's bus.
        const bool running = isProcessRunning(m_helperName) && servesThisSession();
        qInfo().noquote() << QStringLiteral("Helper is running: %1")
                                 .arg(running ? QStringLiteral("Yes")
                                              : QStringLiteral("No. Loading Helper..."));
        if (!running) {
            loadHelper();
        }
    }

    m_helper.reset();
    if (!m_environment.bus.isConnected()) {
        throw HelperError::connectionFailed;
    }
    m_helper = std::make_unique<OndaraHelperProxy>(m_environment.bus);
    m_helper->sendRefreshesDirectly();

    if (defaults) {
        if (!defaults->boolForKey(OndaraNames::Keys::helperInstalled)) {
            defaults->setObject(OndaraNames::Keys::helperInstalled, true);
        }
        defaults->synchronize();
    }
    m_environment.pause();
    m_debugText += QStringLiteral("Helper setup completed.\n");
}

bool HelperInstallation::isProcessRunning(const QString& name) const {
    QProcess listing;
    listing.setProcessChannelMode(QProcess::SeparateChannels);
    listing.start(m_environment.processListProgram, m_environment.processListArguments);
    QByteArray output;
    if (listing.waitForStarted()) {
        listing.waitForFinished(processListTimeoutMs);
        output = listing.readAllStandardOutput();
    }
    if (listing.state() != QProcess::NotRunning) {
        listing.kill();
        listing.waitForFinished();
    }
    return QString::fromUtf8(output).contains(name);
}

bool HelperInstallation::servesThisSession() const {
    return !m_environment.bus.isConnected() ||
           m_environment.bus.interface()->isServiceRegistered(OndaraNames::helperServiceName);
}

void HelperInstallation::runLaunchctl(const QStringList& arguments) {
    QProcess launchctl;
    // What launchctl says is its own; its status is not looked at.
    launchctl.setProcessChannelMode(QProcess::ForwardedChannels);
    launchctl.start(m_environment.launchctlProgram, arguments);
    if (!launchctl.waitForStarted()) {
        qWarning().noquote()
            << QStringLiteral("Could not run %1").arg(m_environment.launchctlProgram);
        return;
    }
    if (!launchctl.waitForFinished(launchctlTimeoutMs)) {
        launchctl.kill();
        launchctl.waitForFinished();
    }
}

void HelperInstallation::unloadHelper() {
    runLaunchctl({QStringLiteral("unload"), installedPlist()});
}

void HelperInstallation::loadHelper() {
    runLaunchctl({QStringLiteral("load"), QStringLiteral("-w"), installedPlist()});
}
