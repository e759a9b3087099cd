#include "SMCController.h"

#include "AgentLogging.h"
#include "DriveTemperature.h"
#include "OndaraNames.h"
#include "OndaraVersion.h"
#include "PropertyList.h"
#include "SMCKit.h"
#include "SensorComponents.h"
#include "SensorRecordCodec.h"
#include "TemperatureSensorCatalogue.h"
#include "defaults/UserDefaults.h"
#include "ipc/DistributedNotificationCenter.h"
#include "vm/ProcMeminfoSource.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

namespace Keys = OndaraNames::Keys;
namespace Notifications = OndaraNames::Notifications;

constexpr double bytesPerGibibyte = 1024.0 * 1024.0 * 1024.0;

void logProgress(const QString& line) {
    qCInfo(lcController).noquote() << line;
}

void logProblem(const QString& line) {
    qCWarning(lcController).noquote() << line;
}

void writeStandardOutput(const char* line) {
    std::fputs(line, stdout);
    std::fflush(stdout);
}

// Installed memory changes only when memory is hot-plugged, and counting the
// online blocks reads a file per block: every new client would pay for it.
constexpr qint64 installedMemoryValidMs = 60000;

} // namespace

SMCControllerEnvironment SMCControllerEnvironment::system() {
    SMCControllerEnvironment environment;
    environment.openDefaults = [] { return UserDefaults::openSuite(OndaraNames::suiteName); };
    environment.notificationCenter = DistributedNotificationCenter::defaultCenter();
    environment.versionText = QStringLiteral(ONDARA_VERSION_TEXT);
    environment.memory = std::make_shared<ProcMeminfoSource>();
    return environment;
}

SMCController::SMCController(SMCControllerEnvironment environment)
    : environment(std::move(environment)) {
    initialise();
}

SMCController::~SMCController() = default;

Result<std::unique_ptr<SMCController>> SMCController::open(SMCControllerEnvironment environment) {
    auto controller = std::make_unique<SMCController>(std::move(environment));
    if (!controller->isOpen()) {
        return Result<std::unique_ptr<SMCController>>::failure(
            QStringLiteral("Can't establish connection with SMC"));
    }
    return Result<std::unique_ptr<SMCController>>(std::move(controller));
}

const SMCController::Encoded& SMCController::encoded() const {
    if (!encoded_) {
        encoded_ = Encoded{SensorRecordCodec::toPropertyList(selection_.temperatures),
                           SensorRecordCodec::toPropertyList(selection_.fans),
                           SensorRecordCodec::toPropertyList(selection_.memory),
                           SensorRecordCodec::toPropertyList(selection_.candidates),
                           SensorRecordCodec::toPropertyList(selection_.activeTemperatures()),
                           SensorRecordCodec::toPropertyList(selection_.activeFans()),
                           SensorRecordCodec::toPropertyList(selection_.activeMemory())};
    }
    return *encoded_;
}

double SMCController::versionNumber(const QString& versionText) {
    // The whole text must be one decimal number: "2.1.3", " 2.1", "inf" or a
    // hexadecimal float are not.
    static const QRegularExpression decimal(
        QStringLiteral("^[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?$"));
    if (!decimal.match(versionText).hasMatch()) {
        return 100.0;
    }
    bool ok = false;
    const double value = QLocale::c().toDouble(versionText, &ok);
    return ok && std::isfinite(value) ? value : 100.0;
}

QString SMCController::versionString(double version) {
    if (!std::isfinite(version) || std::fabs(version) >= 1e16) {
        return QString::number(version, 'g', QLocale::FloatingPointShortest);
    }
    QString text = QString::number(version, 'f', QLocale::FloatingPointShortest);
    if (!text.contains(QLatin1Char('.'))) {
        text += QStringLiteral(".0");
    }
    return text;
}

