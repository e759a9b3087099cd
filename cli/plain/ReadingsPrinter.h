#pragma once

#include "JsonValue.h"
#include "ReadingsFigures.h"

#include <optional>
#include <string>
#include <vector>

// The terminal client's report of one set of figures, as aligned
// "Name: value" text or as JSON, in the units the user chose, or as metrics
// for a monitoring system. It links nothing but the C++ library, so the
// one-shot client can print without loading Qt.
class ReadingsPrinter {
public:
    ReadingsPrinter(const ReadingsFigures& figures, ReadingsScope scope);

    std::string text() const;
    JsonValue json() const;
    // The readings in the OpenMetrics text format, which node_exporter's
    // textfile collector also reads: fixed units (°C, rpm, bytes) whatever
    // the user chose, raw label texts, no timestamps.
    std::string openMetrics() const;

    // What to read once the selection is known: the codes of the components
    // in scope (and of every candidate), each once, and the fans in scope.
    std::vector<std::uint32_t> sensorCodesToRead() const;
    std::vector<int> fansToRead() const;

    // The clients' conversions: ⌊c × 1.8 + 32 + 0.5⌋; percent of the maximum
    // speed with the fraction dropped (0 for a fan without a maximum); GiB with
    // two decimals (halves rounded away from zero), or none when they are "00".
    // Results beyond int's range are held at its ends.
    static int fahrenheit(int celsius);
    static int fanPercent(int rpm, int maxSpeed);
    static std::string gibibytes(double value);
    // The four characters of an SMC key code, or "SMART" for the drive.
    static std::string sensorKeyText(std::uint32_t code);

private:
    struct Temperature {
        std::string component;
        std::string name;
        std::uint32_t code = 0;
        std::optional<int> celsius;
    };
    struct FanSpeed {
        int number = 0;
        std::string name;
        int maxSpeed = 0;
        std::optional<int> rpm;
        std::string source;
    };
    struct MemoryFigure {
        std::string name;
        std::optional<double> gibibytes; // finite
    };
    struct Candidate {
        std::uint32_t code = 0;
        std::string key;
        std::string name;
        bool chosen = false;
        std::optional<int> celsius;
        std::string source;
    };
    struct Component {
        std::string key;
        std::string name;
        std::vector<Candidate> candidates;
    };

    std::optional<int> temperatureValue(std::optional<int> celsius) const;
    std::optional<int> fanValue(const FanSpeed& fan) const;
    const char* temperatureUnit() const;
    const char* fanUnit() const;

    bool sourcesUnknown = false;
    bool showFahrenheit = false;
    bool showPercent = false;
    ReadingsScope scope = ReadingsScope::shown;
    std::vector<Temperature> temperatures;
    std::vector<FanSpeed> fans;
    std::vector<MemoryFigure> memory;
    std::vector<Component> components;
};
