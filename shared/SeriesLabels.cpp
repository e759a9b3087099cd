#include "SeriesLabels.h"

#include "HistorySeries.h"
#include "OndaraHelperProtocol.h"
#include "PropertyList.h"
#include "SensorRecordCodec.h"

#include <memory>

SeriesLabels::SeriesLabels(const EntryMap<TemperatureEntry>& temperatures,
                           const EntryMap<FanEntry>& fans)
    : m_temperatures(temperatures)
    , m_fans(fans) {}

void SeriesLabels::fetch(OndaraHelperProtocol& helper, std::function<void(SeriesLabels)> done) {
    auto temperatures = std::make_shared<QVariantMap>();
    helper.tempSensors([temperatures](const QVariantMap& value) { *temperatures = value; });
    helper.fanSensors([temperatures, done = std::move(done)](const QVariantMap& fans) {
        done(SeriesLabels(
            SensorRecordCodec::temperatures(PropertyList::normalized(*temperatures).toMap()),
            SensorRecordCodec::fans(PropertyList::normalized(fans).toMap())));
    });
}

QString SeriesLabels::name(const QString& name) const {
    const auto series = HistorySeries::parse(name);
    if (!series) {
        return name;
    }
    switch (series->kind) {
    case HistorySeries::Kind::temperature: {
        QStringList components;
        for (const TemperatureEntry& entry : m_temperatures.entries()) {
            if (HistorySeries::temperature(entry.code) == name) {
                components.append(entry.displayName());
            }
        }
        return components.isEmpty() ? tr("Sensor %1").arg(series->key)
                                    : components.join(QStringLiteral(", "));
    }
    case HistorySeries::Kind::fan:
    case HistorySeries::Kind::stoppedFan:
        for (const FanEntry& entry : m_fans.entries()) {
            if (entry.number == series->fan) {
                return entry.displayName();
            }
        }
        return tr("Fan %1").arg(series->fan + 1);
    case HistorySeries::Kind::memory:
        return tr("%1 memory").arg(series->key);
    }
    return name;
}

int SeriesLabels::maxSpeed(const QString& name) const {
    const auto series = HistorySeries::parse(name);
    if (!series || series->fan < 0) {
        return 0;
    }
    for (const FanEntry& entry : m_fans.entries()) {
        if (entry.number == series->fan) {
            return std::max(0, entry.maxSpeed.value_or(0));
        }
    }
    return 0;
}

QString SeriesLabels::seriesOfComponent(const QString& component) const {
    for (const TemperatureEntry& entry : m_temperatures.entries()) {
        if (entry.component.compare(component, Qt::CaseInsensitive) == 0) {
            return HistorySeries::temperature(entry.code);
        }
    }
    return {};
}

QStringList SeriesLabels::ordered(QStringList series) const {
    const auto rank = [this](const QString& name) -> qlonglong {
        const auto parsed = HistorySeries::parse(name);
        if (!parsed) {
            return 1LL << 40;
        }
        switch (parsed->kind) {
        case HistorySeries::Kind::temperature: {
            qlonglong position = 1LL << 20;
            for (const TemperatureEntry& entry : m_temperatures.entries()) {
                if (HistorySeries::temperature(entry.code) == name) {
                    position = std::min(position, entry.position);
                }
            }
            return position;
        }
        case HistorySeries::Kind::fan:
        case HistorySeries::Kind::stoppedFan:
            return (2LL << 20) + parsed->fan;
        case HistorySeries::Kind::memory:
            return (3LL << 20) + HistorySeries::memoryFigures().indexOf(parsed->key);
        }
        return 1LL << 40;
    };
    std::stable_sort(series.begin(), series.end(),
                     [&rank](const QString& a, const QString& b) { return rank(a) < rank(b); });
    return series;
}