void SMCController::initialise() {
    components_ = SensorComponents::bounds();
    componentDescritiveNames_ = SensorComponents::descriptiveNames();
    componentOrder_ = SensorComponents::order();

    if (SMCKit::errorOf([] { SMCKit::openConnection(); })) {
        // Without the SMC the agent has nothing to offer; nothing is written.
        logProblem(QStringLiteral("Can't establish connection with SMC"));
        return;
    }
    open_ = true;

    appVersion_ = versionNumber(environment.versionText);

    if (environment.openDefaults) {
        defaults_ = environment.openDefaults();
    }
    if (defaults_) {
        oldAppVersion_ = defaults_->doubleForKey(Keys::helperVersion);
    }

    logProgress(QStringLiteral("old Helper Version: %1, New Helper version: %2")
                    .arg(versionString(oldAppVersion_), versionString(appVersion_)));

    if (oldAppVersion_ < appVersion_) {
        logProgress(QStringLiteral(
            "Old helper version detected. Searching for valid sensors and creating new Defaults."));
        rebuildSelection();
        if (defaults_) {
            defaults_->setObject(Keys::helperVersion, appVersion_);
            defaults_->synchronize();
        }
        return;
    }

    if (!loadStoredSelection()) {
        logProgress(QStringLiteral(
            "Couldn't read saved data. Searching for valid sensors and creating new Defaults."));
        rebuildSelection();
        return;
    }
    logProgress(QStringLiteral("App version is the same. Using Stored Sensors in Defaults."));
}

bool SMCController::loadStoredSelection() {
    if (!defaults_) {
        return false;
    }
    // All four or none: a partial load is discarded.
    QVariantMap stored;
    for (const QLatin1StringView key : {Keys::tempSensors, Keys::fanSensors, Keys::memSensors,
                                        Keys::machineSensors, Keys::sections, Keys::units}) {
        stored.insert(key, defaults_->objectForKey(key));
    }
    auto selection = SensorRecordCodec::storedSelection(stored);
    if (!selection) {
        return false;
    }
    selection_ = std::move(*selection);
    selectionChanged();
    return true;
}

void SMCController::rebuildSelection() {
    selectionChanged();
    selection_.temperatures.clear();
    selection_.fans.clear();
    selection_.memory.clear();

    currentSensors_ = chooseComponentSensors();
    int nextFreePosition = int(componentOrder_.size());
    for (auto it = currentSensors_.cbegin(); it != currentSensors_.cend(); ++it) {
        const QString& key = it.key();
        int position = 0;
        if (const auto found = componentOrder_.constFind(key); found != componentOrder_.cend()) {
            position = found.value();
        } else {
            position = nextFreePosition++;
        }
        const bool active = key == QLatin1StringView("CPU") || key == QLatin1StringView("GPU") ||
                            key == QLatin1StringView("HDD");
        selection_.temperatures.insert(
            {key, componentDescritiveNames_.value(key), it.value(), position, active, {}});
    }
    logProgress(QStringLiteral("TempSensorsDict generated"));

    try {
        currentFans_ = SMCKit::readFans();
    } catch (const std::exception&) {
        writeStandardOutput("No fans detected\n");
    }
    for (const Fan& fan : std::as_const(currentFans_)) {
        selection_.fans.insert(
            {QString::number(fan.id), fan.id, fan.name, fan.maxSpeed, fan.id < 3, {}});
    }
    logProgress(QStringLiteral("FanSensorsDict generted"));

    static const QStringList memoryFigureNames{
        QStringLiteral("Total"),     QStringLiteral("Used"),   QStringLiteral("Free"),
        QStringLiteral("Wired"),     QStringLiteral("Active"), QStringLiteral("Inactive"),
        QStringLiteral("Compressed")};
    for (int position = 0; position < memoryFigureNames.size(); ++position) {
        selection_.memory.insert({memoryFigureNames[position], position, position > 2, {}});
    }
    logProgress(QStringLiteral("MemSensorsDict generated"));

    selection_.visibleSections = SensorSelection::defaultSections;
    selection_.units = SensorSelection::defaultUnits;

    if (defaults_) {
        const QVariantMap keys = SensorRecordCodec::toPropertyList(selection_);
        for (auto it = keys.cbegin(); it != keys.cend(); ++it) {
            defaults_->setObject(it.key(), it.value());
        }
        defaults_->setObject(Keys::sensorsSaved, true);
        defaults_->synchronize();
    }
}

QHash<QString, uint32_t> SMCController::chooseComponentSensors() {
    try {
        knownSensors_ = SMCKit::presentTemperatureSensors();
    } catch (const std::exception&) {
        logProblem(QStringLiteral("No Temperature sensors detected on this machine"));
        return {};
    }
    QHash<QString, uint32_t> chosen;
    for (auto it = components_.cbegin(); it != components_.cend(); ++it) {
        if (const auto code = chooseSensor(it.key(), it.value().first, it.value().second)) {
            chosen.insert(it.key(), *code);
        }
    }
    return chosen;
}

