#include "RecordingSmcDriver.h"
#include "SMCKit.h"
#include "SensorComponents.h"
#include "TemperatureSensorCatalogue.h"
#include "profile/MachineProfile.h"
#include "smc/ProfileSmcDriver.h"

#include <QSet>
#include <QtTest>
#include <climits>
#include <cstring>

Q_DECLARE_METATYPE(SMCKit::Error1::Kind)

namespace {

using Kind = SMCKit::Error1::Kind;

uint32_t code(const char* text) {
    return *SMCKit::fourCharCode(QString::fromLatin1(text));
}

QVariantMap bytesKey(const QByteArray& bytes) {
    return {{QStringLiteral("bytes"), bytes}};
}

QVariantMap valueKey(const char* type, const QVariant& value) {
    return {{QStringLiteral("type"), QString::fromLatin1(type)}, {QStringLiteral("value"), value}};
}

MachineProfile machineWithKeys(const QVariantMap& keys, const QVariantMap& switches = {}) {
    QVariantMap smc = switches;
    smc.insert(QStringLiteral("keys"), keys);
    return MachineProfile::fromMap({{QStringLiteral("smc"), smc}});
}

MachineProfile machineFile(const char* name) {
    QString error;
    const auto profile = MachineProfile::fromFile(
        QStringLiteral(ONDARA_TEST_DATA_DIR "/") + QLatin1String(name), &error);
    if (!profile) {
        qFatal("%s", qPrintable(error));
    }
    return *profile;
}

// Makes the machine the process's SMC, opens it and forgets the calls made so far.
std::shared_ptr<RecordingSmcDriver> useMachine(const MachineProfile& profile, bool open = true) {
    auto driver = std::make_shared<RecordingSmcDriver>(std::make_shared<ProfileSmcDriver>(profile));
    SMCKit::setDriver(driver);
    if (open) {
        QTest::ignoreMessage(QtInfoMsg, "Connection open with SMC in SMC");
        SMCKit::openConnection();
        driver->calls.clear();
    }
    return driver;
}

// The 80 bytes a request must consist of: zero except for the named fields.
QByteArray expectedRequest(uint32_t key, uint32_t dataSize, uint8_t command) {
    QByteArray bytes(80, '\0');
    std::memcpy(bytes.data() + 0, &key, 4);
    std::memcpy(bytes.data() + 28, &dataSize, 4);
    bytes[42] = char(command);
    return bytes;
}

QByteArray recordBytes(const SMCParamStruct& record) {
    return QByteArray(reinterpret_cast<const char*>(&record), sizeof(record));
}

// Answers every exchange with one fixed return code and result byte.
class FixedAnswerDriver : public SmcDriver {
public:
    FixedAnswerDriver(KernReturn kr, uint8_t result)
        : kr(kr)
        , result(result) {}
    uint32_t serviceMatching(const char*) override { return 7; }
    KernReturn serviceOpen(uint32_t, uint32_t, uint32_t* connection) override {
        *connection = 9;
        return success;
    }
    void objectRelease(uint32_t) override {}
    KernReturn callStructMethod(uint32_t, uint32_t, const SMCParamStruct& input,
                                SMCParamStruct* output, size_t*) override {
        ++calls;
        output->key = input.key;
        output->result = result;
        output->bytes[0] = 0x2A;
        return kr;
    }
    KernReturn kr;
    uint8_t result;
    int calls = 0;
};

// Answers "key not found" to key-information requests until the given call,
// which the driver refuses.
class RefusingAtCallDriver : public SmcDriver {
public:
    explicit RefusingAtCallDriver(int refusedCall)
        : refusedCall(refusedCall) {}
    uint32_t serviceMatching(const char*) override { return 7; }
    KernReturn serviceOpen(uint32_t, uint32_t, uint32_t* connection) override {
        *connection = 9;
        return success;
    }
    void objectRelease(uint32_t) override {}
    KernReturn callStructMethod(uint32_t, uint32_t, const SMCParamStruct&, SMCParamStruct* output,
                                size_t*) override {
        if (++calls == refusedCall) {
            return notPrivileged;
        }
        // Every third key exists.
        output->result = calls % 3 == 0 ? 0 : SMCParamStruct::resultKeyNotFound;
        return success;
    }
    int refusedCall;
    int calls = 0;
};

template <typename Operation> std::optional<SMCKit::Error1> errorOf(Operation operation) {
    try {
        operation();
    } catch (const SMCKit::Error1& error) {
        return error;
    }
    return std::nullopt;
}

// Lines of the SMC log category, captured while a test needs to count them.
QList<QPair<QtMsgType, QString>> smcLog;

void captureSmcLog(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (qstrcmp(context.category, "ondara.agent.smc") == 0) {
        smcLog.append({type, text});
    }
}

template <typename Operation> void capturingSmcLog(Operation operation) {
    smcLog.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureSmcLog);
    operation();
    qInstallMessageHandler(previous);
}

} // namespace

