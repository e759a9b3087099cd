#include "smc/AppleSmcSysfsDriver.h"

#include "smc/FourCharCode.h"
#include "smc/SmcEncoding.h"
#include "smc/SysfsAttribute.h"

#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr uint32_t serviceHandle = 0x2607;
constexpr uint32_t connectionHandle = 0x1B0B;
// Another process may move the shared index between our write and our reads;
// a read whose key no longer matches is tried again this often.
constexpr int indexAttempts = 4;

constexpr uint32_t sp78 = FourCharCode::literal("sp78");
constexpr uint32_t fpe2 = FourCharCode::literal("fpe2");
constexpr uint32_t ui8 = FourCharCode::literal("ui8 ");
constexpr uint32_t fds = FourCharCode::literal("{fds");
constexpr uint32_t fanCountKey = FourCharCode::literal("FNum");

bool isRefusal(int error) {
    return error == EACCES || error == EPERM || error == EROFS || error == EISDIR ||
           error == ENOENT;
}

using SysfsAttribute::readLine;
using SysfsAttribute::readNumber;

bool writeAttribute(const QString& path, const QByteArray& text, int* error) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) {
        *error = errno;
        return false;
    }
    ssize_t written;
    do {
        written = ::write(fd, text.constData(), size_t(text.size()));
    } while (written < 0 && errno == EINTR);
    const int writeError = errno;
    ::close(fd);
    if (written != text.size()) {
        *error = written < 0 ? writeError : EIO;
        return false;
    }
    return true;
}

QByteArray bigEndian16(uint32_t value) {
    QByteArray bytes(2, '\0');
    bytes[0] = char((value >> 8) & 0xFF);
    bytes[1] = char(value & 0xFF);
    return bytes;
}

} // namespace

AppleSmcSysfsDriver::AppleSmcSysfsDriver(const QString& sysfsRoot)
    : root(sysfsRoot) {}

AppleSmcSysfsDriver::~AppleSmcSysfsDriver() = default;

QString AppleSmcSysfsDriver::deviceDirectory(const QString& sysfsRoot) {
    const QString platformDevice = sysfsRoot + QStringLiteral("/devices/platform/applesmc.768");
    if (QFileInfo(platformDevice).isDir()) {
        return platformDevice;
    }
    // Newer kernels may leave only the hwmon class entry; the attributes are
    // on the hwmon device or on the platform device it links to.
    const QDir hwmon(sysfsRoot + QStringLiteral("/class/hwmon"));
    const QStringList entries =
        hwmon.entryList({QStringLiteral("hwmon*")}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& entry : entries) {
        const QString path = hwmon.filePath(entry);
        const auto name = readLine(path + QStringLiteral("/name"));
        if (!name || name->trimmed() != "applesmc") {
            continue;
        }
        const QString device = path + QStringLiteral("/device");
        if (QFileInfo::exists(device + QStringLiteral("/key_count"))) {
            return device;
        }
        return path;
    }
    return {};
}

bool AppleSmcSysfsDriver::isPresent(const QString& sysfsRoot) {
    return !deviceDirectory(sysfsRoot).isEmpty();
}

uint32_t AppleSmcSysfsDriver::serviceMatching(const char* name) {
    if (!isServiceName(name)) {
        return 0;
    }
    QMutexLocker lock(&mutex);
    directory = deviceDirectory(root);
    return directory.isEmpty() ? 0 : serviceHandle;
}

SmcDriver::KernReturn AppleSmcSysfsDriver::serviceOpen(uint32_t service, uint32_t,
                                                       uint32_t* connection) {
    if (service != serviceHandle || connection == nullptr) {
        return badArgument;
    }
    QMutexLocker lock(&mutex);
    const QFileInfo info(directory);
    if (directory.isEmpty() || !info.isDir() || !info.isReadable()) {
        return error;
    }
    openConnection = connectionHandle;
    *connection = connectionHandle;
    return success;
}

void AppleSmcSysfsDriver::objectRelease(uint32_t) {}

SmcDriver::KernReturn AppleSmcSysfsDriver::callStructMethod(uint32_t connection, uint32_t selector,
                                                            const SMCParamStruct& input,
                                                            SMCParamStruct* output,
                                                            size_t* outputSize) {
    // The index register is one per machine: one exchange at a time.
    QMutexLocker lock(&mutex);
    return answerStructCall(
        connection, openConnection, selector, input, output, outputSize,
        [this](uint32_t key, bool wantValue) { return answer(key, wantValue); });
}

bool AppleSmcSysfsDriver::hasRawAccess() {
    QMutexLocker lock(&mutex);
    if (directory.isEmpty()) {
        directory = deviceDirectory(root);
    }
    return decideAccess();
}

void AppleSmcSysfsDriver::indexSelected(const QString&, int) {}

