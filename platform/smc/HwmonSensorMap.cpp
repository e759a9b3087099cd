#include "smc/HwmonSensorMap.h"

#include "smc/FourCharCode.h"

#include <QSet>
#include <algorithm>

namespace {

enum class Pick {
    first,   // the first input present, in the row's order of preference
    hottest, // every matching input; the key answers the hottest
};

// One row of the mapping. Chips and inputs are names, or prefixes ending in
// "*"; an input is named by its label or by its attribute ("temp1"). The keys
// are taken in turn by the chips the row matches, in enumeration order.
struct Row {
    QStringList chips;
    QStringList inputs;
    Pick pick;
    QStringList keys;
};

const QStringList driveKeys{QStringLiteral("TH0P"), QStringLiteral("TH0O"), QStringLiteral("TH0o"),
                            QStringLiteral("TH1O")};
const QStringList cpuChips{QStringLiteral("k10temp"), QStringLiteral("zenpower")};

// The one table of what each hwmon input means in the catalogue's terms.
const QList<Row>& mappingTable() {
    static const QList<Row> table{
        // Intel: the package sensor covers the whole die, as the CPU diode does.
        {{"coretemp"}, {"Package id 0"}, Pick::first, {"TC0D"}},
        // Intel cores heat unevenly and the hottest one is what throttles the
        // CPU, so it is the one a CPU die key should show.
        {{"coretemp"}, {"Core *"}, Pick::hottest, {"TC0C"}},
        // AMD: Tdie is the die itself; Tctl, the fan-control value, carries a
        // fixed offset on some CPUs (20 or 27 °C) and stands in only without Tdie.
        {cpuChips, {"Tdie", "Tctl"}, Pick::first, {"TC0D"}},
        // AMD chiplets are dies of their own; the first two have die keys.
        {cpuChips, {"Tccd1"}, Pick::first, {"TC0F"}},
        {cpuChips, {"Tccd2"}, Pick::first, {"TC1C"}},
        // amdgpu: "edge" is the GPU die's classic sensor...
        {{"amdgpu"}, {"edge"}, Pick::first, {"TG0D"}},
        // ...the junction is its hottest spot, next to the die...
        {{"amdgpu"}, {"junction"}, Pick::first, {"TG0P"}},
        // ...and "mem" is the card's memory, the nearest to a GPU heatsink key.
        {{"amdgpu"}, {"mem"}, Pick::first, {"TG0H"}},
        // These GPU drivers show one sensor: the die.
        {{"nouveau", "radeon"}, {"temp1"}, Pick::first, {"TG0D"}},
        // NVMe: "Composite" is the temperature the drive is rated by; the
        // "Sensor N" inputs are internal points. Drives take the drive keys
        // in enumeration order, NVMe and SATA alike.
        {{"nvme"}, {"Composite"}, Pick::first, driveKeys},
        // A SATA or SAS disk's own reported temperature.
        {{"drivetemp"}, {"temp1"}, Pick::first, driveKeys},
        // Thermal sensors on memory modules: the first for the slots, the
        // second for their proximity.
        {{"jc42", "spd5118"}, {"temp1"}, Pick::first, {"TM0S", "TM0P"}},
        // The wireless card stands where the SMC has its AirPort sensor.
        {{"iwlwifi*"}, {"temp1"}, Pick::first, {"TW0P"}},
        // The platform controller hub is the northbridge's heir ("TPCD" is
        // in no component, so it would never show).
        {{"pch_*"}, {"temp1"}, Pick::first, {"TN0D"}},
        // A portable's batteries are where the SMC's enclosure base keys are.
        {{"BAT0"}, {"temp1"}, Pick::first, {"TB0T"}},
        {{"BAT1"}, {"temp1"}, Pick::first, {"TB1T"}},
        // Super-I/O and embedded controllers: the input wired to the board's
        // own sensor.
        {{"nct*", "it8*", "w83*", "f71*", "asus*", "thinkpad", "dell_smm"},
         {"SYSTIN", "Motherboard"},
         Pick::first,
         {"Tm0P"}},
        // ACPI thermal zones are left out: firmware values that are no air or
        // component temperature, and showing one as such would be plainly wrong.
        {{"acpitz"}, {}, Pick::first, {}},
    };
    return table;
}

bool matches(const QString& pattern, const QString& text) {
    if (pattern.endsWith(QLatin1Char('*'))) {
        return text.startsWith(QStringView(pattern).chopped(1));
    }
    return text == pattern;
}

bool matchesAny(const QStringList& patterns, const QString& text) {
    return std::any_of(patterns.cbegin(), patterns.cend(),
                       [&text](const QString& pattern) { return matches(pattern, text); });
}

bool inputMatches(const QString& pattern, const HwmonInput& input) {
    return matches(pattern, input.label) || matches(pattern, input.attribute);
}

} // namespace

