// The window against the real agent on the demo machine, over a private bus.

#include "BoxFanView.h"
#include "BoxView.h"
#include "HelperPresenceWatcher.h"
#include "OndaraNames.h"
#include "PropertyList.h"
#include "SensorListViewController.h"
#include "SetupViewController.h"
#include "defaults/UserDefaults.h"
#include "ipc/OndaraHelperProxy.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QLabel>
#include <QMouseEvent>
#include <QProcess>
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
    QProcess agent;

    void startAgent() {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome.path());
        agent.setProcessEnvironment(environment);
        agent.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        agent.start(QStringLiteral(ONDARA_AGENT_PATH),
                    {QStringLiteral("--smc"), QStringLiteral("demo"), QStringLiteral("--smart"),
                     QStringLiteral("demo"), QStringLiteral("--memory"), QStringLiteral("proc")});
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
        HelperPresenceWatcher watcher;
        connect(&watcher, &HelperPresenceWatcher::helperAppeared, &window,
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
};

QTEST_MAIN(TestSetupWindowAgent)
#include "tst_setupwindow_agent.moc"
