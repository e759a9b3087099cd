#include "ReadingsPrinter.h"

#include "TerminalText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <set>
#include <unordered_map>
#include <utility>

namespace {

constexpr const char* celsiusUnit = "°C";
constexpr const char* fahrenheitUnit = "°F";
constexpr const char* rpmUnit = "RPM";
constexpr const char* percentUnit = "%";
constexpr const char* gibibyteUnit = "GiB";
constexpr const char* missingValue = "n/a";
constexpr const char* sourcesUnknownLine =
    "The agent does not tell what stands behind its keys (it is older than "
    "this client and has no com.quillbank.OndaraHelper.Sources1).";

// The rows by their display positions; rows of one position keep their order.
template <typename Row>
std::vector<Row> inPositionOrder(std::vector<std::pair<std::int64_t, Row>> placed) {
    std::stable_sort(placed.begin(), placed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<Row> rows;
    rows.reserve(placed.size());
    for (auto& [position, row] : placed) {
        rows.push_back(std::move(row));
    }
    return rows;
}

int clampedToInt(double value) {
    return int(std::clamp(value, double(std::numeric_limits<int>::min()),
                          double(std::numeric_limits<int>::max())));
}

struct TextRow {
    std::string label;
    std::string number;
    std::string unit;
    std::string note; // after the value: what stands behind it
};

std::string valueText(const TextRow& row, std::size_t numberWidth) {
    if (row.number.empty()) {
        return {};
    }
    std::string text = TerminalText::rightJustified(row.number, numberWidth);
    if (row.unit.empty()) {
        return text;
    }
    return text + (row.unit == percentUnit ? "" : " ") + row.unit;
}

struct TextSection {
    std::string title;
    std::vector<TextRow> rows;
};

// One block of text per non-empty section: "Label: value unit" with the labels
// padded to one width and the numbers right-aligned; rows without a number are
// headings inside the section.
std::vector<std::string> renderAligned(const std::vector<TextSection>& sections) {
    std::size_t labelWidth = 0;
    std::size_t numberWidth = 0;
    for (const auto& section : sections) {
        for (const TextRow& row : section.rows) {
            if (!row.number.empty()) {
                labelWidth = std::max(labelWidth, TerminalText::width(row.label));
                numberWidth = std::max(numberWidth, TerminalText::width(row.number));
            }
        }
    }
    std::vector<std::string> blocks;
    for (const auto& section : sections) {
        if (section.rows.empty()) {
            continue;
        }
        std::string block = section.title + '\n';
        for (const TextRow& row : section.rows) {
            if (row.number.empty()) {
                block += row.label + '\n';
            } else {
                std::string line = TerminalText::leftJustified(row.label, labelWidth + 1) +
                                   valueText(row, numberWidth);
                if (!row.note.empty()) {
                    line += "  [" + row.note + "]";
                }
                block += line + '\n';
            }
        }
        blocks.push_back(std::move(block));
    }
    return blocks;
}

// A label value as the metrics text format wants it.
std::string labelValue(const std::string& text) {
    std::string escaped = "\"";
    for (const char c : text) {
        if (c == '\\') {
            escaped += "\\\\";
        } else if (c == '"') {
            escaped += "\\\"";
        } else if (c == '\n') {
            escaped += "\\n";
        } else {
            escaped += c;
        }
    }
    return escaped + '"';
}

std::string family(const std::string& name, const std::string& unit, const std::string& help,
                   const std::string& samples) {
    return "# TYPE " + name + " gauge\n# UNIT " + name + " " + unit + "\n# HELP " + name + " " +
           help + "\n" + samples;
}

std::string asciiLower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = char(c - 'A' + 'a');
        }
    }
    return text;
}

} // namespace

