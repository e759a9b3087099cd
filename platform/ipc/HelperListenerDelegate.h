#pragma once

#include "OndaraHelperProtocol.h"

#include <QString>
#include <memory>

// Decides, for each client that first calls the agent, whether it is served and
// by which service object. The listener owns what it returns for as long as the
// client stays on the bus.
class HelperListenerDelegate {
public:
    HelperListenerDelegate() = default;
    HelperListenerDelegate(const HelperListenerDelegate&) = delete;
    HelperListenerDelegate& operator=(const HelperListenerDelegate&) = delete;
    virtual ~HelperListenerDelegate() = default;

    // clientUniqueName is the caller's unique bus name (":1.42"). Returning null
    // refuses the client: its calls get an access-denied error reply, and its
    // next call asks again.
    virtual std::unique_ptr<OndaraHelperProtocol>
    shouldAcceptNewConnection(const QString& clientUniqueName) = 0;
};
