#include "AgentResources.h"
#include "SMCKit.h"
#include "SensorComponents.h"
#include "profile/MachineProfile.h"
#include "smc/ProfileSmcDriver.h"

#include <QtTest>
#include <cmath>

namespace {

uint32_t code(const char* text) {
    return *SMCKit::fourCharCode(QString::fromLatin1(text));
}

MachineProfile machine(const QVariantMap& keys, const QVariantMap& switches = {}) {
    QVariantMap smc = switches;
    smc.insert(QStringLiteral("keys"), keys);
    return MachineProfile::fromMap({{QStringLiteral("smc"), smc}});
}

QVariantMap entry(const char* type, const QVariant& value) {
    return {{QStringLiteral("type"), QString::fromLatin1(type)}, {QStringLiteral("value"), value}};
}

// One exchange straight with the driver, without the access layer's mapping.
struct Exchange {
    SmcDriver::KernReturn kr = 0;
    SMCParamStruct reply{};
};

class Session {
public:
    explicit Session(ProfileSmcDriver& driver)
        : driver(driver) {
        const uint32_t service = driver.serviceMatching("AppleSMC");
        if (service != 0 && driver.serviceOpen(service, 0, &connection) != SmcDriver::success) {
            connection = 0;
        }
    }
    Exchange call(uint32_t key, uint8_t command, uint32_t dataSize = 0) {
        SMCParamStruct input{};
        input.key = key;
        input.data8 = command;
        input.keyInfo.dataSize = dataSize;
        Exchange exchange;
        size_t size = sizeof(SMCParamStruct);
        exchange.kr = driver.callStructMethod(connection, 2, input, &exchange.reply, &size);
        return exchange;
    }
    ProfileSmcDriver& driver;
    uint32_t connection = 0;
};

QByteArray valueOf(const Exchange& exchange, int size) {
    return QByteArray(reinterpret_cast<const char*>(exchange.reply.bytes), size);
}

} // namespace

class TestProfileSmcDriver : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { SMCKit::setDriver(nullptr); }

    void serviceSwitches();
    void forcedReturnCode();
    void encoding_data();
    void encoding();
    void keyInformation();
    void perKeyResult();
    void unknownCommandAndBadArguments();
    void driftWandersWithinItsRange();
    void withoutDriftValuesAreExact();
    void unusableEntriesAreReported();
    void demoMachine();
};

void TestProfileSmcDriver::serviceSwitches() {
    ProfileSmcDriver plain(machine({}));
    const uint32_t service = plain.serviceMatching("AppleSMC");
    QVERIFY(service != 0);
    QCOMPARE(plain.serviceMatching("IOBlockStorageDevice"), 0u);
    uint32_t connection = 0;
    QCOMPARE(plain.serviceOpen(service, 0, &connection), SmcDriver::success);
    QVERIFY(connection != 0);

    ProfileSmcDriver noService(machine({}, {{QStringLiteral("service"), false}}));
    QCOMPARE(noService.serviceMatching("AppleSMC"), 0u);

    ProfileSmcDriver refusesToOpen(machine({}, {{QStringLiteral("open"), false}}));
    const uint32_t closedService = refusesToOpen.serviceMatching("AppleSMC");
    QVERIFY(closedService != 0);
    QVERIFY(refusesToOpen.serviceOpen(closedService, 0, &connection) != SmcDriver::success);
}

void TestProfileSmcDriver::forcedReturnCode() {
    // Every struct call answers the code, present keys and absent ones alike.
    ProfileSmcDriver driver(machine({{QStringLiteral("TC0P"), entry("sp78", 50)}},
                                    {{QStringLiteral("kr"), qlonglong(3758097089LL)}}));
    Session session(driver);
    QCOMPARE(session.call(code("TC0P"), 5, 2).kr, SmcDriver::notPrivileged);
    QCOMPARE(session.call(code("TC0P"), 9).kr, SmcDriver::notPrivileged);
    QCOMPARE(session.call(code("TZZZ"), 9).kr, SmcDriver::notPrivileged);
    // A signed spelling of the same code works as well.
    ProfileSmcDriver signedCode(machine({}, {{QStringLiteral("kr"), qlonglong(-536870207)}}));
    Session signedSession(signedCode);
    QCOMPARE(signedSession.call(code("TC0P"), 9).kr, SmcDriver::notPrivileged);
}

