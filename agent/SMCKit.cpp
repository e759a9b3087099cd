#include "SMCKit.h"

#include "AgentLogging.h"
#include "TemperatureSensorCatalogue.h"
#include "smc/FourCharCode.h"

#include <QMutex>
#include <QMutexLocker>
#include <atomic>
#include <cstring>

namespace {

QMutex driverMutex;
std::shared_ptr<SmcDriver> currentDriver; // guarded by driverMutex
std::atomic<uint32_t> smcConnection{0};
std::atomic<bool> skippedFansLogged{false};

std::shared_ptr<SmcDriver> driver() {
    QMutexLocker lock(&driverMutex);
    return currentDriver;
}

uint32_t keyCode(const QString& text) {
    if (const auto code = SMCKit::fourCharCode(text)) {
        return *code;
    }
    // Only fan keys are formed at run time; a fan number that doesn't fit in
    // four characters names a key the SMC cannot have.
    throw SMCKit::Error1::keyNotFound(text);
}

uint32_t fanKey(int id, const char* suffix) {
    return keyCode(QLatin1Char('F') + QString::number(id) + QLatin1String(suffix));
}

// Every byte of a record, padding included, starts as zero: the driver sees
// the whole 80 bytes.
SMCParamStruct zeroedRecord() {
    SMCParamStruct record;
    std::memset(static_cast<void*>(&record), 0, sizeof(record));
    return record;
}

QString hex(uint32_t value, int width) {
    return QStringLiteral("0x%1").arg(value, width, 16, QLatin1Char('0'));
}

} // namespace

// Error1

SMCKit::Error1::Error1(Kind kind)
    : kind(kind) {}

SMCKit::Error1 SMCKit::Error1::keyNotFound(const QString& code) {
    Error1 error(Kind::keyNotFound);
    error.code = code;
    error.message = QStringLiteral("SMC key not found: %1").arg(code).toUtf8();
    return error;
}

SMCKit::Error1 SMCKit::Error1::unknown(int32_t kIOReturn, uint8_t SMCResult) {
    Error1 error(Kind::unknown);
    error.kIOReturn = kIOReturn;
    error.SMCResult = SMCResult;
    error.message = QStringLiteral("SMC call failed (kIOReturn %1, SMC result %2)")
                        .arg(hex(uint32_t(kIOReturn), 8), hex(SMCResult, 2))
                        .toUtf8();
    return error;
}

SMCKit::Error1 SMCKit::Error1::driverNotFound() {
    Error1 error(Kind::driverNotFound);
    error.message = QByteArrayLiteral("no AppleSMC driver found");
    return error;
}

SMCKit::Error1 SMCKit::Error1::failedToOpen() {
    Error1 error(Kind::failedToOpen);
    error.message = QByteArrayLiteral("failed to open the AppleSMC driver");
    return error;
}

SMCKit::Error1 SMCKit::Error1::notPrivileged() {
    Error1 error(Kind::notPrivileged);
    error.message = QByteArrayLiteral("not privileged to call the AppleSMC driver");
    return error;
}

const char* SMCKit::Error1::what() const noexcept {
    return message.constData();
}

// Codes

void SMCKit::setDriver(std::shared_ptr<SmcDriver> newDriver) {
    QMutexLocker lock(&driverMutex);
    currentDriver = std::move(newDriver);
    smcConnection = 0;
}

std::optional<uint32_t> SMCKit::fourCharCode(const QString& text) {
    return FourCharCode::fromText(text);
}

QString SMCKit::fourCharString(uint32_t code) {
    return FourCharCode::toText(code);
}

// Exchange

void SMCKit::openConnection() {
    const auto smc = driver();
    if (!smc) {
        throw Error1::driverNotFound();
    }
    const uint32_t service = smc->serviceMatching(SmcDriver::serviceName);
    if (service == 0) {
        throw Error1::driverNotFound();
    }
    uint32_t connection = 0;
    const SmcDriver::KernReturn kr = smc->serviceOpen(service, 0, &connection);
    smc->objectRelease(service);
    if (kr != SmcDriver::success) {
        throw Error1::failedToOpen();
    }
    smcConnection = connection;
    qCInfo(lcSmc, "Connection open with SMC in SMC");
}

namespace {

// One struct call; nothing when there is no driver.
std::optional<SmcDriver::KernReturn> exchange(const SMCParamStruct& input, SMCParamStruct* reply) {
    const auto smc = driver();
    if (!smc) {
        return std::nullopt;
    }
    *reply = zeroedRecord();
    size_t replySize = sizeof(SMCParamStruct);
    return smc->callStructMethod(smcConnection, SmcDriver::structMethodSelector, input, reply,
                                 &replySize);
}

SMCParamStruct readKeyRequest(uint32_t key, const SMCDataType& type) {
    SMCParamStruct input = zeroedRecord();
    input.key = key;
    input.keyInfo.dataSize = type.size;
    input.data8 = SMCParamStruct::readKeyValue;
    return input;
}

// The value bytes of a key, nothing on any failure: the same exchange as
// SMCKit::readKey without making an Error1, which costs more than the read
// itself when a client keeps asking for keys the SMC lacks.
std::optional<std::array<uint8_t, 32>> readKeyIfAnswered(uint32_t key, const SMCDataType& type) {
    SMCParamStruct reply;
    const auto kr = exchange(readKeyRequest(key, type), &reply);
    if (kr != SmcDriver::success || reply.result != SMCParamStruct::resultSuccess) {
        return std::nullopt;
    }
    std::array<uint8_t, 32> bytes{};
    std::copy(std::begin(reply.bytes), std::end(reply.bytes), bytes.begin());
    return bytes;
}

} // namespace

