#include "FakeHelper.h"

#include <stdexcept>

namespace {

constexpr qlonglong tc0p = 0x54433050; // "TC0P"
constexpr qlonglong tc0d = 0x54433044; // "TC0D"
constexpr qlonglong drive = 0xFFFFFFFF;

QString text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

} // namespace

void FakeAgentState::releaseHeld() {
    const auto replies = std::exchange(held, {});
    for (const auto& reply : replies) {
        reply();
    }
}

FakeHelper::FakeHelper(FakeAgentState& state)
    : state(state) {
    ++state.live;
    ++state.created;
}

FakeHelper::~FakeHelper() {
    --state.live;
}

QVariantMap FakeHelper::tempSensorsValue() {
    return {
        {text("CPU"), QVariantList{text("CPU"), tc0p, qlonglong(0), true}},
        {text("HDD"), QVariantList{text("Drive"), drive, qlonglong(2), false}},
        {text("LOGIC"), QVariantList{text("Board"), tc0d, qlonglong(1), true}},
    };
}

QVariantMap FakeHelper::fanSensorsValue() {
    return {
        {text("0"), QVariantList{text("Left Fan"), qlonglong(6000), true}},
        {text("1"), QVariantList{text("Lüfter «2»"), qlonglong(5500), false}},
    };
}

QVariantMap FakeHelper::memSensorsValue() {
    return {
        {text("Total"), QVariantList{qlonglong(0), false}},
        {text("Wired"), QVariantList{qlonglong(3), true}},
        {text("Compressed"), QVariantList{qlonglong(6), true}},
    };
}

QVariantMap FakeHelper::machineSensorListValue() {
    return {
        {text("CPU"), QVariantList{QVariantList{tc0p, text("TC0P"), text("CPU Proximity"), true},
                                   QVariantList{tc0d, text("TC0D"), text("CPU Die"), false}}},
        {text("HDD"), QVariantList{QVariantList{drive, text("SMART"), text("SMART"), false}}},
        {text("AMBIENT"), QVariantList{}},
    };
}

QVariantMap FakeHelper::activeTempSensorsValue() {
    return {{text("CPU"), QVariantList{tc0p, qlonglong(0)}},
            {text("Board"), QVariantList{tc0d, qlonglong(1)}}};
}

QVariantMap FakeHelper::activeFanSensorsValue() {
    return {{text("Left Fan"), QVariantList{qlonglong(0), qlonglong(6000)}}};
}

QVariantMap FakeHelper::activeMemSensorsValue() {
    return {{text("Wired"), qlonglong(3)}, {text("Compressed"), qlonglong(6)}};
}

QList<double> FakeHelper::memoryUsageValue() {
    return {16.0, 14.25, 1.75, 2.5, 6.125, 4.0, 0.1};
}

QList<int> FakeHelper::visibleSectionsValue() {
    return {1, 0, 1};
}

QList<int> FakeHelper::sensorUnitsValue() {
    return {1, 0};
}

double FakeHelper::appVersionValue() {
    return 1.25;
}

int FakeHelper::temperatureOf(quint32 code) {
    return code == 0xFFFFFFFFu ? 38 : int(code % 1000) - 100;
}

int FakeHelper::rpmOf(int fan) {
    return fan * 1000 + 7;
}

template <typename Reply, typename Value>
void FakeHelper::respond(const Reply& reply, const Value& value) {
    switch (state.mode) {
    case FakeAgentState::Mode::Answer:
        reply(value);
        break;
    case FakeAgentState::Mode::Hold:
        state.held.append([reply, value] { reply(value); });
        break;
    case FakeAgentState::Mode::Drop:
        break;
    case FakeAgentState::Mode::AnswerTwice:
        reply(value);
        reply(value);
        break;
    case FakeAgentState::Mode::Throw:
        throw std::runtime_error("the sensor went away");
    }
}

void FakeHelper::appVersion(DoubleReply reply) {
    respond(reply, appVersionValue());
}

void FakeHelper::tempSensors(DictionaryReply reply) {
    respond(reply,
            state.dictionaryOverride.isEmpty() ? tempSensorsValue() : state.dictionaryOverride);
}

void FakeHelper::fanSensors(DictionaryReply reply) {
    respond(reply, fanSensorsValue());
}

void FakeHelper::memSensors(DictionaryReply reply) {
    respond(reply, memSensorsValue());
}

void FakeHelper::machineSensorList(DictionaryReply reply) {
    respond(reply, machineSensorListValue());
}

void FakeHelper::activeTempSensors(DictionaryReply reply) {
    respond(reply, activeTempSensorsValue());
}

void FakeHelper::activeFanSensors(DictionaryReply reply) {
    respond(reply, activeFanSensorsValue());
}

void FakeHelper::activeMemSensors(DictionaryReply reply) {
    respond(reply, activeMemSensorsValue());
}

void FakeHelper::temperatureForSensors(const QList<quint32>& sensors, IntegersReply reply) {
    state.receivedCodes = sensors;
    QList<int> values;
    values.reserve(sensors.size());
    for (quint32 code : sensors) {
        values.append(temperatureOf(code));
    }
    respond(reply, values);
}

void FakeHelper::rpmForFans(const QList<int>& fans, IntegersReply reply) {
    state.receivedFans = fans;
    QList<int> values;
    values.reserve(fans.size());
    for (int fan : fans) {
        values.append(rpmOf(fan));
    }
    respond(reply, values);
}

void FakeHelper::memoryUsage(DoublesReply reply) {
    respond(reply, memoryUsageValue());
}

void FakeHelper::visibleSections(IntegersReply reply) {
    respond(reply, visibleSectionsValue());
}

void FakeHelper::sensorUnits(IntegersReply reply) {
    respond(reply, sensorUnitsValue());
}

void FakeHelper::changeStateForSensor(const QString& sensorKey, const QString& type, bool state) {
    this->state.commands.append(QStringLiteral("changeStateForSensor %1 %2 %3")
                                    .arg(sensorKey, type, state ? "true" : "false"));
}

void FakeHelper::changeTempUnitToCelsius(bool celsius) {
    state.commands.append(
        QStringLiteral("changeTempUnitToCelsius %1").arg(celsius ? "true" : "false"));
}

void FakeHelper::changeFanUnitToRPM(bool rpm) {
    state.commands.append(QStringLiteral("changeFanUnitToRPM %1").arg(rpm ? "true" : "false"));
}

void FakeHelper::changeVisibilityForSection(const QString& section, bool visible) {
    state.commands.append(QStringLiteral("changeVisibilityForSection %1 %2")
                              .arg(section, visible ? "true" : "false"));
}

void FakeHelper::changeSensorWithNewSensor(quint32 sensor, const QString& component) {
    state.commands.append(
        QStringLiteral("changeSensorWithNewSensor %1 %2").arg(sensor, 0, 16).arg(component));
    if (state.mode == FakeAgentState::Mode::Throw) {
        throw std::runtime_error("the store is gone");
    }
}

std::unique_ptr<OndaraHelperProtocol>
FakeHelperDelegate::shouldAcceptNewConnection(const QString& clientUniqueName) {
    if (state.refuse) {
        return nullptr;
    }
    acceptedClients.append(clientUniqueName);
    return std::make_unique<FakeHelper>(state);
}