class TestSMCKit : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { SMCKit::setDriver(nullptr); }

    void fourCharCode_data();
    void fourCharCode();
    void fourCharStringIsTheInverse();
    void dataTypes();

    void temperatureDecoding_data();
    void temperatureDecoding();
    void fanSpeedDecoding_data();
    void fanSpeedDecoding();
    void fanNameDecoding_data();
    void fanNameDecoding();

    void keyInformationRequest();
    void valueRequests();
    void exchangeErrorMapping_data();
    void exchangeErrorMapping();
    void errorsCarryKeyAndCodes();
    void openingTheDriver();
    void driverMissing();
    void openFailing();
    void noDriverSet();

    void fanList();
    void zeroFansReadsNothingElse();
    void firstFanErrorFailsTheList_data();
    void firstFanErrorFailsTheList();
    void twelveFansReadsTenAndLogsOnce();
    void fanNumbersOutsideTheKeyRange_data();
    void fanNumbersOutsideTheKeyRange();

    void presenceScanSkipsUnknownKeys();
    void presenceScanOnOnlyTpcdMachine();
    void refusalFailsTheScan();
    void refusalPartWayFailsTheScan();
};

void TestSMCKit::fourCharCode_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<uint>("expected");
    QTest::newRow("TC0P") << QStringLiteral("TC0P") << true << 0x54433050u;
    QTest::newRow("type with blank") << QStringLiteral("ui8 ") << true << 0x75693820u;
    QTest::newRow("fan descriptor type") << QStringLiteral("{fds") << true << 0x7B666473u;
    QTest::newRow("Latin-1 byte") << QStringLiteral("T\u00E90P") << true << 0x54E93050u;
    QTest::newRow("empty") << QString() << false << 0u;
    QTest::newRow("three") << QStringLiteral("TC0") << false << 0u;
    QTest::newRow("five, a fan number of 10") << QStringLiteral("F10Ac") << false << 0u;
    QTest::newRow("beyond one byte") << QStringLiteral("T\u03A90P") << false << 0u;
}

void TestSMCKit::fourCharCode() {
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(uint, expected);
    const auto result = SMCKit::fourCharCode(text);
    QCOMPARE(result.has_value(), accepted);
    if (accepted) {
        QCOMPARE(*result, expected);
        QCOMPARE(SMCKit::fourCharString(*result), text);
    }
}

void TestSMCKit::fourCharStringIsTheInverse() {
    QCOMPARE(SMCKit::fourCharString(0x54433050), QStringLiteral("TC0P"));
    QCOMPARE(SMCKit::fourCharString(0xFFFFFFFF), QString(4, QChar(0xFF)));
    QCOMPARE(SMCKit::fourCharString(0x00000041).size(), 4);
    for (const TemperatureSensor& sensor : temperatureSensorCatalogueInDeclarationOrder()) {
        QCOMPARE(SMCKit::fourCharCode(SMCKit::fourCharString(sensor.code)), sensor.code);
    }
}

void TestSMCKit::dataTypes() {
    QCOMPARE(SMCDataType::sp78().type, code("sp78"));
    QCOMPARE(SMCDataType::sp78().size, 2u);
    QCOMPARE(SMCDataType::fpe2().type, code("fpe2"));
    QCOMPARE(SMCDataType::fpe2().size, 2u);
    QCOMPARE(SMCDataType::ui8().type, code("ui8 "));
    QCOMPARE(SMCDataType::ui8().size, 1u);
    QCOMPARE(SMCDataType::fds().type, code("{fds"));
    QCOMPARE(SMCDataType::fds().size, 16u);
    QCOMPARE(&SMCDataType::sp78(), &SMCDataType::sp78());
}

