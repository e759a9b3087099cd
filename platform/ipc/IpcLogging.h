#pragma once

#include <QLoggingCategory>

// The agent's bus side and the clients' proxy.
Q_DECLARE_LOGGING_CATEGORY(lcIpc)
