#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QSet>
#include <QString>

class QDBusMessage;

// Process-to-process notifications without payload, carried as argument-less
// D-Bus signals (member = notification name) on the session bus.
class DistributedNotificationCenter : public QObject {
    Q_OBJECT
public:
    // The session bus's center, created on first use.
    static DistributedNotificationCenter* defaultCenter();

    explicit DistributedNotificationCenter(const QDBusConnection& bus, QObject* parent = nullptr);

    // A notification name travels as a D-Bus member name, so only those are
    // accepted: letters, digits and '_', not starting with a digit, at most
    // 255 characters.
    static bool isValidNotificationName(const QString& name);

    // Fire-and-forget: a failure to send is logged, never raised.
    void postNotificationName(const QString& name);
    // Starts delivering notificationReceived(name) for this name, once per
    // notification however often the name is added. False for an invalid
    // name or when the bus refuses the subscription.
    bool addObserver(const QString& name);
    void removeObserver(const QString& name);

Q_SIGNALS:
    void notificationReceived(const QString& name);

private Q_SLOTS:
    void deliver(const QDBusMessage& message);

private:
    QDBusConnection bus;
    QSet<QString> observedNames;
};
