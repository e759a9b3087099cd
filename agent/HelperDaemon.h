#pragma once

// Errors in the agent: SMCKit raises its Error1 and only the agent's own
// callers catch it (discovery skips the sensor, live reads answer 0, the
// rest logs and goes on); start-up and the controller's creation return
// Result; no error crosses the bus. Only main ends the process, through
// the fatal stop it hands the daemon.

#include "AgentCommandLine.h"
#include "Result.h"
#include "SMCController.h"
#include "SensorRecords.h"

#include <QString>
#include <functional>
#include <memory>

class AgentHistory;
class AtaSmartPlatform;
class DesktopNotifications;
class SmcDriver;
class VmStatisticsSource;

// The agent as one object: it makes the SMC driver, the drive platform and the
// memory source the command line names, hands the driver to SMCKit and the
// platform to the drive unit (whose connections stay process-wide, as they
// always were, and are set nowhere else), and creates the one SMCController
// when the first client calls. main makes one; a test derives from it and
// loads fakes in loadBackends.
class HelperDaemon {
public:
    struct Backends {
        std::shared_ptr<SmcDriver> smc;
        std::shared_ptr<AtaSmartPlatform> drives;
        std::shared_ptr<VmStatisticsSource> memory;
        // What stands behind each key, for the Sources answer.
        SensorSources sources;
    };

    explicit HelperDaemon(AgentCommandLine commandLine = {});
    virtual ~HelperDaemon();
    HelperDaemon(const HelperDaemon&) = delete;
    HelperDaemon& operator=(const HelperDaemon&) = delete;

    // Loads the backends and hands them on; the reason when one can't be made.
    Status start();

    // The process's one controller, created on first use. Null when the SMC
    // can't be opened: then the fatal stop runs (main ends the process).
    SMCController* controller();
    // The same for the agent's own rounds: a machine without an SMC only
    // says so here, and leaves stopping the agent to the first client.
    SMCController* controllerUnlessMissing();

    // Makes the history and the alerts (see AgentHistory), keeping the
    // history in `directory`; its rounds begin with its start().
    AgentHistory& makeHistory(const QString& directory, int intervalSeconds,
                              DesktopNotifications* notifications);
    // Null before makeHistory.
    AgentHistory* history() const { return recorder.get(); }
    // Where the agent keeps its history: $XDG_STATE_HOME/ondara, by default
    // ~/.local/state/ondara.
    static QString stateDirectory();
    // Where the controller's settings and notifications go; by default the
    // running agent's (see SMCControllerEnvironment::system).
    void setControllerEnvironment(SMCControllerEnvironment environment);
    // Called with the reason when the controller can't be made.
    void setFatalStop(std::function<void(const QString& reason)> stop);
    // Writes the changes of the selection the settings file could not take
    // yet; for the stop. Nothing when no client made the controller.
    void flush();

    const SensorSources& sources() const { return backends.sources; }
    const AgentCommandLine& commandLine() const { return options; }

protected:
    // What start hands on: by default what the command line names, each
    // logged; a test returns fakes.
    virtual Result<Backends> loadBackends();

private:
    AgentCommandLine options;
    Backends backends;
    std::optional<SMCControllerEnvironment> environment;
    std::function<void(const QString&)> fatalStop;
    std::unique_ptr<SMCController> shared;
    QString openFailure;
    std::unique_ptr<AgentHistory> recorder;
};
