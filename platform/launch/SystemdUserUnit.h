#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <optional>

class LaunchAgentPlist;

// The systemd user unit that runs a launch agent: a D-Bus service when the
// agent names a bus name, so systemd knows it is up once the name is taken,
// restarted when it fails (within a start limit) and confined to what a
// monitor that reads sensors and writes its settings needs.
class SystemdUserUnit {
public:
    // The variables of our own environment that reach the agent: they choose
    // the machine the agent reads (a demo run stays a demo run).
    static const QStringList& passedVariables();

    // "<Label>.service"
    static QString fileName(const LaunchAgentPlist& plist);
    // The unit's text; `settingsFolder` and `stateFolder` (its history) are
    // the folders the agent may write to. Nothing, with the reason in *error,
    // when the label cannot name a unit or a value to be written holds control
    // characters.
    static std::optional<QString> text(const LaunchAgentPlist& plist,
                                       const QProcessEnvironment& environment,
                                       const QString& settingsFolder, const QString& stateFolder,
                                       QString* error);

    // The program of a command line, one of its arguments, or a value.
    enum class Context { Program, Command, Assignment };
    // One word, quoted so systemd reads it back unchanged: no specifier (%),
    // variable ($, which only a command line's arguments expand) or escape is
    // taken from it.
    static QString quoted(const QString& word, Context context);
};