void TestSMCKit::temperatureDecoding_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<double>("expected");
    QTest::newRow("45 and a fraction") << QByteArray("\x2D\xC0", 2) << 45.0;
    QTest::newRow("minus 5") << QByteArray("\x85\x00", 2) << -5.0;
    QTest::newRow("zero") << QByteArray("\x00\x00", 2) << 0.0;
    QTest::newRow("0xFF is -127, not -1") << QByteArray("\xFF\x00", 2) << -127.0;
    QTest::newRow("negative zero") << QByteArray("\x80\xFF", 2) << 0.0;
    QTest::newRow("highest") << QByteArray("\x7F\xFF", 2) << 127.0;
}

void TestSMCKit::temperatureDecoding() {
    QFETCH(QByteArray, bytes);
    QFETCH(double, expected);
    useMachine(machineWithKeys({{QStringLiteral("TC0P"), bytesKey(bytes)}}));
    QCOMPARE(SMCKit::readTemperature(code("TC0P")), expected);
}

void TestSMCKit::fanSpeedDecoding_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("expected");
    QTest::newRow("6000") << QByteArray("\x5D\xC0", 2) << 6000;
    QTest::newRow("one") << QByteArray("\x00\x04", 2) << 1;
    QTest::newRow("fraction only") << QByteArray("\x00\x03", 2) << 0;
    QTest::newRow("highest") << QByteArray("\xFF\xFF", 2) << 16383;
}

void TestSMCKit::fanSpeedDecoding() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, expected);
    useMachine(machineWithKeys({{QStringLiteral("F0Ac"), bytesKey(bytes)},
                                {QStringLiteral("F0Mn"), bytesKey(bytes)},
                                {QStringLiteral("F0Mx"), bytesKey(bytes)}}));
    QCOMPARE(SMCKit::readFanCurrentSpeed(0), expected);
    QCOMPARE(SMCKit::readFanMinimumSpeed(0), expected);
    QCOMPARE(SMCKit::readFanMaximumSpeed(0), expected);
}

void TestSMCKit::fanNameDecoding_data() {
    QTest::addColumn<QByteArray>("nameBytes"); // bytes 4 to 15
    QTest::addColumn<QString>("expected");
    QTest::newRow("nine letters, three NULs")
        << QByteArray("Exhaust01\0\0\0", 12) << QStringLiteral("Exhaust01");
    QTest::newRow("blanks on both sides")
        << QByteArray("  Left    \0\0", 12) << QStringLiteral("Left");
    QTest::newRow("tabs and no-break spaces")
        << QByteArray("\t\xA0Right\xA0\t\0\0\0", 12) << QStringLiteral("Right");
    QTest::newRow("NUL inside") << QByteArray("Le\0ft\0\0\0\0\0\0\0", 12) << QStringLiteral("Left");
    QTest::newRow("line breaks stay")
        << QByteArray("\nLeft\n\0\0\0\0\0\0", 12) << QStringLiteral("\nLeft\n");
    QTest::newRow("all twelve bytes")
        << QByteArray("ABCDEFGHIJKL", 12) << QStringLiteral("ABCDEFGHIJKL");
    QTest::newRow("Latin-1 byte") << QByteArray("Ventilat\xE9r\0\0\0", 12)
                                  << QStringLiteral("Ventilat\u00E9r");
    QTest::newRow("empty") << QByteArray(12, '\0') << QString();
}

void TestSMCKit::fanNameDecoding() {
    QFETCH(QByteArray, nameBytes);
    QFETCH(QString, expected);
    // Bytes 0 to 3 of the descriptor are not part of the name.
    const QByteArray descriptor = QByteArray("\x01\x02XY", 4) + nameBytes;
    useMachine(machineWithKeys({{QStringLiteral("F3ID"), bytesKey(descriptor)}}));
    QCOMPARE(SMCKit::readFanName(3), expected);
}