std::optional<uint32_t> SMCController::chooseSensor(const QString& component, int lower,
                                                    int upper) {
    struct Candidate {
        TemperatureSensor sensor;
        bool drive = false;
    };
    QList<Candidate> candidates;
    for (const TemperatureSensor& sensor : std::as_const(knownSensors_)) {
        if (SensorComponents::belongsTo(sensor.name, component)) {
            candidates.append({sensor, false});
        }
    }
    // The drive is read once here and that reading stands for it throughout;
    // its error values (0, -1, -3) never make it a candidate.
    int32_t driveTemperature = 0;
    if (component == QLatin1StringView("HDD")) {
        driveTemperature = hddTemp();
        if (driveTemperature >= 1 && driveTemperature <= 64) {
            candidates.append({driveTemperatureSensor(), true});
        }
    }
    if (candidates.isEmpty()) {
        return std::nullopt;
    }

    auto temperatureOf = [driveTemperature](const Candidate& candidate) {
        return candidate.drive ? double(driveTemperature)
                               : SMCKit::readTemperature(candidate.sensor.code);
    };

    // Hottest first, stable: a candidate moves ahead of another only when it
    // reads strictly higher. Every comparison reads afresh, so the readings
    // may drift while sorting; a hand-written insertion sort never leaves the
    // list whatever the comparisons say, which the library sorts don't promise
    // for an inconsistent ordering. Lists are a handful of sensors long.
    for (qsizetype i = 1; i < candidates.size(); ++i) {
        for (qsizetype j = i; j > 0; --j) {
            double moving = 0;
            double ahead = 0;
            try {
                moving = temperatureOf(candidates[j]);
                ahead = temperatureOf(candidates[j - 1]);
            } catch (const std::exception&) {
                logProblem(QStringLiteral("Error when ordering %1 sensors in SMCController")
                               .arg(component));
                break;
            }
            if (!(moving > ahead)) {
                break;
            }
            candidates.swapItemsAt(j, j - 1);
        }
    }

    std::optional<uint32_t> chosen;
    for (const Candidate& candidate : std::as_const(candidates)) {
        const QString keyText =
            candidate.drive ? candidate.sensor.name : SMCKit::fourCharString(candidate.sensor.code);
        double temperature = 0;
        try {
            temperature = temperatureOf(candidate);
        } catch (const std::exception&) {
            logProblem(QStringLiteral("Can't get temperature for sensor %1").arg(keyText));
            continue;
        }
        const bool qualifies = !chosen && lower < temperature && temperature < upper;
        if (qualifies) {
            chosen = candidate.sensor.code;
        }
        // Readings of 0 °C or below are not offered to the user, even the chosen one.
        if (temperature > 0) {
            CandidateList* list = selection_.candidates.find(component);
            if (!list) {
                selection_.candidates.insert({component, {}});
                list = selection_.candidates.find(component);
            }
            list->rows.append(SensorCandidate{
                candidate.sensor.code, keyText, candidate.sensor.name, qualifies, {}});
        }
    }
    return chosen;
}

void SMCController::persist(const QString& part) {
    // Whatever was changed through selection() is written and answered from now on.
    selectionChanged();
    struct Row {
        QLatin1StringView part;
        QLatin1StringView key;
        QLatin1StringView notification; // empty: none
    };
    static const Row rows[] = {
        {QLatin1StringView("Temps"), Keys::tempSensors, Notifications::tempsDidChange},
        {QLatin1StringView("Fans"), Keys::fanSensors, Notifications::fansDidChange},
        {QLatin1StringView("Mem"), Keys::memSensors, Notifications::memDidChange},
        {QLatin1StringView("Sections"), Keys::sections, Notifications::sectionsDidChange},
        {QLatin1StringView("Units"), Keys::units, Notifications::unitsDidChange},
        {QLatin1StringView("MachineSensors"), Keys::machineSensors, QLatin1StringView()},
    };
    const Row* row = nullptr;
    for (const Row& candidate : rows) {
        if (part == candidate.part) {
            row = &candidate;
            break;
        }
    }
    if (!row) {
        return;
    }
    if (!row->notification.isEmpty() && !pendingNotifications_.contains(row->notification)) {
        pendingNotifications_.append(row->notification);
    }
    if (!defaults_) {
        // Without a suite the change lives in memory only, and is announced.
        postPendingNotifications();
        return;
    }

    if (row->key == Keys::sections) {
        stageElements(row->key, selection_.visibleSections);
    } else if (row->key == Keys::units) {
        stageElements(row->key, selection_.units);
    } else {
        const QVariantMap& value = row->key == Keys::tempSensors  ? tempSensorsDict()
                                   : row->key == Keys::fanSensors ? fanSensorsDict()
                                   : row->key == Keys::memSensors ? memSensorsDict()
                                                                  : machineSensorList();
        if (defaults_->objectForKey(row->key) != QVariant(value)) {
            defaults_->setObject(row->key, value);
        }
    }
    if (defaults_->hasPendingChanges() && !defaults_->synchronize()) {
        logProblem(QStringLiteral("Could not save %1; the change is kept and saved with the next "
                                  "one")
                       .arg(part));
        return;
    }
    // The file may hold another agent's elements beside ours; serve what it holds.
    if (row->key == Keys::sections || row->key == Keys::units) {
        QList<int>& numbers =
            row->key == Keys::sections ? selection_.visibleSections : selection_.units;
        numbers = SensorRecordCodec::integers(defaults_->objectForKey(row->key), numbers.size())
                      .value_or(numbers);
    }
    postPendingNotifications();
}

