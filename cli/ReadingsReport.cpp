#include "ReadingsReport.h"

#include "SensorRecordCodec.h"

#include <QJsonArray>
#include <QSet>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const QString celsiusUnit = QStringLiteral("°C");
const QString fahrenheitUnit = QStringLiteral("°F");
const QString rpmUnit = QStringLiteral("RPM");
const QString percentUnit = QStringLiteral("%");
const QString gibibyteUnit = QStringLiteral("GiB");
const QString missingValue = QStringLiteral("n/a");
const QString sourcesUnknownLine =
    QStringLiteral("The agent does not tell what stands behind its keys (it is older than "
                   "this client and has no com.quillbank.OndaraHelper.Sources1).");

// The rows by their display positions; rows of one position keep their order.
template <typename Row> QList<Row> inPositionOrder(QList<QPair<qlonglong, Row>> placed) {
    std::stable_sort(placed.begin(), placed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QList<Row> rows;
    rows.reserve(placed.size());
    for (auto& [position, row] : placed) {
        rows.append(std::move(row));
    }
    return rows;
}

struct TextRow {
    QString label;
    QString number;
    QString unit;
    QString note; // after the value: what stands behind it
};

QString valueText(const TextRow& row, qsizetype numberWidth) {
    if (row.number.isEmpty()) {
        return {};
    }
    QString text = row.number.rightJustified(numberWidth);
    if (row.unit.isEmpty()) {
        return text;
    }
    return text + (row.unit == percentUnit ? QString() : QStringLiteral(" ")) + row.unit;
}

using TextSection = QPair<QString, QList<TextRow>>;

// One block of text per non-empty section: "Label: value unit" with the labels
// padded to one width and the numbers right-aligned; rows without a number are
// headings inside the section.
QStringList renderAligned(const QList<TextSection>& sections) {
    qsizetype labelWidth = 0;
    qsizetype numberWidth = 0;
    for (const auto& [title, rows] : sections) {
        for (const TextRow& row : rows) {
            if (!row.number.isEmpty()) {
                labelWidth = std::max(labelWidth, row.label.size());
                numberWidth = std::max(numberWidth, row.number.size());
            }
        }
    }
    QStringList blocks;
    for (const auto& [title, rows] : sections) {
        if (rows.isEmpty()) {
            continue;
        }
        QString block = title + QLatin1Char('\n');
        for (const TextRow& row : rows) {
            if (row.number.isEmpty()) {
                block += row.label + QLatin1Char('\n');
            } else {
                QString line =
                    row.label.leftJustified(labelWidth + 1) + valueText(row, numberWidth);
                if (!row.note.isEmpty()) {
                    line += QStringLiteral("  [%1]").arg(row.note);
                }
                block += line + QLatin1Char('\n');
            }
        }
        blocks.append(block);
    }
    return blocks;
}

} // namespace

