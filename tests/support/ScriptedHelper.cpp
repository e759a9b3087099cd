#include "ScriptedHelper.h"

#include <QCoreApplication>
#include <QMetaObject>

template <typename Reply, typename Value>
void ScriptedHelper::answer(const char* method, const Reply& reply, const Value& value) {
    requests.append(QString::fromLatin1(method));
    std::function<void()> deliver = [reply, value] { reply(value); };
    switch (answerMode) {
    case AnswerMode::Queued:
        QMetaObject::invokeMethod(QCoreApplication::instance(), deliver, Qt::QueuedConnection);
        break;
    case AnswerMode::Immediately:
        deliver();
        break;
    case AnswerMode::Held:
        held.append(std::move(deliver));
        break;
    case AnswerMode::Never:
        break;
    }
}

int ScriptedHelper::releaseHeld() {
    // Replies may ask again; those join a fresh list and stay held.
    const QList<std::function<void()>> due = std::exchange(held, {});
    for (const std::function<void()>& deliver : due) {
        deliver();
    }
    return int(due.size());
}

void ScriptedHelper::clearRecords() {
    requests.clear();
    requestedCodes.clear();
    requestedFans.clear();
    commands.clear();
}

void ScriptedHelper::appVersion(DoubleReply reply) {
    answer("appVersion", reply, version);
}
void ScriptedHelper::tempSensors(DictionaryReply reply) {
    answer("tempSensors", reply, temps);
}
void ScriptedHelper::fanSensors(DictionaryReply reply) {
    answer("fanSensors", reply, fans);
}
void ScriptedHelper::memSensors(DictionaryReply reply) {
    answer("memSensors", reply, mems);
}
void ScriptedHelper::machineSensorList(DictionaryReply reply) {
    answer("machineSensorList", reply, machineSensors);
}
void ScriptedHelper::activeTempSensors(DictionaryReply reply) {
    answer("activeTempSensors", reply, activeTemps);
}
void ScriptedHelper::activeFanSensors(DictionaryReply reply) {
    answer("activeFanSensors", reply, activeFans);
}
void ScriptedHelper::activeMemSensors(DictionaryReply reply) {
    answer("activeMemSensors", reply, activeMems);
}

void ScriptedHelper::temperatureForSensors(const QList<quint32>& sensors, IntegersReply reply) {
    requestedCodes.append(sensors);
    QList<int> values;
    if (temperaturesOverride) {
        values = *temperaturesOverride;
    } else {
        for (quint32 code : sensors) {
            values.append(temperatureOf(code));
        }
    }
    answer("temperatureForSensors", reply, values);
}

void ScriptedHelper::rpmForFans(const QList<int>& fans, IntegersReply reply) {
    requestedFans.append(fans);
    QList<int> values;
    if (rpmsOverride) {
        values = *rpmsOverride;
    } else {
        for (int fan : fans) {
            values.append(rpmOf(fan));
        }
    }
    answer("rpmForFans", reply, values);
}

void ScriptedHelper::memoryUsage(DoublesReply reply) {
    answer("memoryUsage", reply, memory);
}
void ScriptedHelper::visibleSections(IntegersReply reply) {
    answer("visibleSections", reply, sections);
}
void ScriptedHelper::sensorUnits(IntegersReply reply) {
    answer("sensorUnits", reply, units);
}

void ScriptedHelper::changeStateForSensor(const QString& sensorKey, const QString& type,
                                          bool state) {
    commands.append(
        QStringLiteral("changeStateForSensor %1 %2 %3").arg(sensorKey, type).arg(state));
}
void ScriptedHelper::changeTempUnitToCelsius(bool celsius) {
    commands.append(QStringLiteral("changeTempUnitToCelsius %1").arg(celsius));
}
void ScriptedHelper::changeFanUnitToRPM(bool rpm) {
    commands.append(QStringLiteral("changeFanUnitToRPM %1").arg(rpm));
}
void ScriptedHelper::changeVisibilityForSection(const QString& section, bool visible) {
    commands.append(QStringLiteral("changeVisibilityForSection %1 %2").arg(section).arg(visible));
}
void ScriptedHelper::changeSensorWithNewSensor(quint32 sensor, const QString& component) {
    commands.append(QStringLiteral("changeSensorWithNewSensor %1 %2").arg(sensor).arg(component));
}
