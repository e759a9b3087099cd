#pragma once

#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>
#include <optional>

// One alert rule, as "AlertRules" stores it and "Rules" answers it:
// {"series" s, "above" d, "clearBelow" d, "forSeconds" u, "enabled" b}. It
// raises when every sample of its series for forSeconds is above `above`,
// and clears once a sample falls below clearBelow. A stopped-fan watch
// ("fan:0:stopped") raises when the fan reads 0 rpm for forSeconds although
// its minimum speed is above 0, and clears when it turns; its thresholds are
// not used. Thresholds are in the series' fixed unit (°C, rpm, GiB).
struct AlertRule {
    // Longer than a day is no alert any more.
    static constexpr quint32 maximumForSeconds = 86400;
    // A rule per series; no machine has more series than this.
    static constexpr qsizetype maximumRules = 256;

    QString series;
    double above = 0;
    double clearBelow = 0;
    quint32 forSeconds = 0;
    bool enabled = false;

    // On the bus only: the alert is raised now, at this value.
    bool raised = false;
    double raisedValue = 0;

    // Why the rule can't be kept, fit for an error reply; empty when it can.
    // Whether its series exists is for the agent to say.
    QString problem() const;

    // The stored layout; `withState` adds "raised" and, while raised, "value".
    QVariantMap toPropertyList(bool withState = false) const;
    // Nothing for a value that is not a rule of the layout or has a problem.
    static std::optional<AlertRule> fromPropertyList(const QVariant& value);

    // "AlertRules": an array of rules; values that are not rules, and later
    // rules of a series already met, are left out. Nothing when the value is
    // not an array at all.
    static std::optional<QList<AlertRule>> listFromPropertyList(const QVariant& value);
    static QVariantList toPropertyList(const QList<AlertRule>& rules);

    friend bool operator==(const AlertRule&, const AlertRule&) = default;
};
