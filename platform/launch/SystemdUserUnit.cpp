#include "SystemdUserUnit.h"

#include "AgentStopRecord.h"
#include "LaunchAgentPlist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <sys/xattr.h>

namespace {

// What systemd accepts before ".service" in a unit name (no template "@").
bool isUnitNamePrefix(const QString& label) {
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9:_.-]{1,240}$"));
    return pattern.match(label).hasMatch();
}

bool hasFileCapabilities(const QString& program) {
    return ::getxattr(QFile::encodeName(program).constData(), "security.capability", nullptr, 0) >
           0;
}

// The confinement below sets no_new_privs, and in a user manager it also
// moves the service into a user namespace of its own: a program run with
// file capabilities would lose them. That is the agent's SMART reader (which
// the agent starts from its installation) or an agent given them itself.
bool needsCapabilities(const QString& program) {
    const QString reader = QDir::cleanPath(QFileInfo(program).absolutePath() + QLatin1Char('/') +
                                           QLatin1StringView(ONDARA_SMART_READER_FROM_BINDIR) +
                                           QStringLiteral("/ondara-smart-reader"));
    return hasFileCapabilities(program) || hasFileCapabilities(reader);
}

// PrivateNetwork= leaves the agent only sockets that live in the file system:
// a bus reached through an abstract socket would be out of reach.
bool busIsFileSocket(const QProcessEnvironment& environment) {
    const QString address = environment.value(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    if (address.isEmpty()) {
        return true; // the user manager's own bus, $XDG_RUNTIME_DIR/bus
    }
    const QStringList choices = address.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    return std::all_of(choices.cbegin(), choices.cend(), [](const QString& choice) {
        return choice.startsWith(QLatin1String("unix:path="));
    });
}

} // namespace

const QStringList& SystemdUserUnit::passedVariables() {
    static const QStringList names = {QStringLiteral("ONDARA_SMC"), QStringLiteral("ONDARA_SMART"),
                                      QStringLiteral("ONDARA_MEMORY")};
    return names;
}

QString SystemdUserUnit::fileName(const LaunchAgentPlist& plist) {
    return plist.label() + QStringLiteral(".service");
}

QString SystemdUserUnit::quoted(const QString& word, Context context) {
    QString out = QStringLiteral("\"");
    for (const QChar c : word) {
        switch (c.unicode()) {
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '"':
            out += QStringLiteral("\\\"");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        case '%':
            out += QStringLiteral("%%");
            break;
        case '$':
            out += context == Context::Command ? QStringLiteral("$$") : QStringLiteral("$");
            break;
        default:
            out += c;
        }
    }
    return out + QLatin1Char('"');
}

std::optional<QString> SystemdUserUnit::text(const LaunchAgentPlist& plist,
                                             const QProcessEnvironment& environment,
                                             const QString& settingsFolder,
                                             const QString& stateFolder, QString* error) {
    if (!isUnitNamePrefix(plist.label())) {
        *error = QStringLiteral("the Label \"%1\" cannot name a systemd unit").arg(plist.label());
        return std::nullopt;
    }
    QStringList assignments;
    for (const QString& name : passedVariables()) {
        if (!environment.contains(name)) {
            continue;
        }
        if (LaunchAgentPlist::holdsControlCharacters(environment.value(name))) {
            *error = QStringLiteral("%1 holds control characters").arg(name);
            return std::nullopt;
        }
        assignments.append(QStringLiteral("Environment=%1\n")
                               .arg(quoted(name + QLatin1Char('=') + environment.value(name),
                                           Context::Assignment)));
    }
    for (const auto& [folder, what] :
         {std::pair{&settingsFolder, "settings"}, std::pair{&stateFolder, "history"}}) {
        if (LaunchAgentPlist::holdsControlCharacters(*folder)) {
            *error = QStringLiteral("the %1 folder's path holds control characters")
                         .arg(QLatin1StringView(what));
            return std::nullopt;
        }
    }

    QStringList command;
    for (const QString& argument : plist.programArguments()) {
        command.append(quoted(argument, command.isEmpty() ? Context::Program : Context::Command));
    }
    // A failing agent is started again, but one that fails at every start
    // gives up after five tries in a minute instead of cycling for ever.
    QString unit = QStringLiteral("# Written by ondara-launchctl from the agent's property list.\n"
                                  "[Unit]\n"
                                  "Description=%1\n"
                                  "StartLimitIntervalSec=60\n"
                                  "StartLimitBurst=5\n"
                                  "\n"
                                  "[Service]\n")
                       .arg(QString(plist.label()).replace(QLatin1Char('%'), QStringLiteral("%%")));
    if (plist.busName().isEmpty()) {
        unit += QStringLiteral("Type=exec\n");
    } else {
        unit += QStringLiteral("Type=dbus\nBusName=%1\n").arg(plist.busName());
    }
    unit += QStringLiteral("ExecStart=%1\n").arg(command.join(QLatin1Char(' ')));
    unit += assignments.join(QString());
    // An agent that stopped for a reason it gave (no sensors to read, no right
    // to read them, another agent serving) would only stop again.
    unit += QStringLiteral("Restart=on-failure\n"
                           "RestartSec=2\n"
                           "RestartPreventExitStatus=%1 %2 %3\n"
                           "UMask=0077\n")
                .arg(AgentStopRecord::kNoSensorsStatus)
                .arg(AgentStopRecord::kNotPrivilegedStatus)
                .arg(AgentStopRecord::kAnotherAgentStatus);
    if (needsCapabilities(plist.program())) {
        unit += QStringLiteral("# No confinement: it would take the capabilities of the agent or "
                               "its SMART reader.\n");
    } else {
        // It reads sensors and serves the session bus; it writes only its
        // settings, its history and the word of its stop in its runtime
        // folder (%t).
        unit += QStringLiteral("NoNewPrivileges=yes\n"
                               "ProtectSystem=strict\n"
                               "ReadWritePaths=%1 %2 -%t/ondara\n")
                    .arg(quoted(settingsFolder, Context::Assignment),
                         quoted(stateFolder, Context::Assignment));
        if (busIsFileSocket(environment)) {
            unit += QStringLiteral("PrivateNetwork=yes\n");
        }
        unit += QStringLiteral("ProtectKernelTunables=yes\n"
                               "ProtectKernelModules=yes\n"
                               "ProtectControlGroups=yes\n"
                               "RestrictAddressFamilies=AF_UNIX\n"
                               "RestrictNamespaces=yes\n"
                               "RestrictRealtime=yes\n"
                               "RestrictSUIDSGID=yes\n"
                               "LockPersonality=yes\n"
                               "SystemCallArchitectures=native\n");
    }
    unit += QStringLiteral("\n"
                           "[Install]\n"
                           "WantedBy=default.target\n");
    return unit;
}
