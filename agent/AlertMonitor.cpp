#include "AlertMonitor.h"

#include "AgentLogging.h"
#include "HistorySeries.h"
#include "ipc/DesktopNotifications.h"

#include <QPointer>

namespace {

bool isStoppedFanWatch(const AlertRule& rule) {
    const auto series = HistorySeries::parse(rule.series);
    return series && series->kind == HistorySeries::Kind::stoppedFan;
}

// The series whose samples a rule looks at.
QString watchedSeries(const AlertRule& rule) {
    const auto series = HistorySeries::parse(rule.series);
    return series && series->kind == HistorySeries::Kind::stoppedFan ? series->watchedSeries()
                                                                     : rule.series;
}

} // namespace

AlertMonitor::AlertMonitor(DesktopNotifications* notifications, QObject* parent)
    : QObject(parent)
    , m_notifications(notifications) {}

QList<AlertRule> AlertMonitor::rules() const {
    QList<AlertRule> rules;
    rules.reserve(m_watches.size());
    for (const Watch& watch : m_watches) {
        rules.append(watch.rule);
    }
    return rules;
}

bool AlertMonitor::hasRule(const QString& series) const {
    return std::any_of(m_watches.cbegin(), m_watches.cend(),
                       [&series](const Watch& watch) { return watch.rule.series == series; });
}

AlertMonitor::Watch* AlertMonitor::find(const QString& series) {
    for (Watch& watch : m_watches) {
        if (watch.rule.series == series) {
            return &watch;
        }
    }
    return nullptr;
}

void AlertMonitor::setRules(const QList<AlertRule>& rules) {
    QStringList kept;
    for (const AlertRule& rule : rules) {
        setRule(rule);
        kept.append(rule.series);
    }
    QStringList gone;
    for (const Watch& watch : std::as_const(m_watches)) {
        if (!kept.contains(watch.rule.series)) {
            gone.append(watch.rule.series);
        }
    }
    for (const QString& series : gone) {
        removeRule(series);
    }
}

void AlertMonitor::setRule(const AlertRule& rule) {
    AlertRule stored = rule;
    stored.raised = false;
    stored.raisedValue = 0;
    Watch* watch = find(rule.series);
    if (!watch) {
        m_watches.append(Watch{stored, {}, 0});
        return;
    }
    const bool raised = watch->rule.raised;
    const double value = watch->rule.raisedValue;
    if (raised && !stored.enabled) {
        clear(*watch, watch->lastValue, true);
    } else if (raised) {
        stored.raised = true;
        stored.raisedValue = value;
    }
    watch->rule = stored;
    watch->runStart.reset();
}

void AlertMonitor::removeRule(const QString& series) {
    if (Watch* watch = find(series); watch && watch->rule.raised) {
        clear(*watch, watch->lastValue, true);
    }
    m_watches.removeIf([&series](const Watch& watch) { return watch.rule.series == series; });
}

void AlertMonitor::evaluate(qint64 now, const QHash<QString, std::optional<double>>& samples) {
    for (qsizetype i = 0; i < m_watches.size(); ++i) {
        Watch& watch = m_watches[i];
        if (!watch.rule.enabled) {
            continue;
        }
        const auto sample = samples.constFind(watchedSeries(watch.rule));
        if (sample == samples.cend()) {
            continue;
        }
        if (!*sample) {
            // Nothing says the value stayed above while it could not be read.
            watch.runStart.reset();
            continue;
        }
        const double value = **sample;
        watch.lastValue = value;
        const bool stoppedWatch = isStoppedFanWatch(watch.rule);
        if (watch.rule.raised) {
            if (stoppedWatch ? value > 0 : value < watch.rule.clearBelow) {
                clear(watch, value, false);
            }
            continue;
        }
        int minimum = 0;
        bool over = false;
        if (stoppedWatch) {
            // The minimum is read only when the fan stands, which is rare.
            const auto series = HistorySeries::parse(watch.rule.series);
            minimum =
                value <= 0 && m_machine.minimumSpeedOf ? m_machine.minimumSpeedOf(series->fan) : 0;
            over = value <= 0 && minimum > 0;
        } else {
            over = value > watch.rule.above;
        }
        if (!over) {
            watch.runStart.reset();
            continue;
        }
        if (!watch.runStart) {
            watch.runStart = now;
        }
        if (now - *watch.runStart >= qint64(watch.rule.forSeconds) * 1000) {
            raise(watch, value, stoppedWatch ? minimum : watch.rule.above);
        }
    }
}