void TestProfileSmcDriver::encoding_data() {
    QTest::addColumn<QString>("type");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("sp78 45.75") << "sp78" << QVariant(45.75) << QByteArray("\x2D\xC0", 2);
    QTest::newRow("sp78 -5") << "sp78" << QVariant(qlonglong(-5)) << QByteArray("\x85\x00", 2);
    QTest::newRow("sp78 -5.5") << "sp78" << QVariant(-5.5) << QByteArray("\x85\x80", 2);
    QTest::newRow("sp78 0") << "sp78" << QVariant(0.0) << QByteArray("\x00\x00", 2);
    QTest::newRow("sp78 beyond range") << "sp78" << QVariant(300.0) << QByteArray("\x7F\xFF", 2);
    QTest::newRow("fpe2 6000") << "fpe2" << QVariant(qlonglong(6000)) << QByteArray("\x5D\xC0", 2);
    QTest::newRow("fpe2 quarter") << "fpe2" << QVariant(0.25) << QByteArray("\x00\x01", 2);
    QTest::newRow("fpe2 negative") << "fpe2" << QVariant(-3.0) << QByteArray("\x00\x00", 2);
    QTest::newRow("ui8 2") << "ui8 " << QVariant(qlonglong(2)) << QByteArray("\x02", 1);
    QTest::newRow("ui8 too large") << "ui8 " << QVariant(qlonglong(300)) << QByteArray("\xFF", 1);
    QTest::newRow("ui16") << "ui16" << QVariant(qlonglong(0x1234)) << QByteArray("\x12\x34", 2);
    QTest::newRow("si8") << "si8 " << QVariant(qlonglong(-2)) << QByteArray("\xFE", 1);
    QTest::newRow("fds name") << "{fds" << QVariant(QStringLiteral("Left Fan"))
                              << QByteArray("\0\0\0\0Left Fan\0\0\0\0", 16);
    QTest::newRow("fds long name") << "{fds" << QVariant(QStringLiteral("Exhaust fan number 2"))
                                   << QByteArray("\0\0\0\0Exhaust fan \0\0\0\0", 20).left(16);
}

void TestProfileSmcDriver::encoding() {
    QFETCH(QString, type);
    QFETCH(QVariant, value);
    QFETCH(QByteArray, expected);
    ProfileSmcDriver driver(
        machine({{QStringLiteral("KEY1"),
                  QVariantMap{{QStringLiteral("type"), type}, {QStringLiteral("value"), value}}}}));
    QVERIFY2(driver.problems().isEmpty(), qPrintable(driver.problems().join(QLatin1Char('\n'))));
    Session session(driver);
    const Exchange exchange = session.call(code("KEY1"), 5, uint32_t(expected.size()));
    QCOMPARE(exchange.kr, SmcDriver::success);
    QCOMPARE(exchange.reply.result, SMCParamStruct::resultSuccess);
    QCOMPARE(valueOf(exchange, int(expected.size())), expected);
    QCOMPARE(*driver.valueBytes(code("KEY1"), 0), expected);
    // Only as many bytes as were asked for come back.
    const Exchange shortRead = session.call(code("KEY1"), 5, 1);
    QCOMPARE(valueOf(shortRead, int(expected.size())),
             expected.left(1) + QByteArray(expected.size() - 1, '\0'));
}

void TestProfileSmcDriver::keyInformation() {
    ProfileSmcDriver driver(
        machine({{QStringLiteral("TC0P"), entry("sp78", 50)},
                 {QStringLiteral("F0ID"), entry("{fds", QStringLiteral("Fan"))},
                 {QStringLiteral("RAW!"),
                  QVariantMap{{QStringLiteral("bytes"), QByteArray("\x01\x02\x03", 3)}}}}));
    Session session(driver);
    const Exchange present = session.call(code("TC0P"), 9);
    QCOMPARE(present.kr, SmcDriver::success);
    QCOMPARE(present.reply.result, SMCParamStruct::resultSuccess);
    QCOMPARE(present.reply.keyInfo.dataSize, 2u);
    QCOMPARE(present.reply.keyInfo.dataType, code("sp78"));
    QCOMPARE(session.call(code("F0ID"), 9).reply.keyInfo.dataSize, 16u);
    QCOMPARE(session.call(code("RAW!"), 9).reply.keyInfo.dataSize, 3u);
    QCOMPARE(valueOf(session.call(code("RAW!"), 5, 3), 3), QByteArray("\x01\x02\x03", 3));

    const Exchange absent = session.call(code("TC0p"), 9);
    QCOMPARE(absent.kr, SmcDriver::success);
    QCOMPARE(absent.reply.result, SMCParamStruct::resultKeyNotFound);
    QCOMPARE(session.call(code("TC0p"), 5, 2).reply.result, SMCParamStruct::resultKeyNotFound);
}

