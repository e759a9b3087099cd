#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

// Process-to-process notifications without payload, carried as argument-less
// D-Bus signals (member = notification name) on the session bus.
class DistributedNotificationCenter : public QObject {
    Q_OBJECT
public:
    // The session bus's center, created on first use.
    static DistributedNotificationCenter* defaultCenter();

    explicit DistributedNotificationCenter(const QDBusConnection& bus, QObject* parent = nullptr);

    // Fire-and-forget: a failure to send is logged, never raised.
    void postNotificationName(const QString& name);
    // Starts delivering notificationReceived(name) for this name.
    bool addObserver(const QString& name);
    void removeObserver(const QString& name);

Q_SIGNALS:
    void notificationReceived(const QString& name);

private:
    QDBusConnection bus;
};
