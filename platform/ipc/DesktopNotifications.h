#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>

// Desktop notifications through the notification server of the session
// ("org.freedesktop.Notifications"), as app "Ondara" with its icon and
// desktop entry. Sending never waits: a server that is missing or slow
// costs the agent nothing but a log line.
class DesktopNotifications : public QObject {
    Q_OBJECT
public:
    enum class Urgency : uchar { low = 0, normal = 1, critical = 2 };
    struct Notification {
        QString summary;
        QString body;
        Urgency urgency = Urgency::normal;
        // The id of a notification of ours that this one takes the place of.
        quint32 replaces = 0;
    };

    static constexpr int answerTimeoutMs = 10000;

    explicit DesktopNotifications(const QDBusConnection& bus, QObject* parent = nullptr);

    // `shown` gets the server's id for the notification, or 0 when it was not shown.
    void notify(const Notification& notification, std::function<void(quint32 id)> shown = {});

private:
    QDBusConnection bus;
    bool failureLogged = false;
};
