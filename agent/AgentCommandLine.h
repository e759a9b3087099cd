#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <optional>

// The agent's command line:
//   OndaraHelper [--smc auto|applesmc|demo|profile:PATH]
//                [--smart auto|none|demo|profile:PATH]
//                [--memory proc|profile:PATH] [--version] [--help]
// Each source can also come from ONDARA_SMC, ONDARA_SMART and ONDARA_MEMORY;
// the command line wins over the environment.
struct AgentCommandLine {
    QString smc = QStringLiteral("auto");
    QString smart = QStringLiteral("auto");
    QString memory = QStringLiteral("proc");
    bool showVersion = false;
    bool showHelp = false;

    // arguments without the program name. Nothing, with a one-line reason in
    // *error, for an unknown option, a missing or unknown value.
    static std::optional<AgentCommandLine>
    parse(const QStringList& arguments, const QProcessEnvironment& environment, QString* error);
    static QString usage();

    // The PATH of a "profile:PATH" value, or an empty string.
    static QString profilePath(const QString& value);
};