ReadingsReport::ReadingsReport(const ReadingsSnapshot& snapshot, Scope scope)
    : showFahrenheit(snapshot.units.value(0, 0) != 0)
    , showPercent(snapshot.units.value(1, 0) == 1)
    , scope(scope) {
    const bool everything = scope == Scope::selection;
    const auto sourceOf = [&snapshot](const QString& key) {
        return snapshot.sources ? snapshot.sources->value(key).description() : QString();
    };
    // Display positions of the components, for the order of both lists.
    QHash<QString, qlonglong> positions;
    QHash<QString, QString> componentNames;
    QList<QPair<qlonglong, Temperature>> shownTemperatures;
    for (const TemperatureEntry& entry :
         SensorRecordCodec::temperatures(snapshot.tempSensors).entries()) {
        positions.insert(entry.component, entry.position);
        componentNames.insert(entry.component, entry.displayName());
        if (!everything && !entry.active) {
            continue;
        }
        Temperature row{entry.component, entry.displayName(), entry.code, std::nullopt};
        if (snapshot.temperatures.contains(entry.code)) {
            row.celsius = snapshot.temperatures.value(entry.code);
        }
        shownTemperatures.append({entry.position, row});
    }
    temperatures = inPositionOrder(std::move(shownTemperatures));

    for (const FanEntry& entry : SensorRecordCodec::fans(snapshot.fanSensors).entries()) {
        if (!everything && !entry.active) {
            continue;
        }
        FanSpeed row{entry.number, entry.displayName(), entry.maxSpeed.value_or(0), std::nullopt,
                     sourceOf(SensorSource::fanKey(entry.number))};
        if (snapshot.fanSpeeds.contains(entry.number)) {
            row.rpm = snapshot.fanSpeeds.value(entry.number);
        }
        fans.append(row);
    }
    std::stable_sort(fans.begin(), fans.end(),
                     [](const FanSpeed& a, const FanSpeed& b) { return a.number < b.number; });

    QList<QPair<qlonglong, MemoryFigure>> shownMemory;
    for (const MemoryFigureEntry& entry :
         SensorRecordCodec::memory(snapshot.memSensors).entries()) {
        if (!everything && !entry.active) {
            continue;
        }
        MemoryFigure row{entry.name, std::nullopt};
        if (entry.position >= 0 && entry.position < snapshot.memory.size()) {
            row.gibibytes = snapshot.memory.at(entry.position);
        }
        shownMemory.append({entry.position, row});
    }
    memory = inPositionOrder(std::move(shownMemory));

    if (scope != Scope::candidates) {
        return;
    }
    sourcesUnknown = !snapshot.sources.has_value();
    QList<QPair<qlonglong, Component>> listed;
    for (const CandidateList& list :
         SensorRecordCodec::candidates(snapshot.machineSensors).entries()) {
        Component component{
            list.component, componentNames.value(list.component, list.component), {}};
        for (const SensorCandidate& entry : list.candidates()) {
            Candidate candidate{entry.code,   entry.keyText, entry.name,
                                entry.active, std::nullopt,  sourceOf(entry.keyText)};
            if (snapshot.temperatures.contains(entry.code)) {
                candidate.celsius = snapshot.temperatures.value(entry.code);
            }
            component.candidates.append(candidate);
        }
        // Components without a chosen sensor come after the ordered ones.
        listed.append(
            {positions.value(list.component, std::numeric_limits<qlonglong>::max()), component});
    }
    components = inPositionOrder(std::move(listed));
}

QList<quint32> ReadingsReport::sensorCodesToRead(const ReadingsSnapshot& snapshot, Scope scope) {
    const ReadingsReport report(snapshot, scope);
    QList<quint32> codes;
    QSet<quint32> seen;
    auto add = [&](quint32 code) {
        if (!seen.contains(code)) {
            seen.insert(code);
            codes.append(code);
        }
    };
    for (const Temperature& row : report.temperatures) {
        add(row.code);
    }
    for (const Component& component : report.components) {
        for (const Candidate& candidate : component.candidates) {
            add(candidate.code);
        }
    }
    return codes;
}

QList<int> ReadingsReport::fansToRead(const ReadingsSnapshot& snapshot, Scope scope) {
    const ReadingsReport report(snapshot, scope);
    QList<int> numbers;
    for (const FanSpeed& fan : report.fans) {
        numbers.append(fan.number);
    }
    return numbers;
}

int ReadingsReport::fahrenheit(int celsius) {
    return int(std::floor(celsius * 1.8 + 32 + 0.5));
}

int ReadingsReport::fanPercent(int rpm, int maxSpeed) {
    if (maxSpeed <= 0) {
        return 0;
    }
    return int(qlonglong(rpm) * 100 / maxSpeed);
}

QString ReadingsReport::gibibytes(double value) {
    const QString text = QString::number(value, 'f', 2);
    if (text.endsWith(QLatin1String(".00"))) {
        return text.chopped(3);
    }
    return text;
}

QString ReadingsReport::sensorKeyText(quint32 code) {
    if (code == 0xFFFFFFFFu) {
        return QStringLiteral("SMART");
    }
    QString text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = char((code >> shift) & 0xFF);
        text.append(c >= 0x20 && c < 0x7F ? QChar::fromLatin1(c) : QLatin1Char('?'));
    }
    return text;
}

std::optional<int> ReadingsReport::temperatureValue(std::optional<int> celsius) const {
    if (!celsius) {
        return std::nullopt;
    }
    return showFahrenheit ? fahrenheit(*celsius) : *celsius;
}

std::optional<int> ReadingsReport::fanValue(const FanSpeed& fan) const {
    if (!fan.rpm) {
        return std::nullopt;
    }
    return showPercent ? fanPercent(*fan.rpm, fan.maxSpeed) : *fan.rpm;
}

QPair<QString, QString> ReadingsReport::temperatureText(std::optional<int> celsius) const {
    const auto value = temperatureValue(celsius);
    if (!value) {
        return {missingValue, QString()};
    }
    return {QString::number(*value), showFahrenheit ? fahrenheitUnit : celsiusUnit};
}

