#include "HelperStateText.h"

using StopReason = AgentStopRecord::Reason;

QString HelperStateText::headline(HelperStateText::Reason reason) {
    switch (reason.value_or(StopReason(-1))) {
    case StopReason::noSensors:
        return tr("This computer has no sensors Ondara's sensor service can read.");
    case StopReason::notPrivileged:
        return tr("Ondara's sensor service may not read this computer's sensors.");
    case StopReason::anotherAgent:
        return tr("Ondara's sensor service stopped: another one already runs for you.");
    }
    return tr("Ondara's sensor service is not running.");
}

QString HelperStateText::advice(HelperStateText::Reason reason) {
    switch (reason.value_or(StopReason(-1))) {
    case StopReason::noSensors:
        return tr("No SMC and no hwmon chip it knows were found. To look around, start the "
                  "service on the demo machine.");
    case StopReason::notPrivileged:
        return tr("The sensor driver refused it access.");
    case StopReason::anotherAgent:
        return tr("That one serves another session. Stop it there, then start the service here.");
    }
    return tr("The readings below are not live. Start the service to see them again.");
}

QString HelperStateText::widgetAdvice(HelperStateText::Reason reason) {
    return reason ? tr("Open Ondara to see what to do.")
                  : tr("The readings are not live. Open Ondara to start the service.");
}
