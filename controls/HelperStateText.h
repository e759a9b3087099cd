#pragma once

#include "files/AgentStopRecord.h"

#include <QCoreApplication>
#include <QString>
#include <optional>

// What the window and the widget say while the agent is not here: a headline
// and one line of what to do. No reason: it is simply not running.
class HelperStateText {
    Q_DECLARE_TR_FUNCTIONS(HelperStateText)
public:
    using Reason = std::optional<AgentStopRecord::Reason>;
    static QString headline(Reason reason);
    static QString advice(Reason reason);
    // In the widget, where the application is what the user opens.
    static QString widgetAdvice(Reason reason);
};
