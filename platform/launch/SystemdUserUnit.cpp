#include "SystemdUserUnit.h"

#include "LaunchAgentPlist.h"

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

QString SystemdUserUnit::text(const LaunchAgentPlist& plist,
                              const QProcessEnvironment& environment) {
    QStringList command;
    for (const QString& argument : plist.programArguments()) {
        command.append(quoted(argument, Context::Command));
    }
    QString unit = QStringLiteral("# Written by ondara-launchctl from the agent's property list.\n"
                                  "[Unit]\n"
                                  "Description=%1\n"
                                  "\n"
                                  "[Service]\n")
                       .arg(QString(plist.label()).replace(QLatin1Char('%'), QStringLiteral("%%")));
    if (plist.busName().isEmpty()) {
        unit += QStringLiteral("Type=exec\n");
    } else {
        unit += QStringLiteral("Type=dbus\nBusName=%1\n").arg(plist.busName());
    }
    unit += QStringLiteral("ExecStart=%1\n").arg(command.join(QLatin1Char(' ')));
    for (const QString& name : passedVariables()) {
        if (environment.contains(name)) {
            unit += QStringLiteral("Environment=%1\n")
                        .arg(quoted(name + QLatin1Char('=') + environment.value(name),
                                    Context::Assignment));
        }
    }
    unit += QStringLiteral("\n"
                           "[Install]\n"
                           "WantedBy=default.target\n");
    return unit;
}
