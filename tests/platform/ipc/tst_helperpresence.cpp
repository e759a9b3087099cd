// The shared judgement of whether the agent is here, on a private bus, and the
// word a stopped agent leaves behind.

#include "OndaraNames.h"
#include "files/AgentStopRecord.h"
#include "ipc/HelperPresence.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

AgentStopRecord recordIn(const QString& folder) {
    QProcessEnvironment environment;
    environment.insert("XDG_RUNTIME_DIR", folder);
    QString error;
    return AgentStopRecord(AgentStopRecord::runtimeFolder(environment, &error));
}

} // namespace

class TestHelperPresence : public QObject {
    Q_OBJECT

    // A second connection plays the agent: it takes and gives up the name.
    QDBusConnection agentBus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "agent");

private Q_SLOTS:
    void followsTheNameAndTheAgentsWord() {
        QTemporaryDir runtime;
        const AgentStopRecord record = recordIn(runtime.path());
        HelperPresence presence(QDBusConnection::sessionBus(), recordIn(runtime.path()));
        QCOMPARE(presence.state(), HelperPresence::State::away);
        QSignalSpy appeared(&presence, &HelperPresence::helperAppeared);
        QSignalSpy vanished(&presence, &HelperPresence::helperVanished);

        QVERIFY(agentBus.registerService(OndaraNames::helperServiceName));
        QVERIFY(appeared.wait());
        QCOMPARE(presence.state(), HelperPresence::State::connected);

        // A crash or a kill leaves no word.
        QVERIFY(agentBus.unregisterService(OndaraNames::helperServiceName));
        QVERIFY(vanished.wait());
        QCOMPARE(presence.state(), HelperPresence::State::away);

        QVERIFY(agentBus.registerService(OndaraNames::helperServiceName));
        QVERIFY(appeared.wait());
        // An agent that stops for a reason says so before its name goes.
        QString error;
        QVERIFY2(record.write({AgentStopRecord::Reason::noSensors, "Can't establish connection"},
                              &error),
                 qPrintable(error));
        QSignalSpy changed(&presence, &HelperPresence::stateChanged);
        QVERIFY(agentBus.unregisterService(OndaraNames::helperServiceName));
        QVERIFY(changed.wait());
        QCOMPARE(presence.state(), HelperPresence::State::stopped);
        QCOMPARE(presence.stop()->message, "Can't establish connection");
        QCOMPARE(vanished.size(), 1);

        // A window opened afterwards judges the same.
        HelperPresence later(QDBusConnection::sessionBus(), recordIn(runtime.path()));
        QCOMPARE(later.state(), HelperPresence::State::stopped);
    }

    // With its name owned, an agent that leaves two refreshes unanswered is away
    // at the third; one answer brings it back.
    void silentAgentIsAway() {
        QTemporaryDir runtime;
        QVERIFY(agentBus.registerService(OndaraNames::helperServiceName));
        HelperPresence presence(QDBusConnection::sessionBus(), recordIn(runtime.path()));
        QCOMPARE(presence.state(), HelperPresence::State::connected);
        presence.refreshSent();
        presence.answered();
        presence.refreshSent();
        presence.refreshSent();
        QCOMPARE(presence.state(), HelperPresence::State::connected);
        presence.refreshSent();
        QCOMPARE(presence.state(), HelperPresence::State::away);
        presence.answered();
        QCOMPARE(presence.state(), HelperPresence::State::connected);
        QVERIFY(agentBus.unregisterService(OndaraNames::helperServiceName));
    }

    // What another program put in the record's place is not the agent's word.
    void recordIsReadWithSuspicion_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("reason"); // -1: not a record
        QTest::addColumn<QString>("message");
        QTest::newRow("the agent's")
            << QByteArray("noSensors\nCan't establish\n") << int(AgentStopRecord::Reason::noSensors)
            << "Can't establish";
        QTest::newRow("control characters")
            << QByteArray("anotherAgent\nx\x1b[2Jy\ttab\n")
            << int(AgentStopRecord::Reason::anotherAgent) << "x [2Jy tab";
        QTest::newRow("unknown word") << QByteArray("crashed\nbye\n") << -1 << "";
        QTest::newRow("empty") << QByteArray() << -1 << "";
        QTest::newRow("too large") << "noSensors\n" + QByteArray(5000, 'a') << -1 << "";
        QTest::newRow("a link") << QByteArray("link") << -1 << "";
    }
    void recordIsReadWithSuspicion() {
        QFETCH(QByteArray, content);
        QFETCH(int, reason);
        QTemporaryDir runtime;
        const AgentStopRecord record = recordIn(runtime.path());
        const QString file = runtime.filePath("ondara/com.quillbank.OndaraHelper.stopped");
        if (content == "link") {
            QFile target(runtime.filePath("elsewhere"));
            QVERIFY(target.open(QIODevice::WriteOnly) && target.write("noSensors\nx\n") > 0);
            target.close();
            QVERIFY(QFile::link(target.fileName(), file));
        } else {
            QFile written(file);
            QVERIFY(written.open(QIODevice::WriteOnly));
            written.write(content);
        }
        const auto stop = record.read();
        QCOMPARE(stop.has_value(), reason >= 0);
        if (stop) {
            QCOMPARE(int(stop->reason), reason);
            QTEST(stop->message, "message");
        }
        record.clear();
        QVERIFY(!QFileInfo::exists(file) && !record.read());
    }
};

QTEST_MAIN(TestHelperPresence)
#include "tst_helperpresence.moc"
