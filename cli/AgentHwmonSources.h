#pragma once

#include <QHash>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

class QDBusConnection;

// Which hwmon chip and input stand behind each key of a running agent that
// reads hwmon chips. The agent's bus interface carries readings, not their
// origin, and stays as it is; instead this learns how the agent was started
// (its command line, environment and working directory, from /proc), makes
// the same source choice the agent made, and maps the same tree with the
// same table. Agent and client thus agree by construction.
class AgentHwmonSources {
public:
    // Key text ("TC0D", "F0Ac") → what stands behind it. Empty when the agent
    // reads no hwmon tree, is not running, or can't be looked at (another
    // user's, or one that /proc hides).
    static QHash<QString, QString> ofRunningAgent(const QDBusConnection& bus);
    // The same for an agent started with these arguments (without the
    // program's name), environment and working directory.
    static QHash<QString, QString> forAgent(const QStringList& arguments,
                                            const QProcessEnvironment& environment,
                                            const QString& workingDirectory);
};
