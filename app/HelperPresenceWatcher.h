#pragma once

#include <QDBusConnection>
#include <QObject>

class QDBusServiceWatcher;

// Tells when the agent takes its bus name, so a window that started before
// the agent (or outlived one) can ask for its data again.
class HelperPresenceWatcher : public QObject {
    Q_OBJECT
public:
    explicit HelperPresenceWatcher(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                                   QObject* parent = nullptr);

Q_SIGNALS:
    void helperAppeared();

private:
    QDBusServiceWatcher* m_watcher;
};
