#include "ipc/DesktopNotifications.h"

#include "ipc/IpcLogging.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

DesktopNotifications::DesktopNotifications(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , bus(bus) {}

void DesktopNotifications::notify(const Notification& notification,
                                  std::function<void(quint32)> shown) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QVariantMap hints{
        {QStringLiteral("urgency"), QVariant::fromValue(uchar(notification.urgency))},
        {QStringLiteral("category"), QStringLiteral("device")},
        {QStringLiteral("desktop-entry"), QStringLiteral("com.quillbank.Ondara")}};
    call << QStringLiteral("Ondara") << notification.replaces
         << QStringLiteral("com.quillbank.Ondara") << notification.summary << notification.body
         << QStringList() << hints << -1;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, answerTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, shown = std::move(shown),
             summary = notification.summary](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                const QDBusPendingReply<quint32> reply = *finished;
                if (reply.isError()) {
                    // Once until one gets through: a desktop without a server
                    // would otherwise fill the log.
                    if (!failureLogged) {
                        failureLogged = true;
                        qCWarning(lcIpc, "The desktop did not show \"%s\": %s", qPrintable(summary),
                                  qPrintable(reply.error().message()));
                    }
                } else {
                    failureLogged = false;
                }
                if (shown) {
                    shown(reply.isError() ? 0 : reply.value());
                }
            });
}
