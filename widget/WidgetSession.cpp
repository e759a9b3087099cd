#include "WidgetSession.h"

#include "OndaraNames.h"
#include "PanelReadout.h"
#include "TodayViewController.h"
#include "WidgetWindow.h"
#include "defaults/UserDefaults.h"
#include "ipc/DistributedNotificationCenter.h"
#include "ipc/HelperPresence.h"
#include "ipc/OndaraHelperProxy.h"
#include "ipc/OndaraHistoryProxy.h"

WidgetSession::WidgetSession(const QDBusConnection& bus, const QString& stateFile, QObject* parent)
    : QObject(parent)
    , m_proxy(std::make_unique<OndaraHelperProxy>(bus))
    , m_notifications(std::make_unique<DistributedNotificationCenter>(bus))
    , m_defaults(UserDefaults::openSuite(QString(OndaraNames::suiteName)))
    , m_presence(new HelperPresence(bus, AgentStopRecord::standard(), this))
    , m_bus(bus)
    , m_stateFile(stateFile.isEmpty() ? WidgetWindow::defaultStateFile() : stateFile) {
    m_proxy->sendRefreshesDirectly();
    auto* controller =
        new TodayViewController(m_proxy.get(), m_notifications.get(), m_defaults.get());
    m_window = std::make_unique<WidgetWindow>(controller, m_stateFile);
    controller->follow(m_presence);
}

// The readout and the window (and the controller in it) go before the
// objects they use.
WidgetSession::~WidgetSession() {
    delete m_readout;
    m_window.reset();
}

PanelReadout* WidgetSession::addPanelReadout(const QDBusConnection& systemBus) {
    if (m_readout == nullptr) {
        m_history = std::make_unique<OndaraHistoryProxy>(m_bus);
        m_readout = new PanelReadout(m_window.get(), m_proxy.get(), m_history.get(),
                                     m_notifications.get(), m_presence, m_bus, systemBus,
                                     m_stateFile, TodayViewController::kRefreshMilliseconds);
        connect(m_readout->readings(), &PanelReadings::ticked, controller(),
                &TodayViewController::refreshAlongside);
        m_readout->start();
    }
    return m_readout;
}

TodayViewController* WidgetSession::controller() const {
    return m_window->controller();
}
