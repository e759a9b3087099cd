#pragma once

#include "Fan.h"
#include "Result.h"
#include "SensorRecords.h"
#include "TemperatureSensor.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>
#include <functional>
#include <memory>
#include <optional>

class DistributedNotificationCenter;
class UserDefaults;
class VmStatisticsSource;

// What a controller needs from outside the SMC: the settings suite, the
// notification center, the version it runs as and the memory source. The
// agent's start-up makes them; tests hand in their own pieces.
struct SMCControllerEnvironment {
    // Opens the shared suite; nothing when it cannot be opened.
    std::function<std::unique_ptr<UserDefaults>()> openDefaults;
    // Where persist posts; nothing is posted without one.
    DistributedNotificationCenter* notificationCenter = nullptr;
    // The version text the agent was built with ("1.0").
    QString versionText;
    std::shared_ptr<VmStatisticsSource> memory;

    // The running agent's: the session bus's center, the suite under
    // $XDG_CONFIG_HOME, the compiled-in version, /proc/meminfo.
    static SMCControllerEnvironment system();
};

// The agent's model: opens the SMC, decides once per process which sensors
// exist and which one stands for each component, and keeps the user's
// selection (components, fans, memory figures, panels, units) in memory and
// in the shared settings suite.
//
// Thread safety: none needed. The agent serves every request on the main
// thread, one after another, so the controller is never entered twice.
class SMCController {
public:
    // Initialises: opens the SMC, then loads the stored selection or rebuilds
    // it from a hardware scan. When the SMC can't be opened nothing is read
    // or written and the controller stays closed (see open).
    explicit SMCController(SMCControllerEnvironment environment);
    ~SMCController();
    SMCController(const SMCController&) = delete;
    SMCController& operator=(const SMCController&) = delete;

    // A controller that could open the SMC, or the reason there is none: the
    // agent cannot work then and stops.
    static Result<std::unique_ptr<SMCController>> open(SMCControllerEnvironment environment);
    bool isOpen() const { return open_; }

    // "1.0" → 1.0; anything that is not a whole decimal number → 100.0.
    static double versionNumber(const QString& versionText);
    // Shortest decimal form with at least one digit after the point: 2.1, 100.0.
    static QString versionString(double version);

    // Writes one part of the selection ("Temps", "Fans", "Mem", "Sections",
    // "Units", "MachineSensors") to the suite and posts its notification once
    // the file holds it. A change that cannot be written is not announced: it
    // is kept, written with the next change or at flush, and announced then.
    // "Sections" and "Units" are written element by element, so another
    // agent's change of the other elements survives. A part that did not
    // change is announced without touching the file; other words do nothing.
    void persist(const QString& part);
    // Writes what earlier persists could not (at the stop).
    void flush();
    // Writes another key the agent owns and posts its notification (none
    // when empty), as persist does for the selection:
    // announced once the file holds it, else kept and written with the next
    // change or at flush.
    void persistKey(const QString& key, const QVariant& value, const QString& notification);

    struct MemoryFigures {
        double free = 0;
        double active = 0;
        double inactive = 0;
        double wired = 0;
        double compressed = 0;
    };
    // The page counts of the moment in GiB; all 0 when the query fails.
    MemoryFigures memoryFigures();
    // The same, quietly: nothing when the query fails.
    std::optional<MemoryFigures> readMemoryFigures();
    // Installed memory in GiB; 0 when it can't be learnt.
    double totalMemory();

    const QHash<QString, QPair<int, int>>& components() const { return components_; }
    const QHash<QString, QString>& componentDescritiveNames() const {
        return componentDescritiveNames_;
    }
    const QHash<QString, int>& componentOrder() const { return componentOrder_; }
    const QList<TemperatureSensor>& knownSensors() const { return knownSensors_; }
    const QHash<QString, uint32_t>& currentSensors() const { return currentSensors_; }
    const QList<Fan>& currentFans() const { return currentFans_; }
    UserDefaults* defaults() const { return defaults_.get(); }
    double appVersion() const { return appVersion_; }
    double oldAppVersion() const { return oldAppVersion_; }

    // The selection; the service commands change it and then call persist,
    // which also makes the answers below follow the change.
    const SensorSelection& selection() const { return selection_; }
    SensorSelection& selection() {
        selectionChanged();
        return selection_;
    }
    // Counts the selection's changes (and its non-const uses), so what is
    // built from it can be built again only when it may have changed.
    quint64 selectionRevision() const { return selectionRevision_; }
    const QList<int>& visibleSections() const { return selection_.visibleSections; }
    const QList<int>& units() const { return selection_.units; }
    // The selection's dictionaries in their stored layouts, and the active
    // lists as the service answers them; kept until the selection changes,
    // since every client asks for them again and again.
    const QVariantMap& tempSensorsDict() const { return encoded().temperatures; }
    const QVariantMap& fanSensorsDict() const { return encoded().fans; }
    const QVariantMap& memSensorsDict() const { return encoded().memory; }
    const QVariantMap& machineSensorList() const { return encoded().candidates; }
    const QVariantMap& activeTempSensors() const { return encoded().activeTemperatures; }
    const QVariantMap& activeFanSensors() const { return encoded().activeFans; }
    const QVariantMap& activeMemSensors() const { return encoded().activeMemory; }

private:
    struct Encoded {
        QVariantMap temperatures;
        QVariantMap fans;
        QVariantMap memory;
        QVariantMap candidates;
        QVariantMap activeTemperatures;
        QVariantMap activeFans;
        QVariantMap activeMemory;
    };
    const Encoded& encoded() const;

    void initialise();
    bool loadStoredSelection();
    void selectionChanged() {
        encoded_.reset();
        ++selectionRevision_;
    }
    void rebuildSelection();
    QHash<QString, uint32_t> chooseComponentSensors();
    std::optional<uint32_t> chooseSensor(const QString& component, int lower, int upper);
    void postNotification(const QString& name);
    void stageElements(const QString& key, const QList<int>& numbers);
    void postPendingNotifications();

    SMCControllerEnvironment environment;

    QHash<QString, QPair<int, int>> components_;
    QHash<QString, QString> componentDescritiveNames_;
    QHash<QString, int> componentOrder_;
    QList<TemperatureSensor> knownSensors_;
    QHash<QString, uint32_t> currentSensors_;
    QList<Fan> currentFans_;
    std::unique_ptr<UserDefaults> defaults_;
    SensorSelection selection_;
    mutable std::optional<Encoded> encoded_;
    quint64 selectionRevision_ = 0;
    double appVersion_ = 100.0;
    double oldAppVersion_ = 0.0;
    bool open_ = false;
    // Announcements owed for changes the suite has not stored yet, in order.
    QStringList pendingNotifications_;
    std::optional<double> installedMemory_;
    qint64 installedMemoryTakenMs_ = 0;
};
