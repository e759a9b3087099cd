#include "WidgetSession.h"

#include "OndaraNames.h"
#include "TodayViewController.h"
#include "WidgetWindow.h"
#include "defaults/UserDefaults.h"
#include "ipc/DistributedNotificationCenter.h"
#include "ipc/OndaraHelperProxy.h"

#include <QDBusServiceWatcher>

WidgetSession::WidgetSession(const QDBusConnection& bus, const QString& stateFile, QObject* parent)
    : QObject(parent)
    , m_proxy(std::make_unique<OndaraHelperProxy>(bus))
    , m_notifications(std::make_unique<DistributedNotificationCenter>(bus))
    , m_defaults(UserDefaults::openSuite(QString(OndaraNames::suiteName)))
    , m_watcher(new QDBusServiceWatcher(QString(OndaraNames::helperServiceName), bus,
                                        QDBusServiceWatcher::WatchForRegistration, this)) {
    auto* controller =
        new TodayViewController(m_proxy.get(), m_notifications.get(), m_defaults.get());
    m_window = std::make_unique<WidgetWindow>(
        controller, stateFile.isEmpty() ? WidgetWindow::defaultStateFile() : stateFile);
    connect(m_watcher, &QDBusServiceWatcher::serviceRegistered, controller,
            &TodayViewController::agentDidRestart);
}

// The window (and the controller in it) goes before the objects it uses.
WidgetSession::~WidgetSession() {
    m_window.reset();
}

TodayViewController* WidgetSession::controller() const {
    return m_window->controller();
}
