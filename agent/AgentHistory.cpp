#include "AgentHistory.h"

#include "AgentLogging.h"
#include "DriveTemperature.h"
#include "HelperDaemon.h"
#include "HistorySeries.h"
#include "OndaraNames.h"
#include "SMCController.h"
#include "SMCKit.h"
#include "SeriesLabels.h"
#include "UserUnits.h"
#include "defaults/UserDefaults.h"

#include <QDateTime>
#include <QSet>
#include <malloc.h>

namespace {

struct DefaultThreshold {
    const char* component;
    double above;
    double clearBelow;
    quint32 forSeconds;
};

// Well below where these parts throttle or fail, well above a busy day.
constexpr DefaultThreshold defaultThresholds[] = {
    {"CPU", 90, 80, 30},
    {"GPU", 90, 80, 30},
    {"HDD", 55, 50, 60},
};

constexpr quint32 stoppedFanSeconds = 30;
constexpr quint32 memorySeconds = 120;

// The distinct codes the selection chooses, in its order, within bounds.
QList<quint32> chosenCodes(const SMCController& controller) {
    QList<quint32> codes;
    for (const TemperatureEntry& entry : controller.selection().temperatures.entries()) {
        if (!codes.contains(entry.code)) {
            codes.append(entry.code);
        }
        if (codes.size() >= AgentHistory::maximumTemperatureSeries) {
            break;
        }
    }
    return codes;
}

QList<int> fanNumbers(const SMCController& controller) {
    QList<int> numbers;
    for (const FanEntry& entry : controller.selection().fans.entries()) {
        if (entry.number >= 0 && entry.number <= SMCKit::highestFanNumber &&
            !numbers.contains(entry.number)) {
            numbers.append(entry.number);
        }
    }
    return numbers;
}

} // namespace

AgentHistory::AgentHistory(HelperDaemon& daemon, QString directory, int intervalSeconds,
                           DesktopNotifications* notifications, QObject* parent)
    : QObject(parent)
    , m_daemon(daemon)
    , m_intervalSeconds(std::clamp(intervalSeconds, 0, maximumIntervalSeconds))
    , m_store(std::move(directory))
    , m_monitor(notifications)
    , m_clock([] { return QDateTime::currentMSecsSinceEpoch(); })
    , m_driveName(HistorySeries::temperature(OndaraNames::driveSensorCode)) {
    for (const QString& figure : HistorySeries::memoryFigures()) {
        m_memoryNames.append(HistorySeries::memory(figure));
    }
    connect(&m_monitor, &AlertMonitor::alertRaised, this, &AgentHistory::alertRaised);
    connect(&m_monitor, &AlertMonitor::alertCleared, this, &AgentHistory::alertCleared);
    // A round a second late or early is no matter; the agent wakes with other timers.
    m_timer.setTimerType(Qt::VeryCoarseTimer);
    connect(&m_timer, &QTimer::timeout, this, &AgentHistory::sampleRound);
}

AgentHistory::~AgentHistory() {
    finish();
}

void AgentHistory::openStore() {
    if (const Status opened = m_store.open(); !opened) {
        qCWarning(lcHistory).noquote()
            << QStringLiteral("History: %1; keeping none, alerts go on").arg(opened.error());
    } else {
        m_store.prune(m_clock());
    }
    m_lastPrune = m_clock();
}

void AgentHistory::start() {
    openStore();
    if (m_intervalSeconds > 0) {
        m_timer.start(m_intervalSeconds * 1000);
        qCInfo(lcHistory).noquote() << QStringLiteral("History: a round every %1 s into %2")
                                           .arg(m_intervalSeconds)
                                           .arg(m_store.filePath());
    }
}

void AgentHistory::finish() {
    m_timer.stop();
    m_store.flush(true);
}

SMCController* AgentHistory::controllerForClients() {
    SMCController* controller = m_daemon.controller();
    if (controller && controller != m_rulesController) {
        loadRules(*controller);
    }
    return controller;
}

void AgentHistory::sampleRound() {
    SMCController* controller = m_daemon.controllerUnlessMissing();
    if (!controller) {
        // Without an SMC there is nothing to sample; the first client stops
        // the agent, as it always did.
        m_timer.stop();
        if (!m_stoppedLogged) {
            m_stoppedLogged = true;
            qCWarning(lcHistory).noquote() << QStringLiteral("History: no SMC to sample");
        }
        return;
    }
    if (controller != m_rulesController) {
        loadRules(*controller);
    }
    const qint64 now = m_clock();
    const bool withDrive = m_round % roundsPerDriveReading == 0;
    ++m_round;
    const QHash<QString, std::optional<double>>& round = readRound(*controller, withDrive);
    const qint64 step = qint64(std::max(m_intervalSeconds, 1)) * 1000;
    for (auto it = round.cbegin(); it != round.cend(); ++it) {
        m_store.append(it.key(), now, it.value(),
                       it.key() == m_driveName ? step * roundsPerDriveReading : step);
    }
    m_store.flush();
    if (now - m_lastPrune >= pruneEveryMs || now < m_lastPrune) {
        m_store.prune(now);
        m_lastPrune = now;
    }
    m_monitor.evaluate(now, round);
}

