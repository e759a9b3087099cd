#include "ipc/IpcLogging.h"

Q_LOGGING_CATEGORY(lcIpc, "ondara.platform.ipc")