bool AppleSmcSysfsDriver::decideAccess() {
    if (access == Access::unknown && !directory.isEmpty()) {
        access = Access::labels;
        const auto count = readNumber(directory + QStringLiteral("/key_count"));
        if (count && *count > 0 && *count <= 0xFFFF) {
            keyCount = int(*count);
            bool refused = false;
            if (keyAtIndex(0, &refused)) {
                access = Access::raw;
            }
        }
    }
    return access == Access::raw;
}

AppleSmcSysfsDriver::Answer AppleSmcSysfsDriver::answer(uint32_t key, bool wantValue) {
    // The device went away (the module was unloaded): a driver failure, not
    // an answer about the key.
    if (!QFileInfo(directory).isDir()) {
        Answer gone;
        gone.kr = error;
        return gone;
    }
    decideAccess();
    if (access == Access::raw) {
        return answerRaw(key, wantValue);
    }
    return answerFromLabels(key, wantValue);
}

bool AppleSmcSysfsDriver::selectIndex(int index, bool* refused) {
    int failure = 0;
    if (!writeAttribute(directory + QStringLiteral("/key_at_index"), QByteArray::number(index),
                        &failure)) {
        *refused = isRefusal(failure);
        return false;
    }
    indexSelected(directory, index);
    return true;
}

std::optional<uint32_t> AppleSmcSysfsDriver::keyAtIndex(int index, bool* refused) {
    if (const auto it = namesByIndex.constFind(index); it != namesByIndex.cend()) {
        return *it;
    }
    if (!selectIndex(index, refused)) {
        return std::nullopt;
    }
    int failure = 0;
    const auto name = readLine(directory + QStringLiteral("/key_at_index_name"), &failure);
    const auto key = name ? FourCharCode::fromBytes(*name) : std::nullopt;
    if (!key) {
        *refused = !name && isRefusal(failure);
        return std::nullopt;
    }
    namesByIndex.insert(index, *key);
    return key;
}

std::optional<AppleSmcSysfsDriver::Entry>
AppleSmcSysfsDriver::entryAtIndex(int index, uint32_t expectedKey, bool wantData, bool* refused) {
    for (int attempt = 0; attempt < indexAttempts; ++attempt) {
        if (!selectIndex(index, refused)) {
            return std::nullopt;
        }
        int failure = 0;
        const auto type = readLine(directory + QStringLiteral("/key_at_index_type"), &failure);
        // A key's information needs only its length; reading the data would
        // make the SMC read the value.
        std::optional<QByteArray> data;
        if (!wantData) {
            if (const auto length =
                    readNumber(directory + QStringLiteral("/key_at_index_data_length"))) {
                data = QByteArray(int(std::clamp<long long>(*length, 0, 32)), '\0');
            }
        }
        if (!data) {
            data = SysfsAttribute::read(directory + QStringLiteral("/key_at_index_data"), &failure);
        }
        if (!type || !data) {
            *refused = isRefusal(failure);
            return std::nullopt;
        }
        // Only trust what was read if nobody moved the index meanwhile.
        const auto name = readLine(directory + QStringLiteral("/key_at_index_name"), &failure);
        if (!name) {
            *refused = isRefusal(failure);
            return std::nullopt;
        }
        if (FourCharCode::fromBytes(*name) == expectedKey) {
            Entry entry;
            entry.type = FourCharCode::fromBytes(type->leftJustified(4, ' ')).value_or(0);
            entry.data = data->left(32);
            return entry;
        }
    }
    return std::nullopt;
}

AppleSmcSysfsDriver::Answer AppleSmcSysfsDriver::answerRaw(uint32_t key, bool wantValue) {
    Answer reply;
    auto it = indicesByKey.constFind(key);
    if (it == indicesByKey.cend()) {
        // Keys are sorted byte-wise, which is the order of their codes.
        int low = 0;
        int high = keyCount - 1;
        std::optional<int> found;
        while (low <= high) {
            const int middle = low + (high - low) / 2;
            bool refused = false;
            const auto name = keyAtIndex(middle, &refused);
            if (!name) {
                return answerFailedRead(key, wantValue, refused);
            }
            if (*name == key) {
                found = middle;
                break;
            }
            if (*name < key) {
                low = middle + 1;
            } else {
                high = middle - 1;
            }
        }
        if (!found) {
            reply.result = SMCParamStruct::resultKeyNotFound;
            return reply;
        }
        it = indicesByKey.insert(key, *found);
    }
    bool refused = false;
    const auto entry = entryAtIndex(*it, key, wantValue, &refused);
    if (!entry) {
        return answerFailedRead(key, wantValue, refused);
    }
    reply.type = entry->type;
    reply.data = entry->data;
    return reply;
}

