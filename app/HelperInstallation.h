#pragma once

#include <QDBusConnection>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class OndaraHelperProxy;

// Puts the agent in place before the window opens: the agent's launch list in
// the user's LaunchAgents folder, a restart through ondara-launchctl when the
// application's version grew, a start when the agent is not running, then the
// connection the window talks through. Runs once per launch, synchronously;
// every step's outcome is collected in debugText.
class HelperInstallation {
public:
    // Thrown by the steps, in this order; line() is what debugText gets.
    enum class HelperError {
        oldPlistDeleteFailed,
        plistDeleteFailed,
        newPlistCopyFailed,
        loadHelperFailed,
        unloadHelperFailed,
        unloadOldHelperFailed,
        launchAgentFolderCreationFailed,
        connectionFailed,
        connectionProxyFailed,
        groupDefaultsAccessFailed,
    };
    static QString line(HelperError error);

    // Everything the installation touches outside itself.
    struct Environment {
        // The folder the running program lies in.
        QString applicationDirectory;
        // The agent's launch list shipped with the application; its presence
        // is what makes the application an installed one.
        QString bundledPlist;
        // $XDG_CONFIG_HOME: the LaunchAgents folder and the settings suite.
        QString configHome;
        QString launchctlProgram;
        // Lists process names, one a line.
        QString processListProgram;
        QStringList processListArguments;
        // The version text compiled into the application.
        QString versionText;
        QDBusConnection bus = QDBusConnection::sessionBus();
        // The one-second pauses that give the agent time to come up.
        std::function<void()> pause;
        // Ends the application with a message: an installation without the
        // agent's launch list can start nothing. main's; without one the
        // step fails like any other.
        std::function<void(const char* message)> fatalStop;

        // The installed application's own surroundings.
        static Environment standard();
    };

    explicit HelperInstallation(Environment environment);
    ~HelperInstallation();

    // The start-up sequence. False when the application does not run from an
    // installation: nothing was touched and the caller shows the move alert.
    bool run();

    bool isInApplicationsFolder() const;
    void checkLaunchAgent();
    void helperSetup();
    bool isProcessRunning(const QString& name) const;
    void loadHelper();
    void unloadHelper();

    QString launchAgentsFolder() const;
    QString installedPlist() const;
    QString legacyPlist() const;
    double applicationVersion() const;

    bool showMoveWarning() const { return m_showMoveWarning; }
    QString debugText() const { return m_debugText; }
    // What was learnt after the start (whether the agent came) goes on.
    void appendDebugLine(const QString& line) { m_debugText += line + QLatin1Char('\n'); }
    QString launchctlProgram() const { return m_environment.launchctlProgram; }
    // The connection to the agent, once helperSetup made it.
    OndaraHelperProxy* helper() const { return m_helper.get(); }

private:
    bool servesThisSession() const;
    void runLaunchctl(const QStringList& arguments);
    QString bundledPlistOrStop(const char* message) const;

    Environment m_environment;
    std::unique_ptr<OndaraHelperProxy> m_helper;
    bool m_newPlistAlreadyInstalled = false;
    bool m_showMoveWarning = false;
    QString m_helperName = QStringLiteral("OndaraHelper");
    QString m_debugText = QStringLiteral("Debug Info:\n");
};