QPair<QString, QString> ReadingsReport::fanText(const FanSpeed& fan) const {
    const auto value = fanValue(fan);
    if (!value) {
        return {missingValue, QString()};
    }
    return {QString::number(*value), showPercent ? percentUnit : rpmUnit};
}

QString ReadingsReport::text() const {
    QList<TextSection> sections;
    QList<TextRow> rows;
    for (const Temperature& row : temperatures) {
        const auto [number, unit] = temperatureText(row.celsius);
        rows.append({row.name + QLatin1Char(':'), number, unit, QString()});
    }
    sections.append({QStringLiteral("Temperatures"), rows});
    rows.clear();
    for (const FanSpeed& fan : fans) {
        const auto [number, unit] = fanText(fan);
        rows.append({fan.name + QLatin1Char(':'), number, unit,
                     scope == Scope::candidates ? fan.source : QString()});
    }
    sections.append({QStringLiteral("Fans"), rows});
    rows.clear();
    for (const MemoryFigure& figure : memory) {
        rows.append({figure.name + QLatin1Char(':'),
                     figure.gibibytes ? gibibytes(*figure.gibibytes) : missingValue,
                     figure.gibibytes ? gibibyteUnit : QString(), QString()});
    }
    sections.append({QStringLiteral("Memory"), rows});
    rows.clear();
    if (scope == Scope::candidates) {
        qsizetype keyWidth = 0;
        qsizetype nameWidth = 0;
        for (const Component& component : components) {
            for (const Candidate& candidate : component.candidates) {
                keyWidth = std::max(keyWidth, candidate.key.size());
                nameWidth = std::max(nameWidth, candidate.name.size());
            }
        }
        for (const Component& component : components) {
            const QString heading =
                component.name == component.key
                    ? component.name
                    : QStringLiteral("%1 (%2)").arg(component.name, component.key);
            rows.append({heading + QLatin1Char(':'), QString(), QString(), QString()});
            if (component.candidates.isEmpty()) {
                rows.append(
                    {QStringLiteral("    (no candidates)"), QString(), QString(), QString()});
            }
            for (const Candidate& candidate : component.candidates) {
                const auto [number, unit] = temperatureText(candidate.celsius);
                rows.append({QStringLiteral("  %1 %2  %3")
                                 .arg(candidate.chosen ? QLatin1Char('*') : QLatin1Char(' '))
                                 .arg(candidate.key.leftJustified(keyWidth),
                                      candidate.name.leftJustified(nameWidth)),
                             number, unit, candidate.source});
            }
        }
        sections.append({QStringLiteral("Components"), rows});
    }

    // The three reading sections share one alignment, the candidate list has its own.
    QStringList blocks = renderAligned(sections.mid(0, 3));
    blocks += renderAligned(sections.mid(3));
    if (blocks.isEmpty()) {
        return QStringLiteral("No component, fan or memory figure is selected to be shown.\n");
    }
    QString text = blocks.join(QLatin1Char('\n'));
    if (sourcesUnknown) {
        text += QStringLiteral("\n") + sourcesUnknownLine + QLatin1Char('\n');
    }
    return text;
}

