// What the widget costs: the OndaraWidget program (offscreen) on the demo
// machine for a while, shown or with only its readout in the panel, with the
// CPU time and resident memory of the widget and of the agent serving it, as
// the kernel counts them. A stand-in panel on the bus takes the readout's
// status icon, counts each kind of update it is sent and reads the item's
// properties again, so the cost of answering is counted too. It reads as
// the Plasma tray does: the signals of one moment (10 ms) start one GetAll,
// and signals that come while a read is out cost one more read after it;
// a new status is taken from the signal itself. "eager" reads once per
// icon or tooltip signal instead, the most a host could ask.
//
//   bench_widget [SECONDS] [TempsTab|FansTab|MemTab] [hidden] [eager]
//   (default 60, TempsTab)

#include "BenchSupport.h"
#include "OndaraNames.h"
#include "defaults/UserDefaults.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <utility>

namespace {

// Long enough for the widget to have laid out every tab and shown readings.
constexpr int kWarmUpMilliseconds = 5000;

// What a process has spent so far: CPU to the nanosecond, and its memory.
struct Sample {
    double cpuSeconds;
    qint64 timeSlices;
    ProcessCost memory;
};

Sample sample(qint64 pid) {
    return {cpuSecondsOfThreads(pid), timeSlicesOfThreads(pid), processCost(pid)};
}

void report(const char* name, const Sample& before, const Sample& after, double seconds) {
    const double cpu = after.cpuSeconds - before.cpuSeconds;
    std::printf("%-14s CPU %.4f s over %.1f s = %.4f %% of one core, %.1f time slices a refresh; "
                "resident %.1f MB (proportional %.1f, private %.1f)\n",
                name, cpu, seconds, 100.0 * cpu / seconds,
                double(after.timeSlices - before.timeSlices) / (seconds / 4),
                after.memory.residentKilobytes / 1024.0,
                after.memory.proportionalKilobytes / 1024.0,
                after.memory.privateKilobytes / 1024.0);
}

// The panel's side of the status icon: takes the registration, counts what
// the icon sends and reads the item again as a tray host does.
class StandInPanel : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
public:
    StandInPanel() {
        m_collect.setSingleShot(true);
        m_collect.setInterval(10);
        connect(&m_collect, &QTimer::timeout, this, &StandInPanel::readItem);
    }
    QDBusConnection bus{QString()};
    QString item;
    bool eager = false;
    int icons = 0;
    int toolTips = 0;
    int statuses = 0;
    int reads = 0;
public Q_SLOTS:
    Q_SCRIPTABLE void RegisterStatusNotifierItem(const QString& service) { item = service; }
    void newIcon() { ++icons, changed(); }
    void newToolTip() { ++toolTips, changed(); }
    void newStatus(const QString&) {
        ++statuses;
        if (eager) {
            readItem();
        }
    }

private:
    void changed() {
        if (eager) {
            readItem();
        } else if (!m_collect.isActive()) {
            m_collect.start();
        }
    }

