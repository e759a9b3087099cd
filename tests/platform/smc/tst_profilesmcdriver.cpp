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

QVariantMap entry(const QString& type, const QVariant& value, const QVariantMap& more = {}) {
    QVariantMap result = more;
    result.insert({{QStringLiteral("type"), type}, {QStringLiteral("value"), value}});
    return result;
}

// One exchange straight with the driver, without the access layer's mapping.
SMCParamStruct exchange(ProfileSmcDriver& driver, uint32_t key, uint8_t command,
                        uint32_t dataSize = 0, SmcDriver::KernReturn* kr = nullptr) {
    uint32_t connection = 0;
    driver.serviceOpen(driver.serviceMatching("AppleSMC"), 0, &connection);
    SMCParamStruct input{};
    input.key = key;
    input.data8 = command;
    input.keyInfo.dataSize = dataSize;
    SMCParamStruct output{};
    size_t size = sizeof(output);
    const SmcDriver::KernReturn result =
        driver.callStructMethod(connection, 2, input, &output, &size);
    if (kr) {
        *kr = result;
    }
    return output;
}

} // namespace

class TestProfileSmcDriver : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { SMCKit::setDriver(nullptr); }

    void encoding_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("sp78 45.75") << "sp78" << QVariant(45.75) << QByteArray("\x2D\xC0", 2);
        QTest::newRow("sp78 -5.5") << "sp78" << QVariant(-5.5) << QByteArray("\x85\x80", 2);
        QTest::newRow("sp78 too hot") << "sp78" << QVariant(300.0) << QByteArray("\x7F\xFF", 2);
        QTest::newRow("fpe2 6000") << "fpe2" << QVariant(6000LL) << QByteArray("\x5D\xC0", 2);
        QTest::newRow("fpe2 negative") << "fpe2" << QVariant(-3.0) << QByteArray("\0\0", 2);
        QTest::newRow("ui8 too large") << "ui8 " << QVariant(300LL) << QByteArray("\xFF", 1);
        QTest::newRow("si8") << "si8 " << QVariant(-2LL) << QByteArray("\xFE", 1);
        // Past a long long, where rounding is no longer defined.
        QTest::newRow("ui32 huge")
            << "ui32" << QVariant(1e300) << QByteArray("\xFF\xFF\xFF\xFF", 4);
        QTest::newRow("si16 huge negative")
            << "si16" << QVariant(-1e300) << QByteArray("\x80\0", 2);
        QTest::newRow("fds") << "{fds" << QVariant(QStringLiteral("Left Fan"))
                             << QByteArray("\0\0\0\0Left Fan\0\0\0\0", 16);
        QTest::newRow("fds long name") << "{fds" << QVariant(QStringLiteral("Exhaust fan number 2"))
                                       << QByteArray("\0\0\0\0Exhaust fan ", 16);
    }

    void encoding() {
        QFETCH(QString, type);
        QFETCH(QVariant, value);
        QFETCH(QByteArray, expected);
        ProfileSmcDriver driver(machine({{QStringLiteral("KEY1"), entry(type, value)}}));
        QCOMPARE(driver.problems(), QStringList());
        const auto size = uint32_t(expected.size());
        SmcDriver::KernReturn kr = -1;
        const SMCParamStruct reply = exchange(driver, code("KEY1"), 5, size, &kr);
        QCOMPARE(kr, SmcDriver::success);
        QCOMPARE(reply.result, SMCParamStruct::resultSuccess);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(reply.bytes), size), expected);
        // Only as many bytes as were asked for come back.
        const SMCParamStruct shortRead = exchange(driver, code("KEY1"), 5, 1);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(shortRead.bytes), size),
                 expected.left(1) + QByteArray(size - 1, '\0'));
    }

    void driftWandersWithinItsRangeAndNoDriftIsExact() {
        ProfileSmcDriver driver(machine(
            {{"TC0P", entry("sp78", 50.0, {{"drift", 2.0}})}, {"TC0H", entry("sp78", 52.6)}}));
        QList<double> readings;
        for (double now = 0; now <= 900; ++now) {
            const QByteArray bytes = *driver.valueBytes(code("TC0P"), now);
            readings.append(uint8_t(bytes[0]) + uint8_t(bytes[1]) / 256.0);
            QCOMPARE(*driver.valueBytes(code("TC0H"), now), QByteArray("\x34\x9A", 2));
        }
        // It moves, over most of its range but not beyond, and smoothly.
        const auto [lowest, highest] = std::minmax_element(readings.cbegin(), readings.cend());
        QVERIFY(*lowest >= 48.0 && *highest <= 52.0 && *highest - *lowest > 2.0);
        for (qsizetype i = 1; i < readings.size(); ++i) {
            QVERIFY2(std::fabs(readings[i] - readings[i - 1]) < 1.0,
                     qPrintable(QString::number(i)));
        }
    }

    void unusableEntriesAreReported() {
        ProfileSmcDriver driver(machine({
            {"TC0", entry("sp78", 50)},
            {"TC0D", entry("sp7", 50)},
            {"TC0H", entry("sp78", "hot")},
            {"TC0F", entry("sp78", 50, {{"drift", -1.0}})},
            {"TC0E", entry("sp78", qQNaN())},
            {"TC0G", entry("sp78", 50, {{"drift", qInf()}})},
            {"TC0C", entry("sp78", 50, {{"result", 300}})},
            {"TC1C", entry("flt ", 50)},
            {"F0ID", entry("{fds", 3)},
            {"TB0T", QVariantMap{{"bytes", QByteArray(33, 'x')}}},
            {"TA0P", "not a dictionary"},
            {"TC0P", entry("sp78", 50)},
        }));
        QCOMPARE(driver.problems().size(), 11);
        for (const char* key :
             {"TC0D", "TC0H", "TC0F", "TC0E", "TC0G", "TC0C", "TC1C", "F0ID", "TB0T", "TA0P"}) {
            QCOMPARE(exchange(driver, code(key), 9).result, SMCParamStruct::resultKeyNotFound);
        }
        QCOMPARE(exchange(driver, code("TC0P"), 9).result, SMCParamStruct::resultSuccess);
    }

    void demoMachine() {
        initAgentResources();
        const auto demo = MachineProfile::fromFile(QStringLiteral(":/profiles/demo.plist"));
        QVERIFY2(demo, qPrintable(demo.error()));
        auto driver = std::make_shared<ProfileSmcDriver>(*demo);
        QCOMPARE(driver->problems(), QStringList());
        SMCKit::setDriver(driver);
        QTest::ignoreMessage(QtInfoMsg, "Connection open with SMC in SMC");
        SMCKit::openConnection();

        // Every present sensor reads plausibly for its component, and the
        // components the demo is meant to show all have a sensor.
        QMultiHash<QString, QString> candidates;
        for (const TemperatureSensor& sensor : SMCKit::presentTemperatureSensors()) {
            const QString component = SensorComponents::componentOf(sensor.name);
            if (!component.isEmpty()) {
                const auto [lower, upper] = SensorComponents::bounds().value(component);
                const double reading = SMCKit::readTemperature(sensor.code);
                QVERIFY2(std::max(lower, 0) < reading && reading < upper, qPrintable(sensor.name));
                candidates.insert(component, sensor.name);
            }
        }
        for (const char* component :
             {"CPU", "GPU", "HDD", "MEM", "ENCLOSURE", "AMBIENT", "HEATSINK", "LOGIC", "POWER"}) {
            QVERIFY2(candidates.contains(QString::fromLatin1(component)), component);
        }
        QVERIFY(candidates.count(QStringLiteral("CPU")) >= 3);
        const QList<Fan> fans = SMCKit::readFans();
        QCOMPARE(fans.size(), 2);
        QCOMPARE(fans[0].name, QStringLiteral("Left Fan"));
        QCOMPARE(fans[1].name, QStringLiteral("Right Fan"));
        for (const Fan& fan : fans) {
            const int speed = SMCKit::readFanCurrentSpeed(fan.id);
            QVERIFY(fan.minSpeed > 0 && fan.minSpeed <= speed && speed <= fan.maxSpeed);
        }

        QVERIFY(demo->hasDrives() && demo->hasMemory());
    }
};

QTEST_GUILESS_MAIN(TestProfileSmcDriver)
#include "tst_profilesmcdriver.moc"
