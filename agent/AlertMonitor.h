#pragma once

#include "AlertRule.h"
#include "ipc/DesktopNotifications.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>

// Watches the samples of every round against the alert rules. A rule raises
// when all its series' samples for forSeconds are above `above` (a failed
// reading starts the count again), and clears at the first sample below
// clearBelow, so a value between the two levels never flaps. A stopped-fan
// watch raises when the fan reads 0 rpm for forSeconds although its minimum
// speed is above 0, and clears when it turns again.
//
// Each raise and each clear is a signal and a desktop notification (raises
// critical; a clear takes the place of its raise on the desktop). Disabling
// or removing a raised rule clears it.
class AlertMonitor : public QObject {
    Q_OBJECT
public:
    // What the messages say about the machine.
    struct Machine {
        // "CPU", "Left Fan", "Used memory".
        std::function<QString(const QString& series)> nameOf;
        // A value in the user's unit: "61 °C".
        std::function<QString(const QString& series, double value)> textOf;
        // A fan's minimum speed in rpm; 0 when it has none or can't be read.
        std::function<int(int fan)> minimumSpeedOf;
    };

    explicit AlertMonitor(DesktopNotifications* notifications, QObject* parent = nullptr);

    void setMachine(Machine machine) { m_machine = std::move(machine); }

    // The rules in order, with whether each is raised now.
    QList<AlertRule> rules() const;
    bool hasRule(const QString& series) const;
    // Replaces every rule, keeping what is raised of rules that stay enabled.
    void setRules(const QList<AlertRule>& rules);
    // Adds a rule or changes the one of its series (a change starts its count
    // again; a raised one clears only below the new clearBelow, or when it is
    // now disabled). The rule must have no problem().
    void setRule(const AlertRule& rule);
    void removeRule(const QString& series);

    // One round of samples at `now` (ms): a series' value, or nothing for a
    // failed reading. Rules of series that are not in the round keep their state.
    void evaluate(qint64 now, const QHash<QString, std::optional<double>>& samples);

Q_SIGNALS:
    // A stopped fan's `above` is its minimum speed.
    void alertRaised(const QString& series, double value, double above);
    void alertCleared(const QString& series, double value);

private:
    struct Watch {
        AlertRule rule;
        std::optional<qint64> runStart;
        double lastValue = 0;
    };

    Watch* find(const QString& series);
    void raise(Watch& watch, double value, double above);
    // `turnedOff`: the user disabled or removed the rule while it was raised.
    void clear(Watch& watch, double value, bool turnedOff);
    QString nameOf(const QString& series) const;
    QString textOf(const QString& series, double value) const;

    DesktopNotifications* m_notifications;
    Machine m_machine;
    QList<Watch> m_watches;
    // The desktop's id of each raise shown, by series, so its clear takes its place.
    QHash<QString, quint32> m_shownRaises;
    // Clears that wait for the id of their raise, which the desktop has not
    // given yet.
    QHash<QString, DesktopNotifications::Notification> m_waitingClears;
    QSet<QString> m_raisesInFlight;
};
