#include "HistoryReport.h"

#include "HistorySeries.h"
#include "UserUnits.h"

#include <QDateTime>
#include <QJsonArray>
#include <QRegularExpression>
#include <cmath>

namespace {

QString isoTime(qint64 ms) {
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs);
}

HistorySeries::Kind kindOf(const QString& series) {
    const auto parsed = HistorySeries::parse(series);
    return parsed ? parsed->kind : HistorySeries::Kind::temperature;
}

} // namespace

HistoryReport::HistoryReport(QString series, QList<HistoryBucket> buckets, SeriesLabels labels,
                             QList<int> units, quint32 intervalSeconds)
    : m_series(std::move(series))
    , m_buckets(std::move(buckets))
    , m_labels(std::move(labels))
    , m_units(std::move(units))
    , m_interval(intervalSeconds) {}

std::optional<qint64> HistoryReport::durationMs(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^([0-9]{1,9})([smhd]?)$"));
    const QRegularExpressionMatch match = form.match(text.trimmed());
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    static const QHash<QString, qint64> unitMs{{QString(), 1000},
                                               {QStringLiteral("s"), 1000},
                                               {QStringLiteral("m"), 60 * 1000},
                                               {QStringLiteral("h"), 60 * 60 * 1000},
                                               {QStringLiteral("d"), 24 * 60 * 60 * 1000}};
    const qint64 ms = match.captured(1).toLongLong() * unitMs.value(match.captured(2));
    if (ms <= 0 || ms > maximumSinceMs) {
        return std::nullopt;
    }
    return ms;
}

QString HistoryReport::unit() const {
    return UserUnits(m_units).unit(kindOf(m_series), m_labels.maxSpeed(m_series));
}

QString HistoryReport::number(double fixed) const {
    const double shown =
        UserUnits(m_units).shown(kindOf(m_series), fixed, m_labels.maxSpeed(m_series));
    QString text = QString::number(std::round(shown * 100) / 100, 'f', 2);
    while (text.endsWith(QLatin1Char('0'))) {
        text.chop(1);
    }
    if (text.endsWith(QLatin1Char('.'))) {
        text.chop(1);
    }
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

QString HistoryReport::text() const {
    const QString name = QStringLiteral("%1 (%2)").arg(m_labels.name(m_series), m_series);
    if (m_buckets.isEmpty()) {
        return QStringLiteral("No readings of %1 in that time.\n").arg(name);
    }
    const UserUnits units(m_units);
    const HistorySeries::Kind kind = kindOf(m_series);
    const int maxSpeed = m_labels.maxSpeed(m_series);
    QString text = m_interval > 0
                       ? QStringLiteral("%1, a reading every %2 s\n").arg(name).arg(m_interval)
                       : QStringLiteral("%1\n").arg(name);
    for (const HistoryBucket& bucket : m_buckets) {
        text += QDateTime::fromMSecsSinceEpoch(bucket.time)
                    .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        text += QStringLiteral("  ") + units.text(kind, bucket.mean, maxSpeed);
        if (bucket.minimum != bucket.maximum) {
            text += QStringLiteral("  (%1 to %2)")
                        .arg(units.number(kind, bucket.minimum, maxSpeed),
                             units.number(kind, bucket.maximum, maxSpeed));
        }
        text += QLatin1Char('\n');
    }
    return text;
}

QJsonObject HistoryReport::json() const {
    QJsonArray samples;
    for (const HistoryBucket& bucket : m_buckets) {
        samples.append(QJsonObject{{QStringLiteral("time"), isoTime(bucket.time)},
                                   {QStringLiteral("ms"), bucket.time},
                                   {QStringLiteral("mean"), number(bucket.mean).toDouble()},
                                   {QStringLiteral("min"), number(bucket.minimum).toDouble()},
                                   {QStringLiteral("max"), number(bucket.maximum).toDouble()}});
    }
    return {{QStringLiteral("series"), m_series},
            {QStringLiteral("name"), m_labels.name(m_series)},
            {QStringLiteral("unit"), unit()},
            {QStringLiteral("interval"), qint64(m_interval)},
            {QStringLiteral("samples"), samples}};
}

QString HistoryReport::csv() const {
    QString text = QStringLiteral("time,ms,unit,mean,min,max\n");
    for (const HistoryBucket& bucket : m_buckets) {
        text +=
            QStringLiteral("%1,%2,%3,%4,%5,%6\n")
                .arg(isoTime(bucket.time))
                .arg(bucket.time)
                .arg(unit(), number(bucket.mean), number(bucket.minimum), number(bucket.maximum));
    }
    return text;
}
