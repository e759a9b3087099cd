#pragma once

// Errors in shared/: a value that may be missing or malformed decodes to
// std::optional or NotAnEntry (SensorRecordCodec), a call that fails for a
// reason returns Result with the reason's text (Result.h). Nothing here
// throws or ends the process.

#include <QList>
#include <QString>
#include <QVariantMap>
#include <functional>

// The one interface between the agent and its clients. The agent's service
// object implements it directly; the clients reach it through a D-Bus proxy,
// so UI code sees only this class and tests can hand it an in-process agent.
//
// Queries answer exactly once through their reply. Commands have no reply: a
// client learns of a change from a later query or a change notification.
// Dictionaries hold property-list values (see PropertyList.h) in the layouts
// of the shared settings store.
class OndaraHelperProtocol {
public:
    using DoubleReply = std::function<void(double)>;
    using DictionaryReply = std::function<void(const QVariantMap&)>;
    using IntegersReply = std::function<void(const QList<int>&)>;
    using DoublesReply = std::function<void(const QList<double>&)>;

    OndaraHelperProtocol() = default;
    OndaraHelperProtocol(const OndaraHelperProtocol&) = delete;
    OndaraHelperProtocol& operator=(const OndaraHelperProtocol&) = delete;
    virtual ~OndaraHelperProtocol();

    virtual void appVersion(DoubleReply reply) = 0;
    virtual void tempSensors(DictionaryReply reply) = 0;
    virtual void fanSensors(DictionaryReply reply) = 0;
    virtual void memSensors(DictionaryReply reply) = 0;
    virtual void machineSensorList(DictionaryReply reply) = 0;
    virtual void activeTempSensors(DictionaryReply reply) = 0;
    virtual void activeFanSensors(DictionaryReply reply) = 0;
    virtual void activeMemSensors(DictionaryReply reply) = 0;
    // One whole-degree Celsius value per code, in request order.
    virtual void temperatureForSensors(const QList<quint32>& sensors, IntegersReply reply) = 0;
    // One revolutions-per-minute value per fan number, in request order.
    virtual void rpmForFans(const QList<int>& fans, IntegersReply reply) = 0;
    // Seven figures in GiB: Total, Used, Free, Wired, Active, Inactive, Compressed.
    virtual void memoryUsage(DoublesReply reply) = 0;
    virtual void visibleSections(IntegersReply reply) = 0;
    virtual void sensorUnits(IntegersReply reply) = 0;

    virtual void changeStateForSensor(const QString& sensorKey, const QString& type,
                                      bool state) = 0;
    virtual void changeTempUnitToCelsius(bool celsius) = 0;
    virtual void changeFanUnitToRPM(bool rpm) = 0;
    virtual void changeVisibilityForSection(const QString& section, bool visible) = 0;
    virtual void changeSensorWithNewSensor(quint32 sensor, const QString& component) = 0;
};
