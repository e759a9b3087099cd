#pragma once

#include <QLoggingCategory>

// One category per component, so a user can turn on, say, the SMC log alone
// with QT_LOGGING_RULES="ondara.agent.smc.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcSmc)
Q_DECLARE_LOGGING_CATEGORY(lcController)
Q_DECLARE_LOGGING_CATEGORY(lcService)
Q_DECLARE_LOGGING_CATEGORY(lcHistory)