AppleSmcSysfsDriver::Answer AppleSmcSysfsDriver::answerFailedRead(uint32_t key, bool wantValue,
                                                                  bool refused) {
    if (refused) {
        // Raw access was taken away (or never really granted): from now on
        // only the world-readable files answer.
        access = Access::labels;
        return answerFromLabels(key, wantValue);
    }
    Answer failed;
    failed.kr = error;
    return failed;
}

void AppleSmcSysfsDriver::loadLabels() {
    if (labelsLoaded) {
        return;
    }
    labelsLoaded = true;
    const QDir dir(directory);
    const QStringList labels = dir.entryList({QStringLiteral("temp*_label")}, QDir::Files);
    for (const QString& label : labels) {
        const QString number = label.mid(4, label.size() - 4 - 6);
        bool ok = false;
        number.toInt(&ok);
        const auto text = readLine(dir.filePath(label));
        const auto key = text ? FourCharCode::fromBytes(*text) : std::nullopt;
        if (!ok || !key) {
            continue;
        }
        temperatureInputs.insert(*key, dir.filePath(QStringLiteral("temp%1_input").arg(number)));
    }
    // Fans are numbered from 1 without gaps; fan i of the SMC is fan{i+1}.
    fanCount = 0;
    while (fanCount < 255 &&
           QFileInfo::exists(dir.filePath(QStringLiteral("fan%1_input").arg(fanCount + 1)))) {
        ++fanCount;
    }
}

SensorSources AppleSmcSysfsDriver::sources() {
    const QMutexLocker lock(&mutex);
    loadLabels();
    const auto source = [this](const QString& input) {
        return SensorSource{
            QStringLiteral("applesmc"), QStringLiteral("applesmc"), directory, input, {}, {}};
    };
    SensorSources sources;
    for (auto it = temperatureInputs.cbegin(); it != temperatureInputs.cend(); ++it) {
        sources.insert(FourCharCode::toText(it.key()),
                       source(QFileInfo(it.value()).fileName().chopped(6)));
    }
    for (int fan = 0; fan < fanCount; ++fan) {
        sources.insert(SensorSource::fanKey(fan), source(QStringLiteral("fan%1").arg(fan + 1)));
    }
    return sources;
}

AppleSmcSysfsDriver::Answer AppleSmcSysfsDriver::answerFromLabels(uint32_t key, bool wantValue) {
    loadLabels();
    Answer reply;
    const QDir dir(directory);

    if (const auto it = temperatureInputs.constFind(key); it != temperatureInputs.cend()) {
        reply.type = sp78;
        reply.data = QByteArray(2, '\0');
        if (wantValue) {
            // The kernel shows 250 × (the 16-bit value shifted right by 6) in
            // millidegrees; undoing that restores the value's top ten bits,
            // which hold every whole degree.
            const auto millidegrees = openFiles.readNumber(*it);
            if (!millidegrees) {
                reply.kr = error;
                return reply;
            }
            const long long quarters = *millidegrees / 250;
            reply.data = bigEndian16(uint32_t(quarters * 64) & 0xFFFF);
        }
        return reply;
    }

    if (key == fanCountKey) {
        reply.type = ui8;
        reply.data = QByteArray(1, char(fanCount));
        return reply;
    }

    const QByteArray text = FourCharCode::toText(key).toLatin1();
    if (text[0] == 'F' && text[1] >= '0' && text[1] <= '9') {
        const int fan = text[1] - '0';
        const QByteArray suffix = text.mid(2);
        const bool knownSuffix =
            suffix == "ID" || suffix == "Mn" || suffix == "Mx" || suffix == "Ac";
        if (knownSuffix && fan >= fanCount) {
            reply.result = SMCParamStruct::resultKeyNotFound;
            return reply;
        }
        if (knownSuffix) {
            const QString prefix = dir.filePath(QStringLiteral("fan%1_").arg(fan + 1));
            if (suffix == "ID") {
                // The kernel shows the descriptor's name bytes up to the first NUL.
                const auto name = readLine(prefix + QStringLiteral("label"));
                if (name) {
                    reply.type = fds;
                    reply.data = SmcEncoding::fdsWithName(*name);
                    return reply;
                }
            } else {
                const QString file = suffix == "Mn"   ? QStringLiteral("min")
                                     : suffix == "Mx" ? QStringLiteral("max")
                                                      : QStringLiteral("input");
                const auto speed = openFiles.readNumber(prefix + file);
                if (speed) {
                    reply.type = fpe2;
                    reply.data = SmcEncoding::fpe2(*speed);
                    return reply;
                }
            }
        }
    }

    // Every temperature key is listed above, so a missing one doesn't exist;
    // anything else could only be answered through the refused index register.
    if (text[0] == 'T') {
        reply.result = SMCParamStruct::resultKeyNotFound;
    } else {
        reply.kr = notPrivileged;
    }
    return reply;
}
