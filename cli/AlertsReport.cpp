#include "AlertsReport.h"

#include "HistorySeries.h"
#include "UserUnits.h"

#include <QJsonArray>

AlertsReport::AlertsReport(QList<AlertRule> rules, SeriesLabels labels, QList<int> units)
    : m_rules(std::move(rules))
    , m_labels(std::move(labels))
    , m_units(std::move(units)) {}

QString AlertsReport::valueText(const AlertRule& rule, double fixed) const {
    const auto series = HistorySeries::parse(rule.series);
    return UserUnits(m_units).text(series ? series->kind : HistorySeries::Kind::temperature, fixed,
                                   m_labels.maxSpeed(rule.series));
}

QString AlertsReport::describe(const AlertRule& rule) const {
    const auto series = HistorySeries::parse(rule.series);
    if (series && series->kind == HistorySeries::Kind::stoppedFan) {
        return QStringLiteral("stands for %1 s although its minimum speed is above 0")
            .arg(rule.forSeconds);
    }
    return QStringLiteral("above %1 for %2 s, clears below %3")
        .arg(valueText(rule, rule.above))
        .arg(rule.forSeconds)
        .arg(valueText(rule, rule.clearBelow));
}

QString AlertsReport::text() const {
    QString text = QStringLiteral("Alert rules\n");
    if (m_rules.isEmpty()) {
        text += QStringLiteral("  none\n");
    }
    QStringList raised;
    for (const AlertRule& rule : m_rules) {
        const QString name = QStringLiteral("%1 (%2)").arg(m_labels.name(rule.series), rule.series);
        text += QStringLiteral("  %1  %2: %3\n")
                    .arg(rule.enabled ? QStringLiteral("on ") : QStringLiteral("off"), name,
                         describe(rule));
        if (rule.raised) {
            raised.append(
                QStringLiteral("  %1 at %2\n").arg(name, valueText(rule, rule.raisedValue)));
        }
    }
    text += QStringLiteral("\nRaised now\n");
    text += raised.isEmpty() ? QStringLiteral("  none\n") : raised.join(QString());
    return text;
}

QJsonObject AlertsReport::json() const {
    QJsonArray rules;
    for (const AlertRule& rule : m_rules) {
        const auto series = HistorySeries::parse(rule.series);
        const QString unit =
            UserUnits(m_units).unit(series ? series->kind : HistorySeries::Kind::temperature,
                                    m_labels.maxSpeed(rule.series));
        const auto shown = [&](double fixed) {
            return UserUnits(m_units).shown(series ? series->kind
                                                   : HistorySeries::Kind::temperature,
                                            fixed, m_labels.maxSpeed(rule.series));
        };
        QJsonObject entry{{QStringLiteral("series"), rule.series},
                          {QStringLiteral("name"), m_labels.name(rule.series)},
                          {QStringLiteral("above"), shown(rule.above)},
                          {QStringLiteral("clearBelow"), shown(rule.clearBelow)},
                          {QStringLiteral("unit"), unit},
                          {QStringLiteral("forSeconds"), qint64(rule.forSeconds)},
                          {QStringLiteral("enabled"), rule.enabled},
                          {QStringLiteral("raised"), rule.raised}};
        if (rule.raised) {
            entry.insert(QStringLiteral("value"), shown(rule.raisedValue));
        }
        rules.append(entry);
    }
    return {{QStringLiteral("rules"), rules}};
}