void SMCController::stageElements(const QString& key, const QList<int>& numbers) {
    const QVariantList wanted = SensorRecordCodec::toPropertyList(numbers);
    const auto stored = SensorRecordCodec::integers(defaults_->objectForKey(key), numbers.size());
    if (!stored) {
        defaults_->setObject(key, wanted);
        return;
    }
    for (qsizetype i = 0; i < numbers.size(); ++i) {
        if (stored->at(i) != numbers.at(i)) {
            defaults_->setArrayElement(key, i, wanted.at(i), wanted);
        }
    }
}

void SMCController::postPendingNotifications() {
    const QStringList names = std::exchange(pendingNotifications_, {});
    for (const QString& name : names) {
        postNotification(name);
    }
}

void SMCController::flush() {
    if (!defaults_ || !defaults_->hasPendingChanges()) {
        return;
    }
    if (!defaults_->synchronize()) {
        logProblem(QStringLiteral("Could not save the last changes of the selection"));
        return;
    }
    postPendingNotifications();
}

void SMCController::postNotification(const QString& name) {
    if (environment.notificationCenter) {
        environment.notificationCenter->postNotificationName(name);
    }
}

void SMCController::persistKey(const QString& key, const QVariant& value,
                               const QString& notification) {
    if (!notification.isEmpty() && !pendingNotifications_.contains(notification)) {
        pendingNotifications_.append(notification);
    }
    if (defaults_) {
        if (defaults_->objectForKey(key) != value) {
            defaults_->setObject(key, value);
        }
        if (defaults_->hasPendingChanges() && !defaults_->synchronize()) {
            logProblem(QStringLiteral("Could not save %1; the change is kept and saved with the "
                                      "next one")
                           .arg(key));
            return;
        }
    }
    postPendingNotifications();
}

SMCController::MemoryFigures SMCController::memoryFigures() {
    if (const auto figures = readMemoryFigures()) {
        return *figures;
    }
    writeStandardOutput("Error getting host_statistics64\n");
    return {};
}

std::optional<SMCController::MemoryFigures> SMCController::readMemoryFigures() {
    const auto statistics =
        environment.memory ? environment.memory->statistics() : std::optional<VmStatistics>();
    if (!statistics) {
        return std::nullopt;
    }
    auto gibibytes = [](uint64_t pages) {
        return double(pages) * double(VmStatistics::pageSize) / bytesPerGibibyte;
    };
    return MemoryFigures{gibibytes(statistics->freeCount), gibibytes(statistics->activeCount),
                         gibibytes(statistics->inactiveCount), gibibytes(statistics->wireCount),
                         gibibytes(statistics->compressorPageCount)};
}

double SMCController::totalMemory() {
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (!installedMemory_ || now - installedMemoryTakenMs_ > installedMemoryValidMs ||
        now < installedMemoryTakenMs_) {
        const auto installed = environment.memory ? environment.memory->installedMemoryBytes()
                                                  : std::optional<uint64_t>();
        installedMemory_ = installed ? double(*installed) / bytesPerGibibyte : 0.0;
        installedMemoryTakenMs_ = now;
    }
    return *installedMemory_;
}
