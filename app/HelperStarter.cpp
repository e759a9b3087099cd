#include "HelperStarter.h"

#include "AppLogging.h"
#include "ipc/HelperPresence.h"

#include <QProcess>
#include <QTimer>

namespace {

// The launcher itself waits for the agent's name in detached mode; this only
// bounds one that is stuck.
constexpr int kLauncherLimitMs = 120000;
constexpr qint64 kMinuteMs = 60000;

} // namespace

HelperStarter::HelperStarter(HelperPresence* presence, QString launchctlProgram, QString plist,
                             QObject* parent)
    : QObject(parent)
    , m_presence(presence)
    , m_launchctl(std::move(launchctlProgram))
    , m_plist(std::move(plist))
    , m_deadline(new QTimer(this)) {
    m_clock.start();
    m_deadline->setSingleShot(true);
    connect(m_deadline, &QTimer::timeout, this, [this] {
        if (m_process) {
            m_process->kill();
            return;
        }
        conclude(m_presence->isConnected(),
                 m_presence->isConnected() ? QString() : QStringLiteral("no answer"));
    });
    connect(m_presence, &HelperPresence::stateChanged, this, [this] {
        if (m_waiting && !m_process && m_presence->state() != HelperPresence::State::away) {
            conclude(m_presence->isConnected(), {});
        }
    });
    connect(m_presence, &HelperPresence::helperVanished, this, &HelperStarter::helperVanished);
}

int HelperStarter::restartsInLastMinute() {
    const qint64 now = m_clock.elapsed();
    m_restartTimes.removeIf([now](qint64 at) { return now - at >= kMinuteMs; });
    return int(m_restartTimes.size());
}

void HelperStarter::helperVanished() {
    if (!m_restarts) {
        return;
    }
    QTimer::singleShot(kRestartDelayMs, this, [this] {
        if (m_presence->state() != HelperPresence::State::away || isStarting()) {
            return;
        }
        if (restartsInLastMinute() >= kRestartsPerMinute) {
            qCWarning(lcSetupWindow).noquote()
                << "The sensor service stopped again; not starting it once more this minute.";
            return;
        }
        m_restartTimes.append(m_clock.elapsed());
        qCInfo(lcSetupWindow).noquote() << "The sensor service vanished; starting it again.";
        start();
    });
}

void HelperStarter::start() {
    launch(QProcessEnvironment::systemEnvironment());
}

void HelperStarter::startDemo() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ONDARA_SMC"), QStringLiteral("demo"));
    environment.insert(QStringLiteral("ONDARA_SMART"), QStringLiteral("demo"));
    launch(environment);
}

void HelperStarter::launch(const QProcessEnvironment& environment) {
    if (isStarting()) {
        return;
    }
    m_launcherProblem.clear();
    m_waiting = true;
    m_process = new QProcess(this);
    m_process->setProcessEnvironment(environment);
    m_process->setProcessChannelMode(QProcess::ForwardedChannels);
    connect(m_process, &QProcess::finished, this,
            [this](int exitCode, QProcess::ExitStatus status) {
                launcherEnded(exitCode, status != QProcess::NormalExit);
            });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            launcherEnded(-1, true);
        }
    });
    m_deadline->start(kLauncherLimitMs);
    m_process->start(m_launchctl, {QStringLiteral("load"), QStringLiteral("-w"), m_plist});
}

void HelperStarter::launcherEnded(int exitCode, bool crashed) {
    if (!m_process) {
        return;
    }
    m_process->deleteLater();
    m_process = nullptr;
    if (crashed || exitCode != 0) {
        m_launcherProblem = QStringLiteral("%1 could not load the agent").arg(m_launchctl);
    }
    awaitArrival();
}

void HelperStarter::awaitArrival() {
    m_waiting = true;
    if (m_presence->state() != HelperPresence::State::away) {
        // Here already, or stopped with its word: nothing more will come.
        QTimer::singleShot(0, this, [this] { conclude(m_presence->isConnected(), {}); });
        return;
    }
    m_deadline->start(kArrivalWaitMs);
}

void HelperStarter::conclude(bool came, const QString& why) {
    if (!m_waiting) {
        return;
    }
    m_waiting = false;
    m_deadline->stop();
    QString line = why;
    if (!came) {
        if (const auto stop = m_presence->stop()) {
            line = stop->message;
        } else if (!m_launcherProblem.isEmpty()) {
            line = m_launcherProblem;
        } else if (line.isEmpty()) {
            line = QStringLiteral("no answer");
        }
    }
    Q_EMIT finished(came, line);
}
