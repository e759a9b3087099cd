// After a sleep the readings are asked again at once: from logind's signal
// on a private stand-in for the system bus, and from a tick that comes late.

#include "OndaraNames.h"
#include "PanelReadout.h"
#include "ScriptedHelper.h"
#include "SleepWatch.h"
#include "TodayViewController.h"
#include "WidgetWindow.h"
#include "ipc/HelperPresence.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestSleepWatch : public QObject {
    Q_OBJECT

    QProcess systemBusDaemon;
    QString systemBusAddress;

    bool sendPrepareForSleep(bool sleeping) {
        QDBusConnection logind = QDBusConnection(QStringLiteral("logind"));
        QDBusMessage signal = QDBusMessage::createSignal(
            QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"));
        signal << sleeping;
        return logind.send(signal);
    }

private Q_SLOTS:
    void initTestCase() {
        // A bus of its own stands in for the system bus; the watch finds it
        // where it finds the real one, through DBUS_SYSTEM_BUS_ADDRESS.
        systemBusDaemon.start(QStringLiteral("dbus-daemon"),
                              {QStringLiteral("--session"), QStringLiteral("--nofork"),
                               QStringLiteral("--print-address=1")});
        QVERIFY(systemBusDaemon.waitForStarted());
        QTRY_VERIFY(systemBusDaemon.canReadLine());
        systemBusAddress = QString::fromUtf8(systemBusDaemon.readLine()).trimmed();
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", systemBusAddress.toUtf8());
        QDBusConnection logind =
            QDBusConnection::connectToBus(systemBusAddress, QStringLiteral("logind"));
        QVERIFY(logind.isConnected());
        QVERIFY(logind.registerService(QStringLiteral("org.freedesktop.login1")));
    }

    void cleanupTestCase() {
        QDBusConnection::disconnectFromBus(QStringLiteral("logind"));
        systemBusDaemon.terminate();
        systemBusDaemon.waitForFinished();
    }

    // Going to sleep takes the readings off the panel; waking asks for them
    // at once, in the panel and in the widget shown, not at the next tick.
    void wakingRefreshesAtOnce() {
        QTemporaryDir folder;
        ScriptedHelper helper;
        helper.activeTemps = {{"CPU", QVariantList{qlonglong(0x54433050), qlonglong(1)}}};
        helper.temperatureOf = [](quint32) { return 55; };
        WidgetWindow window(new TodayViewController(&helper, nullptr, nullptr),
                            folder.filePath("state.ini"));
        // The agent's name is held, so the agent counts as here.
        QVERIFY(QDBusConnection::sessionBus().registerService(OndaraNames::helperServiceName));
        HelperPresence presence(QDBusConnection::sessionBus(), AgentStopRecord(std::nullopt));
        PanelReadout readout(&window, &helper, nullptr, nullptr, &presence,
                             QDBusConnection(QStringLiteral("none")), QDBusConnection::systemBus(),
                             folder.filePath("state.ini"), 600000);
        QVERIFY(readout.sleepWatch()->watchesLogind());
        readout.start();
        window.show();
        PanelReadings* readings = readout.readings();
        QTRY_COMPARE(readings->state(), PanelReadings::State::current);
        QTRY_VERIFY(helper.requestCount("temperatureForSensors") >= 2);

        QVERIFY(sendPrepareForSleep(true));
        QTRY_COMPARE(readings->state(), PanelReadings::State::waiting);
        QVERIFY(readout.figure().isEmpty());
        helper.clearRecords();
        helper.temperatureOf = [](quint32) { return 61; };
        QVERIFY(sendPrepareForSleep(false));
        QTRY_COMPARE(readings->state(), PanelReadings::State::current);
        QCOMPARE(readout.figure(), QStringLiteral("61"));
        // The panel's refresh and the widget's.
        QTRY_COMPARE(helper.requestCount("temperatureForSensors"), 2);
    }

    void lateTickMeansTheMachineSlept_data() {
        QTest::addColumn<QList<qint64>>("ticks");
        QTest::addColumn<int>("resumes");
        QTest::newRow("on time") << QList<qint64>{0, 4000, 8010, 11990} << 0;
        QTest::newRow("a little late") << QList<qint64>{0, 4000, 10000} << 0;
        QTest::newRow("after a sleep") << QList<qint64>{0, 4000, 3604000, 3608000} << 1;
        QTest::newRow("two sleeps") << QList<qint64>{0, 60000, 64000, 200000} << 2;
    }
    void lateTickMeansTheMachineSlept() {
        QFETCH(QList<qint64>, ticks);
        QFETCH(int, resumes);
        SleepWatch watch(4000, QDBusConnection(QStringLiteral("none")));
        qint64 now = 0;
        watch.setClock([&now] { return now; });
        QSignalSpy resumed(&watch, &SleepWatch::resumed);
        for (const qint64 tick : ticks) {
            now = tick;
            watch.tickArrived();
        }
        QCOMPARE(resumed.size(), resumes);
    }

    // The boot clock goes on while the machine sleeps, unlike the monotonic
    // one; here it only has to move forward.
    void bootClockMovesForward() {
        const qint64 first = SleepWatch::bootMilliseconds();
        QVERIFY(first > 0);
        QTRY_VERIFY(SleepWatch::bootMilliseconds() > first);
    }
};

QTEST_MAIN(TestSleepWatch)
#include "tst_sleepwatch.moc"
