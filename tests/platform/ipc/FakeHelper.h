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
    // When not empty, tempSensors answers this instead of its fixed layout.
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
    ~FakeHelper() override { --state.live; }

    static QVariantMap tempSensorsValue();
    static QVariantMap fanSensorsValue();
    static QVariantMap memSensorsValue();
    static QVariantMap machineSensorListValue();
    static QVariantMap activeTempSensorsValue();
    static QVariantMap activeFanSensorsValue();
    static QVariantMap activeMemSensorsValue();
    static QList<double> memoryUsageValue() { return {16.0, 14.25, 1.75, 2.5, 6.125, 4.0, 0.1}; }
    static QList<int> visibleSectionsValue() { return {1, 0, 1}; }
    static QList<int> sensorUnitsValue() { return {1, 0}; }
    static double appVersionValue() { return 1.25; }
    // The fake's reading of one sensor code and one fan number.
    static int temperatureOf(quint32 code) {
        return code == 0xFFFFFFFFu ? 38 : int(code % 1000) - 100;
    }
    static int rpmOf(int fan) { return fan * 1000 + 7; }

    void appVersion(DoubleReply reply) override { respond(reply, appVersionValue()); }
    void tempSensors(DictionaryReply reply) override;
    void fanSensors(DictionaryReply reply) override { respond(reply, fanSensorsValue()); }
    void memSensors(DictionaryReply reply) override { respond(reply, memSensorsValue()); }
    void machineSensorList(DictionaryReply reply) override {
        respond(reply, machineSensorListValue());
    }
    void activeTempSensors(DictionaryReply reply) override {
        respond(reply, activeTempSensorsValue());
    }
    void activeFanSensors(DictionaryReply reply) override {
        respond(reply, activeFanSensorsValue());
    }
    void activeMemSensors(DictionaryReply reply) override {
        respond(reply, activeMemSensorsValue());
    }
    void temperatureForSensors(const QList<quint32>& sensors, IntegersReply reply) override;
    void rpmForFans(const QList<int>& fans, IntegersReply reply) override;
    void memoryUsage(DoublesReply reply) override { respond(reply, memoryUsageValue()); }
    void visibleSections(IntegersReply reply) override { respond(reply, visibleSectionsValue()); }
    void sensorUnits(IntegersReply reply) override { respond(reply, sensorUnitsValue()); }
    // Commands are recorded as "name arguments…", booleans as 1 or 0.
    void changeStateForSensor(const QString& key, const QString& type, bool on) override {
        record(QStringLiteral("changeStateForSensor %1 %2 %3").arg(key, type).arg(on));
    }
    void changeTempUnitToCelsius(bool celsius) override {
        record(QStringLiteral("changeTempUnitToCelsius %1").arg(celsius));
    }
    void changeFanUnitToRPM(bool rpm) override {
        record(QStringLiteral("changeFanUnitToRPM %1").arg(rpm));
    }
    void changeVisibilityForSection(const QString& section, bool visible) override {
        record(QStringLiteral("changeVisibilityForSection %1 %2").arg(section).arg(visible));
    }
    void changeSensorWithNewSensor(quint32 sensor, const QString& component) override;

private:
    template <typename Reply, typename Value> void respond(const Reply& reply, const Value& value);
    void record(const QString& command) { state.commands.append(command); }

    FakeAgentState& state;
};

class FakeHelperDelegate : public HelperListenerDelegate {
public:
    explicit FakeHelperDelegate(FakeAgentState& state)
        : state(state) {}
    std::unique_ptr<OndaraHelperProtocol>
    shouldAcceptNewConnection(const QString& clientUniqueName) override;

private:
    FakeAgentState& state;
};
