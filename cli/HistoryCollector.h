#pragma once

#include "AlertsReport.h"
#include "HistoryReport.h"
#include "SeriesLabels.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

class OndaraHelperProtocol;
class OndaraHistoryProtocol;

// Gathers one history or the alert rules from the agent: first the names,
// fans and units of the selection, then the samples (or the rules). Ends in
// exactly one finished or failed.
class HistoryCollector : public QObject {
    Q_OBJECT
public:
    HistoryCollector(OndaraHelperProtocol* helper, OndaraHistoryProtocol* history,
                     QObject* parent = nullptr);

    // `series` is a series name ("temp:TC0D", "fan:0") or a component key
    // ("CPU"); the samples since `sinceMs` before now.
    void collectHistory(const QString& series, qint64 sinceMs, int timeoutMs);
    void collectAlerts(int timeoutMs);

public Q_SLOTS:
    void abort(const QString& reason);

Q_SIGNALS:
    // The report's text, JSON or CSV is for main to choose.
    void historyCollected(const HistoryReport& report);
    void alertsCollected(const AlertsReport& report);
    void failed(const QString& reason);

private:
    // Asks for the selection, then runs `next` with it.
    void withSelection(int timeoutMs, std::function<void()> next);
    // The wrapped call runs only while the round is still on.
    template <typename Function> auto whileRunning(Function function);

    OndaraHelperProtocol* helper;
    OndaraHistoryProtocol* history;
    QTimer deadline;
    bool running = false;
    int outstanding = 0;
    EntryMap<TemperatureEntry> temperatures;
    EntryMap<FanEntry> fans;
    QList<int> units;
};
