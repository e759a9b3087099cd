#include "AlertRule.h"

#include "HistorySeries.h"

#include <algorithm>
#include <cmath>

namespace {

const QString seriesKey = QStringLiteral("series");
const QString aboveKey = QStringLiteral("above");
const QString clearBelowKey = QStringLiteral("clearBelow");
const QString forSecondsKey = QStringLiteral("forSeconds");
const QString enabledKey = QStringLiteral("enabled");
const QString raisedKey = QStringLiteral("raised");
const QString valueKey = QStringLiteral("value");

bool isNumber(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return true;
    default:
        return false;
    }
}

} // namespace

QString AlertRule::problem() const {
    if (!HistorySeries::parse(series)) {
        return QStringLiteral("\"%1\" names no series")
            .arg(series.left(HistorySeries::maximumNameLength));
    }
    if (!std::isfinite(above) || !std::isfinite(clearBelow)) {
        return QStringLiteral("The thresholds must be finite numbers");
    }
    if (clearBelow > above) {
        return QStringLiteral("clearBelow (%1) must not be above above (%2)")
            .arg(clearBelow)
            .arg(above);
    }
    if (forSeconds > maximumForSeconds) {
        return QStringLiteral("forSeconds must be at most %1").arg(maximumForSeconds);
    }
    return {};
}

QVariantMap AlertRule::toPropertyList(bool withState) const {
    QVariantMap map{{seriesKey, series},
                    {aboveKey, above},
                    {clearBelowKey, clearBelow},
                    {forSecondsKey, qlonglong(forSeconds)},
                    {enabledKey, enabled}};
    if (withState) {
        map.insert(raisedKey, raised);
        if (raised) {
            map.insert(valueKey, raisedValue);
        }
    }
    return map;
}

std::optional<AlertRule> AlertRule::fromPropertyList(const QVariant& value) {
    if (value.typeId() != QMetaType::QVariantMap) {
        return std::nullopt;
    }
    const QVariantMap map = value.toMap();
    const QVariant series = map.value(seriesKey);
    const QVariant above = map.value(aboveKey);
    const QVariant clearBelow = map.value(clearBelowKey);
    const QVariant forSeconds = map.value(forSecondsKey);
    const QVariant enabled = map.value(enabledKey);
    if (series.typeId() != QMetaType::QString || !isNumber(above) || !isNumber(clearBelow) ||
        !isNumber(forSeconds) || enabled.typeId() != QMetaType::Bool) {
        return std::nullopt;
    }
    const double seconds = forSeconds.toDouble();
    if (!(seconds >= 0 && seconds <= maximumForSeconds) || seconds != std::floor(seconds)) {
        return std::nullopt;
    }
    AlertRule rule;
    rule.series = series.toString();
    rule.above = above.toDouble();
    rule.clearBelow = clearBelow.toDouble();
    rule.forSeconds = quint32(seconds);
    rule.enabled = enabled.toBool();
    const QVariant raised = map.value(raisedKey);
    rule.raised = raised.typeId() == QMetaType::Bool && raised.toBool();
    if (rule.raised && isNumber(map.value(valueKey))) {
        rule.raisedValue = map.value(valueKey).toDouble();
    }
    if (!rule.problem().isEmpty()) {
        return std::nullopt;
    }
    return rule;
}

std::optional<QList<AlertRule>> AlertRule::listFromPropertyList(const QVariant& value) {
    if (value.typeId() != QMetaType::QVariantList) {
        return std::nullopt;
    }
    QList<AlertRule> rules;
    for (const QVariant& element : value.toList()) {
        if (rules.size() >= maximumRules) {
            break;
        }
        auto rule = fromPropertyList(element);
        // One rule per series: the first one stands.
        const bool taken =
            rule && std::any_of(rules.cbegin(), rules.cend(),
                                [&](const AlertRule& r) { return r.series == rule->series; });
        if (rule && !taken) {
            rules.append(*rule);
        }
    }
    return rules;
}

QVariantList AlertRule::toPropertyList(const QList<AlertRule>& rules) {
    QVariantList list;
    list.reserve(rules.size());
    for (const AlertRule& rule : rules) {
        list.append(rule.toPropertyList());
    }
    return list;
}