void AgentHistory::followSelection(const SMCController& controller) {
    if (m_sampledController == &controller && m_sampledRevision == controller.selectionRevision()) {
        return;
    }
    m_sampledController = &controller;
    m_sampledRevision = controller.selectionRevision();
    m_temperatures.clear();
    for (quint32 code : chosenCodes(controller)) {
        m_temperatures.append({code, HistorySeries::temperature(code)});
    }
    m_fans.clear();
    for (int fan : fanNumbers(controller)) {
        m_fans.append({fan, HistorySeries::fanSpeed(fan)});
    }
    // A series no longer chosen is no longer read.
    m_readings.clear();
}

const QHash<QString, std::optional<double>>& AgentHistory::readRound(SMCController& controller,
                                                                     bool withDrive) {
    followSelection(controller);
    for (const auto& [code, name] : m_temperatures) {
        if (code == OndaraNames::driveSensorCode) {
            if (withDrive) {
                // 0, -1 and -3 are the drive unit's ways of saying it has no reading.
                const int32_t celsius = hddTemp();
                m_readings[name] = celsius > 0 ? std::optional<double>(celsius) : std::nullopt;
            } else {
                m_readings.remove(name);
            }
            continue;
        }
        std::optional<double> value;
        try {
            value = SMCKit::readTemperature(code);
        } catch (const SMCKit::Error1&) {
        }
        m_readings[name] = value;
    }
    for (const auto& [fan, name] : m_fans) {
        std::optional<double> value;
        try {
            value = SMCKit::readFanCurrentSpeed(fan);
        } catch (const SMCKit::Error1&) {
        }
        m_readings[name] = value;
    }
    const auto figures = controller.readMemoryFigures();
    const double total = controller.totalMemory();
    const auto known = [](bool ok, double value) {
        return ok ? std::optional<double>(value) : std::nullopt;
    };
    const std::optional<double> values[] = {
        known(total > 0, total),
        known(total > 0 && figures, figures ? total - figures->free : 0),
        known(bool(figures), figures ? figures->free : 0),
        known(bool(figures), figures ? figures->wired : 0),
        known(bool(figures), figures ? figures->active : 0),
        known(bool(figures), figures ? figures->inactive : 0),
        known(bool(figures), figures ? figures->compressed : 0),
    };
    for (qsizetype i = 0; i < m_memoryNames.size(); ++i) {
        m_readings[m_memoryNames[i]] = values[i];
    }
    return m_readings;
}

QStringList AgentHistory::sampledSeries(const SMCController& controller) {
    QStringList names;
    for (quint32 code : chosenCodes(controller)) {
        names.append(HistorySeries::temperature(code));
    }
    for (int fan : fanNumbers(controller)) {
        names.append(HistorySeries::fanSpeed(fan));
    }
    for (const QString& figure : HistorySeries::memoryFigures()) {
        names.append(HistorySeries::memory(figure));
    }
    return names;
}

QList<AlertRule> AgentHistory::defaultRules(SMCController& controller) {
    QList<AlertRule> rules;
    const QList<TemperatureEntry> entries = controller.selection().temperatures.entries();
    for (const DefaultThreshold& threshold : defaultThresholds) {
        for (const TemperatureEntry& entry : entries) {
            const QString series = HistorySeries::temperature(entry.code);
            const bool taken = std::any_of(rules.cbegin(), rules.cend(),
                                           [&](const AlertRule& r) { return r.series == series; });
            if (entry.component == QLatin1StringView(threshold.component) && !taken) {
                rules.append(
                    {series, threshold.above, threshold.clearBelow, threshold.forSeconds, false});
            }
        }
    }
    for (int fan : fanNumbers(controller)) {
        // Fans allowed to stand (a minimum of 0) stop on purpose.
        if (SMCKit::valueOr([fan] { return SMCKit::readFanMinimumSpeed(fan); }, 0) > 0) {
            rules.append({HistorySeries::stoppedFan(fan), 0, 0, stoppedFanSeconds, false});
        }
    }
    if (const double total = controller.totalMemory(); total > 0) {
        rules.append({HistorySeries::memory(QStringLiteral("Used")), total * 0.9, total * 0.8,
                      memorySeconds, false});
    }
    return rules;
}

