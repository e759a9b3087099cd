#include "UrlOpener.h"

#include <QDebug>
#include <QDesktopServices>

UrlOpener desktopUrlOpener() {
    return [](const QUrl& url) {
        if (!QDesktopServices::openUrl(url)) {
            qWarning().noquote() << QStringLiteral("Could not open %1").arg(url.toString());
        }
    };
}
