#include "smc/HwmonSmcDriver.h"

#include "smc/FourCharCode.h"
#include "smc/SmcEncoding.h"

#include <QFileInfo>
#include <QMutexLocker>
#include <algorithm>
#include <cerrno>

namespace {

constexpr uint32_t serviceHandle = 0x4857;
constexpr uint32_t connectionHandle = 0x4D4E;

constexpr uint32_t sp78 = FourCharCode::literal("sp78");
constexpr uint32_t fpe2 = FourCharCode::literal("fpe2");
constexpr uint32_t ui8 = FourCharCode::literal("ui8 ");
constexpr uint32_t fds = FourCharCode::literal("{fds");
constexpr uint32_t fanCountKey = FourCharCode::literal("FNum");

} // namespace

HwmonSmcDriver::HwmonSmcDriver(const QString& classDirectory)
    : directory(classDirectory) {}

HwmonSmcDriver::~HwmonSmcDriver() = default;

bool HwmonSmcDriver::mapsTemperature(const QString& classDirectory) {
    const HwmonTree tree(classDirectory);
    return tree.exists() && !HwmonSensorMap(tree.chips()).temperatures().isEmpty();
}

HwmonSensorMap& HwmonSmcDriver::mapping() {
    if (!sensorMap) {
        sensorMap.emplace(HwmonTree(directory).chips());
    }
    return *sensorMap;
}

const HwmonSensorMap& HwmonSmcDriver::map() {
    QMutexLocker lock(&mutex);
    return mapping();
}

uint32_t HwmonSmcDriver::serviceMatching(const char* name) {
    return isServiceName(name) && HwmonTree(directory).exists() ? serviceHandle : 0;
}

SmcDriver::KernReturn HwmonSmcDriver::serviceOpen(uint32_t service, uint32_t,
                                                  uint32_t* connection) {
    if (service != serviceHandle || connection == nullptr) {
        return badArgument;
    }
    QMutexLocker lock(&mutex);
    const QFileInfo info(directory);
    if (!info.isDir() || !info.isReadable()) {
        return error;
    }
    mapping();
    openConnection = connectionHandle;
    *connection = connectionHandle;
    return success;
}

void HwmonSmcDriver::objectRelease(uint32_t) {}

SmcDriver::KernReturn HwmonSmcDriver::callStructMethod(uint32_t connection, uint32_t selector,
                                                       const SMCParamStruct& input,
                                                       SMCParamStruct* output, size_t* outputSize) {
    QMutexLocker lock(&mutex);
    return answerStructCall(
        connection, openConnection, selector, input, output, outputSize,
        [this](uint32_t key, bool wantValue) { return answer(key, wantValue); });
}

HwmonSmcDriver::Answer HwmonSmcDriver::answer(uint32_t key, bool wantValue) {
    const HwmonSensorMap& map = mapping();
    Answer reply;
    if (key == fanCountKey) {
        reply.type = ui8;
        reply.data = QByteArray(1, char(map.fans().size()));
        return reply;
    }
    const QByteArray text = FourCharCode::toText(key).toLatin1();
    if (text[0] == 'F' && text[1] >= '0' && text[1] <= '9') {
        const int fan = text[1] - '0';
        const QByteArray suffix = text.mid(2);
        const bool fanKey = suffix == "ID" || suffix == "Mn" || suffix == "Mx" || suffix == "Ac";
        if (fanKey && fan < map.fans().size()) {
            return fanAnswer(fan, suffix, wantValue);
        }
    }
    const HwmonSensorMap::Temperature* temperature = map.temperature(key);
    if (!temperature) {
        reply.result = SMCParamStruct::resultKeyNotFound;
        return reply;
    }
    reply.type = sp78;
    reply.data = QByteArray(2, '\0');
    if (!wantValue) {
        return reply;
    }
    std::optional<long long> hottest;
    for (const HwmonSensorMap::Source& source : temperature->sources) {
        int failure = 0;
        if (const auto value = read(source, QStringLiteral("input"), &failure)) {
            hottest = std::max(hottest.value_or(*value), *value);
        }
    }
    if (!hottest) {
        reply.result = resultFailure;
        return reply;
    }
    reply.data = SmcEncoding::sp78FromMillidegrees(*hottest);
    return reply;
}

HwmonSmcDriver::Answer HwmonSmcDriver::fanAnswer(int fan, const QByteArray& suffix,
                                                 bool wantValue) {
    const HwmonSensorMap::Fan& mapped = mapping().fans().at(fan);
    Answer reply;
    if (suffix == "ID") {
        reply.type = fds;
        reply.data = SmcEncoding::fdsWithName(mapped.name.toUtf8());
        return reply;
    }
    reply.type = fpe2;
    reply.data = QByteArray(2, '\0');
    if (!wantValue) {
        return reply;
    }
    int failure = 0;
    std::optional<long long> speed;
    if (suffix == "Mn") {
        speed = read(mapped.source, QStringLiteral("min"), &failure);
        // A fan without a stated minimum may stop.
        if (!speed && failure == ENOENT) {
            speed = 0;
        }
    } else if (suffix == "Mx") {
        speed = read(mapped.source, QStringLiteral("max"), &failure);
        if (!speed && failure == ENOENT) {
            // No stated maximum: the fastest seen so far, at least the current
            // speed, so a percentage of it never exceeds 100.
            const auto current = read(mapped.source, QStringLiteral("input"), &failure);
            if (current) {
                fastestSeen[fan] = std::max(fastestSeen.value(fan), *current);
            }
            if (current || fastestSeen.contains(fan)) {
                speed = fastestSeen.value(fan);
            }
        }
    } else {
        speed = read(mapped.source, QStringLiteral("input"), &failure);
        if (speed) {
            fastestSeen[fan] = std::max(fastestSeen.value(fan), *speed);
        }
    }
    if (!speed) {
        reply.result = resultFailure;
        return reply;
    }
    reply.data = SmcEncoding::fpe2(*speed);
    return reply;
}

std::optional<long long> HwmonSmcDriver::read(const HwmonSensorMap::Source& source,
                                              const QString& suffix, int* error) {
    HwmonSensorMap& map = mapping();
    const QString attribute = source.input.attribute + QLatin1Char('_') + suffix;
    const auto value =
        HwmonTree::readNumber(map.chips().at(source.chip).directory, attribute, error, &openFiles);
    if (value || QFileInfo::exists(map.chips().at(source.chip).directory)) {
        return value;
    }
    // The chip went away; if it came back under another number, read it there.
    const QString identity = map.chips().at(source.chip).identity;
    for (const HwmonChip& chip : HwmonTree(directory).chips()) {
        if (chip.identity == identity) {
            map.relocate(source.chip, chip.directory);
            // Files kept under the old number would only ever fail now.
            openFiles.clear();
            return HwmonTree::readNumber(chip.directory, attribute, error, &openFiles);
        }
    }
    *error = ENODEV;
    return std::nullopt;
}