void TestSMCKit::keyInformationRequest() {
    auto driver = useMachine(machineWithKeys({{QStringLiteral("TC0P"), valueKey("sp78", 50)}}));
    SMCKit::readKeyInformation(code("TC0P"));
    QCOMPARE(driver->calls.size(), 1);
    const auto& call = driver->calls.first();
    QCOMPARE(call.selector, 2u);
    QCOMPARE(call.outputSize, size_t(80));
    QCOMPARE(recordBytes(call.input), expectedRequest(code("TC0P"), 0, 9));
}

void TestSMCKit::valueRequests() {
    auto driver = useMachine(machineFile("machine-twelve-fans.plist"));
    SMCKit::readTemperature(code("TC0P"));
    SMCKit::readFanName(2);
    SMCKit::readFanMinimumSpeed(2);
    SMCKit::readFanMaximumSpeed(2);
    SMCKit::readFanCurrentSpeed(2);
    SMCKit::readKey(code("FNum"), SMCDataType::ui8());
    const QList<QByteArray> expected = {
        expectedRequest(code("TC0P"), 2, 5), expectedRequest(code("F2ID"), 16, 5),
        expectedRequest(code("F2Mn"), 2, 5), expectedRequest(code("F2Mx"), 2, 5),
        expectedRequest(code("F2Ac"), 2, 5), expectedRequest(code("FNum"), 1, 5),
    };
    QCOMPARE(driver->calls.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        QCOMPARE(recordBytes(driver->calls[i].input), expected[i]);
        QCOMPARE(driver->calls[i].selector, 2u);
    }
}

void TestSMCKit::exchangeErrorMapping_data() {
    QTest::addColumn<int>("kr");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("fails");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<int>("kIOReturn");
    QTest::addColumn<int>("smcResult");
    const int notPrivileged = int(0xE00002C1);
    const int ioError = int(0xE00002BC);
    QTest::newRow("success") << 0 << 0 << false << Kind::unknown << 0 << 0;
    QTest::newRow("not privileged") << notPrivileged << 0 << true << Kind::notPrivileged << 0 << 0;
    QTest::newRow("not privileged wins over the result")
        << notPrivileged << 0x84 << true << Kind::notPrivileged << 0 << 0;
    QTest::newRow("other return code") << ioError << 7 << true << Kind::unknown << ioError << 7;
    QTest::newRow("key not found") << 0 << 0x84 << true << Kind::keyNotFound << 0 << 0;
    QTest::newRow("other result") << 0 << 0x85 << true << Kind::unknown << 0 << 0x85;
    QTest::newRow("result 1") << 0 << 1 << true << Kind::unknown << 0 << 1;
}

void TestSMCKit::exchangeErrorMapping() {
    QFETCH(int, kr);
    QFETCH(int, result);
    QFETCH(bool, fails);
    QFETCH(Kind, kind);
    QFETCH(int, kIOReturn);
    QFETCH(int, smcResult);
    SMCKit::setDriver(std::make_shared<FixedAnswerDriver>(kr, uint8_t(result)));
    QTest::ignoreMessage(QtInfoMsg, "Connection open with SMC in SMC");
    SMCKit::openConnection();

    SMCParamStruct request{};
    request.key = code("TC0P");
    request.data8 = SMCParamStruct::readKeyValue;
    const auto error = errorOf([&] {
        const SMCParamStruct reply = SMCKit::sendCommand(request);
        QCOMPARE(reply.bytes[0], uint8_t(0x2A));
    });
    QCOMPARE(error.has_value(), fails);
    if (!fails) {
        return;
    }
    QCOMPARE(error->kind, kind);
    if (kind == Kind::unknown) {
        QCOMPARE(error->kIOReturn, int32_t(kIOReturn));
        QCOMPARE(error->SMCResult, uint8_t(smcResult));
    }
    if (kind == Kind::keyNotFound) {
        QCOMPARE(error->code, QStringLiteral("TC0P"));
    }
    // Every operation maps its exchange the same way.
    QCOMPARE(errorOf([] { SMCKit::readTemperature(code("TC0P")); })->kind, kind);
    QCOMPARE(errorOf([] { SMCKit::readKeyInformation(code("TC0P")); })->kind, kind);
    QCOMPARE(errorOf([] { SMCKit::readFans(); })->kind, kind);
}

