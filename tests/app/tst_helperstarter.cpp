// Starting the agent while the window runs, and bringing back one that
// vanished, over a private bus with a launcher that starts the real agent
// detached.

#include "HelperStarter.h"
#include "OndaraNames.h"
#include "ipc/HelperPresence.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

namespace {

constexpr int kWaitMs = 20000;

} // namespace

class TestHelperStarter : public QObject {
    Q_OBJECT

    QTemporaryDir folder;

    // A launcher that starts the agent detached and records each load.
    QString launcher() {
        const QString path = folder.filePath("launchctl");
        QFile script(path);
        if (!script.open(QIODevice::WriteOnly)) {
            return {};
        }
        script.write("#!/bin/sh\necho \"$@\" >> '" + folder.filePath("loads").toUtf8() +
                     "'\nXDG_CONFIG_HOME='" + folder.path().toUtf8() + "' XDG_RUNTIME_DIR='" +
                     folder.path().toUtf8() +
                     "' '" ONDARA_AGENT_PATH
                     "' --smc demo --smart none --memory proc >/dev/null 2>&1 &\n");
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }
    int loads() {
        QFile file(folder.filePath("loads"));
        return file.open(QIODevice::ReadOnly) ? int(file.readAll().count('\n')) : 0;
    }
    static uint agentPid() {
        return QDBusConnection::sessionBus()
            .interface()
            ->servicePid(OndaraNames::helperServiceName)
            .value();
    }

private Q_SLOTS:
    void startsAndBringsBackAVanishedAgent() {
        QProcessEnvironment environment;
        environment.insert("XDG_RUNTIME_DIR", folder.path());
        QString error;
        HelperPresence presence(
            QDBusConnection::sessionBus(),
            AgentStopRecord(AgentStopRecord::runtimeFolder(environment, &error)));
        HelperStarter starter(&presence, launcher(), "the.plist");
        QSignalSpy finished(&starter, &HelperStarter::finished);
        starter.start();
        QVERIFY(finished.wait(kWaitMs));
        QCOMPARE(finished.takeFirst().value(0).toBool(), true);
        QCOMPARE(loads(), 1);

        // Killed: it comes back by itself, once.
        QVERIFY(::kill(pid_t(agentPid()), SIGKILL) == 0);
        QVERIFY(finished.wait(kWaitMs));
        QCOMPARE(finished.takeFirst().value(0).toBool(), true);
        QCOMPARE(loads(), 2);
        QCOMPARE(starter.restartsInLastMinute(), 1);
        QCOMPARE(presence.state(), HelperPresence::State::connected);
        ::kill(pid_t(agentPid()), SIGTERM);
        starter.setRestartsVanishedAgent(false);
        QTRY_COMPARE_WITH_TIMEOUT(presence.state(), HelperPresence::State::away, kWaitMs);
    }
};

QTEST_MAIN(TestHelperStarter)
#include "tst_helperstarter.moc"