void TestProfileSmcDriver::perKeyResult() {
    QVariantMap failing = entry("sp78", 50);
    failing.insert(QStringLiteral("result"), 0x85);
    QVariantMap vanished = entry("sp78", 50);
    vanished.insert(QStringLiteral("result"), 132);
    ProfileSmcDriver driver(
        machine({{QStringLiteral("TC0P"), failing}, {QStringLiteral("TC0H"), vanished}}));
    Session session(driver);
    // The key exists; reading its value fails.
    QCOMPARE(session.call(code("TC0P"), 9).reply.result, SMCParamStruct::resultSuccess);
    QCOMPARE(session.call(code("TC0P"), 5, 2).reply.result, uint8_t(0x85));
    QCOMPARE(session.call(code("TC0H"), 5, 2).reply.result, SMCParamStruct::resultKeyNotFound);
}

void TestProfileSmcDriver::unknownCommandAndBadArguments() {
    ProfileSmcDriver driver(machine({{QStringLiteral("TC0P"), entry("sp78", 50)}}));
    Session session(driver);
    const Exchange write = session.call(code("TC0P"), 6, 2);
    QCOMPARE(write.kr, SmcDriver::success);
    QVERIFY(write.reply.result != SMCParamStruct::resultSuccess);
    QVERIFY(write.reply.result != SMCParamStruct::resultKeyNotFound);

    SMCParamStruct input{};
    input.key = code("TC0P");
    input.data8 = 9;
    SMCParamStruct output{};
    size_t size = sizeof(output);
    QCOMPARE(driver.callStructMethod(session.connection, 5, input, &output, &size),
             ProfileSmcDriver::badArgument);
    size_t shortSize = 40;
    QCOMPARE(driver.callStructMethod(session.connection, 2, input, &output, &shortSize),
             ProfileSmcDriver::badArgument);
    QCOMPARE(driver.callStructMethod(session.connection + 1, 2, input, &output, &size),
             ProfileSmcDriver::notOpen);
}

void TestProfileSmcDriver::driftWandersWithinItsRange() {
    double now = 0;
    QVariantMap cpu = entry("sp78", 50.0);
    cpu.insert(QStringLiteral("drift"), 2.0);
    QVariantMap fan = entry("fpe2", 2400.0);
    fan.insert(QStringLiteral("drift"), 100.0);
    ProfileSmcDriver driver(machine({{QStringLiteral("TC0P"), cpu}, {QStringLiteral("F0Ac"), fan}}),
                            [&now] { return now; });
    SMCKit::setDriver(std::shared_ptr<ProfileSmcDriver>(&driver, [](ProfileSmcDriver*) {}));
    QTest::ignoreMessage(QtInfoMsg, "Connection open with SMC in SMC");
    SMCKit::openConnection();

    double lowest = 1e9;
    double highest = -1e9;
    double previous = 0;
    double steepest = 0;
    for (int second = 0; second <= 900; ++second) {
        now = second;
        const QByteArray bytes = *driver.valueBytes(code("TC0P"), now);
        const double celsius = uint8_t(bytes[0]) + uint8_t(bytes[1]) / 256.0;
        QVERIFY2(celsius >= 48.0 && celsius <= 52.0, qPrintable(QString::number(celsius)));
        if (second > 0) {
            steepest = std::max(steepest, std::fabs(celsius - previous));
        }
        previous = celsius;
        lowest = std::min(lowest, celsius);
        highest = std::max(highest, celsius);
        const int rpm = SMCKit::readFanCurrentSpeed(0);
        QVERIFY2(rpm >= 2300 && rpm <= 2500, qPrintable(QString::number(rpm)));
    }
    // It moves, over most of its range, and smoothly.
    QVERIFY(highest - lowest > 2.0);
    QVERIFY2(steepest < 1.0, qPrintable(QString::number(steepest)));
}

void TestProfileSmcDriver::withoutDriftValuesAreExact() {
    double now = 0;
    ProfileSmcDriver driver(machine({{QStringLiteral("TC0P"), entry("sp78", 52.6)}}),
                            [&now] { return now; });
    const QByteArray first = *driver.valueBytes(code("TC0P"), 0);
    for (now = 0; now < 600; now += 7) {
        QCOMPARE(*driver.valueBytes(code("TC0P"), now), first);
    }
    QCOMPARE(first, QByteArray("\x34\x9A", 2));
}

