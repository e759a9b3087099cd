#include "PanelReadings.h"

#include "Gauge.h"
#include "HistorySeries.h"
#include "MemoryFigures.h"
#include "OndaraHelperProtocol.h"
#include "OndaraNames.h"
#include "SensorRecordCodec.h"
#include "SpokenReading.h"
#include "TodayViewController.h"
#include "ipc/DistributedNotificationCenter.h"

#include <QLocale>
#include <QPointer>
#include <QTimer>
#include <algorithm>

namespace {

// A fan's speed in the room of a panel icon: "850", "2.4k".
QString compactRpm(int rpm) {
    if (rpm < 1000) {
        return QString::number(rpm);
    }
    return QLocale().toString(rpm / 1000.0, 'f', 1) + QLatin1Char('k');
}

} // namespace

PanelReadings::PanelReadings(OndaraHelperProtocol* helper,
                             DistributedNotificationCenter* notifications, HelperPresence* presence,
                             int intervalMilliseconds, QObject* parent)
    : QObject(parent)
    , m_helper(helper)
    , m_presence(presence)
    , m_timer(new QTimer(this)) {
    m_timer->setInterval(intervalMilliseconds);
    connect(m_timer, &QTimer::timeout, this, &PanelReadings::tick);
    connect(m_presence, &HelperPresence::stateChanged, this, &PanelReadings::presenceChanged);
    // A new agent may serve other sensors, units or sections.
    connect(m_presence, &HelperPresence::helperAppeared, this, &PanelReadings::refreshNow);
    if (!m_presence->isConnected()) {
        m_state = State::away;
    }
    if (notifications != nullptr) {
        for (QLatin1StringView name : TodayViewController::observedNotifications) {
            notifications->addObserver(QString(name));
        }
        connect(notifications, &DistributedNotificationCenter::notificationReceived, this,
                [this](const QString&) { refreshNow(); });
    }
}

PanelReadings::~PanelReadings() = default;

void PanelReadings::start() {
    m_timer->start();
    refreshNow();
}

std::optional<AgentStopRecord::Stop> PanelReadings::stop() const {
    return m_state == State::away ? m_presence->stop() : std::nullopt;
}

void PanelReadings::tick() {
    const quint64 round = m_round;
    Q_EMIT ticked();
    if (round != m_round) {
        return; // a receiver has already asked again
    }
    beginRound(!m_listsKnown);
}

void PanelReadings::presenceChanged() {
    // Back again: the next answer shows the readings; until then the
    // panel keeps saying the agent is away.
    if (!m_presence->isConnected()) {
        publish(State::away, {});
    }
}

void PanelReadings::refreshNow() {
    m_listsKnown = false;
    beginRound(true);
    if (!m_timer->isActive()) {
        m_timer->start();
    }
}

void PanelReadings::forget() {
    ++m_round;
    m_waiting = 0;
    m_timer->stop();
    publish(State::waiting, {});
}

void PanelReadings::beginRound(bool withLists) {
    ++m_round;
    m_waiting = 0;
    m_valuesAsked = false;
    if (m_helper == nullptr) {
        publish(State::away, {});
        return;
    }
    m_presence->refreshSent();
    if (withLists) {
        askLists();
    } else {
        askValues();
    }
}

template <typename Value>
std::function<void(const Value&)> PanelReadings::reply(void (PanelReadings::*store)(const Value&)) {
    ++m_waiting;
    return [self = QPointer<PanelReadings>(this), round = m_round, store](const Value& value) {
        if (!self || round != self->m_round) {
            return;
        }
        (self.data()->*store)(value);
        --self->m_waiting;
        self->settle();
    };
}

void PanelReadings::askLists() {
    // Counted before any is sent, so an agent that answers inside the call
    // cannot settle the round half asked.
    const auto units = reply<QList<int>>(&PanelReadings::storeUnits);
    const auto sections = reply<QList<int>>(&PanelReadings::storeSections);
    const auto temps = reply<QVariantMap>(&PanelReadings::storeTemps);
    const auto fans = reply<QVariantMap>(&PanelReadings::storeFans);
    const auto mems = reply<QVariantMap>(&PanelReadings::storeMems);
    m_helper->sensorUnits(units);
    m_helper->visibleSections(sections);
    m_helper->activeTempSensors(temps);
    m_helper->activeFanSensors(fans);
    m_helper->activeMemSensors(mems);
}

