#pragma once

#include "OndaraHistoryProtocol.h"

#include <QDBusConnection>
#include <QObject>
#include <functional>
#include <memory>

class OndaraHelperAlertsInterface;
class OndaraHelperHistoryInterface;
class QDBusMessage;
class QDBusPendingCall;

// OndaraHistoryProtocol over the bus, to the agent's well-known name (so an
// agent that starts later is found by the next call). Replies run on this
// object's thread; an answer outside the contract counts as a failure. The
// agent's alert signals are passed on as they come; their payload is only
// the agent's word, so a receiver that must be right asks rules() again.
class OndaraHistoryProxy : public QObject, public OndaraHistoryProtocol {
    Q_OBJECT
public:
    // A failure with the bus's name for it ("org.freedesktop.DBus.Error.NoReply"
    // when no answer came in time); empty for an answer outside the contract.
    using NamedFailure = std::function<void(const QString& errorName, const QString& reason)>;

    explicit OndaraHistoryProxy(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                                QObject* parent = nullptr);
    ~OndaraHistoryProxy() override;

    // How long a call waits for its answer, in milliseconds.
    void setTimeout(int milliseconds);

    void series(SeriesReply reply, Failure failed) override;
    void samples(const QString& series, qint64 since, qint64 until, quint32 maxPoints,
                 SamplesReply reply, Failure failed) override;
    void interval(IntervalReply reply, Failure failed) override;
    void rules(RulesReply reply, Failure failed) override;
    // The same, naming the failure: an agent that did not answer in time is
    // not one without alerts.
    void rulesNamingFailure(RulesReply reply, NamedFailure failed);
    void setRule(const AlertRule& rule, DoneReply done, Failure failed) override;
    void removeRule(const QString& series, DoneReply done, Failure failed) override;

Q_SIGNALS:
    void alertRaised(const QString& series, double value, double above);
    void alertCleared(const QString& series, double value);

private:
    // deliver: reads the answer, returning why it is outside the contract.
    void whenAnswered(const QDBusPendingCall& call,
                      std::function<QString(const QDBusMessage&)> deliver, NamedFailure failed);
    static NamedFailure unnamed(Failure failed);

    std::unique_ptr<OndaraHelperHistoryInterface> history;
    std::unique_ptr<OndaraHelperAlertsInterface> alerts;
};