void AgentHistory::loadRules(SMCController& controller) {
    m_rulesController = &controller;
    std::optional<QList<AlertRule>> rules;
    if (UserDefaults* defaults = controller.defaults()) {
        const QVariant stored = defaults->objectForKey(OndaraNames::Keys::alertRules);
        rules = AlertRule::listFromPropertyList(stored);
        if (stored.isValid() && !rules) {
            qCWarning(lcHistory).noquote()
                << QStringLiteral("History: the stored alert rules are not a list; offering the "
                                  "default ones until a rule is changed");
        }
    }
    m_monitor.setRules(rules ? *rules : defaultRules(controller));

    // The messages speak of the machine as the user sees it now.
    SMCController* machine = &controller;
    const auto labels = [machine] {
        return SeriesLabels(machine->selection().temperatures, machine->selection().fans);
    };
    m_monitor.setMachine(
        {[labels](const QString& series) { return labels().name(series); },
         [machine, labels](const QString& name, double value) {
             const auto series = HistorySeries::parse(name);
             return series ? UserUnits(machine->units())
                                 .text(series->kind, value, labels().maxSpeed(name))
                           : QString::number(value);
         },
         [](int fan) {
             return SMCKit::valueOr([fan] { return SMCKit::readFanMinimumSpeed(fan); }, 0);
         }});
}

void AgentHistory::storeRules() {
    if (m_rulesController) {
        m_rulesController->persistKey(OndaraNames::Keys::alertRules,
                                      AlertRule::toPropertyList(m_monitor.rules()),
                                      OndaraNames::Notifications::alertsDidChange);
    }
}

bool AgentHistory::isKnown(const QString& series) {
    if (m_store.contains(series)) {
        return true;
    }
    SMCController* controller = controllerForClients();
    return controller && sampledSeries(*controller).contains(series);
}

QStringList AgentHistory::series() {
    return m_store.series();
}

Result<QList<HistoryBucket>> AgentHistory::samples(const QString& series, qint64 since,
                                                   qint64 until, quint32 maxPoints) {
    using Answer = Result<QList<HistoryBucket>>;
    if (since < 0 || since > until) {
        return Answer::failure(QStringLiteral("since must be 0 or more and not after until"));
    }
    if (maxPoints == 0 || maxPoints > maximumPoints) {
        return Answer::failure(QStringLiteral("maxPoints must be from 1 to %1").arg(maximumPoints));
    }
    if (!HistorySeries::parse(series) || !m_store.contains(series)) {
        return Answer::failure(QStringLiteral("No series \"%1\" is recorded")
                                   .arg(series.left(HistorySeries::maximumNameLength)));
    }
    QList<HistoryBucket> buckets = m_store.samples(series, since, until, maxPoints);
    if (m_store.lastSamplesRead() > releaseAfterSamples) {
        // A day of a series passes through the page cache and the heap once;
        // without this, what it took stays with the agent while it idles.
        m_store.releaseMemory();
        malloc_trim(0);
    }
    return buckets;
}

QList<AlertRule> AgentHistory::rules() {
    controllerForClients();
    return m_monitor.rules();
}

Status AgentHistory::setRule(const AlertRule& rule) {
    if (const QString problem = rule.problem(); !problem.isEmpty()) {
        return Status::failure(problem);
    }
    // The stored rules come first: a change made before they are loaded would
    // be neither stored nor kept once they are.
    if (!controllerForClients()) {
        return Status::failure(QStringLiteral("The agent has no sensors to keep rules for"));
    }
    const auto series = HistorySeries::parse(rule.series);
    const QString watched =
        series->kind == HistorySeries::Kind::stoppedFan ? series->watchedSeries() : rule.series;
    if (!isKnown(watched)) {
        return Status::failure(
            QStringLiteral("The agent neither reads nor recorded \"%1\"").arg(watched));
    }
    if (!m_monitor.hasRule(rule.series) && m_monitor.rules().size() >= AlertRule::maximumRules) {
        return Status::failure(
            QStringLiteral("There are %1 rules already").arg(AlertRule::maximumRules));
    }
    m_monitor.setRule(rule);
    storeRules();
    return succeeded();
}

Status AgentHistory::removeRule(const QString& series) {
    if (series.size() > HistorySeries::maximumNameLength) {
        return Status::failure(QStringLiteral("No rule has a series name that long"));
    }
    if (!controllerForClients()) {
        return Status::failure(QStringLiteral("The agent has no sensors to keep rules for"));
    }
    if (m_monitor.hasRule(series)) {
        m_monitor.removeRule(series);
        storeRules();
    }
    return succeeded();
}
