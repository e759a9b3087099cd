#include "HelperPresenceWatcher.h"

#include "OndaraNames.h"

#include <QDBusServiceWatcher>

HelperPresenceWatcher::HelperPresenceWatcher(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_watcher(new QDBusServiceWatcher(OndaraNames::helperServiceName, bus,
                                        QDBusServiceWatcher::WatchForRegistration, this)) {
    connect(m_watcher, &QDBusServiceWatcher::serviceRegistered, this,
            &HelperPresenceWatcher::helperAppeared);
}
