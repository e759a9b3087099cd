#include "ipc/DistributedNotificationCenter.h"

#include "OndaraNames.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QLoggingCategory>

namespace {

Q_LOGGING_CATEGORY(lcNotifications, "ondara.platform.notifications")

bool isMemberNameCharacter(QChar c, bool first) {
    const char16_t u = c.unicode();
    const bool letter = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_';
    return letter || (!first && u >= '0' && u <= '9');
}

} // namespace

DistributedNotificationCenter* DistributedNotificationCenter::defaultCenter() {
    // Deliberately never destroyed: observers may outlive the application
    // object, and tearing down a bus user after it is gone is not safe.
    static DistributedNotificationCenter* const center = [] {
        auto* created = new DistributedNotificationCenter(QDBusConnection::sessionBus());
        // Notifications are delivered on the main thread even when a worker
        // thread happens to ask first.
        if (QCoreApplication* app = QCoreApplication::instance()) {
            created->moveToThread(app->thread());
        }
        return created;
    }();
    return center;
}

DistributedNotificationCenter::DistributedNotificationCenter(const QDBusConnection& bus,
                                                             QObject* parent)
    : QObject(parent)
    , bus(bus) {}

bool DistributedNotificationCenter::isValidNotificationName(const QString& name) {
    if (name.isEmpty() || name.size() > 255) {
        return false;
    }
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (!isMemberNameCharacter(name.at(i), i == 0)) {
            return false;
        }
    }
    return true;
}

void DistributedNotificationCenter::postNotificationName(const QString& name) {
    if (!isValidNotificationName(name)) {
        qCWarning(lcNotifications).noquote()
            << QStringLiteral("Not posting notification \"%1\": not a valid name").arg(name);
        return;
    }
    const QDBusMessage signal = QDBusMessage::createSignal(
        OndaraNames::notificationPath, OndaraNames::notificationInterface, name);
    if (!bus.send(signal)) {
        qCWarning(lcNotifications).noquote()
            << QStringLiteral("Could not post notification \"%1\": %2")
                   .arg(name, bus.isConnected() ? bus.lastError().message()
                                                : QStringLiteral("no connection to the bus"));
    }
}

bool DistributedNotificationCenter::addObserver(const QString& name) {
    if (!isValidNotificationName(name)) {
        qCWarning(lcNotifications).noquote()
            << QStringLiteral("Not observing notification \"%1\": not a valid name").arg(name);
        return false;
    }
    if (observedNames.contains(name)) {
        return true;
    }
    if (!bus.connect(QString(), OndaraNames::notificationPath, OndaraNames::notificationInterface,
                     name, this, SLOT(deliver(QDBusMessage)))) {
        qCWarning(lcNotifications).noquote()
            << QStringLiteral("Could not observe notification \"%1\": %2")
                   .arg(name, bus.isConnected() ? bus.lastError().message()
                                                : QStringLiteral("no connection to the bus"));
        return false;
    }
    observedNames.insert(name);
    return true;
}

void DistributedNotificationCenter::removeObserver(const QString& name) {
    if (!observedNames.remove(name)) {
        return;
    }
    bus.disconnect(QString(), OndaraNames::notificationPath, OndaraNames::notificationInterface,
                   name, this, SLOT(deliver(QDBusMessage)));
}

void DistributedNotificationCenter::deliver(const QDBusMessage& message) {
    Q_EMIT notificationReceived(message.member());
}
