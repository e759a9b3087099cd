#include "FuzzEntries.h"

#include "DriveTemperature.h"
#include "OndaraHelper.h"
#include "OndaraNames.h"
#include "PropertyList.h"
#include "SMCController.h"
#include "SMCKit.h"
#include "ata/AtaPassThroughStatus.h"
#include "ata/ProfileAtaSmartPlatform.h"
#include "ata/SgIoAtaDrive.h"
#include "ata/SgIoDisk.h"
#include "ata/SmartReaderAnswer.h"
#include "defaults/UserDefaults.h"
#include "ipc/PropertyListDBus.h"
#include "profile/MachineProfile.h"
#include "smc/AppleSmcSysfsDriver.h"
#include "smc/ProfileSmcDriver.h"
#include "vm/ProcMeminfoSource.h"
#include "vm/ProfileVmStatisticsSource.h"

#include <QDBusObjectPath>
#include <QDBusSignature>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <bit>
#include <cstdio>
#include <cstdlib>

namespace {

QByteArray bytesOf(const uint8_t* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// A broken promise: libFuzzer keeps the input, the replay test fails.
void require(bool promise, const char* what) {
    if (!promise) {
        std::fprintf(stderr, "fuzz: broken promise: %s\n", what);
        std::abort();
    }
}

// One folder per process for the files a target writes.
// One folder per process for the files a target writes; in memory where the
// machine has such a place, since the settings are fsynced at every write.
QString scratchFolder() {
    static QTemporaryDir folder(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                    ? QStringLiteral("/dev/shm/ondara-fuzz-XXXXXX")
                                    : QString());
    return folder.path();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

void emptyFolder(const QString& path) {
    QDir folder(path);
    folder.removeRecursively();
    folder.mkpath(QStringLiteral("."));
}

// The drive unit writes its progress lines to the standard streams; a fuzzer
// reading millions of drives has no use for them.
void silenceDriveMessages() {
    static FILE* nowhere = std::fopen("/dev/null", "w");
    setDriveTemperatureStreams(nowhere, nowhere);
}

MachineProfile smallMachine() {
    const auto key = [](const char* type, const QVariant& value) {
        return QVariantMap{{QStringLiteral("type"), QString::fromLatin1(type)},
                           {QStringLiteral("value"), value}};
    };
    const QVariantMap keys{{QStringLiteral("TC0P"), key("sp78", 52)},
                           {QStringLiteral("TG0P"), key("sp78", 48)},
                           {QStringLiteral("FNum"), key("ui8 ", 1)},
                           {QStringLiteral("F0ID"), key("{fds", QStringLiteral("Left"))},
                           {QStringLiteral("F0Mn"), key("fpe2", 1200)},
                           {QStringLiteral("F0Mx"), key("fpe2", 6000)},
                           {QStringLiteral("F0Ac"), key("fpe2", 2000)}};
    return MachineProfile::fromMap(
        {{QStringLiteral("smc"), QVariantMap{{QStringLiteral("keys"), keys}}}});
}

// The values QtDBus hands over for a reply, built from the input's bytes: each
// value is a kind byte followed by what that kind needs. Containers nest.
class ReceivedValues {
public:
    ReceivedValues(const uint8_t* data, size_t size)
        : data(data)
        , size(size) {}

    bool atEnd() const { return at >= size; }

    QVariant next(int depth) {
        switch (byte() % (depth > 40 ? 10 : 16)) {
        case 0:
            return byte() % 2 == 1;
        case 1:
            return int(word<uint32_t>());
        case 2:
            return word<uint32_t>();
        case 3:
            return qlonglong(word<uint64_t>());
        case 4:
            return qulonglong(word<uint64_t>());
        case 5:
            return std::bit_cast<double>(word<uint64_t>());
        case 6:
            return QString::fromUtf8(bytes());
        case 7:
            return bytes();
        case 8:
            return QVariant::fromValue(QDBusObjectPath(QString::fromLatin1(bytes())));
        case 9:
            return QVariant::fromValue(short(word<uint16_t>()));
        case 10:
            return QVariant::fromValue(QDBusVariant(next(depth + 1)));
        case 11: {
            QVariantList list;
            for (int count = byte() % 8; count > 0 && !atEnd(); --count) {
                list.append(next(depth + 1));
            }
            return list;
        }
        case 12: {
            QVariantMap map;
            for (int count = byte() % 8; count > 0 && !atEnd(); --count) {
                const QString key = QString::fromUtf8(bytes());
                map.insert(key, next(depth + 1));
            }
            return map;
        }
        case 13:
            return QString::fromUtf8(bytes()).split(u',');
        case 14: {
            QList<int> list;
            for (int count = byte() % 8; count > 0 && !atEnd(); --count) {
                list.append(int(word<uint32_t>()));
            }
            return QVariant::fromValue(list);
        }
        default:
            return QVariant::fromValue(QDBusSignature(QString::fromLatin1(bytes())));
        }
    }

private:
    uint8_t byte() { return at < size ? data[at++] : 0; }
    template <typename T> T word() {
        T value = 0;
        for (size_t i = 0; i < sizeof(T); ++i) {
            value = T(value << 8 | byte());
        }
        return value;
    }
    QByteArray bytes() {
        const size_t length = std::min<size_t>(byte(), size - std::min(at, size));
        const QByteArray text(reinterpret_cast<const char*>(data + at), qsizetype(length));
        at += length;
        return text;
    }

    const uint8_t* data;
    size_t size;
    size_t at = 0;
};

} // namespace

int fuzzPropertyList(const uint8_t* data, size_t size) {
    const auto parsed = PropertyList::parse(bytesOf(data, size));
    if (!parsed) {
        return 0;
    }
    const QByteArray written = PropertyList::toXml(*parsed);
    require(!written.isEmpty(), "a parsed value writes as XML");
    require(PropertyList::parse(written).has_value(), "written XML parses again");
    return 0;
}

int fuzzMachineProfile(const uint8_t* data, size_t size) {
    const auto parsed = PropertyList::parse(bytesOf(data, size));
    if (!parsed || !PropertyList::isDictionary(*parsed)) {
        return 0;
    }
    const MachineProfile profile = MachineProfile::fromMap(parsed->toMap());
    silenceDriveMessages();

    auto smc = std::make_shared<ProfileSmcDriver>(profile, [] { return 1234.5; });
    const QVariantMap keys = profile.smc().value(QStringLiteral("keys")).toMap();
    for (auto it = keys.cbegin(); it != keys.cend(); ++it) {
        if (const auto code = SMCKit::fourCharCode(it.key())) {
            smc->valueBytes(*code, 1234.5);
        }
    }
    SMCKit::setDriver(smc);
    SMCKit::errorOf([] { SMCKit::openConnection(); });
    SMCKit::errorOf([] { SMCKit::presentTemperatureSensors(); });
    SMCKit::errorOf([] { SMCKit::readFans(); });

    setAtaSmartPlatform(std::make_shared<ProfileAtaSmartPlatform>(profile.drives()));
    hddTemp();
    hddTemp();
    setAtaSmartPlatform(nullptr);

    ProfileVmStatisticsSource memory(profile.memory());
    memory.statistics();
    memory.installedMemoryBytes();
    return 0;
}

int fuzzSettingsFile(const uint8_t* data, size_t size) {
    // Other targets of the same process may have replaced the machine.
    static const MachineProfile machine = smallMachine();
    SMCKit::setDriver(std::make_shared<ProfileSmcDriver>(machine));
    silenceDriveMessages();
    setAtaSmartPlatform(std::make_shared<ProfileAtaSmartPlatform>(QVariantList()));

    const QString folder = scratchFolder() + QStringLiteral("/settings");
    emptyFolder(folder);
    writeFile(folder + QLatin1Char('/') + OndaraNames::suiteName + QStringLiteral(".plist"),
              bytesOf(data, size));

    SMCControllerEnvironment environment;
    environment.openDefaults = [folder] {
        return UserDefaults::openSuite(OndaraNames::suiteName, folder);
    };
    environment.versionText = QStringLiteral("1.0");
    environment.memory = std::make_shared<ProfileVmStatisticsSource>(
        QVariantMap{{QStringLiteral("installed"), 8LL << 30}, {QStringLiteral("free"), 1000LL}});
    SMCController controller(environment);
    OndaraHelper helper(controller);

    // Every answer the clients can ask for, then every kind of change on the
    // entries that were loaded.
    QList<quint32> codes{OndaraNames::driveSensorCode};
    const auto ignoreMap = [](const QVariantMap&) {};
    const auto ignoreIntegers = [](const QList<int>&) {};
    helper.activeTempSensors([&codes](const QVariantMap& active) {
        for (const QVariant& entry : active) {
            codes.append(quint32(entry.toList().value(0).toLongLong()));
        }
    });
    helper.activeFanSensors(ignoreMap);
    helper.activeMemSensors(ignoreMap);
    helper.tempSensors(ignoreMap);
    helper.machineSensorList(ignoreMap);
    helper.memoryUsage([](const QList<double>&) {});
    helper.visibleSections(ignoreIntegers);
    helper.sensorUnits(ignoreIntegers);
    helper.temperatureForSensors(codes, ignoreIntegers);
    helper.rpmForFans({0, 1, -1}, ignoreIntegers);

    const QStringList components = controller.tempSensorsDict().keys();
    for (const QString& component : components) {
        helper.changeSensorWithNewSensor(codes.constLast(), component);
        helper.changeStateForSensor(component, QStringLiteral("Temps"), false);
    }
    const QStringList fans = controller.fanSensorsDict().keys();
    for (const QString& fan : fans) {
        helper.changeStateForSensor(fan, QStringLiteral("Fans"), true);
    }
    helper.changeStateForSensor(QStringLiteral("Wired"), QStringLiteral("Mem"), false);
    helper.changeVisibilityForSection(QStringLiteral("Mem"), false);
    helper.changeTempUnitToCelsius(false);
    helper.changeFanUnitToRPM(false);
    helper.activeFanSensors(ignoreMap);
    return 0;
}

int fuzzSmartData(const uint8_t* data, size_t size) {
    const QByteArray bytes = bytesOf(data, size);
    silenceDriveMessages();
    auto platform = std::make_shared<ProfileAtaSmartPlatform>(
        QVariantList{QVariantMap{{QStringLiteral("block"), bytes.left(512)}}});
    setAtaSmartPlatform(platform);
    const int32_t first = hddTemp();
    const int32_t second = hddTemp();
    require(first == second, "the same block reads the same twice");
    require(first >= -1 && first <= 255, "a reading is a byte or -1");
    setAtaSmartPlatform(nullptr);

    AtaSmartInterface::DataBlock identify{};
    std::copy_n(bytes.constData(), std::min<qsizetype>(bytes.size(), 512), identify.begin());
    SgIoAtaDrive::supportsSmart(identify);

    // The reply of one pass-through command: SCSI status, host and driver
    // status, then the sense bytes.
    if (size >= 5) {
        const AtaPassThroughStatus status = AtaPassThroughStatus::fromReply(
            data[0], uint16_t(data[1] | data[2] << 8), uint16_t(data[3]),
            std::span(data + 4, std::min<size_t>(size - 4, 252)));
        require(status.succeeded() == (status.result == AtaSmartReturnCode::success),
                "success is one thing");
        if (status.ataCount) {
            SgIoDisk::powerModeForCount(*status.ataCount);
        }
    }

    // The SMART reader's answer: what parses writes back as the same text.
    for (const auto kind : {SmartReaderRequest::Kind::read, SmartReaderRequest::Kind::collect}) {
        const std::string_view text(reinterpret_cast<const char*>(data), size);
        if (const auto answer = SmartReaderAnswer::parse(text, kind)) {
            require(answer->text() == text, "an answer reads back as written");
        }
    }
    return 0;
}

int fuzzAppleSmcFiles(const uint8_t* data, size_t size) {
    // The input is the content of these files in order, separated by 0x1E; a
    // file the input does not reach is absent.
    static const QStringList names{
        QStringLiteral("key_count"),         QStringLiteral("key_at_index_name"),
        QStringLiteral("key_at_index_type"), QStringLiteral("key_at_index_data"),
        QStringLiteral("temp1_label"),       QStringLiteral("temp1_input"),
        QStringLiteral("temp2_label"),       QStringLiteral("temp2_input"),
        QStringLiteral("fan1_label"),        QStringLiteral("fan1_input"),
        QStringLiteral("fan1_min"),          QStringLiteral("fan1_max"),
        QStringLiteral("fan2_label"),        QStringLiteral("fan2_input")};
    const QString root = scratchFolder() + QStringLiteral("/sys");
    const QString device = root + QStringLiteral("/devices/platform/applesmc.768");
    emptyFolder(device);
    const QList<QByteArray> contents = bytesOf(data, size).split('\x1e');
    for (qsizetype i = 0; i < std::min(contents.size(), names.size()); ++i) {
        writeFile(device + QLatin1Char('/') + names[i], contents[i]);
    }
    // The index register: present and writable when the input has a key count.
    if (!contents.isEmpty()) {
        writeFile(device + QStringLiteral("/key_at_index"), {});
    }

    SMCKit::setDriver(std::make_shared<AppleSmcSysfsDriver>(root));
    SMCKit::errorOf([] { SMCKit::openConnection(); });
    SMCKit::errorOf([] { SMCKit::presentTemperatureSensors(); });
    SMCKit::errorOf([] { SMCKit::readFans(); });
    for (const char* key : {"TC0P", "TC0D", "FNum"}) {
        SMCKit::errorOf([key] { SMCKit::readTemperature(*SMCKit::fourCharCode(key)); });
    }
    SMCKit::setDriver(nullptr);
    return 0;
}

int fuzzMeminfo(const uint8_t* data, size_t size) {
    const auto fields = ProcMeminfoSource::parseMeminfo(bytesOf(data, size));
    if (const auto statistics = ProcMeminfoSource::statisticsFromMeminfo(fields)) {
        Q_UNUSED(statistics);
    }
    return 0;
}

int fuzzDBusReply(const uint8_t* data, size_t size) {
    ReceivedValues received(data, size);
    while (!received.atEnd()) {
        const QVariant value = received.next(0);
        const QVariant canonical = PropertyListDBus::fromDBus(value);
        if (!canonical.isValid()) {
            continue;
        }
        require(PropertyList::normalized(canonical).typeId() == canonical.typeId(),
                "a converted value is canonical");
        // What the agent sends back out must convert again on the other side.
        require(PropertyListDBus::fromDBus(PropertyListDBus::toDBus(canonical)).isValid(),
                "a converted value survives the way back");
    }
    return 0;
}

FuzzEntry fuzzEntry(const QString& target) {
    static const QHash<QString, FuzzEntry> entries{
        {QStringLiteral("propertylist"), fuzzPropertyList},
        {QStringLiteral("profile"), fuzzMachineProfile},
        {QStringLiteral("settings"), fuzzSettingsFile},
        {QStringLiteral("smart"), fuzzSmartData},
        {QStringLiteral("applesmc"), fuzzAppleSmcFiles},
        {QStringLiteral("meminfo"), fuzzMeminfo},
        {QStringLiteral("dbusreply"), fuzzDBusReply}};
    return entries.value(target, nullptr);
}
