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
    for (const auto& reply : std::exchange(held, {})) {
        reply();
    }
}

FakeHelper::FakeHelper(FakeAgentState& state)
    : state(state) {
    ++state.live;
    ++state.created;
}

QVariantMap FakeHelper::tempSensorsValue() {
    return {{text("CPU"), QVariantList{text("CPU"), tc0p, 0LL, true}},
            {text("HDD"), QVariantList{text("Drive"), drive, 2LL, false}},
            {text("LOGIC"), QVariantList{text("Board"), tc0d, 1LL, true}}};
}

QVariantMap FakeHelper::fanSensorsValue() {
    return {{text("0"), QVariantList{text("Left Fan"), 6000LL, true}},
            {text("1"), QVariantList{text("Lüfter «2»"), 5500LL, false}}};
}

QVariantMap FakeHelper::memSensorsValue() {
    return {{text("Total"), QVariantList{0LL, false}},
            {text("Wired"), QVariantList{3LL, true}},
            {text("Compressed"), QVariantList{6LL, true}}};
}

QVariantMap FakeHelper::machineSensorListValue() {
    return {
        {text("CPU"), QVariantList{QVariantList{tc0p, text("TC0P"), text("CPU Proximity"), true},
                                   QVariantList{tc0d, text("TC0D"), text("CPU Die"), false}}},
        {text("HDD"), QVariantList{QVariantList{drive, text("SMART"), text("SMART"), false}}},
        {text("AMBIENT"), QVariantList{}}};
}

QVariantMap FakeHelper::activeTempSensorsValue() {
    return {{text("CPU"), QVariantList{tc0p, 0LL}}, {text("Board"), QVariantList{tc0d, 1LL}}};
}

QVariantMap FakeHelper::activeFanSensorsValue() {
    return {{text("Left Fan"), QVariantList{0LL, 6000LL}}};
}

QVariantMap FakeHelper::activeMemSensorsValue() {
    return {{text("Wired"), 3LL}, {text("Compressed"), 6LL}};
}

template <typename Reply, typename Value>
void FakeHelper::respond(const Reply& reply, const Value& value) {
    switch (state.mode) {
    case FakeAgentState::Mode::Hold:
        state.held.append([reply, value] { reply(value); });
        return;
    case FakeAgentState::Mode::Drop:
        return;
    case FakeAgentState::Mode::Throw:
        throw std::runtime_error("the sensor went away");
    case FakeAgentState::Mode::AnswerTwice:
        reply(value);
        [[fallthrough]];
    case FakeAgentState::Mode::Answer:
        reply(value);
    }
}

void FakeHelper::tempSensors(DictionaryReply reply) {
    respond(reply,
            state.dictionaryOverride.isEmpty() ? tempSensorsValue() : state.dictionaryOverride);
}

void FakeHelper::temperatureForSensors(const QList<quint32>& sensors, IntegersReply reply) {
    state.receivedCodes = sensors;
    QList<int> values;
    for (quint32 code : sensors) {
        values.append(temperatureOf(code));
    }
    respond(reply, values);
}

void FakeHelper::rpmForFans(const QList<int>& fans, IntegersReply reply) {
    state.receivedFans = fans;
    QList<int> values;
    for (int fan : fans) {
        values.append(rpmOf(fan));
    }
    respond(reply, values);
}

void FakeHelper::changeSensorWithNewSensor(quint32 sensor, const QString& component) {
    record(QStringLiteral("changeSensorWithNewSensor %1 %2").arg(sensor, 0, 16).arg(component));
    if (state.mode == FakeAgentState::Mode::Throw) {
        throw std::runtime_error("the store is gone");
    }
}

std::unique_ptr<OndaraHelperProtocol>
FakeHelperDelegate::shouldAcceptNewConnection(const QString&) {
    return std::make_unique<FakeHelper>(state);
}
