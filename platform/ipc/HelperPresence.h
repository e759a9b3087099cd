#pragma once

#include "files/AgentStopRecord.h"

#include <QDBusConnection>
#include <QObject>
#include <optional>

class QDBusServiceWatcher;

// Whether the agent is here, as the window and the widget both judge it: its
// bus name has an owner and it answered one of the last two refreshes. Away
// when the name has no owner or two refreshes went unanswered; stopped when
// the name has no owner and the last agent left word of why it stopped
// (AgentStopRecord). The owner of the views tells it of each refresh sent and
// each answer shown; it tells them when the state changes.
class HelperPresence : public QObject {
    Q_OBJECT
public:
    enum class State { connected, away, stopped };
    // Refreshes sent without an answer before a present name counts as away.
    static constexpr int kUnansweredRefreshes = 2;

    HelperPresence(const QDBusConnection& bus, AgentStopRecord record, QObject* parent = nullptr);
    // The session bus and the record of this process's environment.
    explicit HelperPresence(QObject* parent = nullptr);

    State state() const { return m_state; }
    bool isConnected() const { return m_state == State::connected; }
    // The agent's word while stopped.
    std::optional<AgentStopRecord::Stop> stop() const { return m_stop; }

public Q_SLOTS:
    // A refresh went to the agent.
    void refreshSent();
    // An answer of the agent was shown.
    void answered();

Q_SIGNALS:
    void stateChanged(HelperPresence::State state);
    // The name has a new owner: the views ask again for their lists.
    void helperAppeared();
    // The name lost its owner without word of a reason: a crash or a kill.
    void helperVanished();

private:
    void ownerChanged(const QString& newOwner);
    void setState(State state);

    QDBusServiceWatcher* m_watcher;
    AgentStopRecord m_record;
    State m_state = State::connected;
    bool m_owned = false;
    int m_unanswered = 0;
    std::optional<AgentStopRecord::Stop> m_stop;
};
