#pragma once

#include "Fan.h"
#include "TemperatureSensor.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QVariantList>
#include <QVariantMap>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

class DistributedNotificationCenter;
class UserDefaults;
class VmStatisticsSource;

// What a controller needs from outside the SMC: the settings suite, the
// notification center, the version it runs as, the memory source and the way
// the process stops when the SMC can't be reached. The agent uses system();
// tests hand in their own pieces.
struct SMCControllerEnvironment {
    // Opens the shared suite; nothing when it cannot be opened.
    std::function<std::unique_ptr<UserDefaults>()> openDefaults;
    // Where persist posts; nothing is posted without one.
    DistributedNotificationCenter* notificationCenter = nullptr;
    // The version text the agent was built with ("1.0").
    QString versionText;
    std::shared_ptr<VmStatisticsSource> memory;
    // Ends the process with a failure status. Must not return; if it does the
    // controller throws SMCController::FatalStop instead of running on.
    std::function<void()> fatalStop;

    // The running agent's: the session bus's center, the suite under
    // $XDG_CONFIG_HOME, the compiled-in version, /proc/meminfo, exit(1).
    static SMCControllerEnvironment system();
};

// The agent's model: opens the SMC, decides once per process which sensors
// exist and which one stands for each component, and keeps the user's
// selection (components, fans, memory figures, panels, units) in memory in
// property-list form and in the shared settings suite.
//
// Thread safety: none needed. The agent serves every request on the main
// thread, one after another, so the controller is never entered twice.
class SMCController {
public:
    // Thrown from the constructor when the environment's fatalStop returned.
    class FatalStop : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };

    // Initialises: opens the SMC (or stops the process), then loads the stored
    // selection or rebuilds it from a hardware scan.
    explicit SMCController(SMCControllerEnvironment environment);
    ~SMCController();
    SMCController(const SMCController&) = delete;
    SMCController& operator=(const SMCController&) = delete;

    // The process's one controller, created on first use and never released.
    static SMCController& sharedController();
    // The environment sharedController() will be created with (the agent's
    // entry sets the memory source it was asked for). Without a call, system().
    static void setSharedEnvironment(SMCControllerEnvironment environment);

    // "1.0" → 1.0; anything that is not a whole decimal number → 100.0.
    static double versionNumber(const QString& versionText);
    // Shortest decimal form with at least one digit after the point: 2.1, 100.0.
    static QString versionString(double version);

    // Writes one part of the selection ("Temps", "Fans", "Mem", "Sections",
    // "Units", "MachineSensors") to the suite and posts its notification.
    void persist(const QString& part);

    struct MemoryFigures {
        double free = 0;
        double active = 0;
        double inactive = 0;
        double wired = 0;
        double compressed = 0;
    };
    // The page counts of the moment in GiB; all 0 when the query fails.
    MemoryFigures memoryFigures();
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

    const QList<int>& visibleSections() const { return visibleSections_; }
    void setVisibleSections(const QList<int>& sections) { visibleSections_ = sections; }
    const QList<int>& units() const { return units_; }
    void setUnits(const QList<int>& units) { units_ = units; }
    const QVariantMap& tempSensorsDict() const { return tempSensorsDict_; }
    void setTempSensorsDict(const QVariantMap& dict) { tempSensorsDict_ = dict; }
    const QVariantMap& fanSensorsDict() const { return fanSensorsDict_; }
    void setFanSensorsDict(const QVariantMap& dict) { fanSensorsDict_ = dict; }
    const QVariantMap& memSensorsDict() const { return memSensorsDict_; }
    void setMemSensorsDict(const QVariantMap& dict) { memSensorsDict_ = dict; }
    const QVariantMap& machineSensorList() const { return machineSensorList_; }
    void setMachineSensorList(const QVariantMap& list) { machineSensorList_ = list; }

private:
    void initialise();
    bool loadStoredSelection();
    void rebuildSelection();
    QHash<QString, uint32_t> chooseComponentSensors();
    std::optional<uint32_t> chooseSensor(const QString& component, int lower, int upper);
    void postNotification(const QString& name);

    SMCControllerEnvironment environment;

    QHash<QString, QPair<int, int>> components_;
    QHash<QString, QString> componentDescritiveNames_;
    QHash<QString, int> componentOrder_;
    QList<TemperatureSensor> knownSensors_;
    QHash<QString, uint32_t> currentSensors_;
    QList<Fan> currentFans_;
    std::unique_ptr<UserDefaults> defaults_;
    QList<int> visibleSections_;
    QList<int> units_;
    QVariantMap tempSensorsDict_;
    QVariantMap fanSensorsDict_;
    QVariantMap memSensorsDict_;
    double appVersion_ = 100.0;
    double oldAppVersion_ = 0.0;
    QVariantMap machineSensorList_;
};
