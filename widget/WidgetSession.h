#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <memory>

class DistributedNotificationCenter;
class OndaraHelperProxy;
class QDBusServiceWatcher;
class TodayViewController;
class UserDefaults;
class WidgetWindow;

// Everything the running widget is made of: its connection to the agent,
// the change notifications, the settings suite, the controller in its window,
// and a watch on the agent's bus name so that an agent that starts or
// restarts later is asked again for what the widget shows.
class WidgetSession : public QObject {
    Q_OBJECT
public:
    explicit WidgetSession(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                           const QString& stateFile = {}, QObject* parent = nullptr);
    ~WidgetSession() override;

    TodayViewController* controller() const;
    WidgetWindow* window() const { return m_window.get(); }
    OndaraHelperProxy* proxy() const { return m_proxy.get(); }

private:
    std::unique_ptr<OndaraHelperProxy> m_proxy;
    std::unique_ptr<DistributedNotificationCenter> m_notifications;
    std::unique_ptr<UserDefaults> m_defaults;
    std::unique_ptr<WidgetWindow> m_window;
    QDBusServiceWatcher* m_watcher;
};