SMCParamStruct SMCKit::sendCommand(const SMCParamStruct& input) {
    SMCParamStruct reply;
    const auto answered = exchange(input, &reply);
    if (!answered) {
        throw Error1::driverNotFound();
    }
    const SmcDriver::KernReturn kr = *answered;
    if (kr == SmcDriver::notPrivileged) {
        throw Error1::notPrivileged();
    }
    if (kr != SmcDriver::success) {
        throw Error1::unknown(kr, reply.result);
    }
    if (reply.result == SMCParamStruct::resultKeyNotFound) {
        throw Error1::keyNotFound(fourCharString(input.key));
    }
    if (reply.result != SMCParamStruct::resultSuccess) {
        throw Error1::unknown(0, reply.result);
    }
    return reply;
}

void SMCKit::readKeyInformation(uint32_t key) {
    SMCParamStruct input = zeroedRecord();
    input.key = key;
    input.data8 = SMCParamStruct::readKeyInfo;
    sendCommand(input);
}

std::array<uint8_t, 32> SMCKit::readKey(uint32_t key, const SMCDataType& type) {
    const SMCParamStruct reply = sendCommand(readKeyRequest(key, type));
    std::array<uint8_t, 32> bytes{};
    std::copy(std::begin(reply.bytes), std::end(reply.bytes), bytes.begin());
    return bytes;
}

// Decodings

double SMCKit::decodeSp78(const std::array<uint8_t, 32>& bytes) {
    // Whole degrees only, as sign and magnitude; the fraction byte is ignored.
    const int magnitude = bytes[0] & 0x7F;
    return (bytes[0] & 0x80) ? -magnitude : magnitude;
}

int SMCKit::decodeFpe2(const std::array<uint8_t, 32>& bytes) {
    return int(bytes[0]) << 6 | int(bytes[1]) >> 2;
}

int SMCKit::decodeUi8(const std::array<uint8_t, 32>& bytes) {
    return bytes[0];
}

QString SMCKit::decodeFds(const std::array<uint8_t, 32>& bytes) {
    QString name;
    for (int i = 4; i < 16; ++i) {
        if (bytes[i] != 0) {
            name.append(QChar(ushort(bytes[i])));
        }
    }
    qsizetype begin = 0;
    qsizetype end = name.size();
    // Blanks and tabs (every space separator, no-break space included), but
    // not line breaks.
    const auto blank = [](QChar c) {
        return c == QLatin1Char('\t') || c.category() == QChar::Separator_Space;
    };
    while (begin < end && blank(name[begin])) {
        ++begin;
    }
    while (end > begin && blank(name[end - 1])) {
        --end;
    }
    return name.mid(begin, end - begin);
}

// Values

double SMCKit::readTemperature(uint32_t key) {
    return decodeSp78(readKey(key, SMCDataType::sp78()));
}

std::optional<int> SMCKit::readTemperatureIfAnswered(uint32_t key) {
    const auto bytes = readKeyIfAnswered(key, SMCDataType::sp78());
    return bytes ? std::optional<int>(int(decodeSp78(*bytes))) : std::nullopt;
}

std::optional<int> SMCKit::readFanCurrentSpeedIfAnswered(int id) {
    if (id < 0 || id > highestFanNumber) {
        return std::nullopt;
    }
    const auto bytes = readKeyIfAnswered(fanKey(id, "Ac"), SMCDataType::fpe2());
    return bytes ? std::optional<int>(decodeFpe2(*bytes)) : std::nullopt;
}

int SMCKit::readFanCurrentSpeed(int id) {
    return decodeFpe2(readKey(fanKey(id, "Ac"), SMCDataType::fpe2()));
}

int SMCKit::readFanMinimumSpeed(int id) {
    return decodeFpe2(readKey(fanKey(id, "Mn"), SMCDataType::fpe2()));
}

int SMCKit::readFanMaximumSpeed(int id) {
    return decodeFpe2(readKey(fanKey(id, "Mx"), SMCDataType::fpe2()));
}

QString SMCKit::readFanName(int id) {
    return decodeFds(readKey(fanKey(id, "ID"), SMCDataType::fds()));
}

QList<Fan> SMCKit::readFans() {
    constexpr uint32_t fanCountKey = FourCharCode::literal("FNum");
    const int count = decodeUi8(readKey(fanCountKey, SMCDataType::ui8()));
    int readable = count;
    if (count > highestFanNumber + 1) {
        readable = highestFanNumber + 1;
        if (!skippedFansLogged.exchange(true)) {
            qCWarning(lcSmc,
                      "The SMC reports %d fans; only fans 0 to %d can be read, the others "
                      "are skipped",
                      count, highestFanNumber);
        }
    }
    QList<Fan> fans;
    fans.reserve(readable);
    for (int id = 0; id < readable; ++id) {
        Fan fan;
        fan.id = id;
        fan.name = readFanName(id);
        fan.minSpeed = readFanMinimumSpeed(id);
        fan.maxSpeed = readFanMaximumSpeed(id);
        fans.append(fan);
    }
    return fans;
}

QList<TemperatureSensor> SMCKit::presentTemperatureSensors() {
    QList<TemperatureSensor> present;
    const auto& catalogue = temperatureSensorCatalogue();
    for (auto it = catalogue.cbegin(); it != catalogue.cend(); ++it) {
        try {
            readKeyInformation(it.key());
        } catch (const Error1& error) {
            if (error.kind == Error1::Kind::keyNotFound) {
                continue;
            }
            throw;
        }
        present.append(it.value());
    }
    return present;
}
