#include "SensorComponents.h"

namespace {

struct Component {
    const char* key;
    int lower;
    int upper;
    const char* displayName;
};

// By display position.
constexpr Component components[] = {
    {"CPU", 0, 100, "CPU"},
    {"GPU", 0, 100, "GPU"},
    {"HDD", 0, 65, "HDD"},
    {"LOGIC", 0, 150, "Board"},
    {"NORTHBRIDGE", 0, 150, "Northbridge"},
    {"POWER", 0, 100, "Power"},
    {"MEM", 0, 100, "Memory"},
    {"ODD", 0, 100, "Optical"},
    {"LCD", 0, 100, "Display"},
    {"ENCLOSURE", -10, 60, "Enclosure"},
    {"AIRPORT", 0, 100, "Airport"},
    {"THUNDER", 0, 150, "Thunderbolt"},
    {"HEATSINK", 0, 150, "Heatsink"},
    {"PALM", 0, 100, "PalmRest"},
    {"AMBIENT", -10, 60, "Ambient"},
};
static_assert(std::size(components) == 15);

} // namespace

const QHash<QString, QPair<int, int>>& SensorComponents::bounds() {
    static const QHash<QString, QPair<int, int>> table = [] {
        QHash<QString, QPair<int, int>> result;
        for (const Component& component : components) {
            result.insert(QString::fromLatin1(component.key),
                          qMakePair(component.lower, component.upper));
        }
        return result;
    }();
    return table;
}

const QHash<QString, QString>& SensorComponents::descriptiveNames() {
    static const QHash<QString, QString> table = [] {
        QHash<QString, QString> result;
        for (const Component& component : components) {
            result.insert(QString::fromLatin1(component.key),
                          QString::fromLatin1(component.displayName));
        }
        return result;
    }();
    return table;
}

const QHash<QString, int>& SensorComponents::order() {
    static const QHash<QString, int> table = [] {
        QHash<QString, int> result;
        int position = 0;
        for (const Component& component : components) {
            result.insert(QString::fromLatin1(component.key), position++);
        }
        return result;
    }();
    return table;
}

const QStringList& SensorComponents::keysInOrder() {
    static const QStringList keys = [] {
        QStringList result;
        for (const Component& component : components) {
            result.append(QString::fromLatin1(component.key));
        }
        return result;
    }();
    return keys;
}

bool SensorComponents::belongsTo(const QString& sensorName, const QString& componentKey) {
    // An empty key would otherwise claim every sensor.
    return !componentKey.isEmpty() && sensorName.startsWith(componentKey, Qt::CaseSensitive);
}

QString SensorComponents::componentOf(const QString& sensorName) {
    for (const QString& key : keysInOrder()) {
        if (belongsTo(sensorName, key)) {
            return key;
        }
    }
    return {};
}
