#include "TemperatureSensorCatalogue.h"

namespace {

constexpr uint32_t key(const char (&text)[5]) {
    return uint32_t(uint8_t(text[0])) << 24 | uint32_t(uint8_t(text[1])) << 16 |
           uint32_t(uint8_t(text[2])) << 8 | uint32_t(uint8_t(text[3]));
}

struct CatalogueEntry {
    const char* name;
    uint32_t code;
};

constexpr CatalogueEntry entries[] = {
    {"AMBIENT_AIR_0", key("TA0P")},
    {"AMBIENT_AIR_1", key("TA1P")},
    {"AMBIENT_AIR_2", key("TA0V")},
    {"AMBIENT_AIR_3", key("TA0p")},
    {"AMBIENT_AIR_4", key("TA1v")},
    {"CPU_DIE_0", key("TC0F")},
    {"CPU_DIE_1", key("TC0C")},
    {"CPU_DIE_2", key("TC1C")},
    {"CPU_DIODE", key("TC0D")},
    {"CPU_HEATSINK", key("TC0H")},
    {"CPU_PROXIMITY", key("TC0P")},
    {"ENCLOSURE_BASE_0", key("TB0T")},
    {"ENCLOSURE_BASE_1", key("TB1T")},
    {"ENCLOSURE_BASE_2", key("TB2T")},
    {"ENCLOSURE_BASE_3", key("TB3T")},
    {"ENCLOSURE_BASE_4", key("TS2P")},
    {"ENCLOSURE_BASE_5", key("TS2p")},
    {"GPU_DIODE", key("TG0D")},
    {"GPU_HEATSINK", key("TG0H")},
    {"GPU_PROXIMITY_0", key("TG0P")},
    {"GPU_PROXIMITY_1", key("TG0p")},
    {"HDD_0", key("TH0P")},
    {"HDD_1", key("TH0O")},
    {"HDD_2", key("TH0o")},
    {"HDD_3", key("TH1O")},
    {"HEATSINK_0", key("Th0H")},
    {"HEATSINK_1", key("Th1H")},
    {"HEATSINK_2", key("Th2H")},
    {"LCD_0", key("TL0P")},
    {"LCD_1", key("TL0p")},
    {"MEM_SLOTS", key("TM0S")},
    {"MEM_SLOTS_PROXIMITY", key("TM0P")},
    {"LOGIC_BOARD_0", key("Tm0P")},
    {"LOGIC_BOARD_1", key("Tm0p")},
    {"NORTHBRIDGE", key("TN0H")},
    {"NORTHBRIDGE_DIODE", key("TN0D")},
    {"NORTHBRIDGE_PROXIMITY", key("TN0P")},
    {"ODD_0", key("TO0P")},
    {"ODD_1", key("TO0p")},
    {"PALM_REST", key("Ts0P")},
    {"THUNDERBOLT_0", key("TI0P")},
    {"THUNDERBOLT_1", key("TI1P")},
    {"PCH_DIE", key("TPCD")},
    {"POWER_SUPPLY_0", key("Tp1P")},
    {"POWER_SUPPLY_1", key("Tp2H")},
    {"POWER_SUPPLY_2", key("Tp3H")},
    {"POWER_SUPPLY_3", key("Tp0P")},
    {"AIRPORT", key("TW0P")},
};
static_assert(std::size(entries) == 48);

} // namespace

const QList<TemperatureSensor>& temperatureSensorCatalogueInDeclarationOrder() {
    static const QList<TemperatureSensor> list = [] {
        QList<TemperatureSensor> sensors;
        sensors.reserve(qsizetype(std::size(entries)));
        for (const CatalogueEntry& entry : entries) {
            sensors.append({QString::fromLatin1(entry.name), entry.code});
        }
        return sensors;
    }();
    return list;
}

const QHash<uint32_t, TemperatureSensor>& temperatureSensorCatalogue() {
    static const QHash<uint32_t, TemperatureSensor> table = [] {
        QHash<uint32_t, TemperatureSensor> byCode;
        for (const TemperatureSensor& sensor : temperatureSensorCatalogueInDeclarationOrder()) {
            byCode.insert(sensor.code, sensor);
        }
        return byCode;
    }();
    return table;
}

TemperatureSensor driveTemperatureSensor() {
    return {QStringLiteral("SMART"), driveTemperatureSensorCode};
}
