#include "OndaraHelper.h"

#include "AgentLogging.h"
#include "DriveTemperature.h"
#include "OndaraNames.h"
#include "PropertyList.h"
#include "SMCController.h"
#include "SMCKit.h"

namespace {

namespace Sections = OndaraNames::Sections;

// Layout lengths of the entries the commands and active queries look into;
// shorter entries (a hand-edited or damaged store) are left alone.
constexpr qsizetype tempEntryLength = 4;
constexpr qsizetype fanEntryLength = 3;
constexpr qsizetype memEntryLength = 2;
constexpr qsizetype candidateEntryLength = 4;

// The "unsignedIntValue" of a stored number: its low 32 bits.
quint32 unsignedIntValue(const QVariant& value) {
    if (PropertyList::isInteger(value) || value.typeId() == QMetaType::Bool) {
        return quint32(value.toLongLong());
    }
    if (value.typeId() == QMetaType::Double) {
        const double number = value.toDouble();
        return number >= 0 && number < 4294967296.0 ? quint32(number) : 0;
    }
    return 0;
}

bool enabledFlag(const QVariantList& entry) {
    return entry.last().toBool();
}

// A fan dictionary key as the fan number: decimal digits only.
std::optional<int> fanNumber(const QString& key) {
    if (key.isEmpty() || key.size() > 9) {
        return std::nullopt;
    }
    for (QChar c : key) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return std::nullopt;
        }
    }
    return key.toInt();
}

// Replaces an entry's enabled flag; false when there is no such entry of the
// expected length (then nothing changes).
bool setEnabled(QVariantMap& dict, const QString& key, qsizetype length, bool state) {
    const auto found = dict.find(key);
    if (found == dict.end()) {
        return false;
    }
    auto entry = PropertyList::arrayOf(found.value(), length);
    if (!entry) {
        return false;
    }
    entry->last() = state;
    found.value() = *entry;
    return true;
}

} // namespace

OndaraHelper::OndaraHelper()
    : OndaraHelper(SMCController::sharedController()) {}

OndaraHelper::OndaraHelper(SMCController& controller)
    : smcController(controller)
    , totalMem_(controller.totalMemory()) {
    qCInfo(lcService).noquote() << QStringLiteral("OndaraHelper instantiated.");
}

OndaraHelper::~OndaraHelper() = default;

void OndaraHelper::appVersion(DoubleReply reply) {
    reply(smcController.appVersion());
}

void OndaraHelper::tempSensors(DictionaryReply reply) {
    reply(smcController.tempSensorsDict());
}

void OndaraHelper::fanSensors(DictionaryReply reply) {
    reply(smcController.fanSensorsDict());
}

void OndaraHelper::memSensors(DictionaryReply reply) {
    reply(smcController.memSensorsDict());
}

void OndaraHelper::machineSensorList(DictionaryReply reply) {
    reply(smcController.machineSensorList());
}

void OndaraHelper::activeTempSensors(DictionaryReply reply) {
    QVariantMap active;
    const QVariantMap& dict = smcController.tempSensorsDict();
    for (auto it = dict.cbegin(); it != dict.cend(); ++it) {
        const auto entry = PropertyList::arrayOf(it.value(), tempEntryLength);
        if (!entry || !enabledFlag(*entry)) {
            continue;
        }
        // Keyed by the display name; code and position pass on as stored.
        active.insert(entry->at(0).toString(), QVariantList{entry->at(1), entry->at(2)});
    }
    reply(active);
}

void OndaraHelper::activeFanSensors(DictionaryReply reply) {
    QVariantMap active;
    const QVariantMap& dict = smcController.fanSensorsDict();
    for (auto it = dict.cbegin(); it != dict.cend(); ++it) {
        const auto entry = PropertyList::arrayOf(it.value(), fanEntryLength);
        const auto number = fanNumber(it.key());
        if (!number || !entry || !enabledFlag(*entry)) {
            continue;
        }
        active.insert(entry->at(0).toString(),
                      QVariantList{qlonglong(*number), qlonglong(entry->at(1).toLongLong())});
    }
    reply(active);
}

void OndaraHelper::activeMemSensors(DictionaryReply reply) {
    QVariantMap active;
    const QVariantMap& dict = smcController.memSensorsDict();
    for (auto it = dict.cbegin(); it != dict.cend(); ++it) {
        const auto entry = PropertyList::arrayOf(it.value(), memEntryLength);
        if (!entry || !enabledFlag(*entry)) {
            continue;
        }
        active.insert(it.key(), qlonglong(entry->at(0).toLongLong()));
    }
    reply(active);
}

QList<int> OndaraHelper::sensorTemperatures(const QList<quint32>& codes) {
    QList<int> temperatures;
    temperatures.reserve(codes.size());
    for (quint32 code : codes) {
        if (code == OndaraNames::driveSensorCode) {
            if (hddUpdateCounter_ == 0) {
                lastHDDtemp_ = hddTemp();
                hddUpdateCounter_ = 4;
            }
            --hddUpdateCounter_;
            temperatures.append(lastHDDtemp_);
            continue;
        }
        try {
            temperatures.append(int(SMCKit::readTemperature(code)));
        } catch (const std::exception&) {
            temperatures.append(0);
        }
    }
    return temperatures;
}

