#include "TemperatureSensorCatalogue.h"

#include "smc/FourCharCode.h"

namespace {

struct CatalogueEntry {
    const char* name;
    uint32_t code;
};

constexpr CatalogueEntry entries[] = {
    {"AMBIENT_AIR_0", FourCharCode::literal("TA0P")},
    {"AMBIENT_AIR_1", FourCharCode::literal("TA1P")},
    {"AMBIENT_AIR_2", FourCharCode::literal("TA0V")},
    {"AMBIENT_AIR_3", FourCharCode::literal("TA0p")},
    {"AMBIENT_AIR_4", FourCharCode::literal("TA1v")},
    {"CPU_DIE_0", FourCharCode::literal("TC0F")},
    {"CPU_DIE_1", FourCharCode::literal("TC0C")},
    {"CPU_DIE_2", FourCharCode::literal("TC1C")},
    {"CPU_DIODE", FourCharCode::literal("TC0D")},
    {"CPU_HEATSINK", FourCharCode::literal("TC0H")},
    {"CPU_PROXIMITY", FourCharCode::literal("TC0P")},
    {"ENCLOSURE_BASE_0", FourCharCode::literal("TB0T")},
    {"ENCLOSURE_BASE_1", FourCharCode::literal("TB1T")},
    {"ENCLOSURE_BASE_2", FourCharCode::literal("TB2T")},
    {"ENCLOSURE_BASE_3", FourCharCode::literal("TB3T")},
    {"ENCLOSURE_BASE_4", FourCharCode::literal("TS2P")},
    {"ENCLOSURE_BASE_5", FourCharCode::literal("TS2p")},
    {"GPU_DIODE", FourCharCode::literal("TG0D")},
    {"GPU_HEATSINK", FourCharCode::literal("TG0H")},
    {"GPU_PROXIMITY_0", FourCharCode::literal("TG0P")},
    {"GPU_PROXIMITY_1", FourCharCode::literal("TG0p")},
    {"HDD_0", FourCharCode::literal("TH0P")},
    {"HDD_1", FourCharCode::literal("TH0O")},
    {"HDD_2", FourCharCode::literal("TH0o")},
    {"HDD_3", FourCharCode::literal("TH1O")},
    {"HEATSINK_0", FourCharCode::literal("Th0H")},
    {"HEATSINK_1", FourCharCode::literal("Th1H")},
    {"HEATSINK_2", FourCharCode::literal("Th2H")},
    {"LCD_0", FourCharCode::literal("TL0P")},
    {"LCD_1", FourCharCode::literal("TL0p")},
    {"MEM_SLOTS", FourCharCode::literal("TM0S")},
    {"MEM_SLOTS_PROXIMITY", FourCharCode::literal("TM0P")},
    {"LOGIC_BOARD_0", FourCharCode::literal("Tm0P")},
    {"LOGIC_BOARD_1", FourCharCode::literal("Tm0p")},
    {"NORTHBRIDGE", FourCharCode::literal("TN0H")},
    {"NORTHBRIDGE_DIODE", FourCharCode::literal("TN0D")},
    {"NORTHBRIDGE_PROXIMITY", FourCharCode::literal("TN0P")},
    {"ODD_0", FourCharCode::literal("TO0P")},
    {"ODD_1", FourCharCode::literal("TO0p")},
    {"PALM_REST", FourCharCode::literal("Ts0P")},
    {"THUNDERBOLT_0", FourCharCode::literal("TI0P")},
    {"THUNDERBOLT_1", FourCharCode::literal("TI1P")},
    {"PCH_DIE", FourCharCode::literal("TPCD")},
    {"POWER_SUPPLY_0", FourCharCode::literal("Tp1P")},
    {"POWER_SUPPLY_1", FourCharCode::literal("Tp2H")},
    {"POWER_SUPPLY_2", FourCharCode::literal("Tp3H")},
    {"POWER_SUPPLY_3", FourCharCode::literal("Tp0P")},
    {"AIRPORT", FourCharCode::literal("TW0P")},
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