void TestSMCKit::errorsCarryKeyAndCodes() {
    useMachine(machineWithKeys({{QStringLiteral("TC0P"), valueKey("sp78", 50)}}));
    const auto missing = errorOf([] { SMCKit::readTemperature(code("TS2p")); });
    QVERIFY(missing);
    QCOMPARE(missing->kind, Kind::keyNotFound);
    QCOMPARE(missing->code, QStringLiteral("TS2p"));
    QVERIFY(QByteArray(missing->what()).contains("TS2p"));

    const SMCKit::Error1 unknown = SMCKit::Error1::unknown(int32_t(0xE00002BC), 0x85);
    QVERIFY(QByteArray(unknown.what()).contains("e00002bc"));
    QVERIFY(QByteArray(unknown.what()).contains("0x85"));
    QVERIFY(qstrlen(SMCKit::Error1::driverNotFound().what()) > 0);
}

void TestSMCKit::openingTheDriver() {
    auto driver = useMachine(machineWithKeys({}), false);
    QTest::ignoreMessage(QtInfoMsg, "Connection open with SMC in SMC");
    SMCKit::openConnection();
    QCOMPARE(driver->matchedNames, QByteArrayList{"AppleSMC"});
    QCOMPARE(driver->openedServices, QList<uint32_t>{driver->lastService});
    QCOMPARE(driver->openTypes, QList<uint32_t>{0});
    QCOMPARE(driver->releasedObjects, QList<uint32_t>{driver->lastService});
    // The exchanges go through the connection that was opened: the machine
    // answers "not found", not "not open".
    QCOMPARE(errorOf([] { SMCKit::readKeyInformation(code("TC0P")); })->kind, Kind::keyNotFound);
    QVERIFY(driver->calls.first().connection != 0);
}

void TestSMCKit::driverMissing() {
    auto driver = useMachine(machineWithKeys({}, {{QStringLiteral("service"), false}}), false);
    const auto error = errorOf([] { SMCKit::openConnection(); });
    QVERIFY(error);
    QCOMPARE(error->kind, Kind::driverNotFound);
    QVERIFY(driver->openedServices.isEmpty());
}

void TestSMCKit::openFailing() {
    auto driver = useMachine(machineWithKeys({}, {{QStringLiteral("open"), false}}), false);
    std::optional<SMCKit::Error1> error;
    capturingSmcLog([&] { error = errorOf([] { SMCKit::openConnection(); }); });
    QVERIFY(error);
    QVERIFY(smcLog.isEmpty());
    QCOMPARE(error->kind, Kind::failedToOpen);
    // The service object is released whatever the outcome.
    QCOMPARE(driver->releasedObjects, QList<uint32_t>{driver->lastService});
    // Nothing was opened, so an exchange can't succeed.
    QVERIFY(errorOf([] { SMCKit::readKeyInformation(code("TC0P")); }));
}

void TestSMCKit::noDriverSet() {
    SMCKit::setDriver(nullptr);
    QCOMPARE(errorOf([] { SMCKit::openConnection(); })->kind, Kind::driverNotFound);
    QCOMPARE(errorOf([] { SMCKit::readTemperature(code("TC0P")); })->kind, Kind::driverNotFound);
    QCOMPARE(errorOf([] { SMCKit::presentTemperatureSensors(); })->kind, Kind::driverNotFound);
}

void TestSMCKit::fanList() {
    auto driver = useMachine(machineWithKeys({
        {QStringLiteral("FNum"), valueKey("ui8 ", 2)},
        {QStringLiteral("F0ID"), valueKey("{fds", QStringLiteral("Left side"))},
        {QStringLiteral("F0Mn"), valueKey("fpe2", 2000)},
        {QStringLiteral("F0Mx"), valueKey("fpe2", 6200)},
        {QStringLiteral("F1ID"), valueKey("{fds", QStringLiteral("Right side"))},
        {QStringLiteral("F1Mn"), valueKey("fpe2", 1800.75)},
        {QStringLiteral("F1Mx"), valueKey("fpe2", 5800)},
    }));
    const QList<Fan> expected = {{0, QStringLiteral("Left side"), 2000, 6200},
                                 {1, QStringLiteral("Right side"), 1800, 5800}};
    QCOMPARE(SMCKit::readFans(), expected);
    QCOMPARE(driver->requestedKeys(),
             QStringList({"FNum", "F0ID", "F0Mn", "F0Mx", "F1ID", "F1Mn", "F1Mx"}));
}