QJsonObject ReadingsReport::json() const {
    auto number = [](std::optional<int> value) {
        return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
    };
    const QString temperatureUnit = showFahrenheit ? fahrenheitUnit : celsiusUnit;
    const QString fanUnit = showPercent ? percentUnit : rpmUnit;

    QJsonArray temperatureRows;
    for (const Temperature& row : temperatures) {
        temperatureRows.append(QJsonObject{
            {QStringLiteral("component"), row.component},
            {QStringLiteral("name"), row.name},
            {QStringLiteral("sensor"), sensorKeyText(row.code)},
            {QStringLiteral("value"), number(temperatureValue(row.celsius))},
            {QStringLiteral("unit"), temperatureUnit},
        });
    }
    // Where the hardware behind a reading is known, the full report names it.
    const auto withSource = [this](QJsonObject row, const QString& source) {
        if (scope == Scope::candidates && !source.isEmpty()) {
            row.insert(QStringLiteral("source"), source);
        }
        return row;
    };
    QJsonArray fanRows;
    for (const FanSpeed& fan : fans) {
        fanRows.append(withSource(
            QJsonObject{
                {QStringLiteral("fan"), fan.number},
                {QStringLiteral("name"), fan.name},
                {QStringLiteral("value"), number(fanValue(fan))},
                {QStringLiteral("unit"), fanUnit},
                {QStringLiteral("rpm"), number(fan.rpm)},
                {QStringLiteral("maxSpeed"), fan.maxSpeed},
            },
            fan.source));
    }
    QJsonArray memoryRows;
    for (const MemoryFigure& figure : memory) {
        memoryRows.append(QJsonObject{
            {QStringLiteral("name"), figure.name},
            {QStringLiteral("value"), figure.gibibytes
                                          ? QJsonValue(std::round(*figure.gibibytes * 100) / 100)
                                          : QJsonValue(QJsonValue::Null)},
            {QStringLiteral("unit"), gibibyteUnit},
        });
    }
    QJsonObject report{
        {QStringLiteral("units"), QJsonObject{{QStringLiteral("temperature"), temperatureUnit},
                                              {QStringLiteral("fan"), fanUnit}}},
        {QStringLiteral("temperatures"), temperatureRows},
        {QStringLiteral("fans"), fanRows},
        {QStringLiteral("memory"), memoryRows},
    };
    if (scope == Scope::candidates) {
        QJsonArray componentRows;
        for (const Component& component : components) {
            QJsonArray candidates;
            for (const Candidate& candidate : component.candidates) {
                candidates.append(withSource(
                    QJsonObject{
                        {QStringLiteral("sensor"), candidate.key},
                        {QStringLiteral("name"), candidate.name},
                        {QStringLiteral("chosen"), candidate.chosen},
                        {QStringLiteral("value"), number(temperatureValue(candidate.celsius))},
                    },
                    candidate.source));
            }
            componentRows.append(QJsonObject{
                {QStringLiteral("component"), component.key},
                {QStringLiteral("name"), component.name},
                {QStringLiteral("candidates"), candidates},
            });
        }
        report.insert(QStringLiteral("components"), componentRows);
        if (sourcesUnknown) {
            report.insert(QStringLiteral("sourcesKnown"), false);
        }
    }
    return report;
}

namespace {

// A label value as the text format wants it.
QString labelValue(const QString& text) {
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('"'), QLatin1String("\\\""))
        .replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

QString family(const QString& name, const QString& unit, const QString& help,
               const QStringList& samples) {
    return QStringLiteral("# TYPE %1 gauge\n# UNIT %1 %2\n# HELP %1 %3\n%4")
        .arg(name, unit, help, samples.join(QString()));
}

} // namespace

QString ReadingsReport::openMetrics() const {
    QStringList temperatureSamples;
    for (const Temperature& row : temperatures) {
        // The agent answers 0 for a reading it could not make (a failed
        // sensor, a drive left asleep). A missing sample is a gap in a
        // fleet's graphs; a sample of 0 °C would be a false reading.
        if (row.celsius && *row.celsius != 0) {
            temperatureSamples.append(
                QStringLiteral("ondara_temperature_celsius{component=%1,sensor=%2} %3\n")
                    .arg(labelValue(row.component), labelValue(sensorKeyText(row.code)))
                    .arg(*row.celsius));
        }
    }
    QStringList fanSamples;
    for (const FanSpeed& fan : fans) {
        if (fan.rpm) {
            fanSamples.append(
                QStringLiteral("ondara_fan_speed_rpm{fan=%1,name=%2} %3\n")
                    .arg(labelValue(QString::number(fan.number)), labelValue(fan.name))
                    .arg(*fan.rpm));
        }
    }
    QStringList memorySamples;
    for (const MemoryFigure& figure : memory) {
        if (figure.gibibytes) {
            // The agent counts in GiB of whole pages, so the bytes are whole.
            memorySamples.append(QStringLiteral("ondara_memory_bytes{kind=%1} %2\n")
                                     .arg(labelValue(figure.name.toLower()))
                                     .arg(std::llround(*figure.gibibytes * 1073741824.0)));
        }
    }
    return family(QStringLiteral("ondara_temperature_celsius"), QStringLiteral("celsius"),
                  QStringLiteral("Temperature of each component's chosen sensor."),
                  temperatureSamples) +
           family(QStringLiteral("ondara_fan_speed_rpm"), QStringLiteral("rpm"),
                  QStringLiteral("Speed of each fan in revolutions per minute."), fanSamples) +
           family(QStringLiteral("ondara_memory_bytes"), QStringLiteral("bytes"),
                  QStringLiteral("Memory figures of the machine."), memorySamples) +
           QStringLiteral("# EOF\n");
}
