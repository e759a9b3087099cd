// Test helper: posts each notification named on the command line, in order,
// on the session bus, then exits.

#include "ipc/DistributedNotificationCenter.h"

#include <QCoreApplication>
#include <QDBusMessage>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    for (const QString& name : QCoreApplication::arguments().mid(1)) {
        DistributedNotificationCenter::defaultCenter()->postNotificationName(name);
    }
    // Signals only leave with the connection's queue; a call answered by the
    // bus daemon comes back after everything sent before it was routed.
    const QDBusMessage reply = QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping")));
    return reply.type() == QDBusMessage::ReplyMessage ? 0 : 1;
}