HwmonSensorMap::HwmonSensorMap(const QList<HwmonChip>& chips)
    : chips_(chips) {
    QSet<uint32_t> taken;
    for (int chip = 0; chip < chips_.size(); ++chip) {
        const QList<HwmonInput> inputs =
            HwmonTree::inputs(chips_[chip].directory, QStringLiteral("temp"));
        for (const Row& row : mappingTable()) {
            if (!matchesAny(row.chips, chips_[chip].name) || row.keys.isEmpty() ||
                row.inputs.isEmpty()) {
                continue;
            }
            if (row.pick == Pick::hottest) {
                const uint32_t key = *FourCharCode::fromText(row.keys.first());
                auto it = std::find_if(temperatures_.begin(), temperatures_.end(),
                                       [key](const Temperature& t) { return t.key == key; });
                for (const HwmonInput& input : inputs) {
                    if (!inputMatches(row.inputs.first(), input)) {
                        continue;
                    }
                    if (it == temperatures_.end()) {
                        temperatures_.append(Temperature{key, {}});
                        taken.insert(key);
                        it = temperatures_.end() - 1;
                    }
                    it->sources.append({chip, input});
                }
                continue;
            }
            const auto freeKey =
                std::find_if(row.keys.cbegin(), row.keys.cend(), [&taken](const QString& key) {
                    return !taken.contains(*FourCharCode::fromText(key));
                });
            if (freeKey == row.keys.cend()) {
                continue;
            }
            for (const QString& wanted : row.inputs) {
                const auto input =
                    std::find_if(inputs.cbegin(), inputs.cend(), [&wanted](const HwmonInput& i) {
                        return inputMatches(wanted, i);
                    });
                if (input != inputs.cend()) {
                    const uint32_t key = *FourCharCode::fromText(*freeKey);
                    temperatures_.append(Temperature{key, {Source{chip, *input}}});
                    taken.insert(key);
                    break;
                }
            }
        }
        for (const HwmonInput& input :
             HwmonTree::inputs(chips_[chip].directory, QStringLiteral("fan"))) {
            if (fans_.size() == maximumFans) {
                break;
            }
            const QString name = input.label.isEmpty()
                                     ? QStringLiteral("Fan %1").arg(fans_.size() + 1)
                                     : input.label;
            fans_.append(Fan{Source{chip, input}, name});
        }
    }
}

void HwmonSensorMap::relocate(int chip, const QString& directory) {
    if (chip >= 0 && chip < chips_.size()) {
        chips_[chip].directory = directory;
    }
}

const HwmonSensorMap::Temperature* HwmonSensorMap::temperature(uint32_t key) const {
    const auto it = std::find_if(temperatures_.cbegin(), temperatures_.cend(),
                                 [key](const Temperature& t) { return t.key == key; });
    return it == temperatures_.cend() ? nullptr : &*it;
}

SensorSource HwmonSensorMap::source(const Source& source) const {
    const HwmonChip& chip = chips_.at(source.chip);
    return {QStringLiteral("hwmon"), chip.name,          chip.devicePath,
            source.input.attribute,  source.input.label, {}};
}

SensorSource HwmonSensorMap::source(const Temperature& temperature) const {
    SensorSource first = source(temperature.sources.first());
    if (temperature.sources.size() > 1) {
        for (const Source& each : temperature.sources) {
            first.inputs.append(source(each));
        }
    }
    return first;
}

SensorSources HwmonSensorMap::sources() const {
    SensorSources sources;
    for (const Temperature& temperature : temperatures_) {
        sources.insert(FourCharCode::toText(temperature.key), source(temperature));
    }
    for (int n = 0; n < fans_.size(); ++n) {
        sources.insert(SensorSource::fanKey(n), source(fans_[n].source));
    }
    return sources;
}

QStringList HwmonSensorMap::lines() const {
    QStringList lines;
    for (const Temperature& temperature : temperatures_) {
        lines.append(
            QStringLiteral("%1 <- %2")
                .arg(FourCharCode::toText(temperature.key), source(temperature).description()));
    }
    for (int n = 0; n < fans_.size(); ++n) {
        lines.append(QStringLiteral("fan %1 \"%2\" <- %3")
                         .arg(n)
                         .arg(fans_[n].name, source(fans_[n].source).description()));
    }
    return lines;
}
