#include "ReadingsReport.h"

#include "SensorRecordCodec.h"

#include <QJsonDocument>

namespace {

std::string utf8(const QString& text) {
    return text.toStdString();
}

QString fromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

ReadingsFigures ReadingsReport::figures(const ReadingsSnapshot& snapshot) {
    ReadingsFigures figures;
    const auto sourceOf = [&snapshot](const QString& key) {
        return snapshot.sources ? utf8(snapshot.sources->value(key).description()) : std::string();
    };
    for (const TemperatureEntry& entry :
         SensorRecordCodec::temperatures(snapshot.tempSensors).entries()) {
        figures.temperatures.push_back({utf8(entry.component), utf8(entry.displayName()),
                                        entry.code, entry.position, entry.active});
    }
    for (const FanEntry& entry : SensorRecordCodec::fans(snapshot.fanSensors).entries()) {
        figures.fans.push_back({entry.number, utf8(entry.displayName()), entry.maxSpeed.value_or(0),
                                entry.active, sourceOf(SensorSource::fanKey(entry.number))});
    }
    for (const MemoryFigureEntry& entry :
         SensorRecordCodec::memory(snapshot.memSensors).entries()) {
        figures.memory.push_back({utf8(entry.name), entry.position, entry.active});
    }
    for (const CandidateList& list :
         SensorRecordCodec::candidates(snapshot.machineSensors).entries()) {
        ReadingsFigures::CandidateList candidates{utf8(list.component), {}};
        for (const SensorCandidate& entry : list.candidates()) {
            candidates.candidates.push_back({entry.code, utf8(entry.keyText), utf8(entry.name),
                                             entry.active, sourceOf(entry.keyText)});
        }
        figures.candidateLists.push_back(std::move(candidates));
    }
    figures.sourcesKnown = snapshot.sources.has_value();
    figures.units.assign(snapshot.units.cbegin(), snapshot.units.cend());
    for (auto it = snapshot.temperatures.cbegin(); it != snapshot.temperatures.cend(); ++it) {
        figures.celsius.emplace(it.key(), it.value());
    }
    for (auto it = snapshot.fanSpeeds.cbegin(); it != snapshot.fanSpeeds.cend(); ++it) {
        figures.rpm.emplace(it.key(), it.value());
    }
    figures.gibibytes.assign(snapshot.memory.cbegin(), snapshot.memory.cend());
    return figures;
}

ReadingsReport::ReadingsReport(const ReadingsSnapshot& snapshot, Scope scope)
    : printer(figures(snapshot), scope) {}

QString ReadingsReport::text() const {
    return fromUtf8(printer.text());
}

QJsonObject ReadingsReport::json() const {
    return QJsonDocument::fromJson(
               QByteArray::fromStdString(printer.json().toJson(JsonValue::Layout::compact)))
        .object();
}

QString ReadingsReport::jsonText(JsonValue::Layout layout) const {
    return fromUtf8(printer.json().toJson(layout));
}

QString ReadingsReport::openMetrics() const {
    return fromUtf8(printer.openMetrics());
}

QList<quint32> ReadingsReport::sensorCodesToRead(const ReadingsSnapshot& snapshot, Scope scope) {
    const auto codes = ReadingsPrinter(figures(snapshot), scope).sensorCodesToRead();
    return QList<quint32>(codes.cbegin(), codes.cend());
}

QList<int> ReadingsReport::fansToRead(const ReadingsSnapshot& snapshot, Scope scope) {
    const auto fans = ReadingsPrinter(figures(snapshot), scope).fansToRead();
    return QList<int>(fans.cbegin(), fans.cend());
}

QString ReadingsReport::gibibytes(double value) {
    return fromUtf8(ReadingsPrinter::gibibytes(value));
}

QString ReadingsReport::sensorKeyText(quint32 code) {
    return fromUtf8(ReadingsPrinter::sensorKeyText(code));
}
