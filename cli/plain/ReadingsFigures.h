#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// What a readings report is made of, decoded and in UTF-8: the entries of the
// selection that follow their layouts, each list in the order of its
// dictionary's keys, and the agent's readings. Whoever asked the agent fills
// it in; nothing here knows how the answers travelled.
struct ReadingsFigures {
    // "TempSensors": a component's chosen sensor.
    struct Temperature {
        std::string component;
        std::string name;
        std::uint32_t code = 0;
        std::int64_t position = 0;
        bool active = false;
    };
    // "FanSensors": one fan.
    struct Fan {
        int number = 0;
        std::string name;
        int maxSpeed = 0; // 0 when the stored maximum is not a number
        bool active = false;
        std::string source; // what stands behind it, when the agent says
    };
    // "MemSensors": one figure, by its place in the answer of memoryUsage.
    struct MemoryFigure {
        std::string name;
        std::int64_t position = 0;
        bool active = false;
    };
    // "MachineSensors": the candidates of one component.
    struct Candidate {
        std::uint32_t code = 0;
        std::string key; // the code's four characters, or "SMART"
        std::string name;
        bool chosen = false;
        std::string source;
    };
    struct CandidateList {
        std::string component;
        std::vector<Candidate> candidates;
    };

    std::vector<Temperature> temperatures;
    std::vector<Fan> fans;
    std::vector<MemoryFigure> memory;
    std::vector<CandidateList> candidateLists;
    // Whether the agent tells what stands behind its keys.
    bool sourcesKnown = true;
    // [temperature unit 0 Celsius / otherwise Fahrenheit, fan unit 1 percent / otherwise RPM]
    std::vector<int> units;
    // Whole degrees Celsius per sensor code, rpm per fan number, GiB per figure.
    std::map<std::uint32_t, int> celsius;
    std::map<int, int> rpm;
    std::vector<double> gibibytes;
};

// What a report shows.
enum class ReadingsScope {
    shown,      // what the user chose to show
    candidates, // that, and every component with all its candidate sensors
    selection,  // every component, fan and memory figure, shown or not
};
