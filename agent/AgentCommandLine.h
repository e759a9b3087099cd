#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <optional>

// The agent's command line:
//   OndaraHelper [--smc auto|applesmc|hwmon[:PATH]|demo|profile:PATH]
//                [--smart auto|none|demo|profile:PATH]
//                [--memory proc|profile:PATH] [--history-interval SECONDS]
//                [--version] [--help]
// Each can also come from ONDARA_SMC, ONDARA_SMART, ONDARA_MEMORY and
// ONDARA_HISTORY_INTERVAL; the command line wins over the environment.
struct AgentCommandLine {
    QString smc = QStringLiteral("auto");
    QString smart = QStringLiteral("auto");
    QString memory = QStringLiteral("proc");
    // Seconds between the agent's own rounds, 0 to 3600; 0 records nothing.
    int historyInterval = 5;
    bool showVersion = false;
    bool showHelp = false;

    // arguments without the program name. Nothing, with a one-line reason in
    // *error, for an unknown option, a missing or unknown value.
    static std::optional<AgentCommandLine>
    parse(const QStringList& arguments, const QProcessEnvironment& environment, QString* error);
    static QString usage();

    // The PATH of a "profile:PATH" value, or an empty string.
    static QString profilePath(const QString& value);

    // What an --smc value comes to on this machine. "auto" takes the applesmc
    // driver when it is there, else the hwmon chips when they map at least one
    // temperature, else nothing (the agent then does what it does for a
    // missing SMC). "hwmon" reads /sys/class/hwmon, "hwmon:PATH" reads PATH
    // as that directory.
    enum class SmcBackend { appleSmc, hwmon, missing, profile };
    static SmcBackend smcBackend(const QString& value, QString* hwmonDirectory = nullptr);
};
