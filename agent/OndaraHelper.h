#pragma once

#include "OndaraHelperProtocol.h"

#include <cstdint>

class SMCController;

// The service object of one client: answers the protocol from the process's
// one SMCController and the hardware, and hands every settings change to the
// controller's persist. Its own state is the installed memory and a small
// cache of the drive temperature, so each client reads the drive on its own
// schedule.
//
// Every query calls its reply exactly once, before it returns. Requests reach
// it on the main thread one after another; it takes no locks.
class OndaraHelper : public OndaraHelperProtocol {
public:
    explicit OndaraHelper(SMCController& controller);
    ~OndaraHelper() override;

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

    // Whole degrees Celsius per code, in order. The drive code is answered from
    // this object's cache, reading the drive for the 1st, 5th, 9th ... drive
    // code; an unreadable SMC key gives 0.
    QList<int> sensorTemperatures(const QList<quint32>& codes);
    // Revolutions per minute per fan number, in order; 0 for a fan that can't
    // be read, including numbers no fan key can be formed for.
    static QList<int> fanSpeeds(const QList<int>& fans);

    double totalMem() const { return totalMem_; }
    int32_t lastHDDtemp() const { return lastHDDtemp_; }
    int64_t hddUpdateCounter() const { return hddUpdateCounter_; }

private:
    SMCController& smcController;
    double totalMem_ = 0;
    int32_t lastHDDtemp_ = 0;
    int64_t hddUpdateCounter_ = 0;
};