QString AlertMonitor::nameOf(const QString& series) const {
    return m_machine.nameOf ? m_machine.nameOf(series) : series;
}

QString AlertMonitor::textOf(const QString& series, double value) const {
    return m_machine.textOf ? m_machine.textOf(series, value) : QString::number(value);
}

void AlertMonitor::raise(Watch& watch, double value, double above) {
    watch.rule.raised = true;
    watch.rule.raisedValue = value;
    watch.runStart.reset();
    const QString& series = watch.rule.series;
    const QString watched = watchedSeries(watch.rule);
    const QString name = nameOf(watched);
    DesktopNotifications::Notification notification;
    notification.urgency = DesktopNotifications::Urgency::critical;
    if (isStoppedFanWatch(watch.rule)) {
        notification.summary = tr("%1 has stopped").arg(name);
        notification.body = tr("It reads %1 although its minimum speed is %2.")
                                .arg(textOf(watched, value), textOf(watched, above));
    } else {
        notification.summary = tr("%1 is above %2").arg(name, textOf(watched, above));
        notification.body = tr("It has been above %1 for %2 s and reads %3 now.")
                                .arg(textOf(watched, above))
                                .arg(watch.rule.forSeconds)
                                .arg(textOf(watched, value));
    }
    qCInfo(lcHistory).noquote() << QStringLiteral("Alert raised: %1 at %2 (%3)")
                                       .arg(series)
                                       .arg(value)
                                       .arg(notification.summary);
    if (m_notifications) {
        m_raisesInFlight.insert(series);
        QPointer<AlertMonitor> self(this);
        m_notifications->notify(notification, [self, series](quint32 id) {
            if (!self) {
                return;
            }
            self->m_raisesInFlight.remove(series);
            const auto waiting = self->m_waitingClears.constFind(series);
            if (waiting == self->m_waitingClears.cend()) {
                self->m_shownRaises.insert(series, id);
                return;
            }
            DesktopNotifications::Notification clear = *waiting;
            self->m_waitingClears.erase(waiting);
            clear.replaces = id;
            self->m_notifications->notify(clear);
        });
    }
    Q_EMIT alertRaised(series, value, above);
}

void AlertMonitor::clear(Watch& watch, double value, bool turnedOff) {
    watch.rule.raised = false;
    watch.rule.raisedValue = 0;
    watch.runStart.reset();
    const QString series = watch.rule.series;
    const QString watched = watchedSeries(watch.rule);
    const QString name = nameOf(watched);
    DesktopNotifications::Notification notification;
    notification.replaces = m_shownRaises.take(series);
    if (turnedOff) {
        notification.summary = tr("The alert for %1 is off").arg(name);
        notification.body = tr("It reads %1 now.").arg(textOf(watched, value));
    } else if (isStoppedFanWatch(watch.rule)) {
        notification.summary = tr("%1 is turning again").arg(name);
        notification.body = tr("It reads %1 now.").arg(textOf(watched, value));
    } else {
        notification.summary = tr("%1 is back to normal").arg(name);
        notification.body =
            tr("It reads %1 now, below %2.")
                .arg(textOf(watched, value), textOf(watched, watch.rule.clearBelow));
    }
    qCInfo(lcHistory).noquote() << QStringLiteral("Alert cleared: %1 at %2").arg(series).arg(value);
    if (m_notifications && m_raisesInFlight.contains(series)) {
        m_waitingClears.insert(series, notification);
    } else if (m_notifications) {
        m_notifications->notify(notification);
    }
    Q_EMIT alertCleared(series, value);
}
