#pragma once

#include "AlertRule.h"
#include "SeriesLabels.h"

#include <QJsonObject>
#include <QList>
#include <QString>

// The agent's alert rules and the alerts raised now, as the terminal client
// prints them, thresholds in the user's units.
class AlertsReport {
public:
    AlertsReport(QList<AlertRule> rules, SeriesLabels labels, QList<int> units);

    QString text() const;
    QJsonObject json() const;

private:
    QString describe(const AlertRule& rule) const;
    QString valueText(const AlertRule& rule, double fixed) const;

    QList<AlertRule> m_rules;
    SeriesLabels m_labels;
    QList<int> m_units;
};
