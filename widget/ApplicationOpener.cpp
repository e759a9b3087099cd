#include "ApplicationOpener.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

bool ApplicationOpener::hasSchemeHandler(const QString& scheme,
                                         const QStringList& applicationFolders) {
    const QString mimeType = QStringLiteral("x-scheme-handler/") + scheme;
    for (const QString& folder : applicationFolders) {
        const QDir dir(folder);
        for (const QString& name : dir.entryList({QStringLiteral("*.desktop")}, QDir::Files)) {
            QFile entry(dir.filePath(name));
            if (!entry.open(QIODevice::ReadOnly | QIODevice::Text)) {
                continue;
            }
            bool inMainGroup = false;
            while (!entry.atEnd()) {
                const QString line = QString::fromUtf8(entry.readLine()).trimmed();
                if (line.startsWith(QLatin1Char('['))) {
                    inMainGroup = line == QLatin1String("[Desktop Entry]");
                } else if (inMainGroup && line.startsWith(QLatin1String("MimeType="))) {
                    if (line.mid(9).split(QLatin1Char(';')).contains(mimeType)) {
                        return true;
                    }
                }
            }
        }
    }
    return false;
}

bool ApplicationOpener::openUrl(const QUrl& url) {
    // The desktop's opener reports success once it has started, even when it
    // then finds no handler; so look for one first.
    if (!hasSchemeHandler(url.scheme(), QStandardPaths::standardLocations(
                                            QStandardPaths::ApplicationsLocation))) {
        return false;
    }
    return QDesktopServices::openUrl(url);
}

QString ApplicationOpener::applicationProgram() {
    const QStringList candidates{
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Ondara")),
        QStringLiteral(ONDARA_INSTALLED_APPLICATION),
    };
    for (const QString& candidate : candidates) {
        if (QFileInfo(candidate).isExecutable()) {
            return candidate;
        }
    }
    return {};
}

bool ApplicationOpener::startApplication() {
    const QString program = applicationProgram();
    return !program.isEmpty() && QProcess::startDetached(program, {});
}
