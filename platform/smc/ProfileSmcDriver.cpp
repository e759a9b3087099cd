#include "smc/ProfileSmcDriver.h"

#include "PropertyList.h"
#include "profile/MachineProfile.h"
#include "smc/FourCharCode.h"

#include <QVariantMap>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace {

constexpr uint32_t serviceHandle = 0x2503;
constexpr uint32_t connectionHandle = 0x1A07;

constexpr uint32_t sp78 = FourCharCode::literal("sp78");
constexpr uint32_t fpe2 = FourCharCode::literal("fpe2");
constexpr uint32_t ui8 = FourCharCode::literal("ui8 ");
constexpr uint32_t ui16 = FourCharCode::literal("ui16");
constexpr uint32_t ui32 = FourCharCode::literal("ui32");
constexpr uint32_t si8 = FourCharCode::literal("si8 ");
constexpr uint32_t si16 = FourCharCode::literal("si16");
constexpr uint32_t flag = FourCharCode::literal("flag");
constexpr uint32_t fds = FourCharCode::literal("{fds");

// Size in bytes of the types a numeric "value" can be encoded as; 0 for others.
uint32_t numericSize(uint32_t type) {
    switch (type) {
    case ui8:
    case si8:
    case flag:
        return 1;
    case sp78:
    case fpe2:
    case ui16:
    case si16:
        return 2;
    case ui32:
        return 4;
    default:
        return 0;
    }
}

QByteArray bigEndian(uint64_t value, int size) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) {
        bytes[size - 1 - i] = char((value >> (8 * i)) & 0xFF);
    }
    return bytes;
}

QByteArray encodeNumber(uint32_t type, double value) {
    // A huge value and drift can sum past the largest double, and llround is
    // defined only within a long long; every type saturates far below this.
    value = std::isnan(value) ? 0.0 : std::clamp(value, -1e15, 1e15);
    switch (type) {
    case sp78: {
        // Sign bit and whole degrees, then the fraction in 256ths.
        const double magnitude = std::min(std::fabs(value), 127.0 + 255.0 / 256.0);
        const int whole = int(std::floor(magnitude));
        const int fraction = std::min(255, int(std::lround((magnitude - whole) * 256)));
        QByteArray bytes(2, '\0');
        bytes[0] = char((value < 0 ? 0x80 : 0x00) | whole);
        bytes[1] = char(fraction);
        return bytes;
    }
    case fpe2:
        return bigEndian(uint64_t(std::clamp<long long>(std::llround(value * 4), 0, 0xFFFF)), 2);
    case ui8:
        return bigEndian(uint64_t(std::clamp<long long>(std::llround(value), 0, 0xFF)), 1);
    case ui16:
        return bigEndian(uint64_t(std::clamp<long long>(std::llround(value), 0, 0xFFFF)), 2);
    case ui32:
        return bigEndian(uint64_t(std::clamp<long long>(std::llround(value), 0, 0xFFFFFFFF)), 4);
    case si8:
        return bigEndian(uint64_t(std::clamp<long long>(std::llround(value), -128, 127)) & 0xFF, 1);
    case si16:
        return bigEndian(
            uint64_t(std::clamp<long long>(std::llround(value), -32768, 32767)) & 0xFFFF, 2);
    case flag:
        return bigEndian(value != 0 ? 1 : 0, 1);
    default:
        return {};
    }
}

// A smooth wander in [-1, 1] whose pace and phase differ from key to key, so
// the sensors of a demo machine don't move in step.
double wander(uint32_t key, double seconds) {
    constexpr double twoPi = 6.283185307179586;
    const double slowPeriod = 71.0 + double(key % 37);
    const double fastPeriod = 17.0 + double(key % 11);
    const double phase = double(key % 1000) / 1000.0 * twoPi;
    return 0.65 * std::sin(twoPi * seconds / slowPeriod + phase) +
           0.35 * std::sin(twoPi * seconds / fastPeriod + 2 * phase);
}

ProfileSmcDriver::Clock steadyClock() {
    const auto start = std::chrono::steady_clock::now();
    return [start] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
}

} // namespace

ProfileSmcDriver::ProfileSmcDriver(const MachineProfile& profile)
    : ProfileSmcDriver(profile, steadyClock()) {}

ProfileSmcDriver::ProfileSmcDriver(const MachineProfile& profile, Clock clock)
    : clock(std::move(clock)) {
    load(profile);
}

ProfileSmcDriver::~ProfileSmcDriver() = default;