ReadingsPrinter::ReadingsPrinter(const ReadingsFigures& figures, ReadingsScope scope)
    : showFahrenheit(!figures.units.empty() && figures.units[0] != 0)
    , showPercent(figures.units.size() > 1 && figures.units[1] == 1)
    , scope(scope) {
    const bool everything = scope == ReadingsScope::selection;
    const auto celsiusOf = [&figures](std::uint32_t code) -> std::optional<int> {
        const auto it = figures.celsius.find(code);
        return it == figures.celsius.end() ? std::nullopt : std::optional(it->second);
    };
    // Display positions of the components, for the order of both lists.
    std::unordered_map<std::string, std::int64_t> positions;
    std::unordered_map<std::string, std::string> componentNames;
    std::vector<std::pair<std::int64_t, Temperature>> shownTemperatures;
    for (const auto& entry : figures.temperatures) {
        positions[entry.component] = entry.position;
        componentNames[entry.component] = entry.name;
        if (!everything && !entry.active) {
            continue;
        }
        shownTemperatures.push_back(
            {entry.position, {entry.component, entry.name, entry.code, celsiusOf(entry.code)}});
    }
    temperatures = inPositionOrder(std::move(shownTemperatures));

    for (const auto& entry : figures.fans) {
        if (!everything && !entry.active) {
            continue;
        }
        const auto speed = figures.rpm.find(entry.number);
        fans.push_back({entry.number, entry.name, entry.maxSpeed,
                        speed == figures.rpm.end() ? std::nullopt : std::optional(speed->second),
                        entry.source});
    }
    std::stable_sort(fans.begin(), fans.end(),
                     [](const FanSpeed& a, const FanSpeed& b) { return a.number < b.number; });

    std::vector<std::pair<std::int64_t, MemoryFigure>> shownMemory;
    for (const auto& entry : figures.memory) {
        if (!everything && !entry.active) {
            continue;
        }
        MemoryFigure row{entry.name, std::nullopt};
        // A figure that is no number (an agent's NaN or infinity) is no reading.
        if (entry.position >= 0 && std::uint64_t(entry.position) < figures.gibibytes.size() &&
            std::isfinite(figures.gibibytes[std::size_t(entry.position)])) {
            row.gibibytes = figures.gibibytes[std::size_t(entry.position)];
        }
        shownMemory.push_back({entry.position, row});
    }
    memory = inPositionOrder(std::move(shownMemory));

    if (scope != ReadingsScope::candidates) {
        return;
    }
    sourcesUnknown = !figures.sourcesKnown;
    std::vector<std::pair<std::int64_t, Component>> listed;
    for (const auto& list : figures.candidateLists) {
        const auto name = componentNames.find(list.component);
        Component component{
            list.component, name == componentNames.end() ? list.component : name->second, {}};
        for (const auto& entry : list.candidates) {
            component.candidates.push_back({entry.code, entry.key, entry.name, entry.chosen,
                                            celsiusOf(entry.code), entry.source});
        }
        // Components without a chosen sensor come after the ordered ones.
        const auto position = positions.find(list.component);
        listed.push_back({position == positions.end() ? std::numeric_limits<std::int64_t>::max()
                                                      : position->second,
                          std::move(component)});
    }
    components = inPositionOrder(std::move(listed));
}

std::vector<std::uint32_t> ReadingsPrinter::sensorCodesToRead() const {
    std::vector<std::uint32_t> codes;
    std::set<std::uint32_t> seen;
    auto add = [&](std::uint32_t code) {
        if (seen.insert(code).second) {
            codes.push_back(code);
        }
    };
    for (const Temperature& row : temperatures) {
        add(row.code);
    }
    for (const Component& component : components) {
        for (const Candidate& candidate : component.candidates) {
            add(candidate.code);
        }
    }
    return codes;
}

std::vector<int> ReadingsPrinter::fansToRead() const {
    std::vector<int> numbers;
    for (const FanSpeed& fan : fans) {
        numbers.push_back(fan.number);
    }
    return numbers;
}

int ReadingsPrinter::fahrenheit(int celsius) {
    return clampedToInt(std::floor(celsius * 1.8 + 32 + 0.5));
}

int ReadingsPrinter::fanPercent(int rpm, int maxSpeed) {
    if (maxSpeed <= 0) {
        return 0;
    }
    return clampedToInt(double(std::int64_t(rpm) * 100 / maxSpeed));
}

std::string ReadingsPrinter::gibibytes(double value) {
    if (!std::isfinite(value)) {
        return std::isnan(value) ? "nan" : value < 0 ? "-inf" : "inf";
    }
    // The exact decimal expansion, rounded to two places with halves away from
    // zero; a negative value keeps its sign even where it rounds to nothing.
    char exact[1600];
    std::snprintf(exact, sizeof exact, "%.1100f", std::fabs(value));
    std::string digits(exact);
    const std::size_t point = digits.find('.');
    const bool roundUp = digits[point + 3] >= '5';
    digits.resize(point + 3);
    if (roundUp) {
        std::size_t i = digits.size();
        while (i-- > 0) {
            if (digits[i] == '.') {
                continue;
            }
            if (digits[i] != '9') {
                ++digits[i];
                break;
            }
            digits[i] = '0';
            if (i == 0) {
                digits.insert(digits.begin(), '1');
            }
        }
    }
    if (value < 0) {
        digits.insert(digits.begin(), '-');
    }
    if (digits.size() >= 3 && digits.compare(digits.size() - 3, 3, ".00") == 0) {
        digits.resize(digits.size() - 3);
    }
    return digits;
}

