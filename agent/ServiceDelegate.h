#pragma once

#include "ipc/HelperListenerDelegate.h"

class HelperDaemon;

// Serves every client that calls the agent: each gets its own OndaraHelper on
// the daemon's one controller. The peer's identity is not examined; the
// session bus admits only the user's own processes.
class ServiceDelegate : public HelperListenerDelegate {
public:
    explicit ServiceDelegate(HelperDaemon& daemon);

    std::unique_ptr<OndaraHelperProtocol>
    shouldAcceptNewConnection(const QString& clientUniqueName) override;

private:
    HelperDaemon& daemon;
};