void TestSMCKit::zeroFansReadsNothingElse() {
    auto driver = useMachine(machineFile("machine-no-fans.plist"));
    QVERIFY(SMCKit::readFans().isEmpty());
    QCOMPARE(driver->requestedKeys(), QStringList{"FNum"});
}

void TestSMCKit::firstFanErrorFailsTheList_data() {
    QTest::addColumn<QString>("failingKey");
    QTest::addColumn<QVariantMap>("failingEntry");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QStringList>("requested");
    const QStringList upToF1Mn = {"FNum", "F0ID", "F0Mn", "F0Mx", "F1ID", "F1Mn"};
    QTest::newRow("fan 1 minimum fails")
        << QStringLiteral("F1Mn")
        << QVariantMap{{QStringLiteral("type"), QStringLiteral("fpe2")},
                       {QStringLiteral("result"), 0x85}}
        << Kind::unknown << upToF1Mn;
    QTest::newRow("fan 0 name missing") << QStringLiteral("F0ID") << QVariantMap()
                                        << Kind::keyNotFound << QStringList{"FNum", "F0ID"};
    QTest::newRow("count missing")
        << QStringLiteral("FNum") << QVariantMap() << Kind::keyNotFound << QStringList{"FNum"};
}

void TestSMCKit::firstFanErrorFailsTheList() {
    QFETCH(QString, failingKey);
    QFETCH(QVariantMap, failingEntry);
    QFETCH(Kind, kind);
    QFETCH(QStringList, requested);
    QVariantMap keys = {
        {QStringLiteral("FNum"), valueKey("ui8 ", 3)},
    };
    for (int n = 0; n < 3; ++n) {
        keys.insert(QStringLiteral("F%1ID").arg(n), valueKey("{fds", QStringLiteral("Fan")));
        keys.insert(QStringLiteral("F%1Mn").arg(n), valueKey("fpe2", 1000));
        keys.insert(QStringLiteral("F%1Mx").arg(n), valueKey("fpe2", 4000));
    }
    // An empty entry stands for a key the SMC doesn't have.
    if (failingEntry.isEmpty()) {
        keys.remove(failingKey);
    } else {
        keys.insert(failingKey, failingEntry);
    }
    auto driver = useMachine(machineWithKeys(keys));
    const auto error = errorOf([] { SMCKit::readFans(); });
    QVERIFY(error);
    QCOMPARE(error->kind, kind);
    QCOMPARE(driver->requestedKeys(), requested);
}

void TestSMCKit::twelveFansReadsTenAndLogsOnce() {
    auto driver = useMachine(machineFile("machine-twelve-fans.plist"));
    QList<Fan> first;
    QList<Fan> second;
    std::optional<SMCKit::Error1> error;
    capturingSmcLog([&] {
        error = errorOf([&] {
            first = SMCKit::readFans();
            second = SMCKit::readFans();
        });
    });
    QVERIFY(!error);
    QCOMPARE(first.size(), 10);
    QCOMPARE(second, first);
    for (int n = 0; n < 10; ++n) {
        QCOMPARE(first[n], (Fan{n, QStringLiteral("Fan %1").arg(n), 1000 + n, 5000 + n}));
    }
    QCOMPARE(driver->calls.size(), 2 * (1 + 3 * 10));
    QCOMPARE(smcLog.size(), 1);
    QCOMPARE(smcLog.first().first, QtWarningMsg);
    QVERIFY2(smcLog.first().second.contains(QLatin1String("12")),
             qPrintable(smcLog.first().second));
    // The fans that can be named still read one by one.
    QCOMPARE(SMCKit::readFanCurrentSpeed(9), 2090);
}

