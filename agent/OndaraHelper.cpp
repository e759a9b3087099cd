#include "OndaraHelper.h"

#include "AgentLogging.h"
#include "DriveTemperature.h"
#include "OndaraNames.h"
#include "SMCController.h"
#include "SMCKit.h"
#include "SensorRecordCodec.h"

namespace {

namespace Sections = OndaraNames::Sections;

// Sets the active flag of an entry; false when there is no such entry (a key
// the dictionary lacks, or a value that is not an entry), and nothing changes.
template <typename Entry> bool setActive(EntryMap<Entry>& entries, const QString& key, bool state) {
    Entry* entry = entries.find(key);
    if (!entry) {
        return false;
    }
    entry->active = state;
    return true;
}

} // namespace

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
    reply(smcController.activeTempSensors());
}

void OndaraHelper::activeFanSensors(DictionaryReply reply) {
    reply(smcController.activeFanSensors());
}

void OndaraHelper::activeMemSensors(DictionaryReply reply) {
    reply(smcController.activeMemSensors());
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
        temperatures.append(SMCKit::readTemperatureIfAnswered(code).value_or(0));
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
        speeds.append(SMCKit::readFanCurrentSpeedIfAnswered(fan).value_or(0));
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
    const bool known = type == Sections::temps || type == Sections::fans || type == Sections::mem;
    if (!known) {
        // Any other word names nothing stored: nothing to write or announce.
        return;
    }
    SensorSelection& selection = smcController.selection();
    if ((type == Sections::temps && !setActive(selection.temperatures, sensorKey, state)) ||
        (type == Sections::fans && !setActive(selection.fans, sensorKey, state)) ||
        (type == Sections::mem && !setActive(selection.memory, sensorKey, state))) {
        return;
    }
    smcController.persist(type);
}

void OndaraHelper::changeTempUnitToCelsius(bool celsius) {
    QList<int>& units = smcController.selection().units;
    units.resize(2);
    units[0] = celsius ? 0 : 1;
    smcController.persist(QStringLiteral("Units"));
}

void OndaraHelper::changeFanUnitToRPM(bool rpm) {
    QList<int>& units = smcController.selection().units;
    units.resize(2);
    units[1] = rpm ? 0 : 1;
    smcController.persist(QStringLiteral("Units"));
}

void OndaraHelper::changeVisibilityForSection(const QString& section, bool visible) {
    qsizetype index = -1;
    if (section == Sections::temps) {
        index = 0;
    } else if (section == Sections::fans) {
        index = 1;
    } else if (section == Sections::mem) {
        index = 2;
    }
    if (index >= 0) {
        QList<int>& sections = smcController.selection().visibleSections;
        sections.resize(3);
        sections[index] = visible ? 1 : 0;
    }
    smcController.persist(QStringLiteral("Sections"));
}

void OndaraHelper::changeSensorWithNewSensor(quint32 sensor, const QString& component) {
    // A component without a chosen sensor (or whose value is not an entry) is
    // left as it is: marking a candidate active with no code in "TempSensors"
    // would break the pairing the clients rely on.
    SensorSelection& selection = smcController.selection();
    TemperatureEntry* entry = selection.temperatures.find(component);
    if (!entry) {
        return;
    }
    entry->code = sensor;
    if (CandidateList* candidates = selection.candidates.find(component)) {
        for (auto& row : candidates->rows) {
            if (auto* candidate = std::get_if<SensorCandidate>(&row)) {
                candidate->active = candidate->code == sensor;
            }
        }
    }
    smcController.persist(QStringLiteral("Temps"));
    smcController.persist(QStringLiteral("MachineSensors"));
}
