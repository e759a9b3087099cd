#pragma once

#include "ipc/HelperListenerDelegate.h"

// Serves every client that calls the agent: each gets its own OndaraHelper.
// The peer's identity is not examined; the session bus admits only the user's
// own processes.
class ServiceDelegate : public HelperListenerDelegate {
public:
    std::unique_ptr<OndaraHelperProtocol>
    shouldAcceptNewConnection(const QString& clientUniqueName) override;
};
