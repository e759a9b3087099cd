#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QProcessEnvironment>
#include <QString>

class HelperPresence;
class QProcess;
class QTimer;

// Starts the agent while the window runs, the way the application's start
// does (ondara-launchctl load -w on the installed launch list), without
// holding up the window: the launcher runs as a child process and its end,
// then the agent's name on the bus, are waited for (at most kArrivalWaitMs).
//
// It also brings back an agent whose name vanished without word of a reason
// (a crash, a kill): after kRestartDelayMs, so a user unit's own restart comes
// first, and at most kRestartsPerMinute times a minute; after that the banner
// stays. An agent that said why it stopped is never started again by itself.
class HelperStarter : public QObject {
    Q_OBJECT
public:
    static constexpr int kArrivalWaitMs = 3000;
    static constexpr int kRestartDelayMs = 2500;
    static constexpr int kRestartsPerMinute = 3;

    HelperStarter(HelperPresence* presence, QString launchctlProgram, QString plist,
                  QObject* parent = nullptr);

    // Whether the agent comes back by itself when its name vanishes.
    void setRestartsVanishedAgent(bool on) { m_restarts = on; }
    bool isStarting() const { return m_process != nullptr || m_waiting; }
    int restartsInLastMinute();

public Q_SLOTS:
    void start();
    // The same on the built-in demo machine.
    void startDemo();
    // Waits (bounded) for the agent's name without starting anything; for the
    // application's start, after its own load.
    void awaitArrival();

Q_SIGNALS:
    // came: the agent took its name in time. why: one line when it did not.
    void finished(bool came, const QString& why);

private:
    void launch(const QProcessEnvironment& environment);
    void launcherEnded(int exitCode, bool crashed);
    void conclude(bool came, const QString& why);
    void helperVanished();

    HelperPresence* m_presence;
    QString m_launchctl;
    QString m_plist;
    QProcess* m_process = nullptr;
    QTimer* m_deadline;
    bool m_waiting = false;
    bool m_restarts = true;
    QString m_launcherProblem;
    QList<qint64> m_restartTimes;
    QElapsedTimer m_clock;
};
