#pragma once

#include <QProcessEnvironment>
#include <QString>

class LaunchAgentPlist;

// The systemd user unit that runs a launch agent: a D-Bus service when the
// agent names a bus name, so systemd knows it is up once the name is taken.
class SystemdUserUnit {
public:
    // The variables of our own environment that reach the agent: they choose
    // the machine the agent reads (a demo run stays a demo run).
    static const QStringList& passedVariables();

    // "<Label>.service"
    static QString fileName(const LaunchAgentPlist& plist);
    static QString text(const LaunchAgentPlist& plist, const QProcessEnvironment& environment);

    enum class Context { Command, Assignment };
    // One word of a command line or an Environment= assignment, quoted so
    // systemd reads it back unchanged: no specifier (%), variable ($, which
    // only command lines expand) or escape is taken from it.
    static QString quoted(const QString& word, Context context);
};
