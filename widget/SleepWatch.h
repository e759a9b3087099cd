#pragma once

#include <QDBusConnection>
#include <QObject>
#include <functional>

// Tells when the machine has been asleep, so readings taken before are not
// shown as current: logind's PrepareForSleep on the system bus where there
// is one, and, where there is none or it is missed, a tick that comes much
// later than it was due. Time is counted on the boot clock, which goes on
// while the machine sleeps (the monotonic clock stops).
class SleepWatch : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<qint64()>; // milliseconds

    SleepWatch(int tickMilliseconds,
               const QDBusConnection& systemBus = QDBusConnection::systemBus(),
               QObject* parent = nullptr);

    static qint64 bootMilliseconds();
    void setClock(Clock clock) { m_clock = std::move(clock); }
    bool watchesLogind() const { return m_watchesLogind; }

public Q_SLOTS:
    // A tick of the refresh timer arrived.
    void tickArrived();

Q_SIGNALS:
    void goingToSleep();
    void resumed();

private Q_SLOTS:
    void prepareForSleep(bool sleeping);

private:
    int m_tickMilliseconds;
    Clock m_clock = &SleepWatch::bootMilliseconds;
    qint64 m_lastTick = -1;
    bool m_watchesLogind = false;
};
