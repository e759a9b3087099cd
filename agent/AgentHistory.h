#pragma once

#include "AlertMonitor.h"
#include "HistoryStore.h"
#include "ipc/HelperHistoryService.h"

#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <optional>

class DesktopNotifications;
class HelperDaemon;
class SMCController;

// The agent's own rounds, whether or not a client is connected: every
// interval it reads each component's chosen sensor, every fan and the seven
// memory figures, keeps them in the history and hands them to the alert
// rules; and it answers History1 and Alerts1. A reading that fails is a gap,
// never a 0. The drive is read every roundsPerDriveReading rounds only:
// each SMART read touches the disk.
//
// The rules live in the settings suite under "AlertRules" ("alertsDidChange"
// when they change). Until the user changes one, the agent offers a default
// set made for the machine, all off.
class AgentHistory : public QObject, public HelperHistoryService {
    Q_OBJECT
public:
    static constexpr int defaultIntervalSeconds = 5;
    static constexpr int maximumIntervalSeconds = 3600;
    static constexpr int roundsPerDriveReading = 4;
    // A bigger answer is no picture anyone can see; bounded so no call is huge.
    static constexpr quint32 maximumPoints = 20000;
    // A damaged settings file may name any number of components.
    static constexpr int maximumTemperatureSeries = 64;
    static constexpr qint64 pruneEveryMs = 60LL * 60 * 1000;
    // An answer that read more samples than this gives its memory back after.
    static constexpr size_t releaseAfterSamples = 4096;

    // intervalSeconds 0: no rounds, only what is stored is answered.
    AgentHistory(HelperDaemon& daemon, QString directory, int intervalSeconds,
                 DesktopNotifications* notifications, QObject* parent = nullptr);
    ~AgentHistory() override;

    // Opens the history (a folder it can't use leaves the alerts working) and
    // starts the rounds; the first comes one interval later.
    void start();
    // Only opens the history: the rounds are left to whoever calls sampleRound.
    void openStore();
    // One round now.
    void sampleRound();
    // Writes what is still in memory: the agent is about to stop.
    void finish();

    // Milliseconds since the epoch; the system clock unless a test sets one.
    void setClock(std::function<qint64()> clock) { m_clock = std::move(clock); }
    HistoryStore& store() { return m_store; }
    AlertMonitor& monitor() { return m_monitor; }

    // The rules the agent offers when the user has stored none.
    static QList<AlertRule> defaultRules(SMCController& controller);
    // What the rounds read on this selection, by series name.
    static QStringList sampledSeries(const SMCController& controller);

    QStringList series() override;
    Result<QList<HistoryBucket>> samples(const QString& series, qint64 since, qint64 until,
                                         quint32 maxPoints) override;
    quint32 interval() override { return quint32(m_intervalSeconds); }
    QList<AlertRule> rules() override;
    Status setRule(const AlertRule& rule) override;
    Status removeRule(const QString& series) override;

Q_SIGNALS:
    void alertRaised(const QString& series, double value, double above);
    void alertCleared(const QString& series, double value);

private:
    // The controller once it exists; the rules are loaded with it.
    SMCController* controllerForClients();
    void loadRules(SMCController& controller);
    void storeRules();
    // The round's readings by series; the names are made once per selection.
    const QHash<QString, std::optional<double>>& readRound(SMCController& controller,
                                                           bool withDrive);
    void followSelection(const SMCController& controller);
    bool isKnown(const QString& series);

    HelperDaemon& m_daemon;
    int m_intervalSeconds;
    HistoryStore m_store;
    AlertMonitor m_monitor;
    QTimer m_timer;
    std::function<qint64()> m_clock;
    SMCController* m_rulesController = nullptr;
    qint64 m_round = 0;
    // What the rounds read, made from the selection of this revision.
    const SMCController* m_sampledController = nullptr;
    std::optional<quint64> m_sampledRevision;
    QList<std::pair<quint32, QString>> m_temperatures;
    QList<std::pair<int, QString>> m_fans;
    // Series names that never change.
    QStringList m_memoryNames;
    QString m_driveName;
    QHash<QString, std::optional<double>> m_readings;
    qint64 m_lastPrune = 0;
    bool m_stoppedLogged = false;
};
