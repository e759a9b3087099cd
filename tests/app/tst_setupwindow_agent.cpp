// The window against the real agent on the demo machine, over a private bus.

#include "BoxFanView.h"
#include "BoxView.h"
#include "HelperBanner.h"
#include "OndaraNames.h"
#include "PropertyList.h"
#include "SensorListViewController.h"
#include "SetupViewController.h"
#include "defaults/UserDefaults.h"
#include "ipc/HelperPresence.h"
#include "ipc/OndaraHelperProxy.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QLabel>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kWaitMs = 20000;

QVariantList storedEntry(const QString& configHome, const QString& section, const QString& key) {
    const auto suite = UserDefaults::openSuite(OndaraNames::suiteName, configHome);
    if (!suite) {
        return {};
    }
    suite->synchronize();
    return PropertyList::arrayOf(suite->objectForKey(section).toMap().value(key))
        .value_or(QVariantList());
}

} // namespace

class TestSetupWindowAgent : public QObject {
    Q_OBJECT

    QTemporaryDir configHome;
    QTemporaryDir runtime;
    QProcess agent;

    void startAgent(const QString& smc = QStringLiteral("demo")) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome.path());
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        agent.setProcessEnvironment(environment);
        agent.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        agent.start(QStringLiteral(ONDARA_AGENT_PATH),
                    {QStringLiteral("--smc"), smc, QStringLiteral("--smart"),
                     QStringLiteral("demo"), QStringLiteral("--memory"), QStringLiteral("proc")});
    }

    // The presence as the application judges it, reading this test's runtime folder.
    std::unique_ptr<HelperPresence> presence() {
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        QString error;
        return std::make_unique<HelperPresence>(
            QDBusConnection::sessionBus(),
            AgentStopRecord(AgentStopRecord::runtimeFolder(environment, &error)));
    }

