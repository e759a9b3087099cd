#include "AgentResources.h"

#include <QtGlobal>

// Outside any namespace, as Q_INIT_RESOURCE requires.
static void registerProfiles() {
    Q_INIT_RESOURCE(profiles);
}

void initAgentResources() {
    static const bool registered = (registerProfiles(), true);
    Q_UNUSED(registered);
}
