#pragma once

#include "PrivateFolder.h"

#include <QProcessEnvironment>
#include <QString>
#include <optional>

// Why the agent stopped of its own accord, told to whoever comes after it:
// its exit status (which the user unit's restart rule reads) and a small file,
// "com.quillbank.OndaraHelper.stopped" in $XDG_RUNTIME_DIR/ondara, which the
// window and the widget read once the agent's bus name has lost its owner. The
// agent writes the file just before it exits and removes it once it serves the
// bus again. The file's first line is the reason's word ("noSensors",
// "notPrivileged", "anotherAgent"), its second the agent's own message.
class AgentStopRecord {
public:
    enum class Reason { noSensors, notPrivileged, anotherAgent };

    // The agent's exit status for each reason; any other failure is 1. None of
    // them is worth a restart: the user unit lists them all as final.
    static constexpr int kNoSensorsStatus = 3;
    static constexpr int kNotPrivilegedStatus = 4;
    static constexpr int kAnotherAgentStatus = 5;
    static int exitStatus(Reason reason);

    struct Stop {
        Reason reason;
        QString message;
    };

    // $XDG_RUNTIME_DIR/ondara, made when missing; only when XDG_RUNTIME_DIR is
    // a folder of this user's with mode 0700 (no fallback another user could
    // have prepared).
    static std::optional<PrivateFolder> runtimeFolder(const QProcessEnvironment& environment,
                                                      QString* error);

    // The record in this folder; without one it keeps nothing and reads nothing.
    explicit AgentStopRecord(std::optional<PrivateFolder> folder);
    // The record of this process's environment.
    static AgentStopRecord standard();

    bool write(const Stop& stop, QString* error) const;
    // What the last agent said; nothing when it left no (readable) word.
    std::optional<Stop> read() const;
    void clear() const;

    static QByteArray encode(const Stop& stop);
    static std::optional<Stop> decode(const QByteArray& bytes);

private:
    std::optional<PrivateFolder> m_folder;
};