    void readItem() {
        if (item.isEmpty()) {
            return;
        }
        if (m_reading && !eager) {
            m_readAgain = true;
            return;
        }
        m_reading = true;
        QDBusMessage getAll = QDBusMessage::createMethodCall(
            item, QStringLiteral("/StatusNotifierItem"),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"));
        getAll << QStringLiteral("org.kde.StatusNotifierItem");
        auto* pending = new QDBusPendingCallWatcher(bus.asyncCall(getAll), this);
        connect(pending, &QDBusPendingCallWatcher::finished, this,
                [this](QDBusPendingCallWatcher* done) {
                    reads += !done->isError();
                    done->deleteLater();
                    m_reading = false;
                    if (std::exchange(m_readAgain, false)) {
                        readItem();
                    }
                });
    }

    QTimer m_collect;
    bool m_reading = false;
    bool m_readAgain = false;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const int seconds = arguments.size() > 1 ? arguments[1].toInt() : 60;
    const QString tab = arguments.size() > 2 ? arguments[2] : QStringLiteral("TempsTab");
    const bool hidden = arguments.mid(3).contains(QLatin1String("hidden"));
    if (seconds <= 0) {
        std::fprintf(stderr,
                     "usage: bench_widget [SECONDS] [TempsTab|FansTab|MemTab] [hidden] [eager]\n");
        return 2;
    }

    PrivateBus bus;
    DemoAgent agent(bus.address);
    if (bus.address.isEmpty() || !agent.waitUntilServing()) {
        std::fprintf(stderr, "The agent did not start: %s\n", agent.errors.constData());
        return 1;
    }
    // The widget shares the agent's settings: installed, on the chosen tab.
    const auto suite =
        UserDefaults::openSuite(QString(OndaraNames::suiteName), agent.configHome.path());
    suite->setObject(QString(OndaraNames::Keys::helperInstalled), true);
    suite->setObject(QString(OndaraNames::Keys::lastSelectedTab), tab);
    suite->synchronize();

    StandInPanel panel;
    QDBusConnection panelBus = QDBusConnection::connectToBus(bus.address, QStringLiteral("panel"));
    panelBus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &panel,
                            QDBusConnection::ExportScriptableSlots);
    panelBus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
    panel.bus = panelBus;
    panel.eager = arguments.mid(3).contains(QLatin1String("eager"));
    for (const auto& [member, slot] :
         {std::pair{"NewIcon", SLOT(newIcon())}, std::pair{"NewToolTip", SLOT(newToolTip())},
          std::pair{"NewStatus", SLOT(newStatus(QString))}}) {
        panelBus.connect({}, QStringLiteral("/StatusNotifierItem"),
                         QStringLiteral("org.kde.StatusNotifierItem"), QString::fromLatin1(member),
                         &panel, slot);
    }

    QTemporaryDir state;
    QProcess widget;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SESSION_BUS_ADDRESS", bus.address);
    environment.insert("XDG_CONFIG_HOME", agent.configHome.path());
    environment.insert("XDG_STATE_HOME", state.path());
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    widget.setProcessEnvironment(environment);
    widget.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    widget.start(QStringLiteral(ONDARA_WIDGET_PATH),
                 hidden ? QStringList{QStringLiteral("--hidden")} : QStringList());
    if (!widget.waitForStarted()) {
        std::fprintf(stderr, "OndaraWidget did not start\n");
        return 1;
    }
    runEventLoopFor(kWarmUpMilliseconds);

    const Sample widgetBefore = sample(widget.processId());
    const Sample agentBefore = sample(agent.process.processId());
    const int iconsBefore = panel.icons;
    const int toolTipsBefore = panel.toolTips;
    const int statusesBefore = panel.statuses;
    const int readsBefore = panel.reads;
    QElapsedTimer clock;
    clock.start();
    runEventLoopFor(seconds * 1000);
    const double elapsed = clock.nsecsElapsed() / 1e9;
    const Sample widgetAfter = sample(widget.processId());
    const Sample agentAfter = sample(agent.process.processId());

    if (hidden) {
        std::printf("Widget hidden, readout in the panel, for %.1f s on the demo machine:\n",
                    elapsed);
    } else {
        std::printf("Widget shown on the %s tab for %.1f s on the demo machine (offscreen):\n",
                    qPrintable(tab), elapsed);
    }
    std::printf("Panel icon     %d NewIcon, %d NewToolTip, %d NewStatus in %.0f refreshes of 4 s; "
                "item read %d times (%s)\n",
                panel.icons - iconsBefore, panel.toolTips - toolTipsBefore,
                panel.statuses - statusesBefore, elapsed / 4, panel.reads - readsBefore,
                panel.eager ? "after every signal" : "collected as a tray host does");
    report("OndaraWidget", widgetBefore, widgetAfter, elapsed);
    report("OndaraHelper", agentBefore, agentAfter, elapsed);
    widget.terminate();
    widget.waitForFinished();
    return widgetAfter.cpuSeconds < 0 ? 1 : 0;
}

#include "bench_widget.moc"
