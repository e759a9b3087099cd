#pragma once

#include "HistoryBucket.h"
#include "SeriesLabels.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>

// One series' history as the terminal client prints it, in the user's
// units: text with local times, or JSON and CSV with times in ISO 8601 (UTC)
// and milliseconds since the epoch. A bucket that holds more than one sample
// also gives its minimum and maximum.
class HistoryReport {
public:
    // The longest --since: what the agent keeps and a little more.
    static constexpr qint64 maximumSinceMs = 30LL * 24 * 60 * 60 * 1000;

    HistoryReport(QString series, QList<HistoryBucket> buckets, SeriesLabels labels,
                  QList<int> units, quint32 intervalSeconds);

    QString text() const;
    QJsonObject json() const;
    QString csv() const;

    // "90s", "15m", "1h", "2d", or seconds alone; nothing for anything else,
    // for 0 and for more than maximumSinceMs.
    static std::optional<qint64> durationMs(const QString& text);

private:
    QString unit() const;
    // A value in the user's unit, as a plain number (two decimals at most).
    QString number(double fixed) const;

    QString m_series;
    QList<HistoryBucket> m_buckets;
    SeriesLabels m_labels;
    QList<int> m_units;
    quint32 m_interval;
};
