#include "AppLogging.h"

Q_LOGGING_CATEGORY(lcSetupWindow, "ondara.app.window", QtInfoMsg)
