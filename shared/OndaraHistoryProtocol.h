#pragma once

#include "AlertRule.h"
#include "HistoryBucket.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

// The clients' side of what the agent offers beyond the protocol: its
// history (History1) and its alert rules (Alerts1). The clients reach it
// through a D-Bus proxy; tests hand the windows a fake.
//
// Every call ends exactly once: in its reply, or in `failed` with a line
// saying why (the agent refused the request, or is absent or too old).
class OndaraHistoryProtocol {
public:
    using SeriesReply = std::function<void(const QStringList&)>;
    using SamplesReply = std::function<void(const QList<HistoryBucket>&)>;
    using IntervalReply = std::function<void(quint32 seconds)>;
    using RulesReply = std::function<void(const QList<AlertRule>&)>;
    using DoneReply = std::function<void()>;
    using Failure = std::function<void(const QString& reason)>;

    OndaraHistoryProtocol() = default;
    OndaraHistoryProtocol(const OndaraHistoryProtocol&) = delete;
    OndaraHistoryProtocol& operator=(const OndaraHistoryProtocol&) = delete;
    virtual ~OndaraHistoryProtocol();

    virtual void series(SeriesReply reply, Failure failed) = 0;
    // Times in ms since the epoch; values in the agent's fixed units.
    virtual void samples(const QString& series, qint64 since, qint64 until, quint32 maxPoints,
                         SamplesReply reply, Failure failed) = 0;
    virtual void interval(IntervalReply reply, Failure failed) = 0;

    virtual void rules(RulesReply reply, Failure failed) = 0;
    virtual void setRule(const AlertRule& rule, DoneReply done, Failure failed) = 0;
    virtual void removeRule(const QString& series, DoneReply done, Failure failed) = 0;
};
