#pragma once

#include <QProcessEnvironment>
#include <QUrl>

// The web pages the application opens and the update description it reads.
// They live on one server whose base address is a build setting
// (ONDARA_UPDATE_BASE_URL, https only); the environment variable of the same
// name overrides it, so tests can point the application at a local server.
class WebAddresses {
public:
    explicit WebAddresses(
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

    QUrl base() const { return m_base; }
    QUrl updateFile() const;
    QUrl downloadPage() const;
    QUrl supportPage() const;
    QUrl donatePage() const;

    // An override is taken when it is https, or plain http to this machine
    // (a test server); anything else could hand the update check to a
    // stranger on the network.
    static bool isAcceptableOverride(const QUrl& url);

private:
    QUrl resolved(const QString& pathAndFragment) const;
    QUrl m_base;
};
