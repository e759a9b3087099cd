#include "ipc/HelperPresence.h"

#include "OndaraNames.h"

#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>

HelperPresence::HelperPresence(const QDBusConnection& bus, AgentStopRecord record, QObject* parent)
    : QObject(parent)
    , m_watcher(new QDBusServiceWatcher(OndaraNames::helperServiceName, bus,
                                        QDBusServiceWatcher::WatchForOwnerChange, this))
    , m_record(std::move(record)) {
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                ownerChanged(newOwner);
            });
    m_owned = bus.isConnected() && bus.interface() &&
              bus.interface()->isServiceRegistered(OndaraNames::helperServiceName);
    if (!m_owned) {
        m_stop = m_record.read();
        m_state = m_stop ? State::stopped : State::away;
    }
}

HelperPresence::HelperPresence(QObject* parent)
    : HelperPresence(QDBusConnection::sessionBus(), AgentStopRecord::standard(), parent) {}

void HelperPresence::ownerChanged(const QString& newOwner) {
    m_unanswered = 0;
    if (!newOwner.isEmpty()) {
        m_owned = true;
        m_stop.reset();
        setState(State::connected);
        Q_EMIT helperAppeared();
        return;
    }
    m_owned = false;
    // The agent leaves its word before it exits, so before its name goes.
    m_stop = m_record.read();
    setState(m_stop ? State::stopped : State::away);
    if (!m_stop) {
        Q_EMIT helperVanished();
    }
}

void HelperPresence::refreshSent() {
    if (m_owned && m_unanswered >= kUnansweredRefreshes) {
        setState(State::away);
    }
    ++m_unanswered;
}

void HelperPresence::answered() {
    m_unanswered = 0;
    if (m_owned) {
        setState(State::connected);
    }
}

void HelperPresence::setState(State state) {
    if (state != m_state) {
        m_state = state;
        Q_EMIT stateChanged(state);
    }
}
