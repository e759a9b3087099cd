#include "WidgetSession.h"

#include "OndaraNames.h"
#include "TodayViewController.h"
#include "WidgetWindow.h"
#include "defaults/UserDefaults.h"
#include "ipc/DistributedNotificationCenter.h"
#include "ipc/HelperPresence.h"
#include "ipc/OndaraHelperProxy.h"

WidgetSession::WidgetSession(const QDBusConnection& bus, const QString& stateFile, QObject* parent)
    : QObject(parent)
    , m_proxy(std::make_unique<OndaraHelperProxy>(bus))
    , m_notifications(std::make_unique<DistributedNotificationCenter>(bus))
    , m_defaults(UserDefaults::openSuite(QString(OndaraNames::suiteName)))
    , m_presence(new HelperPresence(bus, AgentStopRecord::standard(), this)) {
    auto* controller =
        new TodayViewController(m_proxy.get(), m_notifications.get(), m_defaults.get());
    m_window = std::make_unique<WidgetWindow>(
        controller, stateFile.isEmpty() ? WidgetWindow::defaultStateFile() : stateFile);
    controller->follow(m_presence);
}

// The window (and the controller in it) goes before the objects it uses.
WidgetSession::~WidgetSession() {
    m_window.reset();
}

TodayViewController* WidgetSession::controller() const {
    return m_window->controller();
}
