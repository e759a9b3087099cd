#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <memory>

class DistributedNotificationCenter;
class HelperPresence;
class OndaraHelperProxy;
class OndaraHistoryProxy;
class PanelReadout;
class TodayViewController;
class UserDefaults;
class WidgetWindow;

// Everything the running widget is made of: its connection to the agent,
// the change notifications, the settings suite, the controller in its window,
// and the agent's presence: an agent that starts or restarts later is asked
// again for what the widget shows, and one that is away is said to be. The
// readout in the desktop's panel is added by the program, not by every
// session.
class WidgetSession : public QObject {
    Q_OBJECT
public:
    explicit WidgetSession(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                           const QString& stateFile = {}, QObject* parent = nullptr);
    ~WidgetSession() override;

    TodayViewController* controller() const;
    WidgetWindow* window() const { return m_window.get(); }
    OndaraHelperProxy* proxy() const { return m_proxy.get(); }
    HelperPresence* presence() const { return m_presence; }
    // Puts the readings in the panel; the session owns the readout.
    PanelReadout* addPanelReadout(const QDBusConnection& systemBus = QDBusConnection::systemBus());
    PanelReadout* panelReadout() const { return m_readout; }

private:
    std::unique_ptr<OndaraHelperProxy> m_proxy;
    // The agent's alerts, asked by the panel's readout only.
    std::unique_ptr<OndaraHistoryProxy> m_history;
    std::unique_ptr<DistributedNotificationCenter> m_notifications;
    std::unique_ptr<UserDefaults> m_defaults;
    std::unique_ptr<WidgetWindow> m_window;
    HelperPresence* m_presence;
    QDBusConnection m_bus;
    QString m_stateFile;
    PanelReadout* m_readout = nullptr;
};
