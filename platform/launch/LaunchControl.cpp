#include "LaunchControl.h"

#include "AgentStopRecord.h"
#include "DetachedJob.h"
#include "LaunchAgentPlist.h"
#include "PrivateFolder.h"
#include "SystemdUserUnit.h"

#include <QDBusConnection>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace {

// How long systemctl may take for one step before we give up on it.
constexpr int systemctlTimeoutMs = 90000;

QString absoluteFolder(const QString& value) {
    return QDir::isAbsolutePath(value) ? QDir::cleanPath(value) : QString();
}

} // namespace

LaunchControl::LaunchControl(const QProcessEnvironment& environment,
                             std::function<void(const QString&)> printLine)
    : m_environment(environment)
    , m_printLine(std::move(printLine)) {}

QString LaunchControl::usage() {
    return QStringLiteral("usage: ondara-launchctl load|unload [-w] PLIST\n");
}

QString LaunchControl::configHome() const {
    const QString xdg = absoluteFolder(m_environment.value(QStringLiteral("XDG_CONFIG_HOME")));
    return xdg.isEmpty() ? m_environment.value(QStringLiteral("HOME")) + QStringLiteral("/.config")
                         : xdg;
}

QString LaunchControl::historyFolder() const {
    const QString xdg = absoluteFolder(m_environment.value(QStringLiteral("XDG_STATE_HOME")));
    return (xdg.isEmpty()
                ? m_environment.value(QStringLiteral("HOME")) + QStringLiteral("/.local/state")
                : xdg) +
           QStringLiteral("/ondara");
}

std::optional<PrivateFolder> LaunchControl::runtimeFolder(QString* error) const {
    return AgentStopRecord::runtimeFolder(m_environment, error);
}

bool LaunchControl::systemctl(const QStringList& arguments, bool quiet) const {
    QProcess process;
    process.setProcessEnvironment(m_environment);
    process.setProcessChannelMode(quiet ? QProcess::SeparateChannels : QProcess::ForwardedChannels);
    const QString program =
        m_environment.value(QStringLiteral("ONDARA_SYSTEMCTL"), QStringLiteral("systemctl"));
    process.start(program, QStringList{QStringLiteral("--user")} + arguments);
    if (!process.waitForFinished(systemctlTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool LaunchControl::hasServiceManager() const {
    return systemctl({QStringLiteral("show-environment")}, true);
}

int LaunchControl::run(const QStringList& arguments) {
    const QString command = arguments.value(0);
    QStringList rest = arguments.mid(1);
    // -w: enable the job for later logins too (load); unload always disables.
    const bool persistent = rest.removeAll(QStringLiteral("-w")) > 0;
    if ((command != QLatin1StringView("load") && command != QLatin1StringView("unload")) ||
        rest.size() != 1 || rest.first().startsWith(QLatin1Char('-'))) {
        m_printLine(usage().trimmed());
        return 2;
    }

    QString error;
    const auto plist = LaunchAgentPlist::read(rest.first(), &error);
    if (!plist) {
        m_printLine(error);
        return 1;
    }
    if (command == QLatin1StringView("load")) {
        const QFileInfo program(plist->program());
        if (!program.isAbsolute() || !program.isFile() || !program.isExecutable()) {
            m_printLine(QStringLiteral("%1: the program %2 is not an executable file")
                            .arg(rest.first(), plist->program()));
            return 1;
        }
    }

    if (hasServiceManager()) {
        return command == QLatin1StringView("load") ? loadWithSystemd(*plist, persistent)
                                                    : unloadWithSystemd(*plist);
    }
    return command == QLatin1StringView("load") ? loadDetached(*plist) : unloadDetached(*plist);
}

int LaunchControl::loadWithSystemd(const LaunchAgentPlist& plist, bool enable) {
    QString error;
    const auto text =
        SystemdUserUnit::text(plist, m_environment, configHome(), historyFolder(), &error);
    if (!text) {
        m_printLine(QStringLiteral("%1: %2").arg(plist.label(), error));
        return 1;
    }
    // The confined agent cannot make the folder itself, and systemd refuses to
    // start a unit whose writable folder is missing.
    if (!PrivateFolder::make(historyFolder(), PrivateFolder::Access::ownerOnly, &error)) {
        m_printLine(
            QStringLiteral("cannot make the history folder %1: %2").arg(historyFolder(), error));
        return 1;
    }
    const QString name = SystemdUserUnit::fileName(plist);
    // The agent's word on a stop goes into its runtime folder, which the unit
    // lets it write only when it is there before the start.
    QString runtimeError;
    if (!runtimeFolder(&runtimeError)) {
        m_printLine(QStringLiteral("%1: %2").arg(plist.label(), runtimeError));
    }
    const auto folder = PrivateFolder::make(configHome() + QStringLiteral("/systemd/user"),
                                            PrivateFolder::Access::othersMayRead, &error);
    if (!folder || !folder->replace(name, text->toUtf8(),
                                    QStringLiteral(".") + name + QStringLiteral(".tmp-"), &error)) {
        m_printLine(QStringLiteral("cannot write the unit %1: %2").arg(name, error));
        return 1;
    }
    if (!systemctl({QStringLiteral("daemon-reload")}) ||
        (enable && !systemctl({QStringLiteral("enable"), name})) ||
        !systemctl({QStringLiteral("start"), name})) {
        m_printLine(QStringLiteral("%1: systemctl --user could not start it").arg(plist.label()));
        return 1;
    }
    return 0;
}

int LaunchControl::unloadWithSystemd(const LaunchAgentPlist& plist) {
    const QString name = SystemdUserUnit::fileName(plist);
    // Unloaded stays unloaded at the next login too: the application loads the
    // agent again itself whenever it needs it.
    const bool stopped = systemctl({QStringLiteral("stop"), name});
    const bool disabled = systemctl({QStringLiteral("disable"), name});
    if (!stopped || !disabled) {
        m_printLine(QStringLiteral("%1: systemctl --user could not stop it").arg(plist.label()));
        return 1;
    }
    return 0;
}

std::optional<DetachedJob> LaunchControl::detachedJob(const LaunchAgentPlist& plist) const {
    QString error;
    auto folder = runtimeFolder(&error);
    if (!folder) {
        m_printLine(QStringLiteral("%1: %2").arg(plist.label(), error));
        return std::nullopt;
    }
    return DetachedJob(plist, std::move(*folder), QDBusConnection::sessionBus());
}

int LaunchControl::loadDetached(const LaunchAgentPlist& plist) {
    auto job = detachedJob(plist);
    if (!job) {
        return 1;
    }
    QString message;
    const DetachedJob::Outcome outcome = job->load(&message);
    if (outcome != DetachedJob::Outcome::started) {
        m_printLine(QStringLiteral("%1: %2").arg(plist.label(), message));
    }
    return outcome == DetachedJob::Outcome::failed ? 1 : 0;
}

int LaunchControl::unloadDetached(const LaunchAgentPlist& plist) {
    auto job = detachedJob(plist);
    if (!job) {
        return 1;
    }
    QString message;
    if (!job->unload(&message)) {
        m_printLine(QStringLiteral("%1: %2").arg(plist.label(), message));
        return 1;
    }
    return 0;
}
