#pragma once

#include "OndaraHelperProtocol.h"
#include "ipc/HelperListenerDelegate.h"

#include <QStringList>
#include <QVariantMap>
#include <functional>
#include <memory>

// What the fake agent's service objects share: how they answer, what they were
// told and how many of them exist.
struct FakeAgentState {
    enum class Mode {
        Answer,      // reply at once
        Hold,        // keep the reply for later (see releaseHeld)
        Drop,        // let the reply go without calling it
        AnswerTwice, // call the reply twice
        Throw,       // throw from the method
    };

    Mode mode = Mode::Answer;
    bool refuse = false;
    // When valid, tempSensors answers this instead of its fixed layout.
    QVariantMap dictionaryOverride;
    QStringList commands;
    QList<quint32> receivedCodes;
    QList<int> receivedFans;
    QList<std::function<void()>> held;
    int live = 0;
    int created = 0;

    void releaseHeld();
};

// A service object that answers every query with fixed values in the
// contract's layouts and records every command.
class FakeHelper : public OndaraHelperProtocol {
public:
    explicit FakeHelper(FakeAgentState& state);
    ~FakeHelper() override;

    static QVariantMap tempSensorsValue();
    static QVariantMap fanSensorsValue();
    static QVariantMap memSensorsValue();
    static QVariantMap machineSensorListValue();
    static QVariantMap activeTempSensorsValue();
    static QVariantMap activeFanSensorsValue();
    static QVariantMap activeMemSensorsValue();
    static QList<double> memoryUsageValue();
    static QList<int> visibleSectionsValue();
    static QList<int> sensorUnitsValue();
    static double appVersionValue();
    // The fake's reading of one sensor code and one fan number.
    static int temperatureOf(quint32 code);
    static int rpmOf(int fan);

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

private:
    template <typename Reply, typename Value> void respond(const Reply& reply, const Value& value);

    FakeAgentState& state;
};

class FakeHelperDelegate : public HelperListenerDelegate {
public:
    explicit FakeHelperDelegate(FakeAgentState& state)
        : state(state) {}
    std::unique_ptr<OndaraHelperProtocol>
    shouldAcceptNewConnection(const QString& clientUniqueName) override;

    QStringList acceptedClients;

private:
    FakeAgentState& state;
};
