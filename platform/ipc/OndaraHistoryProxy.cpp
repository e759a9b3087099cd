#include "ipc/OndaraHistoryProxy.h"

#include "OndaraHelperAlertsInterface.h"
#include "OndaraHelperHistoryInterface.h"
#include "OndaraNames.h"
#include "ipc/PropertyListDBus.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

// The value of an answer of the contract's type, or why there is none.
template <typename T> QString read(const QDBusMessage& message, T* value) {
    const QDBusPendingReply<T> reply(message);
    if (!reply.isValid()) {
        return reply.error().message();
    }
    *value = reply.value();
    return {};
}

} // namespace

OndaraHistoryProxy::OndaraHistoryProxy(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , history(std::make_unique<OndaraHelperHistoryInterface>(
          QString(OndaraNames::helperServiceName), QString(OndaraNames::helperObjectPath), bus))
    , alerts(std::make_unique<OndaraHelperAlertsInterface>(
          QString(OndaraNames::helperServiceName), QString(OndaraNames::helperObjectPath), bus)) {
    HistoryBucket::registerBusTypes();
    connect(alerts.get(), &OndaraHelperAlertsInterface::AlertRaised, this,
            &OndaraHistoryProxy::alertRaised);
    connect(alerts.get(), &OndaraHelperAlertsInterface::AlertCleared, this,
            &OndaraHistoryProxy::alertCleared);
}

OndaraHistoryProxy::~OndaraHistoryProxy() = default;

void OndaraHistoryProxy::setTimeout(int milliseconds) {
    history->setTimeout(milliseconds);
    alerts->setTimeout(milliseconds);
}

void OndaraHistoryProxy::whenAnswered(const QDBusPendingCall& call,
                                      std::function<QString(const QDBusMessage&)> deliver,
                                      NamedFailure failed) {
    auto* watcher = new QDBusPendingCallWatcher(call, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [deliver = std::move(deliver),
             failed = std::move(failed)](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                const QString name = finished->isError() ? finished->error().name() : QString();
                const QString problem =
                    finished->isError() ? finished->error().message() : deliver(finished->reply());
                if (!problem.isEmpty() && failed) {
                    failed(name, problem);
                }
            });
}

OndaraHistoryProxy::NamedFailure OndaraHistoryProxy::unnamed(Failure failed) {
    return [failed = std::move(failed)](const QString&, const QString& reason) {
        if (failed) {
            failed(reason);
        }
    };
}

void OndaraHistoryProxy::series(SeriesReply reply, Failure failed) {
    whenAnswered(
        history->Series(),
        [reply = std::move(reply)](const QDBusMessage& message) {
            QStringList names;
            QString problem = read(message, &names);
            if (problem.isEmpty()) {
                reply(names);
            }
            return problem;
        },
        unnamed(std::move(failed)));
}

void OndaraHistoryProxy::samples(const QString& series, qint64 since, qint64 until,
                                 quint32 maxPoints, SamplesReply reply, Failure failed) {
    whenAnswered(
        history->Samples(series, since, until, maxPoints),
        [reply = std::move(reply)](const QDBusMessage& message) {
            QList<HistoryBucket> buckets;
            QString problem = read(message, &buckets);
            if (problem.isEmpty()) {
                reply(buckets);
            }
            return problem;
        },
        unnamed(std::move(failed)));
}

void OndaraHistoryProxy::interval(IntervalReply reply, Failure failed) {
    whenAnswered(
        history->Interval(),
        [reply = std::move(reply)](const QDBusMessage& message) {
            uint seconds = 0;
            QString problem = read(message, &seconds);
            if (problem.isEmpty()) {
                reply(seconds);
            }
            return problem;
        },
        unnamed(std::move(failed)));
}

void OndaraHistoryProxy::rules(RulesReply reply, Failure failed) {
    rulesNamingFailure(std::move(reply), unnamed(std::move(failed)));
}

void OndaraHistoryProxy::rulesNamingFailure(RulesReply reply, NamedFailure failed) {
    whenAnswered(
        alerts->Rules(),
        [reply = std::move(reply)](const QDBusMessage& message) {
            QList<QVariantMap> received;
            QString problem = read(message, &received);
            if (!problem.isEmpty()) {
                return problem;
            }
            // The agent keeps one rule a series; more is no agent of ours.
            if (received.size() > AlertRule::maximumRules) {
                return QStringLiteral("The agent answered more rules than there are series");
            }
            QList<AlertRule> rules;
            for (const QVariantMap& entry : received) {
                const auto rule = AlertRule::fromPropertyList(PropertyListDBus::fromDBus(entry));
                if (!rule) {
                    return QStringLiteral("The agent answered a rule outside the contract");
                }
                rules.append(*rule);
            }
            reply(rules);
            return QString();
        },
        std::move(failed));
}

void OndaraHistoryProxy::setRule(const AlertRule& rule, DoneReply done, Failure failed) {
    whenAnswered(
        alerts->SetRule(rule.series, rule.above, rule.clearBelow, rule.forSeconds, rule.enabled),
        [done = std::move(done)](const QDBusMessage&) {
            if (done) {
                done();
            }
            return QString();
        },
        unnamed(std::move(failed)));
}

void OndaraHistoryProxy::removeRule(const QString& series, DoneReply done, Failure failed) {
    whenAnswered(
        alerts->RemoveRule(series),
        [done = std::move(done)](const QDBusMessage&) {
            if (done) {
                done();
            }
            return QString();
        },
        unnamed(std::move(failed)));
}
