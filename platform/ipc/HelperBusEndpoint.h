#pragma once

#include "HistoryBucket.h"
#include "SensorRecords.h"

#include <QDBusContext>
#include <QDBusError>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <initializer_list>

class HelperCallQueue;
class HelperHistoryService;
class OndaraHelperProtocol;
class PendingBusReply;

// The object registered at the agent's path, behind the adaptor generated from
// the contract. It refuses arguments no client needs (org.freedesktop.DBus.
// Error.InvalidArgs) and calls beyond a client's share (LimitsExceeded), and
// queues the rest: each call later finds the calling client's service object
// and runs there, in turns between clients (HelperCallQueue). Queries answer
// through a delayed bus reply, so the values returned here are never sent.
class HelperBusEndpoint : public QObject, protected QDBusContext {
    Q_OBJECT
public:
    // Codes or fan numbers in one call: far above any machine, small enough
    // that one call is cheap.
    static constexpr qsizetype maximumElements = 4096;
    // Characters of one text argument (sensor keys, section words, components).
    static constexpr qsizetype maximumTextLength = 1024;
    // Calls of one client accepted and not yet served.
    static constexpr int maximumCallsInFlight = 32;

    // Null from lookup refuses the caller.
    using ServiceLookup = std::function<OndaraHelperProtocol*(const QString& clientUniqueName)>;

    explicit HelperBusEndpoint(ServiceLookup lookup, QObject* parent = nullptr);
    ~HelperBusEndpoint() override;

    // Forgets the queries of a client that has left the bus.
    void dropClient(const QString& clientUniqueName);

    // Called by the generated adaptor, one per contract member.
    double appVersion();
    QVariantMap tempSensors();
    QVariantMap fanSensors();
    QVariantMap memSensors();
    QVariantMap machineSensorList();
    QVariantMap activeTempSensors();
    QVariantMap activeFanSensors();
    QVariantMap activeMemSensors();
    QList<int> temperatureForSensors(const QList<uint>& sensors);
    QList<int> rpmForFans(const QList<int>& fans);
    QList<double> memoryUsage();
    QList<int> visibleSections();
    QList<int> sensorUnits();
    void changeStateForSensor(const QString& sensorKey, const QString& type, bool state);
    void changeTempUnitToCelsius(bool celsius);
    void changeFanUnitToRPM(bool rpm);
    void changeVisibilityForSection(const QString& section, bool visible);
    void changeSensorWithNewSensor(uint sensor, const QString& component);

    // "com.quillbank.OndaraHelper.Sources1", answered from what the agent
    // knows of its backends; the same for every caller, and at once.
    using SourcesProvider = std::function<SensorSources()>;
    void setSourcesProvider(SourcesProvider provider) { sources = std::move(provider); }
    QVariantMap Sources();

    // "com.quillbank.OndaraHelper.History1" and "…Alerts1", answered by the
    // service for every caller; a refused call gets InvalidArgs.
    void setHistoryService(HelperHistoryService* service) { history = service; }
    QStringList Series();
    QList<HistoryBucket> Samples(const QString& series, qlonglong since, qlonglong until,
                                 uint maxPoints);
    uint Interval();
    QList<QVariantMap> Rules();
    void SetRule(const QString& series, double above, double clearBelow, uint forSeconds,
                 bool enabled);
    void RemoveRule(const QString& series);

Q_SIGNALS:
    // Sent on the bus by the alerts' adaptor.
    void AlertRaised(const QString& series, double value, double above);
    void AlertCleared(const QString& series, double value);

private:
    using QueryCall =
        std::function<void(OndaraHelperProtocol&, std::function<void(const QVariant&)>)>;
    // Queues one call of a query, to run on the caller's service with a reply
    // that answers this bus message once.
    void forwardQuery(const char* method, QueryCall call);
    void forwardCommand(const char* method, std::function<void(OndaraHelperProtocol&)> call);
    // False, with the caller told why, when an argument is larger than any
    // client needs.
    bool acceptsElements(qsizetype count);
    bool acceptsTexts(std::initializer_list<const QString*> texts);
    void refuse(QDBusError::ErrorType type, const QString& text);
    // Runs a call of the history service; false when it failed, after
    // replying with the error.
    template <typename Call> bool historyCall(const char* method, Call call);

    ServiceLookup lookup;
    SourcesProvider sources;
    HelperCallQueue* queue;
    HelperHistoryService* history = nullptr;
};
