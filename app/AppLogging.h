#pragma once

#include <QLoggingCategory>

// The setup window, its tiles and the sensor chooser.
Q_DECLARE_LOGGING_CATEGORY(lcSetupWindow)
