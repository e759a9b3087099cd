#pragma once

#include <QString>
#include <QStringList>
#include <sys/types.h>

class LaunchAgentPlist;

// A launch agent run without a service manager: started in a session of its
// own, remembered by a pid file, stopped only while that pid still runs the
// agent's program (a pid can be recycled for anything once the agent ended).
class DetachedJob {
public:
    // runtimeFolder holds <Label>.pid and <Label>.log (the agent's output).
    DetachedJob(const LaunchAgentPlist& plist, const QString& runtimeFolder);

    QString pidFilePath() const;
    QString logFilePath() const;

    // The recorded pid while it still runs the program, else 0.
    pid_t runningPid() const;

    // Starts the program; false with a reason in *error.
    bool start(QString* error);
    // Stops the recorded agent (SIGTERM, then SIGKILL after waitMs) and removes
    // the pid file; a pid file naming anything else is removed and that
    // process left alone. False when no recorded agent was running.
    bool stop(int waitMs = 5000);

    // Whether /proc/<pid>/exe is `program` (also after the program file was
    // replaced by a newer build, which the kernel shows as "(deleted)").
    static bool isRunning(pid_t pid, const QString& program);

private:
    QString m_label;
    QStringList m_arguments;
    QString m_program;
    QString m_folder;
};
