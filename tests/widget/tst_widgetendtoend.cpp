#include "OndaraNames.h"
#include "TodayViewController.h"
#include "WidgetBoxView.h"
#include "WidgetSession.h"
#include "WidgetWindow.h"
#include "defaults/UserDefaults.h"
#include "ipc/OndaraHelperProxy.h"

#include <QDBusConnection>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kWait = 20000;

// The real agent on the demo machine, on this test's private bus, with the
// test's settings folder.
class DemoAgent {
public:
    explicit DemoAgent(const QString& configHome) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", configHome);
        environment.insert("QT_FORCE_STDERR_LOGGING", "1");
        process.setProcessEnvironment(environment);
        process.start(ONDARA_AGENT_PATH, {"--smc", "demo", "--smart", "demo"});
    }
    ~DemoAgent() { stop(); }
    void stop() {
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished();
        }
    }
    QProcess process;
};

bool isReading(const WidgetBoxView* box) {
    bool number = false;
    return !box->isHidden() && box->sensorValue().toInt(&number) > 0 && number;
}

} // namespace

class TestWidgetEndToEnd : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void followsChangesAndAgentRestarts() {
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        {
            const auto suite = UserDefaults::openSuite(QString(OndaraNames::suiteName));
            suite->setObject(QString(OndaraNames::Keys::helperInstalled), true);
            QVERIFY(suite->synchronize());
        }
        // The widget is on screen before any agent runs: it shows nothing yet.
        WidgetSession session(QDBusConnection::sessionBus(), config.filePath("widget.ini"));
        session.window()->show();
        TodayViewController* widget = session.controller();
        WidgetBoxView* first = widget->tempBoxes().first();

        auto agent = std::make_unique<DemoAgent>(config.path());
        QTRY_VERIFY_WITH_TIMEOUT(isReading(first), kWait);

        // Another client changes the unit; the widget learns it from the
        // agent's notification.
        QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "other");
        OndaraHelperProxy application(other);
        application.changeTempUnitToCelsius(false);
        QTRY_COMPARE_WITH_TIMEOUT(widget->units().value(0), 1, kWait);
        // Every demo temperature is above 38 °C, so above 100 °F.
        QTRY_VERIFY_WITH_TIMEOUT(first->sensorValue().toInt() > 100, kWait);

        // Only asking for the lists again shows the box once more.
        agent->stop();
        first->hide();
        agent = std::make_unique<DemoAgent>(config.path());
        QTRY_VERIFY_WITH_TIMEOUT(isReading(first), kWait);
        QVERIFY(first->sensorValue().toInt() > 100);
        QDBusConnection::disconnectFromBus("other");
    }
};

QTEST_MAIN(TestWidgetEndToEnd)
#include "tst_widgetendtoend.moc"
