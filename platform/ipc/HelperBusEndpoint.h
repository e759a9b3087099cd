#pragma once

#include "SensorRecords.h"

#include <QDBusContext>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>

class OndaraHelperProtocol;

// The object registered at the agent's path, behind the adaptor generated from
// the contract. It finds the calling client's service object and forwards the
// call; queries answer later through a delayed bus reply, so the values returned
// here are never sent.
class HelperBusEndpoint : public QObject, protected QDBusContext {
    Q_OBJECT
public:
    // Null from lookup refuses the caller.
    using ServiceLookup = std::function<OndaraHelperProtocol*(const QString& clientUniqueName)>;

    explicit HelperBusEndpoint(ServiceLookup lookup, QObject* parent = nullptr);

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
    // knows of its backends; the same for every caller.
    using SourcesProvider = std::function<SensorSources()>;
    void setSourcesProvider(SourcesProvider provider) { sources = std::move(provider); }
    QVariantMap Sources();

private:
    // The caller's service object; when there is none the caller has already
    // been told (queries) or the command is dropped.
    OndaraHelperProtocol* callerService();
    // Runs one call of a query on the caller's service with a reply that answers
    // this bus message once.
    void forwardQuery(const char* method,
                      const std::function<void(OndaraHelperProtocol&,
                                               std::function<void(const QVariant&)>)>& call);
    void forwardCommand(const char* method, const std::function<void(OndaraHelperProtocol&)>& call);

    ServiceLookup lookup;
    SourcesProvider sources;
};