private Q_SLOTS:
    void cleanupTestCase() {
        agent.terminate();
        agent.waitForFinished();
    }

    // The window opens before the agent, shows nothing, and fills itself once
    // the agent takes its name; then it shows live values.
    void fillsWhenTheAgentAppearsAndShowsReadings() {
        QVERIFY(configHome.isValid());
        OndaraHelperProxy proxy;
        proxy.setTimeout(2000);
        SetupViewController window(&proxy);
        const auto watcher = presence();
        connect(watcher.get(), &HelperPresence::helperAppeared, &window,
                &SetupViewController::requestSensorDictionaries);
        window.show();
        QTRY_VERIFY(window.panelsFilled());
        QVERIFY(!window.noSensorsMsg()->isHidden());

        QSignalSpy refilled(&window, &SetupViewController::panelsFilledChanged);
        startAgent();
        QVERIFY(refilled.wait(kWaitMs));
        QVERIFY(window.noSensorsMsg()->isHidden());
        QVERIFY(window.tempBoxes().first()->sensorName().size() > 0);
        QTRY_VERIFY_WITH_TIMEOUT(window.showsReadings(), kWaitMs);
        QVERIFY(window.tempBoxes().first()->sensorValue().toInt() > 0);
        auto* fan = window.fanBoxes().first();
        QVERIFY(!fan->isHidden());
        QTRY_VERIFY_WITH_TIMEOUT(fan->currentSpeed() > 0, kWaitMs);
        QVERIFY(window.totalMemoryLabel()->text().endsWith(QStringLiteral(" GB")));
    }

    // A tile clicked and a sensor picked reach the agent's stored selection.
    void choicesReachTheStore() {
        OndaraHelperProxy proxy;
        SetupViewController window(&proxy);
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(window.panelsFilled() && window.noSensorsMsg()->isHidden(),
                                 kWaitMs);
        BoxView* box = window.tempBoxes().first();
        const QString component = box->sensorKey();
        const bool wasSelected = box->isSelected();
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), box->mapToGlobal(QPointF(5, 5)),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(box, &press);
        QCOMPARE(box->isSelected(), !wasSelected);
        QTRY_COMPARE_WITH_TIMEOUT(
            storedEntry(configHome.path(), OndaraNames::Keys::tempSensors, component).value(3),
            QVariant(!wasSelected), kWaitMs);

        // The first tile whose component has a choice of sensors.
        BoxView* choosable = nullptr;
        for (BoxView* tile : window.tempBoxes()) {
            if (!choosable && !tile->isHidden() && tile->sensors().size() > 1) {
                choosable = tile;
            }
        }
        QVERIFY2(choosable, "the demo machine offers a component with several sensors");
        choosable->gearButtonPressed();
        SensorListViewController* chooser = choosable->sensorListVC();
        QRadioButton* other = nullptr;
        int otherIndex = -1;
        for (int i = 0; i < chooser->radioButtons().size(); ++i) {
            if (!chooser->radioButtons()[i]->isChecked() && !other) {
                other = chooser->radioButtons()[i];
                otherIndex = i;
            }
        }
        QVERIFY(other);
        const quint32 code = chooser->sensorCodes()[otherIndex];
        other->click();
        QCOMPARE(choosable->sensorCode(), code);
        QTRY_COMPARE_WITH_TIMEOUT(
            storedEntry(configHome.path(), OndaraNames::Keys::tempSensors, choosable->sensorKey())
                .value(1)
                .toLongLong(),
            qlonglong(code), kWaitMs);
    }

    // The agent stops: within two refreshes the banner shows and the tiles are
    // disabled, and a click changes nothing on screen or in the store; the
    // agent is back: the banner goes, the lists are asked again, the tiles work.
    void agentGoneAndBack() {
        OndaraHelperProxy proxy;
        SetupViewController window(&proxy);
        const auto judge = presence();
        window.follow(judge.get());
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(window.showsReadings() && window.helperBanner()->isHidden(),
                                 kWaitMs);
        BoxView* box = window.tempBoxes().first();
        const QString component = box->sensorKey();
        const QVariant stored =
            storedEntry(configHome.path(), OndaraNames::Keys::tempSensors, component).value(3);
        const bool wasSelected = box->isSelected();

        agent.kill();
        QVERIFY(agent.waitForFinished(kWaitMs));
        QTRY_VERIFY_WITH_TIMEOUT(!window.helperBanner()->isHidden(),
                                 2 * window.activeRefreshMs() + 1000);
        QCOMPARE(window.helperBanner()->message()->text(),
                 QStringLiteral("Ondara's sensor service is not running."));
        QVERIFY(!box->isEnabled() && window.readingsStale());
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), box->mapToGlobal(QPointF(5, 5)),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(box, &press);
        QCOMPARE(box->isSelected(), wasSelected);

        QSignalSpy refilled(&window, &SetupViewController::panelsFilledChanged);
        startAgent();
        QVERIFY(refilled.wait(kWaitMs));
        QVERIFY(window.helperBanner()->isHidden());
        QVERIFY(box->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!window.readingsStale() && window.showsReadings(), kWaitMs);
        QCOMPARE(storedEntry(configHome.path(), OndaraNames::Keys::tempSensors, component).value(3),
                 stored);
    }

    // On a machine without sensors the agent stops at the first call and says
    // why; the banner names that, and it is not a vanishing to restart after.
    void agentWithoutSensorsSaysSo() {
        agent.terminate();
        QVERIFY(agent.waitForFinished(kWaitMs));
        const auto judge = presence();
        QSignalSpy vanished(judge.get(), &HelperPresence::helperVanished);
        OndaraHelperProxy proxy;
        SetupViewController window(&proxy);
        window.follow(judge.get());
        startAgent(QStringLiteral("profile:" ONDARA_TEST_DATA_DIR
                                  "/../../agent/data/no-smc-service.plist"));
        // The window asks for its lists as the agent appears: the first call.
        QTRY_COMPARE_WITH_TIMEOUT(judge->state(), HelperPresence::State::stopped, kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(agent.state(), QProcess::NotRunning, kWaitMs);
        QCOMPARE(agent.exitCode(), AgentStopRecord::kNoSensorsStatus);
        QCOMPARE(window.helperBanner()->message()->text(),
                 QStringLiteral("This computer has no sensors Ondara's sensor service can read."));
        QVERIFY(window.helperBanner()->demoButton()->isVisibleTo(&window));
        QVERIFY(window.noSensorsMsg()->isHidden());
        QCOMPARE(vanished.size(), 0);
    }
};

QTEST_MAIN(TestSetupWindowAgent)
#include "tst_setupwindow_agent.moc"
