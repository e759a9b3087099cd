#include "ServiceDelegate.h"

#include "AgentLogging.h"
#include "HelperDaemon.h"
#include "OndaraHelper.h"

ServiceDelegate::ServiceDelegate(HelperDaemon& daemon)
    : daemon(daemon) {}

std::unique_ptr<OndaraHelperProtocol>
ServiceDelegate::shouldAcceptNewConnection(const QString& clientUniqueName) {
    Q_UNUSED(clientUniqueName);
    // The first client's service object creates the shared controller, so the
    // hardware is first touched here, not when the agent starts.
    SMCController* controller = daemon.controller();
    if (!controller) {
        return nullptr;
    }
    auto service = std::make_unique<OndaraHelper>(*controller);
    qCInfo(lcService).noquote() << QStringLiteral("Connection accepted in ServiceDelegate");
    return service;
}
