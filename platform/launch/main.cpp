// ondara-launchctl: loads and unloads the agent described by a launchd-style
// property list, for a user session with or without a systemd user manager.

#include "LaunchControl.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments == QStringList{QStringLiteral("--help")}) {
        std::fputs(qPrintable(LaunchControl::usage()), stdout);
        return 0;
    }
    LaunchControl control(QProcessEnvironment::systemEnvironment(), [](const QString& line) {
        std::fprintf(stderr, "ondara-launchctl: %s\n", qPrintable(line));
    });
    return control.run(arguments);
}
