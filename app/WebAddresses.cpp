#include "WebAddresses.h"

#include <QDebug>
#include <QHostAddress>

WebAddresses::WebAddresses(const QProcessEnvironment& environment)
    : m_base(QStringLiteral(ONDARA_UPDATE_BASE_URL)) {
    const QUrl override(environment.value(QStringLiteral("ONDARA_UPDATE_BASE_URL")),
                        QUrl::StrictMode);
    if (!override.isEmpty()) {
        if (isAcceptableOverride(override)) {
            m_base = override;
        } else {
            qWarning().noquote() << QStringLiteral(
                                        "Ignoring ONDARA_UPDATE_BASE_URL %1: it must be an https "
                                        "address (plain http only to this machine)")
                                        .arg(override.toString());
        }
    }
}

bool WebAddresses::isAcceptableOverride(const QUrl& url) {
    if (!url.isValid() || url.host().isEmpty()) {
        return false;
    }
    if (url.scheme() == QLatin1StringView("https")) {
        return true;
    }
    const QHostAddress address(url.host());
    return url.scheme() == QLatin1StringView("http") &&
           (url.host() == QLatin1StringView("localhost") || address.isLoopback());
}

QUrl WebAddresses::resolved(const QString& pathAndFragment) const {
    QString base = m_base.toString(QUrl::StripTrailingSlash);
    return QUrl(base + pathAndFragment);
}

QUrl WebAddresses::updateFile() const {
    return resolved(QStringLiteral("/downloads/Ondara/update.plist"));
}

QUrl WebAddresses::downloadPage() const {
    return resolved(QStringLiteral("/ondara/index.php#download"));
}

QUrl WebAddresses::supportPage() const {
    return resolved(QStringLiteral("/ondara/support.php"));
}

QUrl WebAddresses::donatePage() const {
    return QUrl(QStringLiteral(ONDARA_DONATE_URL));
}
