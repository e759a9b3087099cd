#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class DetachedJob;
class LaunchAgentPlist;
class PrivateFolder;

// ondara-launchctl's work: `load [-w] PLIST` and `unload [-w] PLIST` on a
// launchd-style agent description. With a systemd user manager the agent
// becomes a user unit; without one it runs detached, remembered by a pid file.
//
// Where things live comes from the environment: XDG_CONFIG_HOME (units),
// XDG_RUNTIME_DIR (pid files; used only when it is a folder of this user's
// with mode 0700, as systemd makes it, never a fallback in /tmp that another
// user could have made first), ONDARA_SYSTEMCTL (the systemctl program, so
// tests can put a recording one in its place).
class LaunchControl {
public:
    explicit LaunchControl(const QProcessEnvironment& environment,
                           std::function<void(const QString&)> printLine);

    // Runs one command line (without the program name); the exit status.
    int run(const QStringList& arguments);

    static QString usage();

private:
    bool hasServiceManager() const;
    bool systemctl(const QStringList& arguments, bool quiet = false) const;
    QString configHome() const;
    // Where the agent keeps its history ($XDG_STATE_HOME/ondara).
    QString historyFolder() const;
    std::optional<PrivateFolder> runtimeFolder(QString* error) const;

    int loadWithSystemd(const LaunchAgentPlist& plist, bool enable);
    int unloadWithSystemd(const LaunchAgentPlist& plist);
    // The job in this user's runtime folder; nothing (with its line printed)
    // when the folder is refused.
    std::optional<DetachedJob> detachedJob(const LaunchAgentPlist& plist) const;
    int loadDetached(const LaunchAgentPlist& plist);
    int unloadDetached(const LaunchAgentPlist& plist);

    QProcessEnvironment m_environment;
    std::function<void(const QString&)> m_printLine;
};
