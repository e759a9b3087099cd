#include "SleepWatch.h"

#include <ctime>

namespace {

// A tick this many intervals late means the machine (or the process) was
// stopped; timers drift by milliseconds, not by seconds.
constexpr int kLateTicks = 3;

} // namespace

SleepWatch::SleepWatch(int tickMilliseconds, const QDBusConnection& systemBus, QObject* parent)
    : QObject(parent)
    , m_tickMilliseconds(tickMilliseconds) {
    QDBusConnection bus = systemBus;
    m_watchesLogind =
        bus.isConnected() &&
        bus.connect(QStringLiteral("org.freedesktop.login1"),
                    QStringLiteral("/org/freedesktop/login1"),
                    QStringLiteral("org.freedesktop.login1.Manager"),
                    QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
}

qint64 SleepWatch::bootMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void SleepWatch::tickArrived() {
    const qint64 now = m_clock();
    const bool late = m_lastTick >= 0 && now - m_lastTick > qint64(kLateTicks) * m_tickMilliseconds;
    m_lastTick = now;
    if (late) {
        Q_EMIT resumed();
    }
}

void SleepWatch::prepareForSleep(bool sleeping) {
    if (sleeping) {
        Q_EMIT goingToSleep();
        return;
    }
    // The ticks before the sleep say nothing about the ones after.
    m_lastTick = m_clock();
    Q_EMIT resumed();
}
