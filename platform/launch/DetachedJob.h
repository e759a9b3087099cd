#pragma once

#include "PrivateFolder.h"

#include <QDBusConnection>
#include <QList>
#include <QString>
#include <QStringList>
#include <sys/types.h>

class LaunchAgentPlist;

// A launch agent run without a service manager: started in a session of its
// own and recorded in <Label>.pid, one line per session bus ("pid start-time
// bus-id"), since the sessions of one user share the runtime folder. Loading
// and unloading hold <Label>.lock, so two of them never interleave. A record
// counts only while its pid still runs the agent's program since the same
// start time, and (for an agent with a bus name) owns that name on this
// session's bus: a recycled pid or another session's agent is never taken
// for ours.
class DetachedJob {
public:
    // How long an agent may take to own its bus name, and how long another
    // load or unload may hold the lock.
    static constexpr int startWaitMs = 10000;
    static constexpr int lockWaitMs = 30000;

    DetachedJob(const LaunchAgentPlist& plist, PrivateFolder runtimeFolder, QDBusConnection bus);

    QString pidFilePath() const;
    QString logFilePath() const;

    enum class Outcome { started, alreadyRunning, failed };
    // Starts the agent unless this session's one runs; success only once the
    // agent owns its bus name. *message says what happened (a failure's reason).
    Outcome load(QString* message);
    // Stops this session's recorded agent (SIGTERM, then SIGKILL after
    // waitMs). False, with the reason in *message, when none was running.
    bool unload(QString* message, int waitMs = 5000);

    // Whether /proc/<pid>/exe is `program` (also after the program file was
    // replaced by a newer build, which the kernel shows as "(deleted)").
    static bool isRunning(pid_t pid, const QString& program);

private:
    struct Record {
        pid_t pid = 0;
        quint64 startTime = 0;
        QString bus;
    };
    QList<Record> liveRecords() const;
    bool writeRecords(const QList<Record>& records, QString* error) const;
    bool isOurs(const Record& record) const;
    QString busKey() const;
    pid_t busOwner() const;
    pid_t spawn(QString* error) const;
    bool awaitBusName(pid_t pid, QString* error) const;
    FileDescriptor lock(QString* error) const;

    QString m_label;
    QStringList m_arguments;
    QString m_program;
    QString m_busName;
    PrivateFolder m_folder;
    QDBusConnection m_bus;
};