std::string ReadingsPrinter::sensorKeyText(std::uint32_t code) {
    if (code == 0xFFFFFFFFu) {
        return "SMART";
    }
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = char((code >> shift) & 0xFF);
        text += c >= 0x20 && c < 0x7F ? c : '?';
    }
    return text;
}

std::optional<int> ReadingsPrinter::temperatureValue(std::optional<int> celsius) const {
    if (!celsius) {
        return std::nullopt;
    }
    return showFahrenheit ? fahrenheit(*celsius) : *celsius;
}

std::optional<int> ReadingsPrinter::fanValue(const FanSpeed& fan) const {
    if (!fan.rpm) {
        return std::nullopt;
    }
    return showPercent ? fanPercent(*fan.rpm, fan.maxSpeed) : *fan.rpm;
}

const char* ReadingsPrinter::temperatureUnit() const {
    return showFahrenheit ? fahrenheitUnit : celsiusUnit;
}

const char* ReadingsPrinter::fanUnit() const {
    return showPercent ? percentUnit : rpmUnit;
}

std::string ReadingsPrinter::text() const {
    const auto numberText = [](std::optional<int> value, const char* unit) {
        return value ? std::pair(std::to_string(*value), std::string(unit))
                     : std::pair(std::string(missingValue), std::string());
    };
    std::vector<TextSection> sections;
    std::vector<TextRow> rows;
    for (const Temperature& row : temperatures) {
        const auto [number, unit] = numberText(temperatureValue(row.celsius), temperatureUnit());
        rows.push_back({row.name + ':', number, unit, {}});
    }
    sections.push_back({"Temperatures", std::move(rows)});
    rows.clear();
    for (const FanSpeed& fan : fans) {
        const auto [number, unit] = numberText(fanValue(fan), fanUnit());
        rows.push_back(
            {fan.name + ':', number, unit, scope == ReadingsScope::candidates ? fan.source : ""});
    }
    sections.push_back({"Fans", std::move(rows)});
    rows.clear();
    for (const MemoryFigure& figure : memory) {
        rows.push_back({figure.name + ':',
                        figure.gibibytes ? gibibytes(*figure.gibibytes) : missingValue,
                        figure.gibibytes ? gibibyteUnit : "",
                        {}});
    }
    sections.push_back({"Memory", std::move(rows)});
    rows.clear();
    if (scope == ReadingsScope::candidates) {
        std::size_t keyWidth = 0;
        std::size_t nameWidth = 0;
        for (const Component& component : components) {
            for (const Candidate& candidate : component.candidates) {
                keyWidth = std::max(keyWidth, TerminalText::width(candidate.key));
                nameWidth = std::max(nameWidth, TerminalText::width(candidate.name));
            }
        }
        for (const Component& component : components) {
            const std::string heading = component.name == component.key
                                            ? component.name
                                            : component.name + " (" + component.key + ")";
            rows.push_back({heading + ':', {}, {}, {}});
            if (component.candidates.empty()) {
                rows.push_back({"    (no candidates)", {}, {}, {}});
            }
            for (const Candidate& candidate : component.candidates) {
                const auto [number, unit] =
                    numberText(temperatureValue(candidate.celsius), temperatureUnit());
                rows.push_back({std::string("  ") + (candidate.chosen ? '*' : ' ') + ' ' +
                                    TerminalText::leftJustified(candidate.key, keyWidth) + "  " +
                                    TerminalText::leftJustified(candidate.name, nameWidth),
                                number, unit, candidate.source});
            }
        }
        sections.push_back({"Components", std::move(rows)});
    }

    // The three reading sections share one alignment, the candidate list has its own.
    std::vector<std::string> blocks =
        renderAligned(std::vector<TextSection>(sections.begin(), sections.begin() + 3));
    for (std::string& block :
         renderAligned(std::vector<TextSection>(sections.begin() + 3, sections.end()))) {
        blocks.push_back(std::move(block));
    }
    if (blocks.empty()) {
        return "No component, fan or memory figure is selected to be shown.\n";
    }
    std::string text;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        text += (i > 0 ? "\n" : "") + blocks[i];
    }
    if (sourcesUnknown) {
        text += std::string("\n") + sourcesUnknownLine + '\n';
    }
    return text;
}

