#pragma once

// The OndaraHelper program as the tests start it: on the test's bus, with its
// own settings folder (which holds its history too), its log (standard
// error) collected.

#include "AgentTestSupport.h"
#include "files/AgentStopRecord.h"

#include <QProcess>

inline constexpr int agentStartWait = 20000;

// The agent program; its standard error is its log.
class Agent {
public:
    explicit Agent(const QStringList& arguments, const QString& configHome = "",
                   const QString& busAddress = "") {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString name :
             {"ONDARA_SMC", "ONDARA_SMART", "ONDARA_MEMORY", "ONDARA_HISTORY_INTERVAL"}) {
            environment.remove(name);
        }
        environment.insert("QT_FORCE_STDERR_LOGGING", "1");
        if (!configHome.isEmpty()) {
            environment.insert("XDG_CONFIG_HOME", configHome);
            environment.insert("XDG_STATE_HOME", configHome);
            // The word of a stop goes beside the settings, not into the user's own folder.
            environment.insert("XDG_RUNTIME_DIR", configHome);
        }
        if (!busAddress.isEmpty()) {
            environment.insert("DBUS_SESSION_BUS_ADDRESS", busAddress);
        }
        process.setProcessEnvironment(environment);
        process.start(ONDARA_AGENT_PATH, arguments);
    }
    ~Agent() {
        process.kill();
        process.waitForFinished();
    }

    // The built-in demo machine, as the README runs it.
    static QStringList demoMachine() {
        return {"--smc", "demo", "--smart", "demo", "--memory", "proc"};
    }

    // The test machine: two fans, a drive that can't be read and says so on
    // standard error at every read, so those lines count the drive reads.
    static QStringList testMachine() {
        const QString machine = "profile:" + testDataPath("service-machine.plist");
        return {"--smc",    machine, "--smart", "profile:" + testDataPath("unreadable-drive.plist"),
                "--memory", machine};
    }

    bool waitUntilServing() {
        return QTest::qWaitFor([this] { return log().contains("serving com.quillbank"); },
                               agentStartWait);
    }
    QString log() { return QString::fromUtf8(errors += process.readAllStandardError()); }
    // The log up to the end of the last `text` in it.
    QString logUpTo(const QString& text) {
        const QString all = log();
        return all.left(all.lastIndexOf(text) + text.size());
    }

    // What the agent left in the runtime folder (configHome) about its stop.
    static std::optional<AgentStopRecord::Stop> stopRecord(const QString& configHome) {
        QString error;
        QProcessEnvironment environment;
        environment.insert("XDG_RUNTIME_DIR", configHome);
        return AgentStopRecord(AgentStopRecord::runtimeFolder(environment, &error)).read();
    }

    QProcess process;

private:
    QByteArray errors;
};
