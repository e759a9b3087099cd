#pragma once

#include "SensorRecords.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <memory>

class HelperBusEndpoint;
class HelperHistoryService;
class HelperListenerDelegate;
class OndaraHelperProtocol;

// Publishes the agent on a bus: the object "/com/quillbank/OndaraHelper" under
// the well-known name "com.quillbank.OndaraHelper". Every client (one unique bus
// name) gets its own service object from the delegate on its first call; the
// object is released when that client leaves the bus. Calls are served one at a
// time on the listener's thread, in turns between clients; queries are answered
// whenever the service calls their reply.
class HelperListener : public QObject {
    Q_OBJECT
public:
    enum class ResumeResult {
        Ok,
        // Another process (or another listener of this connection) serves the name.
        NameTaken,
        // The connection is not connected to a bus.
        NoBus,
    };

    HelperListener(const QDBusConnection& bus, HelperListenerDelegate* delegate,
                   QObject* parent = nullptr);
    ~HelperListener() override;

    // Also serves "com.quillbank.OndaraHelper.Sources1" with what the provider
    // answers; call before resume. Without it the agent has only the protocol.
    void setSensorSources(std::function<SensorSources()> provider);
    // Also serves "com.quillbank.OndaraHelper.History1" and "…Alerts1" from
    // the service (not owned); call before resume.
    void setHistoryService(HelperHistoryService* service);
    // Sends the alerts' signals.
    void announceAlertRaised(const QString& series, double value, double above);
    void announceAlertCleared(const QString& series, double value);

    // Registers the object and requests the name; calling it again once it
    // succeeded changes nothing and returns Ok.
    ResumeResult resume();

    // Clients that currently own a service object.
    int connectionCount() const;
    // The service object of a client, or null when it has none.
    OndaraHelperProtocol* serviceForClient(const QString& clientUniqueName) const;

Q_SIGNALS:
    void connectionAccepted(const QString& clientUniqueName);
    void connectionClosed(const QString& clientUniqueName);

private Q_SLOTS:
    void nameOwnerChanged(const QString& name, const QString& oldOwner, const QString& newOwner);

private:
    OndaraHelperProtocol* acceptOrFind(const QString& clientUniqueName);
    void confirmClientStillOnBus(const QString& clientUniqueName);
    void release(const QString& clientUniqueName);

    QDBusConnection bus;
    HelperListenerDelegate* delegate;
    HelperBusEndpoint* endpoint;
    std::map<QString, std::unique_ptr<OndaraHelperProtocol>> services;
    bool registered = false;
    bool sourcesServed = false;
    bool historyServed = false;
};
