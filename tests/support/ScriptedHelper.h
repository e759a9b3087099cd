#pragma once

#include "OndaraHelperProtocol.h"

#include <QList>
#include <QStringList>
#include <QVariantMap>
#include <functional>
#include <optional>

// An agent inside the test process for the windows' tests. Its public fields
// say what each query answers and can be changed between calls; every request
// and command is recorded, so a test can check what a window asked for and
// what it told the agent.
class ScriptedHelper : public OndaraHelperProtocol {
public:
    enum class AnswerMode {
        Queued,      // on the event loop, as the bus proxy delivers
        Immediately, // inside the call
        Held,        // kept until releaseHeld(): a slow agent
        Never,       // dropped: an absent or silent agent
    };

    AnswerMode answerMode = AnswerMode::Queued;

    double version = 1.0;
    QVariantMap temps;
    QVariantMap fans;
    QVariantMap mems;
    QVariantMap machineSensors;
    QVariantMap activeTemps;
    QVariantMap activeFans;
    QVariantMap activeMems;
    // The reading of one code or fan; the reply carries one per request entry.
    std::function<int(quint32)> temperatureOf = [](quint32) { return 0; };
    std::function<int(int)> rpmOf = [](int) { return 0; };
    // When set, temperatureForSensors and rpmForFans answer these lists as
    // they are, whatever was asked (replies that don't fit the request).
    std::optional<QList<int>> temperaturesOverride;
    std::optional<QList<int>> rpmsOverride;
    QList<double> memory{16.0, 9.7, 6.3, 2.25, 5.0, 4.1, 1.999};
    QList<int> sections{1, 1, 1};
    QList<int> units{0, 0};

    // Method names in the order the calls arrived ("tempSensors", "rpmForFans" …).
    QStringList requests;
    QList<QList<quint32>> requestedCodes;
    QList<QList<int>> requestedFans;
    // Commands as "name arguments…", booleans as 1 or 0, codes in decimal.
    QStringList commands;

    int requestCount(const QString& method) const { return int(requests.count(method)); }
    // Answers the held replies in the order they were asked; returns how many.
    int releaseHeld();
    int heldCount() const { return int(held.size()); }
    void clearRecords();

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
    // The value is taken when the call arrives, as a real agent would.
    template <typename Reply, typename Value>
    void answer(const char* method, const Reply& reply, const Value& value);

    QList<std::function<void()>> held;
};