void ProfileSmcDriver::load(const MachineProfile& profile) {
    const QVariantMap smc = profile.smc();
    serviceExists = smc.value(QStringLiteral("service"), true).toBool();
    opens = smc.value(QStringLiteral("open"), true).toBool();
    if (smc.contains(QStringLiteral("kr"))) {
        const QVariant kr = smc.value(QStringLiteral("kr"));
        if (PropertyList::isInteger(kr)) {
            // Written either as the unsigned IOKit code or as its signed value.
            forcedReturn = KernReturn(uint32_t(kr.toLongLong()));
        } else {
            loadProblems.append(QStringLiteral("\"kr\" is not an integer"));
        }
    }

    const QVariantMap entries = smc.value(QStringLiteral("keys")).toMap();
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        const auto problem = [&](const QString& what) {
            loadProblems.append(QStringLiteral("key \"%1\": %2").arg(it.key(), what));
        };
        const auto keyCode = FourCharCode::fromText(it.key());
        if (!keyCode) {
            problem(QStringLiteral("a key has four one-byte characters"));
            continue;
        }
        if (!PropertyList::isDictionary(it.value())) {
            problem(QStringLiteral("not a dictionary"));
            continue;
        }
        const QVariantMap entry = it.value().toMap();
        Key key;
        const QVariant type = entry.value(QStringLiteral("type"));
        const QVariant value = entry.value(QStringLiteral("value"));
        const QVariant bytes = entry.value(QStringLiteral("bytes"));
        if (type.isValid()) {
            const auto typeCode = FourCharCode::fromText(type.toString());
            if (type.typeId() != QMetaType::QString || !typeCode) {
                problem(QStringLiteral("the type is not four characters"));
                continue;
            }
            key.type = *typeCode;
        }
        if (bytes.isValid()) {
            if (bytes.typeId() != QMetaType::QByteArray || bytes.toByteArray().size() > 32) {
                problem(QStringLiteral("\"bytes\" must be data of at most 32 bytes"));
                continue;
            }
            key.bytes = bytes.toByteArray();
            key.size = uint32_t(key.bytes.size());
        } else if (!type.isValid()) {
            problem(QStringLiteral("no type"));
            continue;
        } else if (key.type == fds) {
            key.size = 16;
            key.bytes = QByteArray(16, '\0');
            if (value.isValid()) {
                if (value.typeId() != QMetaType::QString) {
                    problem(QStringLiteral("a fan descriptor's value is its name"));
                    continue;
                }
                const QByteArray name = value.toString().toLatin1().left(12);
                std::memcpy(key.bytes.data() + 4, name.constData(), size_t(name.size()));
            }
        } else if (numericSize(key.type) > 0) {
            key.size = numericSize(key.type);
            if (value.isValid()) {
                if (!PropertyList::isNumber(value)) {
                    problem(QStringLiteral("the value is not a number"));
                    continue;
                }
                // A property list may hold nan and inf; no SMC key can.
                if (!std::isfinite(value.toDouble())) {
                    problem(QStringLiteral("the value is not finite"));
                    continue;
                }
                key.number = value.toDouble();
            } else {
                key.bytes = QByteArray(int(key.size), '\0');
            }
        } else {
            problem(
                QStringLiteral("type \"%1\" can only be given as \"bytes\"").arg(type.toString()));
            continue;
        }
        const QVariant drift = entry.value(QStringLiteral("drift"));
        if (drift.isValid()) {
            if (!PropertyList::isNumber(drift) || !std::isfinite(drift.toDouble()) ||
                drift.toDouble() < 0) {
                problem(QStringLiteral("\"drift\" is not a number of zero or more"));
                continue;
            }
            key.drift = drift.toDouble();
        }
        const QVariant result = entry.value(QStringLiteral("result"));
        if (result.isValid()) {
            const auto byte = PropertyList::integerIn(result, 0, 255);
            if (!byte) {
                problem(QStringLiteral("\"result\" is not a byte"));
                continue;
            }
            key.result = uint8_t(*byte);
        }
        keys.insert(*keyCode, key);
    }
}

QStringList ProfileSmcDriver::problems() const {
    return loadProblems;
}

QByteArray ProfileSmcDriver::encode(const Key& key, uint32_t keyCode, double atSeconds) const {
    if (!key.number) {
        return key.bytes;
    }
    double value = *key.number;
    if (key.drift > 0) {
        value += key.drift * wander(keyCode, atSeconds);
    }
    return encodeNumber(key.type, value);
}

std::optional<QByteArray> ProfileSmcDriver::valueBytes(uint32_t key, double atSeconds) const {
    const auto it = keys.constFind(key);
    if (it == keys.cend()) {
        return std::nullopt;
    }
    return encode(*it, key, atSeconds);
}

uint32_t ProfileSmcDriver::serviceMatching(const char* name) {
    if (!serviceExists || !isServiceName(name)) {
        return 0;
    }
    return serviceHandle;
}

SmcDriver::KernReturn ProfileSmcDriver::serviceOpen(uint32_t service, uint32_t,
                                                    uint32_t* connection) {
    if (service != serviceHandle || connection == nullptr) {
        return badArgument;
    }
    if (!opens) {
        return error;
    }
    *connection = connectionHandle;
    return success;
}

void ProfileSmcDriver::objectRelease(uint32_t) {}

SmcDriver::KernReturn ProfileSmcDriver::callStructMethod(uint32_t connection, uint32_t selector,
                                                         const SMCParamStruct& input,
                                                         SMCParamStruct* output,
                                                         size_t* outputSize) {
    if (const KernReturn kr =
            admitStructCall(connection, connectionHandle, selector, output, outputSize);
        kr != success) {
        return kr;
    }
    if (forcedReturn && *forcedReturn != success) {
        return *forcedReturn;
    }
    output->key = input.key;
    const auto it = keys.constFind(input.key);
    switch (input.data8) {
    case SMCParamStruct::readKeyInfo:
        if (it == keys.cend()) {
            output->result = SMCParamStruct::resultKeyNotFound;
            break;
        }
        output->keyInfo.dataSize = it->size;
        output->keyInfo.dataType = it->type;
        break;
    case SMCParamStruct::readKeyValue: {
        if (it == keys.cend()) {
            output->result = SMCParamStruct::resultKeyNotFound;
            break;
        }
        if (it->result && *it->result != SMCParamStruct::resultSuccess) {
            output->result = *it->result;
            break;
        }
        const QByteArray bytes = encode(*it, input.key, clock ? clock() : 0.0);
        copyValueBytes(bytes, input, output);
        break;
    }
    default:
        output->result = resultBadCommand;
        break;
    }
    return success;
}
