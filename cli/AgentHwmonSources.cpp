#include "AgentHwmonSources.h"

#include "AgentCommandLine.h"
#include "OndaraNames.h"
#include "smc/HwmonSmcDriver.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// A /proc file of NUL-separated strings; nothing when it can't be read.
std::optional<QStringList> nulSeparated(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    QStringList items;
    for (const QByteArray& item : file.readAll().split('\0')) {
        if (!item.isEmpty()) {
            items.append(QString::fromLocal8Bit(item));
        }
    }
    return items;
}

} // namespace

QHash<QString, QString> AgentHwmonSources::forAgent(const QStringList& arguments,
                                                    const QProcessEnvironment& environment,
                                                    const QString& workingDirectory) {
    const auto commandLine = AgentCommandLine::parse(arguments, environment, nullptr);
    QString directory;
    if (!commandLine || AgentCommandLine::smcBackend(commandLine->smc, &directory) !=
                            AgentCommandLine::SmcBackend::hwmon) {
        return {};
    }
    if (QDir::isRelativePath(directory)) {
        if (workingDirectory.isEmpty()) {
            return {};
        }
        directory = QDir(workingDirectory).filePath(directory);
    }
    return HwmonSmcDriver(directory).map().keySources();
}

QHash<QString, QString> AgentHwmonSources::ofRunningAgent(const QDBusConnection& bus) {
    if (!bus.interface()) {
        return {};
    }
    const auto pid = bus.interface()->servicePid(OndaraNames::helperServiceName);
    if (!pid.isValid() || pid.value() == 0) {
        return {};
    }
    const QString process = QStringLiteral("/proc/%1/").arg(pid.value());
    const auto commandLine = nulSeparated(process + QStringLiteral("cmdline"));
    if (!commandLine || commandLine->isEmpty()) {
        return {};
    }
    // An agent given capabilities hides its environment; it then runs with
    // what it was started with by default, which the command line shows.
    QProcessEnvironment environment;
    for (const QString& variable :
         nulSeparated(process + QStringLiteral("environ")).value_or(QStringList())) {
        const qsizetype equals = variable.indexOf(QLatin1Char('='));
        if (equals > 0) {
            environment.insert(variable.left(equals), variable.mid(equals + 1));
        }
    }
    return forAgent(commandLine->mid(1), environment,
                    QFileInfo(process + QStringLiteral("cwd")).symLinkTarget());
}
