#include "ipc/HelperListener.h"

#include "OndaraHelperAdaptor.h"
#include "OndaraHelperAlertsAdaptor.h"
#include "OndaraHelperHistoryAdaptor.h"
#include "OndaraHelperProtocol.h"
#include "OndaraHelperSourcesAdaptor.h"
#include "OndaraNames.h"
#include "ipc/HelperBusEndpoint.h"
#include "ipc/HelperListenerDelegate.h"
#include "ipc/IpcLogging.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <exception>

HelperListener::HelperListener(const QDBusConnection& bus, HelperListenerDelegate* delegate,
                               QObject* parent)
    : QObject(parent)
    , bus(bus)
    , delegate(delegate)
    , endpoint(new HelperBusEndpoint([this](const QString& client) { return acceptOrFind(client); },
                                     this)) {
    // The adaptor is a child of the endpoint and exports its members.
    new OndaraHelperAdaptor(endpoint);
    // One watch for every client: a watch per client would cost a blocking
    // round to the bus thread and a match rule in the bus for each client
    // that comes and goes.
    this->bus.connect(QStringLiteral("org.freedesktop.DBus"),
                      QStringLiteral("/org/freedesktop/DBus"),
                      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameOwnerChanged"),
                      this, SLOT(nameOwnerChanged(QString, QString, QString)));
}

void HelperListener::setSensorSources(std::function<SensorSources()> provider) {
    if (!sourcesServed) {
        new OndaraHelperSourcesAdaptor(endpoint);
        sourcesServed = true;
    }
    endpoint->setSourcesProvider(std::move(provider));
}

void HelperListener::setHistoryService(HelperHistoryService* service) {
    if (!historyServed) {
        HistoryBucket::registerBusTypes();
        new OndaraHelperHistoryAdaptor(endpoint);
        new OndaraHelperAlertsAdaptor(endpoint);
        historyServed = true;
    }
    endpoint->setHistoryService(service);
}

void HelperListener::announceAlertRaised(const QString& series, double value, double above) {
    Q_EMIT endpoint->AlertRaised(series, value, above);
}

void HelperListener::announceAlertCleared(const QString& series, double value) {
    Q_EMIT endpoint->AlertCleared(series, value);
}

HelperListener::~HelperListener() {
    // Service objects go first: they may still reach the delegate or the bus.
    services.clear();
    if (registered) {
        bus.unregisterService(QString(OndaraNames::helperServiceName));
        bus.unregisterObject(QString(OndaraNames::helperObjectPath));
    }
}

HelperListener::ResumeResult HelperListener::resume() {
    if (registered) {
        return ResumeResult::Ok;
    }
    if (!bus.isConnected()) {
        return ResumeResult::NoBus;
    }
    const QString path(OndaraNames::helperObjectPath);
    if (!bus.registerObject(path, endpoint, QDBusConnection::ExportAdaptors)) {
        // Another listener of this very connection already serves the path.
        return ResumeResult::NameTaken;
    }
    if (!bus.registerService(QString(OndaraNames::helperServiceName))) {
        bus.unregisterObject(path);
        return bus.isConnected() ? ResumeResult::NameTaken : ResumeResult::NoBus;
    }
    registered = true;
    return ResumeResult::Ok;
}

int HelperListener::connectionCount() const {
    return int(services.size());
}

OndaraHelperProtocol* HelperListener::serviceForClient(const QString& clientUniqueName) const {
    const auto it = services.find(clientUniqueName);
    return it == services.end() ? nullptr : it->second.get();
}

OndaraHelperProtocol* HelperListener::acceptOrFind(const QString& clientUniqueName) {
    if (OndaraHelperProtocol* known = serviceForClient(clientUniqueName)) {
        return known;
    }
    // A direct peer connection has no sender; it is not a client of the bus.
    if (clientUniqueName.isEmpty() || !delegate) {
        return nullptr;
    }
    std::unique_ptr<OndaraHelperProtocol> service;
    try {
        service = delegate->shouldAcceptNewConnection(clientUniqueName);
    } catch (const std::exception& error) {
        qCWarning(lcIpc, "Creating the service of %s failed: %s", qPrintable(clientUniqueName),
                  error.what());
    } catch (...) {
        qCWarning(lcIpc, "Creating the service of %s failed", qPrintable(clientUniqueName));
    }
    if (!service) {
        return nullptr;
    }
    OndaraHelperProtocol* accepted = service.get();
    services.emplace(clientUniqueName, std::move(service));
    confirmClientStillOnBus(clientUniqueName);
    Q_EMIT connectionAccepted(clientUniqueName);
    return accepted;
}

void HelperListener::confirmClientStillOnBus(const QString& clientUniqueName) {
    // A client may leave between sending its first call and that call's turn,
    // when the bus's word of its leaving found no service to release; asking
    // now closes that gap and no service object is left behind.
    const QDBusPendingCall call =
        bus.interface()->asyncCall(QStringLiteral("NameHasOwner"), clientUniqueName);
    auto* watcher = new QDBusPendingCallWatcher(call, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, clientUniqueName](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                const QDBusPendingReply<bool> reply = *finished;
                if (reply.isValid() && !reply.value()) {
                    release(clientUniqueName);
                }
            });
}

void HelperListener::nameOwnerChanged(const QString& name, const QString&,
                                      const QString& newOwner) {
    if (newOwner.isEmpty() && name.startsWith(QLatin1Char(':'))) {
        release(name);
    }
}

void HelperListener::release(const QString& clientUniqueName) {
    endpoint->dropClient(clientUniqueName);
    const auto it = services.find(clientUniqueName);
    if (it == services.end()) {
        return;
    }
    // Take it out of the table before it is destroyed, so nothing it does while
    // going away finds it again.
    std::unique_ptr<OndaraHelperProtocol> leaving = std::move(it->second);
    services.erase(it);
    leaving.reset();
    Q_EMIT connectionClosed(clientUniqueName);
}