QList<int> OndaraHelper::fanSpeeds(const QList<int>& fans) {
    QList<int> speeds;
    speeds.reserve(fans.size());
    for (int fan : fans) {
        if (fan < 0 || fan > SMCKit::highestFanNumber) {
            speeds.append(0);
            continue;
        }
        try {
            speeds.append(SMCKit::readFanCurrentSpeed(fan));
        } catch (const std::exception&) {
            speeds.append(0);
        }
    }
    return speeds;
}

void OndaraHelper::temperatureForSensors(const QList<quint32>& sensors, IntegersReply reply) {
    reply(sensorTemperatures(sensors));
}

void OndaraHelper::rpmForFans(const QList<int>& fans, IntegersReply reply) {
    reply(fanSpeeds(fans));
}

void OndaraHelper::memoryUsage(DoublesReply reply) {
    const SMCController::MemoryFigures figures = smcController.memoryFigures();
    reply({totalMem_, totalMem_ - figures.free, figures.free, figures.wired, figures.active,
           figures.inactive, figures.compressed});
}

void OndaraHelper::visibleSections(IntegersReply reply) {
    reply(smcController.visibleSections());
}

void OndaraHelper::sensorUnits(IntegersReply reply) {
    reply(smcController.units());
}

void OndaraHelper::changeStateForSensor(const QString& sensorKey, const QString& type, bool state) {
    if (type == Sections::temps) {
        QVariantMap dict = smcController.tempSensorsDict();
        if (!setEnabled(dict, sensorKey, tempEntryLength, state)) {
            return;
        }
        smcController.setTempSensorsDict(dict);
    } else if (type == Sections::fans) {
        QVariantMap dict = smcController.fanSensorsDict();
        if (!setEnabled(dict, sensorKey, fanEntryLength, state)) {
            return;
        }
        smcController.setFanSensorsDict(dict);
    } else if (type == Sections::mem) {
        QVariantMap dict = smcController.memSensorsDict();
        if (!setEnabled(dict, sensorKey, memEntryLength, state)) {
            return;
        }
        smcController.setMemSensorsDict(dict);
    }
    // Any other word changes nothing and is handed on as it is.
    smcController.persist(type);
}

void OndaraHelper::changeTempUnitToCelsius(bool celsius) {
    QList<int> units = smcController.units();
    units.resize(2);
    units[0] = celsius ? 0 : 1;
    smcController.setUnits(units);
    smcController.persist(QStringLiteral("Units"));
}

void OndaraHelper::changeFanUnitToRPM(bool rpm) {
    QList<int> units = smcController.units();
    units.resize(2);
    units[1] = rpm ? 0 : 1;
    smcController.setUnits(units);
    smcController.persist(QStringLiteral("Units"));
}

void OndaraHelper::changeVisibilityForSection(const QString& section, bool visible) {
    QList<int> sections = smcController.visibleSections();
    sections.resize(3);
    qsizetype index = -1;
    if (section == Sections::temps) {
        index = 0;
    } else if (section == Sections::fans) {
        index = 1;
    } else if (section == Sections::mem) {
        index = 2;
    }
    if (index >= 0) {
        sections[index] = visible ? 1 : 0;
        smcController.setVisibleSections(sections);
    }
    smcController.persist(QStringLiteral("Sections"));
}

void OndaraHelper::changeSensorWithNewSensor(quint32 sensor, const QString& component) {
    // A component without a chosen sensor (or an entry of the wrong shape) is
    // left as it is: marking a candidate active with no code in "TempSensors"
    // would break the pairing the clients rely on.
    QVariantMap temps = smcController.tempSensorsDict();
    const auto found = temps.find(component);
    if (found == temps.end()) {
        return;
    }
    auto entry = PropertyList::arrayOf(found.value(), tempEntryLength);
    if (!entry) {
        return;
    }
    (*entry)[1] = qlonglong(sensor);
    found.value() = *entry;
    smcController.setTempSensorsDict(temps);

    QVariantMap machine = smcController.machineSensorList();
    if (const auto candidates = machine.find(component); candidates != machine.end()) {
        QVariantList list = PropertyList::arrayOf(candidates.value()).value_or(QVariantList());
        for (QVariant& candidate : list) {
            auto fields = PropertyList::arrayOf(candidate, candidateEntryLength);
            if (!fields) {
                continue;
            }
            (*fields)[3] = unsignedIntValue(fields->at(0)) == sensor;
            candidate = *fields;
        }
        candidates.value() = list;
        smcController.setMachineSensorList(machine);
    }

    smcController.persist(QStringLiteral("Temps"));
    smcController.persist(QStringLiteral("MachineSensors"));
}