JsonValue ReadingsPrinter::json() const {
    const auto number = [](std::optional<int> value) {
        return value ? JsonValue(*value) : JsonValue();
    };
    JsonValue::Array temperatureRows;
    for (const Temperature& row : temperatures) {
        temperatureRows.push_back(JsonValue::Object{
            {"component", row.component},
            {"name", row.name},
            {"sensor", sensorKeyText(row.code)},
            {"value", number(temperatureValue(row.celsius))},
            {"unit", temperatureUnit()},
        });
    }
    // Where the hardware behind a reading is known, the full report names it.
    const auto withSource = [this](JsonValue::Object row, const std::string& source) {
        if (scope == ReadingsScope::candidates && !source.empty()) {
            row.emplace("source", source);
        }
        return row;
    };
    JsonValue::Array fanRows;
    for (const FanSpeed& fan : fans) {
        fanRows.push_back(withSource(
            {
                {"fan", fan.number},
                {"name", fan.name},
                {"value", number(fanValue(fan))},
                {"unit", fanUnit()},
                {"rpm", number(fan.rpm)},
                {"maxSpeed", fan.maxSpeed},
            },
            fan.source));
    }
    JsonValue::Array memoryRows;
    for (const MemoryFigure& figure : memory) {
        memoryRows.push_back(JsonValue::Object{
            {"name", figure.name},
            {"value",
             figure.gibibytes ? JsonValue(std::round(*figure.gibibytes * 100) / 100) : JsonValue()},
            {"unit", gibibyteUnit},
        });
    }
    JsonValue::Object report{
        {"units", JsonValue::Object{{"temperature", temperatureUnit()}, {"fan", fanUnit()}}},
        {"temperatures", std::move(temperatureRows)},
        {"fans", std::move(fanRows)},
        {"memory", std::move(memoryRows)},
    };
    if (scope == ReadingsScope::candidates) {
        JsonValue::Array componentRows;
        for (const Component& component : components) {
            JsonValue::Array candidates;
            for (const Candidate& candidate : component.candidates) {
                candidates.push_back(withSource(
                    {
                        {"sensor", candidate.key},
                        {"name", candidate.name},
                        {"chosen", candidate.chosen},
                        {"value", number(temperatureValue(candidate.celsius))},
                    },
                    candidate.source));
            }
            componentRows.push_back(JsonValue::Object{
                {"component", component.key},
                {"name", component.name},
                {"candidates", std::move(candidates)},
            });
        }
        report.emplace("components", std::move(componentRows));
        if (sourcesUnknown) {
            report.emplace("sourcesKnown", false);
        }
    }
    return report;
}

std::string ReadingsPrinter::openMetrics() const {
    std::string temperatureSamples;
    for (const Temperature& row : temperatures) {
        // The agent answers 0 for a reading it could not make (a failed
        // sensor, a drive left asleep). A missing sample is a gap in a
        // fleet's graphs; a sample of 0 °C would be a false reading.
        if (row.celsius && *row.celsius != 0) {
            temperatureSamples +=
                "ondara_temperature_celsius{component=" + labelValue(row.component) +
                ",sensor=" + labelValue(sensorKeyText(row.code)) + "} " +
                std::to_string(*row.celsius) + "\n";
        }
    }
    std::string fanSamples;
    for (const FanSpeed& fan : fans) {
        if (fan.rpm) {
            fanSamples += "ondara_fan_speed_rpm{fan=" + labelValue(std::to_string(fan.number)) +
                          ",name=" + labelValue(fan.name) + "} " + std::to_string(*fan.rpm) + "\n";
        }
    }
    std::string memorySamples;
    for (const MemoryFigure& figure : memory) {
        // The agent counts in GiB of whole pages, so the bytes are whole; a
        // figure beyond what the format's integers hold is left out.
        const double bytes = figure.gibibytes ? *figure.gibibytes * 1073741824.0 : 0;
        if (figure.gibibytes && std::fabs(bytes) < 9.2e18) {
            memorySamples += "ondara_memory_bytes{kind=" + labelValue(asciiLower(figure.name)) +
                             "} " + std::to_string(std::llround(bytes)) + "\n";
        }
    }
    return family("ondara_temperature_celsius", "celsius",
                  "Temperature of each component's chosen sensor.", temperatureSamples) +
           family("ondara_fan_speed_rpm", "rpm", "Speed of each fan in revolutions per minute.",
                  fanSamples) +
           family("ondara_memory_bytes", "bytes", "Memory figures of the machine.", memorySamples) +
           "# EOF\n";
}
