#include "HistoryCollector.h"

#include "HistorySeries.h"
#include "OndaraHelperProtocol.h"
#include "OndaraHistoryProtocol.h"
#include "PropertyList.h"
#include "SensorRecordCodec.h"

#include <QDateTime>
#include <QPointer>

HistoryCollector::HistoryCollector(OndaraHelperProtocol* helper, OndaraHistoryProtocol* history,
                                   QObject* parent)
    : QObject(parent)
    , helper(helper)
    , history(history) {
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, this,
            [this] { abort(QStringLiteral("the agent did not answer in time")); });
}

void HistoryCollector::abort(const QString& reason) {
    if (!running) {
        return;
    }
    running = false;
    deadline.stop();
    Q_EMIT failed(reason);
}

template <typename Function> auto HistoryCollector::whileRunning(Function function) {
    QPointer<HistoryCollector> self(this);
    return [self, function](const auto&... values) {
        if (self && self->running) {
            function(values...);
        }
    };
}

void HistoryCollector::withSelection(int timeoutMs, std::function<void()> next) {
    running = true;
    deadline.start(timeoutMs);
    outstanding = 3;
    const auto oneMore = [this, next] {
        if (--outstanding == 0) {
            next();
        }
    };
    helper->tempSensors(whileRunning([this, oneMore](const QVariantMap& value) {
        temperatures = SensorRecordCodec::temperatures(PropertyList::normalized(value).toMap());
        oneMore();
    }));
    helper->fanSensors(whileRunning([this, oneMore](const QVariantMap& value) {
        fans = SensorRecordCodec::fans(PropertyList::normalized(value).toMap());
        oneMore();
    }));
    helper->sensorUnits(whileRunning([this, oneMore](const QList<int>& value) {
        units = value;
        oneMore();
    }));
}

void HistoryCollector::collectHistory(const QString& asked, qint64 sinceMs, int timeoutMs) {
    withSelection(timeoutMs, [this, asked, sinceMs] {
        const SeriesLabels labels(temperatures, fans);
        QString series = asked;
        if (!HistorySeries::parse(asked)) {
            series = labels.seriesOfComponent(asked);
        }
        if (series.isEmpty()) {
            abort(QStringLiteral("\"%1\" is neither a series nor a component the agent knows")
                      .arg(asked));
            return;
        }
        const auto failure = whileRunning([this](const QString& reason) { abort(reason); });
        history->interval(whileRunning([this, series, sinceMs, labels, failure](quint32 seconds) {
                              const qint64 now = QDateTime::currentMSecsSinceEpoch();
                              // Every reading when they fit; a day at the full rate does.
                              history->samples(
                                  series, std::max<qint64>(0, now - sinceMs), now, 20000,
                                  whileRunning([this, series, labels,
                                                seconds](const QList<HistoryBucket>& buckets) {
                                      running = false;
                                      deadline.stop();
                                      Q_EMIT historyCollected(
                                          HistoryReport(series, buckets, labels, units, seconds));
                                  }),
                                  failure);
                          }),
                          failure);
    });
}

void HistoryCollector::collectAlerts(int timeoutMs) {
    withSelection(timeoutMs, [this] {
        history->rules(whileRunning([this](const QList<AlertRule>& rules) {
                           running = false;
                           deadline.stop();
                           Q_EMIT alertsCollected(
                               AlertsReport(rules, SeriesLabels(temperatures, fans), units));
                       }),
                       whileRunning([this](const QString& reason) { abort(reason); }));
    });
}
