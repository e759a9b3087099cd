#include "ServiceDelegate.h"

#include "AgentLogging.h"
#include "OndaraHelper.h"

std::unique_ptr<OndaraHelperProtocol>
ServiceDelegate::shouldAcceptNewConnection(const QString& clientUniqueName) {
    Q_UNUSED(clientUniqueName);
    // The first client's service object creates the shared controller, so the
    // hardware is first touched here, not when the agent starts.
    auto service = std::make_unique<OndaraHelper>();
    qCInfo(lcService).noquote() << QStringLiteral("Connection accepted in ServiceDelegate");
    return service;
}
