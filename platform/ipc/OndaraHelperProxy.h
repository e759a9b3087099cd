#pragma once

#include "OndaraHelperProtocol.h"
#include "SensorRecords.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>
#include <string_view>

class BusMessage;
class DirectBusConnection;
class OndaraHelperInterface;
class OndaraHelperSourcesInterface;
class QDBusPendingCall;
class QDBusError;
class QDBusMessage;

// The clients' side of OndaraHelperProtocol: every call goes to the agent's
// well-known name, so an agent that starts later (or restarts) is simply found by
// the next call. Replies run on this object's thread with values in canonical
// property-list form (integers qlonglong, arrays QVariantList). When the agent is
// absent, silent or answers outside the contract the reply is never called and
// requestFailed says why.
class OndaraHelperProxy : public QObject, public OndaraHelperProtocol {
    Q_OBJECT
public:
    explicit OndaraHelperProxy(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                               QObject* parent = nullptr);
    ~OndaraHelperProxy() override;

    // How long a query waits for its answer before it fails, in milliseconds;
    // -1 is the bus library's default (25 s).
    void setTimeout(int milliseconds);
    int timeout() const;

    // From now on the refresh calls (temperatures, fan speeds, memory) go
    // through a bus connection of the proxy's own on this thread, when it is
    // on the session bus: for the programs that refresh every few seconds. A
    // one-shot client would only pay for one more connection.
    void sendRefreshesDirectly() { directWanted = true; }

    // Queries sent and not yet answered or failed. A program about to exit waits
    // for requestsSettled, so no answer is still being read while it shuts down.
    int pendingRequests() const;

    void appVersion(DoubleReply reply) override;
    void tempSensors(DictionaryReply reply) override;
    void fanSensors(DictionaryReply reply) override;
    void memSensors(DictionaryReply reply) override;
    void machineSensorList(DictionaryReply reply) override;
    void activeTempSensors(DictionaryReply reply) override;
    void activeFanSensors(DictionaryReply reply) override;
    void activeMemSensors(DictionaryReply reply) override;
    void temperatureForSensors(const QList<quint32>& sensors, IntegersReply reply) override;
    void rpmForFans(const QList<int>& fans, IntegersReply reply) override;
    void memoryUsage(DoublesReply reply) override;
    void visibleSections(IntegersReply reply) override;
    void sensorUnits(IntegersReply reply) override;

    void changeStateForSensor(const QString& sensorKey, const QString& type, bool state) override;
    void changeTempUnitToCelsius(bool celsius) override;
    void changeFanUnitToRPM(bool rpm) override;
    void changeVisibilityForSection(const QString& section, bool visible) override;
    void changeSensorWithNewSensor(quint32 sensor, const QString& component) override;

    // What stands behind each key ("com.quillbank.OndaraHelper.Sources1");
    // nothing when the agent does not have that interface (an older agent).
    using SourcesReply = std::function<void(const std::optional<SensorSources>&)>;
    void sensorSources(SourcesReply reply);

Q_SIGNALS:
    // method: the protocol member ("tempSensors"); error: one line, the bus
    // error name and its message.
    void requestFailed(const QString& method, const QString& error);
    // pendingRequests() has come back to 0.
    void requestsSettled();

private:
    // expected: an error the caller handles itself (true), not reported.
    void whenAnswered(const QDBusPendingCall& call, const QString& method,
                      std::function<QString(const QDBusMessage&)> deliver,
                      std::function<bool(const QDBusError&)> expected = {});
    void dictionaryQuery(const QDBusPendingCall& call, const QString& method,
                         DictionaryReply reply);
    void integersQuery(const QDBusPendingCall& call, const QString& method, IntegersReply reply);

    // A refresh call on the proxy's own connection, made on first use: the
    // same member, the same message, only without QtDBus's hand-off to its
    // thread and back. False when the call must go through QtDBus instead:
    // not asked for, another bus, no address to reach it by, or a direct
    // connection that could not be made or has dropped.
    bool directQuery(const QString& method, std::string_view signature, std::string_view body,
                     std::function<QString(const BusMessage&)> deliver);
    DirectBusConnection* directConnection();
    // Counts one query as settled, run after its reply or failure signal:
    // either may have destroyed the proxy.
    std::function<void()> settler();

    // Made on first use: every interface object asks the bus who owns the
    // agent's name when it is made, a round trip a one-shot client that
    // never asks for the sources need not pay.
    OndaraHelperSourcesInterface& sourcesInterface();

    QDBusConnection connection;
    std::unique_ptr<OndaraHelperInterface> remote;
    std::unique_ptr<OndaraHelperSourcesInterface> sourcesRemote;
    std::unique_ptr<DirectBusConnection> direct;
    bool directWanted = false;
    bool directTried = false;
    int pending = 0;
};
