#include "AgentLogging.h"

Q_LOGGING_CATEGORY(lcSmc, "ondara.agent.smc", QtInfoMsg)
Q_LOGGING_CATEGORY(lcController, "ondara.agent.controller", QtInfoMsg)
Q_LOGGING_CATEGORY(lcService, "ondara.agent.service", QtInfoMsg)
Q_LOGGING_CATEGORY(lcHistory, "ondara.agent.history", QtInfoMsg)