void TestProfileSmcDriver::unusableEntriesAreReported() {
    QVariantMap negativeDrift = entry("sp78", 50);
    negativeDrift.insert(QStringLiteral("drift"), -1.0);
    QVariantMap resultTooLarge = entry("sp78", 50);
    resultTooLarge.insert(QStringLiteral("result"), 300);
    ProfileSmcDriver driver(machine({
        {QStringLiteral("TC0"), entry("sp78", 50)},
        {QStringLiteral("TC0D"), entry("sp7", 50)},
        {QStringLiteral("TC0H"), entry("sp78", QStringLiteral("hot"))},
        {QStringLiteral("TC0F"), negativeDrift},
        {QStringLiteral("TC0C"), resultTooLarge},
        {QStringLiteral("TC1C"), entry("flt ", 50)},
        {QStringLiteral("F0ID"), entry("{fds", 3)},
        {QStringLiteral("TB0T"), QVariantMap{{QStringLiteral("bytes"), QByteArray(33, 'x')}}},
        {QStringLiteral("TA0P"), QStringLiteral("not a dictionary")},
        {QStringLiteral("TC0P"), entry("sp78", 50)},
    }));
    QCOMPARE(driver.problems().size(), 9);
    Session session(driver);
    for (const char* key : {"TC0D", "TC0H", "TC0F", "TC0C", "TC1C", "F0ID", "TB0T", "TA0P"}) {
        QCOMPARE(session.call(code(key), 9).reply.result, SMCParamStruct::resultKeyNotFound);
    }
    QCOMPARE(session.call(code("TC0P"), 9).reply.result, SMCParamStruct::resultSuccess);
}

void TestProfileSmcDriver::demoMachine() {
    initAgentResources();
    QString error;
    const auto demo = MachineProfile::fromFile(QStringLiteral(":/profiles/demo.plist"), &error);
    QVERIFY2(demo, qPrintable(error));
    QVERIFY(!demo->name().isEmpty());
    QVERIFY(demo->hasSmc() && demo->hasDrives() && demo->hasMemory());
    auto driver = std::make_shared<ProfileSmcDriver>(*demo);
    QVERIFY2(driver->problems().isEmpty(), qPrintable(driver->problems().join(QLatin1Char('\n'))));
    SMCKit::setDriver(driver);
    QTest::ignoreMessage(QtInfoMsg, "Connection open with SMC in SMC");
    SMCKit::openConnection();

    // Every present sensor reads plausibly for its component, and the
    // components the demo is meant to show all have a sensor.
    QMultiHash<QString, QString> candidates;
    for (const TemperatureSensor& sensor : SMCKit::presentTemperatureSensors()) {
        const QString component = SensorComponents::componentOf(sensor.name);
        if (component.isEmpty()) {
            continue;
        }
        const auto [lower, upper] = SensorComponents::bounds().value(component);
        const double reading = SMCKit::readTemperature(sensor.code);
        QVERIFY2(lower < reading && reading < upper, qPrintable(sensor.name));
        QVERIFY2(reading > 0, qPrintable(sensor.name));
        candidates.insert(component, sensor.name);
    }
    for (const char* component :
         {"CPU", "GPU", "HDD", "MEM", "ENCLOSURE", "AMBIENT", "HEATSINK", "LOGIC", "POWER"}) {
        QVERIFY2(candidates.contains(QString::fromLatin1(component)), component);
    }
    QVERIFY(candidates.count(QStringLiteral("CPU")) >= 3);
    QVERIFY(candidates.count(QStringLiteral("ENCLOSURE")) >= 2);
    QVERIFY(!candidates.contains(QStringLiteral("HEATSINK"), QStringLiteral("CPU_HEATSINK")));
    SMCKit::readKeyInformation(code("TPCD"));

    const QList<Fan> fans = SMCKit::readFans();
    QCOMPARE(fans.size(), 2);
    QCOMPARE(fans[0].name, QStringLiteral("Left Fan"));
    QCOMPARE(fans[1].name, QStringLiteral("Right Fan"));
    for (const Fan& fan : fans) {
        const int speed = SMCKit::readFanCurrentSpeed(fan.id);
        QVERIFY(fan.minSpeed > 0 && fan.minSpeed <= speed && speed <= fan.maxSpeed);
    }

    // One drive whose temperature attribute reads about 38 °C.
    QCOMPARE(demo->drives().size(), 1);
    bool temperatureFound = false;
    for (const QVariant& triple :
         demo->drives().first().toMap().value(QStringLiteral("attributes")).toList()) {
        const QVariantList values = triple.toList();
        QCOMPARE(values.size(), 3);
        if (values[1].toLongLong() == 194) {
            temperatureFound = true;
            QVERIFY(std::abs(values[2].toLongLong() - 38) <= 2);
        }
    }
    QVERIFY(temperatureFound);

    const QVariantMap memory = demo->memory();
    QCOMPARE(memory.value(QStringLiteral("installed")).toLongLong(), 16LL << 30);
    qlonglong pages = 0;
    for (const char* figure : {"free", "active", "inactive", "wired", "compressed"}) {
        QVERIFY2(memory.value(QString::fromLatin1(figure)).toLongLong() > 0, figure);
        pages += memory.value(QString::fromLatin1(figure)).toLongLong();
    }
    QVERIFY(pages * 4096 <= (16LL << 30));
}

QTEST_GUILESS_MAIN(TestProfileSmcDriver)
#include "tst_profilesmcdriver.moc"