void PanelReadings::askValues() {
    m_valuesAsked = true;
    m_listsKnown = true;
    QList<quint32> codes;
    for (const ActiveTemperature& temp : std::as_const(m_temps)) {
        codes.append(temp.code);
    }
    QList<int> fans;
    for (const ActiveFan& fan : std::as_const(m_fans)) {
        fans.append(fan.number);
    }
    const bool temps = m_sections.value(0) == 1 && !codes.isEmpty();
    const bool fanValues = m_sections.value(1) == 1 && !fans.isEmpty();
    const bool memory = m_sections.value(2) == 1 && !m_mems.isEmpty();
    std::function<void(const QList<int>&)> tempReply;
    std::function<void(const QList<int>&)> fanReply;
    std::function<void(const QList<double>&)> memReply;
    if (temps) {
        tempReply = reply<QList<int>>(&PanelReadings::storeTempValues);
    }
    if (fanValues) {
        fanReply = reply<QList<int>>(&PanelReadings::storeFanValues);
    }
    if (memory) {
        memReply = reply<QList<double>>(&PanelReadings::storeMemValues);
    }
    if (m_waiting == 0) {
        finishRound();
        return;
    }
    if (temps) {
        m_helper->temperatureForSensors(codes, tempReply);
    }
    if (fanValues) {
        m_helper->rpmForFans(fans, fanReply);
    }
    if (memory) {
        m_helper->memoryUsage(memReply);
    }
}

void PanelReadings::settle() {
    if (m_waiting > 0) {
        return;
    }
    if (!m_valuesAsked) {
        askValues();
    } else {
        finishRound();
    }
}

void PanelReadings::finishRound() {
    m_presence->answered();
    if (m_presence->isConnected()) {
        publish(State::current, build());
    } else {
        publish(State::away, {});
    }
    Q_EMIT refreshed();
}

void PanelReadings::publish(State state, const QList<PanelReading>& readings) {
    if (state == m_state && readings == m_readings) {
        return;
    }
    m_state = state;
    m_readings = readings;
    Q_EMIT changed();
}

QList<PanelReading> PanelReadings::build() const {
    QList<PanelReading> readings;
    if (m_sections.value(0) == 1) {
        const bool celsius = m_units.value(0) == 0;
        for (qsizetype i = 0; i < std::min(m_temps.size(), m_tempValues.size()); ++i) {
            const int value = m_tempValues[i];
            const QString figure = TodayViewController::temperatureText(value, celsius);
            readings.append({PanelReading::Kind::temperature,
                             QStringLiteral("temp:") + m_temps[i].name,
                             HistorySeries::temperature(m_temps[i].code), m_temps[i].name, figure,
                             SpokenReading::text(m_temps[i].name, figure.toDouble(),
                                                 celsius ? SpokenReading::Unit::celsius
                                                         : SpokenReading::Unit::fahrenheit),
                             double(value), false});
        }
    }
    if (m_sections.value(1) == 1) {
        const bool percent = m_units.value(1) == 1;
        for (qsizetype i = 0; i < std::min(m_fans.size(), m_fanValues.size()); ++i) {
            const ActiveFan& fan = m_fans[i];
            const int rpm = m_fanValues[i];
            const QString text = SpokenReading::fanSpeed(fan.name, rpm, fan.maxSpeed, percent);
            readings.append({PanelReading::Kind::fan,
                             QStringLiteral("fan:") + QString::number(fan.number),
                             HistorySeries::fanSpeed(fan.number), fan.name, compactRpm(rpm), text,
                             double(rpm), fan.maxSpeed > 0 && rpm > fan.maxSpeed});
        }
    }
    if (m_sections.value(2) == 1) {
        for (const ActiveMemoryFigure& figure : m_mems) {
            if (figure.index < 0 || figure.index >= m_memValues.size()) {
                continue;
            }
            const double value = m_memValues[figure.index];
            const QString name = MemoryFigures::displayName(figure.name);
            readings.append({PanelReading::Kind::memory, QStringLiteral("mem:") + figure.name,
                             HistorySeries::memory(figure.name), name, Gauge::formatValue(value),
                             SpokenReading::text(name, value, SpokenReading::Unit::gibibytes),
                             value, false});
        }
    }
    return readings;
}

void PanelReadings::storeUnits(const QList<int>& units) {
    if (units.size() >= 2) {
        m_units = units;
    }
}

void PanelReadings::storeSections(const QList<int>& sections) {
    if (sections.size() >= 3) {
        m_sections = sections;
    }
}

void PanelReadings::storeTemps(const QVariantMap& list) {
    m_temps = SensorRecordCodec::activeTemperatures(list);
    std::stable_sort(m_temps.begin(), m_temps.end(),
                     [](const auto& a, const auto& b) { return a.position < b.position; });
}

void PanelReadings::storeFans(const QVariantMap& list) {
    m_fans = SensorRecordCodec::activeFans(list);
    std::stable_sort(m_fans.begin(), m_fans.end(),
                     [](const auto& a, const auto& b) { return a.number < b.number; });
}

void PanelReadings::storeMems(const QVariantMap& list) {
    m_mems = SensorRecordCodec::activeMemory(list);
    std::stable_sort(m_mems.begin(), m_mems.end(),
                     [](const auto& a, const auto& b) { return a.index < b.index; });
}

void PanelReadings::storeTempValues(const QList<int>& values) {
    m_tempValues = values;
}

void PanelReadings::storeFanValues(const QList<int>& values) {
    m_fanValues = values;
}

void PanelReadings::storeMemValues(const QList<double>& values) {
    m_memValues = values;
}