void TestSMCKit::fanNumbersOutsideTheKeyRange_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("keyText");
    QTest::newRow("10") << 10 << QStringLiteral("F10Ac");
    QTest::newRow("11") << 11 << QStringLiteral("F11Ac");
    QTest::newRow("100") << 100 << QStringLiteral("F100Ac");
    QTest::newRow("-1") << -1 << QStringLiteral("F-1Ac");
    QTest::newRow("lowest int") << INT_MIN << QStringLiteral("F%1Ac").arg(INT_MIN);
}

void TestSMCKit::fanNumbersOutsideTheKeyRange() {
    QFETCH(int, id);
    QFETCH(QString, keyText);
    auto driver = useMachine(machineFile("machine-twelve-fans.plist"));
    const auto current = errorOf([id] { SMCKit::readFanCurrentSpeed(id); });
    QVERIFY(current);
    QCOMPARE(current->kind, Kind::keyNotFound);
    QCOMPARE(current->code, keyText);
    QVERIFY(errorOf([id] { SMCKit::readFanMinimumSpeed(id); }));
    QVERIFY(errorOf([id] { SMCKit::readFanMaximumSpeed(id); }));
    QVERIFY(errorOf([id] { SMCKit::readFanName(id); }));
    // No key was ever formed, so nothing reached the driver.
    QVERIFY(driver->calls.isEmpty());
}

void TestSMCKit::presenceScanSkipsUnknownKeys() {
    const QStringList present = {"TC0P", "TC0H", "TS2p", "TPCD", "TA0P"};
    QVariantMap keys;
    for (const QString& key : present) {
        keys.insert(key, valueKey("sp78", 40));
    }
    // Keys outside the catalogue are never asked for.
    keys.insert(QStringLiteral("TZ9Z"), valueKey("sp78", 40));
    auto driver = useMachine(machineWithKeys(keys));

    const QList<TemperatureSensor> sensors = SMCKit::presentTemperatureSensors();
    QStringList found;
    for (const TemperatureSensor& sensor : sensors) {
        found.append(SMCKit::fourCharString(sensor.code));
        QCOMPARE(temperatureSensorCatalogue().value(sensor.code), sensor);
    }
    found.sort();
    QStringList expected = present;
    expected.sort();
    QCOMPARE(found, expected);

    // One key-information request per catalogue entry, nothing else.
    QCOMPARE(driver->calls.size(), 48);
    QSet<uint32_t> asked;
    for (const auto& call : driver->calls) {
        QCOMPARE(recordBytes(call.input), expectedRequest(call.input.key, 0, 9));
        asked.insert(call.input.key);
    }
    const QList<uint32_t> catalogueKeys = temperatureSensorCatalogue().keys();
    QCOMPARE(asked, QSet<uint32_t>(catalogueKeys.cbegin(), catalogueKeys.cend()));
}

void TestSMCKit::presenceScanOnOnlyTpcdMachine() {
    useMachine(machineFile("machine-only-tpcd.plist"));
    const QList<TemperatureSensor> sensors = SMCKit::presentTemperatureSensors();
    QCOMPARE(sensors, QList<TemperatureSensor>{(TemperatureSensor{"PCH_DIE", code("TPCD")})});
    // The one sensor belongs to no component, so the machine offers none.
    QCOMPARE(SensorComponents::componentOf(sensors.first().name), QString());
}

void TestSMCKit::refusalFailsTheScan() {
    useMachine(machineFile("machine-refusing-smc.plist"));
    const auto error = errorOf([] { SMCKit::presentTemperatureSensors(); });
    QVERIFY(error);
    QCOMPARE(error->kind, Kind::notPrivileged);
}

void TestSMCKit::refusalPartWayFailsTheScan() {
    auto driver = std::make_shared<RefusingAtCallDriver>(20);
    SMCKit::setDriver(driver);
    QTest::ignoreMessage(QtInfoMsg, "Connection open with SMC in SMC");
    SMCKit::openConnection();
    const auto error = errorOf([] { SMCKit::presentTemperatureSensors(); });
    QVERIFY(error);
    QCOMPARE(error->kind, Kind::notPrivileged);
    QCOMPARE(driver->calls, 20);
}

QTEST_GUILESS_MAIN(TestSMCKit)
#include "tst_smckit.moc"
